#include "tables/components/db_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tables/components/db_test_util.h"

namespace quoldex::tables {
namespace {

using test::AddClass;
using test::Column;
using test::DbErrorOf;
using test::EngineCode;

class DbTableTest : public ::testing::Test {
 protected:
  void OpenObjects(TDbTable& t) {
    t.SetDatabaseName(dir_.Dir());
    t.SetTableName("Objects.DAT");
    t.Open();
  }
  // objects.dat with Object, Actor, Brush and Info.
  void FillObjects() {
    test::CreateTable(dir_.Dir(), test::DefineObjects, {}, "Quoldex Objects");
    TDbTable t;
    OpenObjects(t);
    AddClass(t, "Object", "<none>", "core");
    AddClass(t, "Actor", "object", "engine");
    AddClass(t, "Brush", "actor", "engine");
    AddClass(t, "Info", "actor", "engine");
  }

  test::TempDir dir_;
};

// ---- Settings, creation and misuse ----

TEST_F(DbTableTest, MisuseRaisesTheComponentMessages) {
  TDbTable t;
  t.SetDatabaseName(dir_.Dir());
  EXPECT_EQ(DbErrorOf([&] { t.Open(); }), "Missing table name.");
  EXPECT_FALSE(t.Active());
  EXPECT_FALSE(t.Exists());
  EXPECT_EQ(DbErrorOf([&] { t.First(); }), "Cannot perform this operation on a closed dataset");
  EXPECT_EQ(DbErrorOf([&] { t.Post(); }), "Cannot perform this operation on a closed dataset");

  FillObjects();
  OpenObjects(t);
  const std::string open = "Cannot perform this operation on an open database.";
  EXPECT_EQ(DbErrorOf([&] { t.SetDatabaseName("/elsewhere"); }), open);
  EXPECT_EQ(DbErrorOf([&] { t.SetTableName("maps.dat"); }), open);
  EXPECT_EQ(DbErrorOf([&] { t.SetExclusive(true); }), open);
  EXPECT_EQ(DbErrorOf([&] { t.SetLockRetryCount(1); }), open);
  EXPECT_EQ(DbErrorOf([&] { t.CreateTable(); }), open);
  EXPECT_EQ(DbErrorOf([&] { t.AddField<TStringField>("Extra", 5); }), open);
  EXPECT_EQ(t.DatabaseName(), dir_.Dir());
  EXPECT_EQ(DbErrorOf([&] { t.Post(); }), "Dataset not in edit or insert mode");
  EXPECT_EQ(DbErrorOf([&] { t.FieldByName("Nope"); }), "Field 'Nope' not found");
  EXPECT_EQ(EngineCode([&] { t.Restructure({}, {}, ""); }), kErrInUse);
  EXPECT_TRUE(t.Exists());
}

TEST_F(DbTableTest, SettingsKeepTheirDefaults) {
  TDbTable t;
  EXPECT_EQ(t.EngineVersion(), "1.21");
  EXPECT_EQ(t.LockRetryCount(), 15);
  EXPECT_EQ(t.LockWaitTime(), 100);
  EXPECT_FALSE(t.Exclusive());
  EXPECT_FALSE(t.ReadOnly());
  EXPECT_FALSE(t.ForceBufferFlush());
  EXPECT_FALSE(t.StrictChangeDetection());
  EXPECT_EQ(t.State(), DataSetState::kInactive);
}

TEST_F(DbTableTest, DefinitionNamesAreChecked) {
  TDbTable t;
  t.FieldDefs().Add({"Package", FieldKind::kString, 35, true});
  EXPECT_EQ(DbErrorOf([&] {
              t.FieldDefs().Add({"PACKAGE", FieldKind::kInteger});
            }),
            "Duplicate field name 'PACKAGE'");
  EXPECT_EQ(DbErrorOf([&] { t.FieldDefs().Add({"", FieldKind::kInteger}); }), "Field name missing");
  t.IndexDefs().Add({"", "Package", {.unique = true}});
  t.IndexDefs().Add({"ByX", "Package", {}});
  EXPECT_EQ(DbErrorOf([&] {
              t.IndexDefs().Add({"byx", "Package", {}});
            }),
            "Duplicate index name 'byx'");
  EXPECT_EQ(t.FieldDefs().Count(), 1u);
  EXPECT_EQ(t.IndexDefs().Count(), 2u);
}

TEST_F(DbTableTest, CreateRefusesAnIndexOnAnUnknownFieldAndCreatesNothing) {
  TDbTable t;
  t.SetDatabaseName(dir_.Dir());
  test::DefineSystemU(t);
  t.IndexDefs().Add({"ByPackage", "Package;Version", {}});
  EXPECT_EQ(DbErrorOf([&] { t.CreateTable(); }), "Field 'Version' not found");
  EXPECT_FALSE(t.Exists());
}

TEST_F(DbTableTest, RestructureOfAnUnchangedTableChangesNothing) {
  test::CreateTable(dir_.Dir(), test::DefinePref, test::PrefLimits());
  const auto before = test::ReadAll(dir_.File("pref.DAT"));
  TDbTable t;
  t.SetDatabaseName(dir_.Dir());
  test::DefinePref(t);
  TRestructureFieldDefs fields;
  int number = 0;
  for (const TFieldDef& def : t.FieldDefs()) {
    TRestructureFieldDef r{
        .name = def.name, .kind = def.kind, .number = ++number, .required = def.required};
    r.size = def.size;
    for (const test::Limits& l : test::PrefLimits()) {
      if (l.field == def.name) {
        r.default_value = l.default_value;
        r.min_value = l.min_value;
        r.max_value = l.max_value;
      }
    }
    fields.Add(r);
  }
  TRestructureIndexDefs indexes;
  indexes.Add({.name = "", .fields = "PrefId", .options = {.unique = true}});
  EXPECT_EQ(t.Restructure(fields, indexes, ""), RestructureOutcome::kUnchanged);
  EXPECT_EQ(test::ReadAll(dir_.File("pref.DAT")), before);
  indexes.Add({.name = "ByDir", .fields = "Nowhere"});
  EXPECT_EQ(DbErrorOf([&] { t.Restructure(fields, indexes, ""); }), "Field 'Nowhere' not found");
}

// ---- The preference record ----

TEST_F(DbTableTest, EditOnTheEmptyPreferenceTableStartsANewRowWithDefaultsThenOnNewRecord) {
  test::CreateTable(dir_.Dir(), test::DefinePref, test::PrefLimits());
  TDbTable pref;
  pref.SetDatabaseName(dir_.Dir());
  pref.SetTableName("Pref.DAT");
  std::vector<std::string> seen_in_handler;
  pref.SetOnNewRecord([&](TDataSet& d) {
    // The stored defaults are already there when the handler runs.
    seen_in_handler.push_back(d.FieldByName("AddExportedClasses").AsString());
    seen_in_handler.push_back(d.FieldByName("PrefId").AsString());
    d.FieldByName("WarnBeforeCompiling").SetAsBoolean(false);
    d.FieldByName("SaveWindowPos").SetAsBoolean(false);
    d.FieldByName("CanEditSystemU").SetAsBoolean(false);
    d.FieldByName("CheckChildren").SetAsBoolean(true);
  });
  pref.Open();
  EXPECT_TRUE(pref.IsEmpty());
  EXPECT_TRUE(pref.Bof());
  EXPECT_TRUE(pref.Eof());
  // A missing record reads as nulls: booleans false, texts empty.
  EXPECT_FALSE(pref.FieldByName("GrepModal").AsBoolean());
  EXPECT_EQ(pref.FieldByName("SystemDir").AsString(), "");

  pref.Edit();
  EXPECT_EQ(pref.State(), DataSetState::kInsert);
  EXPECT_EQ(seen_in_handler, (std::vector<std::string>{"True", "1"}));
  EXPECT_FALSE(pref.Modified());
  pref.FieldByName("SystemDir").SetAsString("/games/ut/System");
  EXPECT_TRUE(pref.Modified());
  pref.Post();
  EXPECT_EQ(pref.State(), DataSetState::kBrowse);
  pref.Close();

  pref.Open();
  EXPECT_EQ(pref.RecordCount(), 1);
  EXPECT_EQ(pref.FieldByName("PrefId").AsInteger(), 1);
  EXPECT_EQ(pref.FieldByName("SystemDir").AsString(), "/games/ut/System");
  EXPECT_TRUE(pref.FieldByName("CheckChildren").AsBoolean());
  EXPECT_TRUE(pref.FieldByName("AddExportedClasses").AsBoolean());
  EXPECT_FALSE(pref.FieldByName("SaveWindowPos").IsNull());
  EXPECT_FALSE(pref.FieldByName("SaveWindowPos").AsBoolean());
  for (const char* f : {"CanEditSystemU", "WarnBeforeCompiling", "GrepModal", "GrepStayOnTop"}) {
    EXPECT_FALSE(pref.FieldByName(f).AsBoolean()) << f;
  }
  EXPECT_TRUE(pref.FieldByName("WindowLeft").IsNull());
  EXPECT_EQ(pref.FieldByName("WindowLeft").AsInteger(), 0);

  // Now the record exists, Edit changes it instead of adding one.
  pref.Edit();
  EXPECT_EQ(pref.State(), DataSetState::kEdit);
  pref.FieldByName("WindowLeft").SetAsInteger(40);
  pref.Post();
  EXPECT_EQ(pref.RecordCount(), 1);
  EXPECT_EQ(pref.FieldByName("WindowLeft").AsInteger(), 40);
}

TEST_F(DbTableTest, EngineLimitsRefuseASecondPreferenceRecord) {
  test::CreateTable(dir_.Dir(), test::DefinePref, test::PrefLimits());
  TDbTable pref;
  pref.SetDatabaseName(dir_.Dir());
  test::DefinePref(pref);
  pref.Open();
  pref.Append();
  pref.Post();
  pref.Append();
  EXPECT_EQ(EngineCode([&] { pref.Post(); }), kErrDuplicateKey);
  pref.FieldByName("PrefId").SetAsInteger(2);
  EXPECT_EQ(EngineCode([&] { pref.Post(); }), kErrAboveMaximum);
  EXPECT_EQ(pref.State(), DataSetState::kInsert);
  pref.Cancel();
  EXPECT_EQ(pref.RecordCount(), 1);
}

TEST_F(DbTableTest, ReadOnlyTablesRefuseChangesAndCloseDiscardsAPendingRow) {
  FillObjects();
  TDbTable t;
  t.SetReadOnly(true);
  OpenObjects(t);
  EXPECT_EQ(EngineCode([&] { t.Append(); }), kErrAccessDenied);
  EXPECT_EQ(t.State(), DataSetState::kBrowse);
  t.Close();

  t.SetReadOnly(false);
  t.Open();
  t.Append();
  t.FieldByName("ObjectName").SetAsString("Mover");
  t.FieldByName("InheritsFrom").SetAsString("actor");
  t.FieldByName("Filename").SetAsString("/x.uc");
  t.Close();  // not posted
  t.Open();
  EXPECT_EQ(t.RecordCount(), 4);
}

// ---- Posting and cancelling ----

TEST_F(DbTableTest, RequiredFieldObjectStopsThePostWithItsDisplayLabel) {
  FillObjects();
  TDbTable t;
  t.SetDatabaseName(dir_.Dir());
  t.SetTableName("objects.dat");
  t.SetIndexName("ByName");
  t.AddField<TAutoIncField>("ObjectId").SetVisible(false);
  t.AddField<TStringField>("ObjectName", 35).SetDisplayLabel("Name");
  t.AddField<TStringField>("InheritsFrom", 35).SetDisplayLabel("Inherits From");
  t.AddField<TStringField>("FileTimeStamp", 10);
  t.AddField<TStringField>("Package", 20);
  t.AddField<TStringField>("Filename", 250);
  t.Open();
  t.Locate("ObjectName", "Brush", {});
  const auto before = test::ReadAll(dir_.File("objects.DAT"));

  t.Insert();
  t.FieldByName("InheritsFrom").SetAsString("actor");
  t.FieldByName("Filename").SetAsString("/x.uc");
  EXPECT_EQ(DbErrorOf([&] { t.Post(); }), "Field 'Name' must have a value");
  EXPECT_EQ(t.State(), DataSetState::kInsert);
  EXPECT_EQ(t.FieldByName("InheritsFrom").AsString(), "actor");  // the row being built stays
  t.FieldByName("InheritsFrom").Clear();
  t.FieldByName("ObjectName").SetAsString("Mover");
  EXPECT_EQ(DbErrorOf([&] { t.Post(); }), "Field 'Inherits From' must have a value");

  t.Cancel();
  EXPECT_EQ(t.State(), DataSetState::kBrowse);
  EXPECT_EQ(t.RecordCount(), 4);
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Brush");
  EXPECT_EQ(test::ReadAll(dir_.File("objects.DAT")), before);
  EXPECT_EQ(Column(t, "ObjectName"),
            (std::vector<std::string>{"Actor", "Brush", "Info", "Object"}));
}

TEST_F(DbTableTest, RequiredNullWithoutARequiredFieldObjectIsRefusedByTheEngine) {
  FillObjects();
  TDbTable t;
  t.SetDatabaseName(dir_.Dir());
  t.SetTableName("objects.dat");
  // No field object for the required InheritsFrom; Filename's is told not
  // to insist.
  t.AddField<TStringField>("ObjectName", 35);
  t.AddField<TStringField>("Filename", 250).SetRequired(false);
  t.Open();
  const auto before = test::ReadAll(dir_.File("objects.DAT"));
  t.Append();
  t.FieldByName("ObjectName").SetAsString("Mover");
  try {
    t.Post();
    ADD_FAILURE() << "posted";
  } catch (const EDbEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrRequired);
    EXPECT_NE(std::string(e.what()).find("A value must be provided for the field"),
              std::string::npos);
  }
  EXPECT_EQ(t.State(), DataSetState::kInsert);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 4);
  EXPECT_EQ(test::ReadAll(dir_.File("objects.DAT")), before);
}

TEST_F(DbTableTest, DuplicateNameInAnyCaseIsRefusedAndTheTableKept) {
  FillObjects();
  TDbTable t;
  OpenObjects(t);
  t.Append();
  t.FieldByName("ObjectName").SetAsString("ACTOR");
  t.FieldByName("InheritsFrom").SetAsString("object");
  t.FieldByName("Filename").SetAsString("/x.uc");
  EXPECT_EQ(EngineCode([&] { t.Post(); }), kErrDuplicateKey);
  t.Cancel();
  EXPECT_EQ(t.RecordCount(), 4);
}

TEST_F(DbTableTest, EditPostDeleteAndNavigationPostingPendingChanges) {
  FillObjects();
  TDbTable t;
  OpenObjects(t);
  t.SetIndexName("ByName");
  ASSERT_TRUE(t.Locate("ObjectName", "info", {.case_insensitive = true}));
  t.Edit();
  EXPECT_EQ(t.State(), DataSetState::kEdit);
  t.FieldByName("Package").SetAsString("botpack");
  t.Next();  // posts first
  EXPECT_EQ(t.State(), DataSetState::kBrowse);
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Object");
  ASSERT_TRUE(t.Locate("ObjectName", "Info", {}));
  EXPECT_EQ(t.FieldByName("Package").AsString(), "botpack");

  t.Delete();
  EXPECT_EQ(t.RecordCount(), 3);
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Object");  // the next row
  t.Last();
  t.Delete();  // the last row: the new last becomes current
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Brush");
  t.Delete();
  t.Delete();
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_TRUE(t.Bof() && t.Eof());
  EXPECT_EQ(DbErrorOf([&] { t.Delete(); }), "Cannot perform this operation on an empty dataset");
}

// ---- Navigation, indexes, searching ----

TEST_F(DbTableTest, NavigationStaysOnTheEdgeRows) {
  FillObjects();
  TDbTable t;
  OpenObjects(t);
  EXPECT_TRUE(t.Bof());
  EXPECT_FALSE(t.Eof());
  EXPECT_EQ(t.RecNo(), 1);
  EXPECT_EQ(Column(t, "ObjectName"),
            (std::vector<std::string>{"Object", "Actor", "Brush", "Info"}));
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Info");  // still on the last row
  t.Next();
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Info");
  t.Prior();
  EXPECT_FALSE(t.Eof());
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Brush");
  EXPECT_EQ(t.RecNo(), 3);
  t.First();
  t.Prior();
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Object");
  t.Last();
  EXPECT_TRUE(t.Eof());
  EXPECT_FALSE(t.Bof());
}

TEST_F(DbTableTest, IndexByNameOrFieldsAndTheirErrors) {
  FillObjects();
  TDbTable t;
  t.SetIndexName("byname");
  OpenObjects(t);
  EXPECT_EQ(Column(t, "ObjectName"),
            (std::vector<std::string>{"Actor", "Brush", "Info", "Object"}));
  t.SetIndexFieldNames("InheritsFrom;ObjectName");
  EXPECT_EQ(t.IndexName(), "");
  EXPECT_EQ(Column(t, "ObjectName"),
            (std::vector<std::string>{"Object", "Brush", "Info", "Actor"}));
  EXPECT_EQ(EngineCode([&] { t.SetIndexName("ByPackage"); }), kErrIndexName);
  EXPECT_EQ(t.IndexFieldNames(), "InheritsFrom;ObjectName");  // kept after the failure
  EXPECT_EQ(DbErrorOf([&] { t.SetIndexFieldNames("Package"); }), "No index for fields 'Package'");
  t.SetIndexName("");
  EXPECT_EQ(Column(t, "ObjectName"),
            (std::vector<std::string>{"Object", "Actor", "Brush", "Info"}));

  t.Close();
  t.SetIndexName("ByPackage");
  EXPECT_EQ(EngineCode([&] { t.Open(); }), kErrIndexName);
  EXPECT_FALSE(t.Active());
}

TEST_F(DbTableTest, LocateComparesWholeValuesIgnoringCaseOnlyWhenAsked) {
  FillObjects();
  TDbTable t;
  OpenObjects(t);
  const LocateOptions nocase{.case_insensitive = true};
  EXPECT_TRUE(t.Locate("ObjectName", "actor", nocase));
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Actor");
  t.First();
  EXPECT_FALSE(t.Locate("ObjectName", "act", nocase));
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Object");  // not moved
  EXPECT_FALSE(t.Locate("ObjectName", "actor", {}));
  EXPECT_TRUE(t.Locate("ObjectName", "act", {.case_insensitive = true, .partial_key = true}));
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Actor");

  // Several fields, and a non-string field given as text.
  const FieldValue keys[] = {FieldValue::String("ACTOR"), FieldValue::String("info")};
  EXPECT_TRUE(t.Locate("InheritsFrom;ObjectName", keys, nocase));
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Info");
  EXPECT_TRUE(t.Locate("ObjectId", "3", {}));
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Brush");
  EXPECT_EQ(DbErrorOf([&] { t.Locate("Name", "Actor", {}); }), "Field 'Name' not found");
  // Blanks around a name do not count; a list without names has no column
  // for its value.
  EXPECT_TRUE(t.Locate(" ObjectName  ", "info", nocase));
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Info");
  EXPECT_EQ(DbErrorOf([&] { t.Locate(" Name ", "Actor", {}); }), "Field 'Name' not found");
  EXPECT_THROW(t.Locate("  ", "Actor", {}), std::invalid_argument);
}

TEST_F(DbTableTest, FindKeyAndRangesOnTheCurrentIndex) {
  FillObjects();
  TDbTable t;
  t.SetIndexName("ByInheritance");
  OpenObjects(t);
  const FieldValue actor[] = {FieldValue::String("actor")};
  t.SetRange(actor, actor);
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(Column(t, "ObjectName"), (std::vector<std::string>{"Brush", "Info"}));
  t.CancelRange();
  EXPECT_EQ(t.RecordCount(), 4);

  const FieldValue key[] = {FieldValue::String("ACTOR"), FieldValue::String("info")};
  EXPECT_TRUE(t.FindKey(key));
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Info");
  const FieldValue missing[] = {FieldValue::String("pawn")};
  EXPECT_FALSE(t.FindKey(missing));
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Info");
}

TEST_F(DbTableTest, EmptyTableThroughAClosedTable) {
  FillObjects();
  TDbTable t;
  t.SetDatabaseName(dir_.Dir());
  t.SetTableName("objects");
  t.EmptyTable();
  t.Open();
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_EQ(t.RecordCount(), 0);
  // Through an open shared table the engine insists on exclusive use.
  EXPECT_EQ(EngineCode([&] { t.EmptyTable(); }), kErrNotExclusive);
}

// ---- Filters ----

TEST_F(DbTableTest, FilterByPackageIgnoresCaseWithoutPartialCompare) {
  FillObjects();
  TDbTable t;
  OpenObjects(t);
  AddClass(t, "Bot", "pawn", "botpack");
  AddClass(t, "Bot2", "pawn", "botpack2");
  AddClass(t, "Bot3", "pawn", "BotPack");
  t.SetFilterOptions({.case_insensitive = true, .no_partial_compare = true});
  t.SetFilter("Package = 'BotPack'");
  t.Last();
  t.SetFiltered(true);  // moves to the first passing row
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Bot");
  EXPECT_TRUE(t.Bof());
  EXPECT_EQ(Column(t, "ObjectName"), (std::vector<std::string>{"Bot", "Bot3"}));
  EXPECT_FALSE(t.Locate("ObjectName", "Bot2", {}));

  t.SetFilter("Package = 'engine'");
  EXPECT_EQ(t.FieldByName("ObjectName").AsString(), "Actor");
  t.SetFiltered(false);
  EXPECT_EQ(Column(t, "ObjectName").size(), 7u);

  // Opening applies a filter set while closed.
  t.Close();
  t.SetFilter("Package = 'bot*'");
  t.SetFilterOptions({});
  t.SetFiltered(true);
  t.Open();
  EXPECT_EQ(Column(t, "ObjectName"), (std::vector<std::string>{"Bot", "Bot2"}));
}

TEST_F(DbTableTest, BadFiltersAreRefusedAndTheOldOneKept) {
  FillObjects();
  TDbTable t;
  OpenObjects(t);
  t.SetFilter("Package = 'core'");
  t.SetFiltered(true);
  EXPECT_EQ(EngineCode([&] { t.SetFilter("Package = 'core"); }), kErrSql);
  EXPECT_EQ(EngineCode([&] { t.SetFilter("Pkg = 'core'"); }), kErrSql);
  EXPECT_EQ(t.Filter(), "Package = 'core'");
  EXPECT_EQ(Column(t, "ObjectName"), (std::vector<std::string>{"Object"}));

  // An unknown column in a filter set while closed stops the open.
  t.Close();
  t.SetFilter("Pkg = 'core'");
  EXPECT_EQ(EngineCode([&] { t.Open(); }), kErrSql);
  EXPECT_FALSE(t.Active());
}

// ---- Events ----

TEST_F(DbTableTest, AfterOpenFillsAnEmptyListThroughOnNewRecord) {
  test::CreateTable(dir_.Dir(), test::DefineSystemU);
  TDbTable t;
  t.SetDatabaseName(dir_.Dir());
  t.SetTableName("SystemU.DAT");
  std::vector<std::string> events;
  t.SetOnNewRecord([&](TDataSet& d) {
    events.push_back("new:" + std::string(d.State() == DataSetState::kInsert ? "insert" : "?"));
  });
  t.SetAfterOpen([&](TDataSet& d) {
    events.push_back("after-open");
    if (!d.FieldByName("Package").AsString().empty()) return;
    for (const char* name : {"botpack", "core"}) {
      d.Append();
      d.FieldByName("Package").SetAsString(name);
      d.Post();
    }
  });
  t.Open();
  EXPECT_EQ(events, (std::vector<std::string>{"after-open", "new:insert", "new:insert"}));
  EXPECT_EQ(Column(t, "Package"), (std::vector<std::string>{"botpack", "core"}));
  t.Close();
  events.clear();
  t.Open();
  EXPECT_EQ(events, (std::vector<std::string>{"after-open"}));
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_TRUE(t.Locate("Package", "BotPack", {.case_insensitive = true}));
  EXPECT_FALSE(t.Locate("Package", "botpack.u", {.case_insensitive = true}));
}

TEST_F(DbTableTest, AFailingOnNewRecordCancelsTheNewRow) {
  test::CreateTable(dir_.Dir(), test::DefineSystemU);
  TDbTable t;
  t.SetDatabaseName(dir_.Dir());
  t.SetTableName("systemu");
  t.SetOnNewRecord([](TDataSet&) { throw EDatabaseError("no"); });
  t.Open();
  EXPECT_EQ(DbErrorOf([&] { t.Append(); }), "no");
  EXPECT_EQ(t.State(), DataSetState::kBrowse);
  EXPECT_TRUE(t.IsEmpty());
}

}  // namespace
}  // namespace quoldex::tables
