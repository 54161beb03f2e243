#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "data/createobject.h"
#include "fakes/temp_dir.h"
#include "tables/base/engine_error.h"
#include "tables/components/db_field.h"
#include "tables/cursor/table_cursor.h"
#include "tables/data_file/data_file.h"

namespace quoldex::data {
namespace {

using tables::DataFileHeader;
using tables::FieldDesc;
using tables::IndexDesc;
using tables::TableCursor;
using tables::TableSettings;
using testing::TempDir;

// A column as the file stores it: name, type code, declared size, required,
// and the minimum, maximum and default texts.
struct Column {
  std::string name;
  int type;
  int size;
  bool required;
  std::string min = "", max = "", def = "";
  bool autoinc = false;
};

// An index as stored: name, field numbers, unique, case-insensitive.
struct Index {
  std::string name;
  std::vector<uint16_t> fields;
  bool unique;
  bool case_insensitive;
};

struct Stored {
  std::vector<Column> columns;
  std::vector<Index> indexes;
  std::string description;
  uint32_t blob_block_size = 0;
};

Stored ReadStored(const std::string& dir, const std::string& table) {
  TableSettings settings;
  settings.directory = dir;
  settings.table_name = table;
  TableCursor cursor(settings);
  cursor.Open();
  Stored stored;
  for (const FieldDesc& f : cursor.Fields()) {
    stored.columns.push_back({f.name, f.type, f.size, f.required, f.min_text, f.max_text,
                              f.default_text, f.IsAutoInc()});
  }
  for (const IndexDesc& i : cursor.Indexes()) {
    EXPECT_EQ(i.compression, 0) << table << " " << i.name;
    stored.indexes.push_back({i.name, i.fields, i.unique, i.case_insensitive});
  }
  cursor.Close();
  tables::TDataFile data(TableCursor::DataFileName(settings));
  data.Open(false, true, false);
  stored.description = data.Header().Description();
  stored.blob_block_size = data.Header().BlobBlockSize();
  EXPECT_FALSE(data.Header().Encrypted());
  data.Close();
  return stored;
}

void ExpectColumns(const Stored& stored, const std::vector<Column>& expected) {
  ASSERT_EQ(stored.columns.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const Column& s = stored.columns[i];
    const Column& e = expected[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(s.name, e.name);
    EXPECT_EQ(s.type, e.type);
    EXPECT_EQ(s.size, e.size);
    EXPECT_EQ(s.required, e.required);
    EXPECT_EQ(s.min, e.min);
    EXPECT_EQ(s.max, e.max);
    EXPECT_EQ(s.def, e.def);
    EXPECT_EQ(s.autoinc, e.autoinc);
  }
}

void ExpectIndexes(const Stored& stored, const std::vector<Index>& expected) {
  ASSERT_EQ(stored.indexes.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(stored.indexes[i].name, expected[i].name);
    EXPECT_EQ(stored.indexes[i].fields, expected[i].fields);
    EXPECT_EQ(stored.indexes[i].unique, expected[i].unique);
    EXPECT_EQ(stored.indexes[i].case_insensitive, expected[i].case_insensitive);
  }
}

constexpr int kStr = tables::kTypeString;
constexpr int kInt = tables::kTypeInteger;
constexpr int kBool = tables::kTypeBoolean;

TEST(CreateDataTablesTest, CreatesTheFiveCatalogueTablesWithTheirDefinitions) {
  TempDir dir;
  CreateDataTables(dir.path());

  Stored systemu = ReadStored(dir.path(), "systemu.dat");
  ExpectColumns(systemu, {{"Package", kStr, 35, true}});
  ExpectIndexes(systemu, {{"", {1}, true, true}});

  Stored maps = ReadStored(dir.path(), "maps.dat");
  ExpectColumns(maps, {{"MapName", kStr, 35, false}, {"Filename", kStr, 250, false}});
  ExpectIndexes(maps, {{"", {1}, true, false}});

  Stored objects = ReadStored(dir.path(), "objects.dat");
  ExpectColumns(objects, {{"ObjectId", kInt, 0, true, "", "", "", true},
                          {"ObjectName", kStr, 35, true},
                          {"InheritsFrom", kStr, 35, true},
                          {"Filename", kStr, 250, true},
                          {"FileTimeStamp", kStr, 10, false},
                          {"Package", kStr, 20, false}});
  ExpectIndexes(objects, {{"", {1}, true, false},
                          {"ByName", {2}, true, true},
                          {"ByInheritance", {3, 2}, false, true}});

  Stored pref = ReadStored(dir.path(), "pref.dat");
  ExpectColumns(pref, {{"PrefId", kInt, 0, true, "1", "1", "1"},
                       {"SystemDir", kStr, 250, false},
                       {"CanEditSystemU", kBool, 0, true, "", "", "False"},
                       {"WarnBeforeCompiling", kBool, 0, true, "", "", "False"},
                       {"DefaultCompilePackage", kStr, 35, false},
                       {"SaveWindowPos", kBool, 0, false},
                       {"WindowLeft", kInt, 0, false},
                       {"WindowWidth", kInt, 0, false},
                       {"WindowTop", kInt, 0, false},
                       {"WindowHeight", kInt, 0, false},
                       {"TestMap", kStr, 250, false},
                       {"CheckChildren", kBool, 0, false, "", "", "False"},
                       {"GrepModal", kBool, 0, false, "", "", "False"},
                       {"GrepStayOnTop", kBool, 0, false, "", "", "False"},
                       {"AddExportedClasses", kBool, 0, false, "", "", "True"}});
  ExpectIndexes(pref, {{"", {1}, true, false}});

  Stored items = ReadStored(dir.path(), "items.dat");
  ExpectColumns(items, {{"ItemId", kInt, 0, true, "", "", "", true},
                        {"ObjectId", kInt, 0, true},
                        {"ItemType", kStr, 1, true},
                        {"ItemName", kStr, 35, true},
                        {"LineNo", kInt, 0, true}});
  ExpectIndexes(items, {{"", {1}, true, false}, {"ByObject", {2, 1}, false, false}});

  // No table but the class table has a description; every table has
  // 512-byte blob blocks.
  for (const Stored* s : {&systemu, &maps, &pref, &items}) EXPECT_EQ(s->description, "");
  for (const Stored* s : {&systemu, &maps, &objects, &pref, &items}) {
    EXPECT_EQ(s->blob_block_size, 512u);
  }
  // Created in lower case, one data and one index file each, nothing else.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"items.DAT", "items.IDX", "maps.DAT", "maps.IDX",
                                             "objects.DAT", "objects.IDX", "pref.DAT", "pref.IDX",
                                             "systemu.DAT", "systemu.IDX"}));
}

TEST(CreateDataTablesTest, AnExistingTableIsLeftExactlyAsItIs) {
  TempDir dir;
  CreateDataTables(dir.path());
  // Replace pref.dat by a table of another structure: it must survive.
  std::filesystem::remove(dir.Path("pref.DAT"));
  std::filesystem::remove(dir.Path("pref.IDX"));
  std::filesystem::remove(dir.Path("systemu.DAT"));
  std::filesystem::remove(dir.Path("systemu.IDX"));
  std::filesystem::remove(dir.Path("objects.DAT"));
  std::filesystem::remove(dir.Path("objects.IDX"));
  {
    TableSettings settings;
    settings.directory = dir.path();
    settings.table_name = "pref.dat";
    tables::TableDefinition other;
    FieldDesc only;
    only.number = 1;
    only.name = "Other";
    tables::SetColumnType(tables::FieldKind::kString, &only);
    only.size = 10;
    other.fields.push_back(only);
    other.indexes.push_back({});
    TableCursor::Create(settings, other);
  }
  const std::string pref_before = dir.Read("pref.DAT");
  const std::string maps_before = dir.Read("maps.DAT");

  CreateDataTables(dir.path());

  EXPECT_EQ(dir.Read("pref.DAT"), pref_before);
  EXPECT_EQ(dir.Read("maps.DAT"), maps_before);
  EXPECT_EQ(ReadStored(dir.path(), "pref.dat").columns.size(), 1u);
  EXPECT_EQ(ReadStored(dir.path(), "systemu.dat").columns.size(), 1u);
  EXPECT_EQ(ReadStored(dir.path(), "objects.dat").columns.size(), 6u);
}

TEST(CreateDataTablesTest, AnErrorStopsAtThatTableKeepingTheOnesBefore) {
  TempDir dir;
  // A folder where the index file of maps.dat would go makes that table
  // impossible to create.
  std::filesystem::create_directory(dir.Path("maps.IDX"));
  EXPECT_THROW(CreateDataTables(dir.path()), tables::EDbEngineError);
  EXPECT_TRUE(std::filesystem::exists(dir.Path("systemu.DAT")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("maps.DAT")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("objects.DAT")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("pref.DAT")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("items.DAT")));
}

TEST(CreateDataTablesTest, AMissingFolderFailsWithTheEnginesErrorAtTheFirstTable) {
  TempDir dir;
  try {
    CreateDataTables(dir.Path("absent/"));
    FAIL() << "no error";
  } catch (const tables::EDbEngineError& e) {
    EXPECT_NE(std::string(e.what()).find("systemu"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace quoldex::data
