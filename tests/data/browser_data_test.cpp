#include "data/browser_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/createobject.h"
#include "data/pref_record.h"
#include "fakes/temp_dir.h"
#include "tables/base/engine_error.h"

namespace quoldex::data {
namespace {

using tables::EDatabaseError;
using tables::EDbEngineError;
using tables::TDataSet;
using testing::TempDir;

class BrowserDataTest : public ::testing::Test {
 protected:
  BrowserDataTest() {
    CreateDataTables(dir_.path());
    for (tables::TDbTable* t : {&d_.dtblObjects, &d_.dtblPref, &d_.dtblSystemU, &d_.dtblMaps}) {
      t->SetDatabaseName(dir_.path());
    }
    for (tables::TDbQuery* q :
         {&d_.dsqlBase, &d_.dsqlPackages, &d_.dsqlBaseKids, &d_.dsqlPackageLevel}) {
      q->SetDatabaseName(dir_.path());
    }
  }

  void AddClass(const std::string& name, const std::string& parent, const std::string& package) {
    d_.dtblObjects.Append();
    d_.dtblObjectsObjectName->SetAsString(name);
    d_.dtblObjectsInheritsFrom->SetAsString(parent);
    d_.dtblObjectsFilename->SetAsString("/scripts/" + name + ".uc");
    d_.dtblObjectsPackage->SetAsString(package);
    d_.dtblObjects.Post();
  }

  static std::vector<std::string> Column(TDataSet& data_set, tables::TField* field) {
    std::vector<std::string> values;
    for (data_set.First(); !data_set.Eof(); data_set.Next()) values.push_back(field->AsString());
    return values;
  }

  TempDir dir_;
  BrowserData d_;
};

TEST_F(BrowserDataTest, TheQueriesRunOverTheClassTableWithTheirFieldObjects) {
  d_.dtblObjects.Open();
  AddClass("Object", "<none>", "core");
  AddClass("Pawn", "actor", "engine");
  AddClass("Actor", "object", "engine");
  AddClass("Brush", "actor", "engine");
  AddClass("Mover", "brush", "engine");

  d_.dsqlBase.ParamByName("Ancestor").SetAsString("actor");
  d_.dsqlBase.Open();
  EXPECT_EQ(Column(d_.dsqlBase, d_.dsqlBaseObjectName),
            (std::vector<std::string>{"Brush", "Pawn"}));
  EXPECT_EQ(d_.dsqlBase.FieldCount(), 5);
  d_.dsqlBase.Close();

  d_.dsqlPackages.Open();
  EXPECT_EQ(Column(d_.dsqlPackages, d_.dsqlPackagespackage),
            (std::vector<std::string>{"core", "engine"}));

  d_.dsqlPackageLevel.ParamByName("Package").SetAsString("engine");
  d_.dsqlPackageLevel.Open();
  EXPECT_EQ(Column(d_.dsqlPackageLevel, d_.dsqlPackageLevelObjectName),
            (std::vector<std::string>{"Actor", "Brush", "Mover", "Pawn"}));

  d_.dsqlBaseKids.Open();
  std::vector<std::string> kids = Column(d_.dsqlBaseKids, d_.dsqlBaseKidsInheritsFrom);
  std::sort(kids.begin(), kids.end());
  EXPECT_EQ(kids, (std::vector<std::string>{"<none>", "actor", "brush", "object"}));
}

TEST_F(BrowserDataTest, TheClassTableRefusesTwoNamesDifferingOnlyInCase) {
  d_.dtblObjects.Open();
  EXPECT_EQ(d_.dtblObjects.IndexName(), "ByName");
  AddClass("Actor", "object", "engine");
  try {
    AddClass("actor", "object", "mymod");
    FAIL() << "stored twice";
  } catch (const EDbEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), tables::kErrDuplicateKey);
  }
  d_.dtblObjects.Cancel();
  EXPECT_EQ(d_.dtblObjects.RecordCount(), 1);

  // A required field object left null stops the post with its display name.
  d_.dtblObjects.Append();
  d_.dtblObjectsInheritsFrom->SetAsString(".");
  d_.dtblObjectsFilename->SetAsString("/x.uc");
  EXPECT_THROW(
      {
        try {
          d_.dtblObjects.Post();
        } catch (const EDatabaseError& e) {
          EXPECT_STREQ(e.what(), "Field 'Name' must have a value");
          throw;
        }
      },
      EDatabaseError);
}

TEST_F(BrowserDataTest, MapNamesAreCaseSensitiveAndCutToTwentyFiveCharacters) {
  d_.dtblMaps.Open();
  for (const char* name : {"A.unr", "a.unr", "ThirtyCharacterMapName1234.unr"}) {
    d_.dtblMaps.Append();
    d_.dtblMapsMapName->SetAsString(name);
    d_.dtblMapsFilename->SetAsString(std::string("/maps/") + name);
    d_.dtblMaps.Post();
  }
  EXPECT_EQ(Column(d_.dtblMaps, d_.dtblMapsMapName),
            (std::vector<std::string>{"A.unr", "ThirtyCharacterMapName123", "a.unr"}));
}

TEST_F(BrowserDataTest, ANewPreferenceRecordHasTheStoredDefaultsThenTheNewRecordStep) {
  d_.dtblPref.Open();
  // The stored defaults alone, before the program's step runs.
  d_.dtblPref.SetOnNewRecord(nullptr);
  d_.dtblPref.Append();
  EXPECT_EQ(d_.dtblPrefPrefId->AsInteger(), 1);
  for (tables::TField* f :
       {d_.dtblPrefCanEditSystemU, d_.dtblPrefWarnBeforeCompiling, d_.dtblPrefCheckChildren,
        d_.dtblPrefGrepModal, d_.dtblPrefGrepStayOnTop}) {
    EXPECT_FALSE(f->IsNull()) << f->FieldName();
    EXPECT_FALSE(f->AsBoolean()) << f->FieldName();
  }
  EXPECT_TRUE(d_.dtblPrefAddExportedClasses->AsBoolean());
  EXPECT_TRUE(d_.dtblPrefSaveWindowPos->IsNull());
  d_.dtblPref.Cancel();

  d_.dtblPref.SetOnNewRecord([this](TDataSet& ds) { d_.dtblPrefNewRecord(ds); });
  PrefRecord pref(d_.dtblPref);
  pref.Edit();  // on the empty table: creates the record
  EXPECT_TRUE(pref.CheckChildren());
  EXPECT_FALSE(pref.IsNull("SaveWindowPos"));
  EXPECT_FALSE(pref.SaveWindowPos());
  EXPECT_TRUE(pref.AddExportedClasses());
  EXPECT_FALSE(pref.CanEditSystemU());
  EXPECT_FALSE(pref.WarnBeforeCompiling());
  EXPECT_TRUE(pref.IsNull("SystemDir"));
  EXPECT_FALSE(pref.Integer("WindowLeft"));
  pref.Post();
  EXPECT_EQ(d_.dtblPref.RecordCount(), 1);
  EXPECT_EQ(pref.Integer("PrefId"), 1);

  // The table holds one record at most: a second one collides on PrefId 1,
  // and any other PrefId is out of bounds.
  d_.dtblPref.Append();
  EXPECT_THROW(d_.dtblPref.Post(), EDbEngineError);
  d_.dtblPrefPrefId->SetAsInteger(2);
  try {
    d_.dtblPref.Post();
    FAIL() << "PrefId 2 stored";
  } catch (const EDbEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), tables::kErrAboveMaximum);
  }
  d_.dtblPref.Cancel();
  EXPECT_EQ(d_.dtblPref.RecordCount(), 1);
}

TEST_F(BrowserDataTest, PreferenceReadersSeeNullsWithoutARecordAndFreshValuesAfterEachPost) {
  PrefRecord pref(d_.dtblPref);
  // Closed table and empty table read alike.
  EXPECT_TRUE(pref.IsNull("SystemDir"));
  EXPECT_EQ(pref.SystemDir(), "");
  EXPECT_FALSE(pref.AddExportedClasses());
  d_.dtblPref.Open();
  EXPECT_TRUE(pref.IsNull("SystemDir"));
  EXPECT_FALSE(pref.CheckChildren());
  EXPECT_EQ(pref.Integer("WindowTop"), std::nullopt);

  // A record begun and cancelled is not stored.
  pref.Edit();
  pref.SetText("SystemDir", "/games/ut/System");
  pref.Cancel();
  EXPECT_EQ(d_.dtblPref.RecordCount(), 0);
  EXPECT_TRUE(pref.IsNull("SystemDir"));

  pref.Edit();
  pref.SetText("SystemDir", "/games/ut/System");
  pref.SetInteger("WindowLeft", 12);
  pref.Post();
  EXPECT_EQ(pref.SystemDir(), "/games/ut/System");
  EXPECT_EQ(pref.Integer("WindowLeft"), 12);

  // Modified tells an edit that changed something from one that did not.
  pref.Edit();
  EXPECT_FALSE(pref.Modified());
  pref.SetText("DefaultCompilePackage", "mymod");
  EXPECT_TRUE(pref.Modified());
  pref.Post();
  EXPECT_EQ(pref.DefaultCompilePackage(), "mymod");
  EXPECT_EQ(pref.SystemDir(), "/games/ut/System");

  // Writing outside an edit is refused.
  EXPECT_THROW(pref.SetText("TestMap", "x"), EDatabaseError);
}

}  // namespace
}  // namespace quoldex::data
