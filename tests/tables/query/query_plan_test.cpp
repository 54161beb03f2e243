// The result table a statement is given and the way its source rows are
// reached, decided before any file is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tables/data_file/data_file_validation.h"
#include "tables/index_file/key_codec.h"
#include "tables/query/db_record_row.h"
#include "tables/query/query_result_layout.h"
#include "tables/query/query_test_util.h"
#include "tables/sql/query_source_access.h"
#include "tables/sql/sql_filter.h"
#include "tables/sql/sql_params.h"
#include "tables/sql/sql_statement.h"
#include "text/western.h"

namespace quoldex::tables {
namespace {

using testing::ObjectsDefinition;

std::vector<FieldDesc> ObjectsFields() {
  std::vector<FieldDesc> fields = ObjectsDefinition().fields;
  for (size_t i = 0; i < fields.size(); ++i) fields[i].number = static_cast<uint16_t>(i + 1);
  return fields;
}

SqlColumns ColumnsOf(const std::vector<FieldDesc>& fields) {
  SqlColumns columns;
  for (const FieldDesc& f : fields) columns.push_back({f.name, f.type, f.size});
  return columns;
}

TDataQuery Resolved(const std::string& sql) {
  TDataQuery q = TDataQuery::Parse(ExtractParameters(sql).text);
  q.Resolve(ColumnsOf(ObjectsFields()));
  return q;
}

std::vector<std::string> Names(const ResultLayout& layout) {
  std::vector<std::string> names;
  for (const FieldDesc& f : layout.fields) names.push_back(f.name);
  return names;
}

std::vector<uint16_t> Fields(const IndexDesc& index) { return index.fields; }

TEST(QueryResultLayout, ChildrenQueryOrdersByNameThenRowNumber) {
  ResultLayout layout =
      PlanResultLayout(Resolved("select * from Objects where InheritsFrom = :Ancestor\r\n"
                                "order by Objectname"),
                       ObjectsFields());
  EXPECT_EQ(Names(layout),
            (std::vector<std::string>{"ObjectId", "ObjectName", "InheritsFrom", "Filename",
                                      "FileTimeStamp", "Package", "Row___No"}));
  // The source's autoinc becomes a plain integer holding the source value.
  EXPECT_EQ(layout.fields[0].type, kTypeInteger);
  EXPECT_FALSE(layout.fields[0].IsAutoInc());
  EXPECT_TRUE(layout.fields[6].IsAutoInc());
  EXPECT_EQ(layout.fields[3].size, 250);
  for (const FieldDesc& f : layout.fields) EXPECT_FALSE(f.required) << f.name;
  EXPECT_EQ(layout.source_fields, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  ASSERT_EQ(layout.indexes.size(), 1u);
  EXPECT_EQ(Fields(layout.indexes[0]), (std::vector<uint16_t>{2, 7}));
  EXPECT_FALSE(layout.indexes[0].case_insensitive);
  EXPECT_TRUE(layout.lookups.empty());
}

TEST(QueryResultLayout, GroupAndDistinctLookThroughThePrimaryIndexAlone) {
  ResultLayout packages = PlanResultLayout(
      Resolved("select package \r\nfrom objects\r\ngroup by package"), ObjectsFields());
  // A named column keeps the spelling of the statement.
  EXPECT_EQ(Names(packages), (std::vector<std::string>{"package", "Row___No"}));
  EXPECT_EQ(packages.source_fields, std::vector<int>{6});
  ASSERT_EQ(packages.indexes.size(), 1u);
  EXPECT_EQ(Fields(packages.indexes[0]), std::vector<uint16_t>{1});
  ASSERT_EQ(packages.lookups.size(), 1u);
  EXPECT_EQ(packages.lookups[0].index, 0);

  ResultLayout kids =
      PlanResultLayout(Resolved("select distinct InheritsFrom \r\nfrom Objects "), ObjectsFields());
  ASSERT_EQ(kids.indexes.size(), 1u);
  EXPECT_EQ(Fields(kids.indexes[0]), std::vector<uint16_t>{1});
  EXPECT_FALSE(kids.indexes[0].case_insensitive);
  ASSERT_EQ(kids.lookups.size(), 1u);
  EXPECT_EQ(kids.lookups[0].columns, std::vector<int>{0});

  // ORDER BY that equals the distinct index in columns, direction and case
  // shares it.
  ResultLayout same =
      PlanResultLayout(Resolved("select distinct Package, InheritsFrom from Objects order by 1, 2"),
                       ObjectsFields());
  ASSERT_EQ(same.indexes.size(), 1u);
  EXPECT_EQ(Fields(same.indexes[0]), (std::vector<uint16_t>{1, 2}));
  EXPECT_EQ(same.lookups[0].index, 0);
}

TEST(QueryResultLayout, OrderDifferentFromTheLookupAddsASecondIndex) {
  struct Case {
    const char* sql;
    const char* lookup_name;
    std::vector<uint16_t> primary;
    bool nocase;
  };
  for (const Case& c : {
           Case{"select distinct Package from Objects order by Package desc",
                "Distinct",
                {1, 2},
                false},
           Case{"select distinct Package from Objects order by Package nocase",
                "Distinct",
                {1, 2},
                true},
           Case{"select Package, InheritsFrom from Objects group by Package order by 2",
                "GroupBy",
                {2, 3},
                false},
       }) {
    SCOPED_TRACE(c.sql);
    ResultLayout layout = PlanResultLayout(Resolved(c.sql), ObjectsFields());
    ASSERT_EQ(layout.indexes.size(), 2u);
    EXPECT_EQ(Fields(layout.indexes[0]), c.primary);
    EXPECT_EQ(layout.indexes[0].case_insensitive, c.nocase);
    EXPECT_EQ(layout.indexes[1].name, c.lookup_name);
    EXPECT_TRUE(layout.indexes[1].unique);
    EXPECT_FALSE(layout.indexes[1].case_insensitive);
    ASSERT_EQ(layout.lookups.size(), 1u);
    EXPECT_EQ(layout.lookups[0].index, 1);
  }
  ResultLayout desc = PlanResultLayout(
      Resolved("select distinct Package from Objects order by Package desc"), ObjectsFields());
  EXPECT_TRUE(desc.indexes[0].field_descending[0]);
  EXPECT_FALSE(desc.indexes[0].field_descending[1]);
}

TEST(QueryResultLayout, RepeatedNamesAreMadeDistinct) {
  ResultLayout layout = PlanResultLayout(
      Resolved("select ObjectName, objectname, Package as Row___No from Objects"), ObjectsFields());
  EXPECT_EQ(Names(layout),
            (std::vector<std::string>{"ObjectName", "objectname_1", "Row___No_1", "Row___No"}));
  // Without ORDER BY, GROUP BY or DISTINCT rows keep the order they came in.
  EXPECT_EQ(Fields(layout.indexes[0]), std::vector<uint16_t>{4});
}

// Keys of a table in the language order: byte order of the keys equals the
// language order of the strings, in both directions and case rules.
TEST(QueryResultKeys, StringKeysFollowTheLanguageOrder) {
  DataFileOptions western;
  western.language_id = kLanguageWestern;
  std::vector<FieldDesc> fields = ValidateDataFileDefinition(
      "r.DAT", {testing::Column("Name", kTypeString, 12, false)}, western);
  ASSERT_TRUE(fields[0].language_order);
  std::mt19937 rng(77);
  const std::string letters = "aAbB e\xE9\xC9_1";
  std::vector<std::string> names = {""};  // stored as null
  for (int i = 0; i < 300; ++i) {
    std::string s;
    for (int n = rng() % 8; n > 0; --n) s += letters[rng() % letters.size()];
    while (!s.empty() && s.back() == ' ') s.pop_back();  // as a record stores it
    names.push_back(s);
  }
  for (bool descending : {false, true}) {
    for (bool nocase : {false, true}) {
      IndexDesc index = testing::IndexOn("", {1}, true, nocase);
      index.field_descending[0] = descending;
      KeyLayout layout = KeyLayout::ForIndex(index, fields, false);
      ASSERT_EQ(layout.KeyLength(), 1 + text::SortKeyLength(12, nocase));
      auto key_of = [&](const std::string& s) {
        std::vector<uint8_t> record(fields[0].offset + 1 + fields[0].physical_size, 0);
        if (!s.empty()) {
          record[fields[0].offset] = 1;
          std::memcpy(&record[fields[0].offset + 1], s.data(), s.size());
        }
        std::vector<uint8_t> key(layout.KeyLength());
        layout.FromRecord(record, key.data());
        // A search value gives the same key as the stored record.
        std::vector<uint8_t> sought(layout.KeyLength());
        const KeyValue value = s.empty() ? KeyValue::Null() : KeyValue::String(s);
        EXPECT_EQ(layout.FromValues({&value, 1}, sought.data()), layout.KeyLength());
        EXPECT_EQ(sought, key);
        return key;
      };
      for (size_t i = 0; i + 1 < names.size(); ++i) {
        const std::string& a = names[i];
        const std::string& b = names[(i * 31 + 7) % names.size()];
        int expected = a.empty() || b.empty() ? (b.empty()) - (a.empty())  // null first
                                              : text::CompareLanguage(a, b, nocase);
        if (descending) expected = -expected;
        int actual = std::memcmp(key_of(a).data(), key_of(b).data(), layout.KeyLength());
        ASSERT_EQ((actual > 0) - (actual < 0), (expected > 0) - (expected < 0))
            << "'" << a << "' vs '" << b << "' descending=" << descending << " nocase=" << nocase;
      }
    }
  }
}

struct AccessCase {
  const char* where;
  std::vector<std::string> parameters;
  bool ranged;
  int index;
  std::string value;
};

TEST(QuerySourceAccess, EqualityOnALeadingIndexFieldUsesThatIndex) {
  std::vector<IndexDesc> indexes = ObjectsDefinition().indexes;
  for (const AccessCase& c : {
           AccessCase{"InheritsFrom = :Ancestor", {"actor"}, true, 2, "actor"},
           AccessCase{":Ancestor = InheritsFrom", {"<none>"}, true, 2, "<none>"},
           AccessCase{"ObjectName = 'Brush'", {}, true, 1, "Brush"},
           // A unique index is preferred, whichever conjunct names it.
           AccessCase{"InheritsFrom = 'actor' and (ObjectName = ?)", {"Pawn"}, true, 1, "Pawn"},
           AccessCase{"Package = 'core' and InheritsFrom = ?", {"object"}, true, 2, "object"},
           // Nothing that implies one equality of an indexed string column.
           AccessCase{"Package = :Package", {"core"}, false, 0, ""},
           AccessCase{"InheritsFrom = 'a' or ObjectName = 'b'", {}, false, 0, ""},
           AccessCase{"not InheritsFrom = 'a'", {}, false, 0, ""},
           AccessCase{"InheritsFrom <> 'a'", {}, false, 0, ""},
           AccessCase{"InheritsFrom >= 'a'", {}, false, 0, ""},
           AccessCase{"ObjectName = 12", {}, false, 0, ""},
           AccessCase{"ObjectId = 12", {}, false, 0, ""},
           AccessCase{"InheritsFrom = ObjectName", {}, false, 0, ""},
           AccessCase{"InheritsFrom = ?", {}, false, 0, ""},  // no value bound
       }) {
    SCOPED_TRACE(c.where);
    TDataQuery q = Resolved(std::string("select * from Objects where ") + c.where);
    SourceAccess access = ChooseSourceAccess(q.where(), c.parameters, ObjectsFields(), indexes);
    EXPECT_EQ(access.ranged, c.ranged);
    EXPECT_EQ(access.index, c.index);
    if (c.ranged) {
      EXPECT_EQ(access.value, FieldValue::String(c.value));
    }
  }
  TDataQuery all = Resolved("select * from Objects");
  EXPECT_FALSE(ChooseSourceAccess(all.where(), {}, ObjectsFields(), indexes).ranged);
}

// The test on record bytes never refuses a row the condition holds for, and
// for equalities joined by AND it says exactly what the condition says (and
// says so): whole text, case counted, null as "", damaged bytes after a
// terminator ignored.
TEST(QuerySourceAccess, PrefilterRefusesOnlyRowsTheConditionRefuses) {
  std::vector<FieldDesc> fields = ValidateDataFileDefinition("objects.dat", ObjectsFields(), {});
  const FieldDesc& package = fields[5];  // string 20
  std::vector<IndexDesc> indexes = ObjectsDefinition().indexes;
  const std::vector<std::string> values = {"",
                                           "core",
                                           "Core",
                                           "cor",
                                           "core ",
                                           "corex",
                                           "a\x01",
                                           std::string(20, 'p'),
                                           std::string(21, 'p')};
  struct Case {
    const char* where;
    bool exact;  // equalities joined by AND: the test is the condition itself
  };
  std::mt19937 rng(17);
  RecordSqlRow row(fields);
  std::vector<uint8_t> record(369);
  for (const Case& c :
       {Case{"Package = ?", true}, Case{"? = Package", true},
        Case{"Package = ? and InheritsFrom = 'actor'", true},
        Case{"Package = ? or InheritsFrom = 'actor'", false}, Case{"not (Package <> ?)", false}}) {
    SCOPED_TRACE(c.where);
    TDataQuery q = Resolved(std::string("select * from Objects where ") + c.where);
    for (const std::string& wanted : values) {
      const std::vector<std::string> parameters = {wanted};
      SourceAccess access = ChooseSourceAccess(q.where(), parameters, fields, indexes);
      EXPECT_EQ(access.prefilter.Exact(), c.exact);
      for (int i = 0; i < 300; ++i) {
        std::fill(record.begin(), record.end(), 0);
        std::string stored = values[rng() % values.size()];
        if (stored.size() > package.size) stored.resize(package.size);
        if (!stored.empty()) {
          record[package.offset] = 1;
          std::memcpy(&record[package.offset + 1], stored.data(), stored.size());
          // Bytes after the terminator (a damaged or reused slot) do not count.
          if (stored.size() + 1 < package.size && rng() % 2) {
            record[package.offset + 2 + stored.size()] = 'z';
          }
        } else if (rng() % 2) {
          record[package.offset + 1] = 'q';  // null: the value bytes do not count
        }
        if (rng() % 2) {
          record[fields[2].offset] = 1;
          std::memcpy(&record[fields[2].offset + 1], "actor", 5);
        }
        row.SetRecord(record.data());
        const bool holds = q.WhereHolds(row, parameters);
        const bool passes = access.prefilter.Passes(record.data());
        SCOPED_TRACE("'" + wanted + "' vs '" + stored + "'");
        EXPECT_TRUE(passes || !holds);
        EXPECT_TRUE(!c.exact || passes == holds);
      }
    }
  }
}

// The record filter's byte test: under every option it refuses only rows
// the filter refuses, and for a lone equality it decides exactly as the
// filter does (case folded in the Western order, "*" a prefix only with
// partial compare).
TEST(QuerySourceAccess, FilterPrefilterRefusesOnlyRowsTheFilterRefuses) {
  std::vector<FieldDesc> fields = ValidateDataFileDefinition("objects.dat", ObjectsFields(), {});
  const FieldDesc& package = fields[5];  // string 20
  const std::vector<std::string> stored_values = {"",
                                                  "core",
                                                  "CORE",
                                                  "Core",
                                                  "cor",
                                                  "core ",
                                                  "corex",
                                                  "co*",
                                                  "\xC9"
                                                  "cole",
                                                  "\xE9"
                                                  "COLE",
                                                  "b"};
  struct Case {
    const char* text;
    bool exact;
  };
  const Case cases[] = {{"Package = 'core'", true},
                        {"Package = 'co*'", true},
                        {"'\xE9"
                         "cole' = Package",
                         true},
                        {"Package = '*'", true},
                        {"Package = 'cOre' and InheritsFrom = 'actor'", false},
                        {"Package = 'core' or InheritsFrom = 'actor'", false}};
  const FilterOptions options[] = {{},
                                   {.case_insensitive = true},
                                   {.no_partial_compare = true},
                                   {.case_insensitive = true, .no_partial_compare = true}};
  std::mt19937 rng(23);
  RecordSqlRow row(fields);
  std::vector<uint8_t> record(369);
  int refused = 0;
  for (const Case& c : cases) {
    for (const FilterOptions& o : options) {
      SCOPED_TRACE(std::string(c.text) + (o.case_insensitive ? " ci" : "") +
                   (o.no_partial_compare ? " whole" : ""));
      RecordFilter filter = RecordFilter::Parse(c.text, o);
      filter.Resolve(SqlColumnsOf(fields), "objects");
      const SourcePrefilter prefilter = filter.Prefilter(fields);
      for (int i = 0; i < 200; ++i) {
        std::fill(record.begin(), record.end(), 0);
        const std::string& stored = stored_values[rng() % stored_values.size()];
        if (!stored.empty()) {
          record[package.offset] = 1;
          std::memcpy(&record[package.offset + 1], stored.data(), stored.size());
        }
        if (rng() % 2) {
          record[fields[2].offset] = 1;
          std::memcpy(&record[fields[2].offset + 1], "actor", 5);
        }
        row.SetRecord(record.data());
        const bool holds = filter.Passes(row);
        const bool passes = prefilter.Passes(record.data());
        SCOPED_TRACE("'" + stored + "'");
        EXPECT_TRUE(passes || !holds);
        EXPECT_TRUE(!c.exact || passes == holds);
        EXPECT_TRUE(!prefilter.Exact() || passes == holds);
        refused += passes ? 0 : 1;
      }
    }
  }
  EXPECT_GT(refused, 500);  // the test does turn rows away
}

}  // namespace
}  // namespace quoldex::tables
