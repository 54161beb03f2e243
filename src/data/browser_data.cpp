#include "data/browser_data.h"

#include <string>

#include "tables/query/db_query_exec.h"
#include "tables/query/query_executor.h"

namespace quoldex::data {
namespace {

using tables::TAutoIncField;
using tables::TBooleanField;
using tables::TDataSet;
using tables::TDbQuery;
using tables::TDbTable;
using tables::TField;
using tables::TIntegerField;
using tables::TStringField;

constexpr const char* kEngineVersion = "1.21";
constexpr int kLockRetryCount = 15;
constexpr int kLockWaitTime = 100;

void ConfigureTable(TDbTable& table, const char* table_name) {
  table.SetTableName(table_name);
  table.SetEngineVersion(kEngineVersion);
  table.SetExclusive(false);
  table.SetReadOnly(false);
  table.SetLockRetryCount(kLockRetryCount);
  table.SetLockWaitTime(kLockWaitTime);
  table.SetForceBufferFlush(false);
}

void ConfigureQuery(TDbQuery& query, std::vector<std::string> sql) {
  query.SetEngineVersion(kEngineVersion);
  query.SetLockRetryCount(kLockRetryCount);
  query.SetLockWaitTime(kLockWaitTime);
  query.SetSQL(std::move(sql));
}

// A string field object with its presentation settings (0 width: the
// field's size; "" label: the field name).
TField* Text(TDataSet& data_set, const char* name, int size, const char* label = "", int width = 0,
             bool visible = true) {
  TField& field = data_set.AddField<TStringField>(name, size);
  field.SetDisplayLabel(label);
  field.SetDisplayWidth(width);
  field.SetVisible(visible);
  return &field;
}

template <typename F>
TField* Other(TDataSet& data_set, const char* name, const char* label = "", bool visible = true) {
  TField& field = data_set.AddField<F>(name);
  field.SetDisplayLabel(label);
  field.SetVisible(visible);
  return &field;
}

}  // namespace

BrowserData::BrowserData() {
  tables::SetQueryExecutor(tables::RunSelectQuery);

  ConfigureTable(dtblObjects, kObjectsTable);
  dtblObjects.SetIndexName("ByName");
  dtblObjectsObjectId = Other<TAutoIncField>(dtblObjects, "ObjectId", "", false);
  dtblObjectsObjectName = Text(dtblObjects, "ObjectName", 35, "Name", 20);
  dtblObjectsInheritsFrom = Text(dtblObjects, "InheritsFrom", 35, "Inherits From", 20);
  dtblObjectsFileTimeStamp = Text(dtblObjects, "FileTimeStamp", 10, "", 0, false);
  dtblObjectsPackage = Text(dtblObjects, "Package", 20, "", 20);
  dtblObjectsFilename = Text(dtblObjects, "Filename", 250, "", 40);

  ConfigureQuery(dsqlBase,
                 {"select * from Objects where InheritsFrom = :Ancestor", "order by Objectname"});
  dsqlBaseObjectName = Text(dsqlBase, "ObjectName", 35);
  dsqlBaseObjectId = Other<TIntegerField>(dsqlBase, "ObjectId");
  dsqlBaseInheritsFrom = Text(dsqlBase, "InheritsFrom", 35);
  dsqlBaseFilename = Text(dsqlBase, "Filename", 250);
  dsqlBaseFileTimeStamp = Text(dsqlBase, "FileTimeStamp", 10);

  ConfigureQuery(dsqlPackages, {"select package ", "from objects", "group by package"});
  dsqlPackagespackage = Text(dsqlPackages, "package", 20);

  ConfigureQuery(dsqlBaseKids, {"select distinct InheritsFrom ", "from Objects "});
  dsqlBaseKidsInheritsFrom = Text(dsqlBaseKids, "InheritsFrom", 35);

  ConfigureTable(dtblPref, kPrefTable);
  dtblPrefPrefId = Other<TIntegerField>(dtblPref, "PrefId", "", false);
  dtblPrefSystemDir = Text(dtblPref, "SystemDir", 250, "System Directory");
  dtblPrefCanEditSystemU = Other<TBooleanField>(dtblPref, "CanEditSystemU", "Can Edit System U");
  dtblPrefWarnBeforeCompiling =
      Other<TBooleanField>(dtblPref, "WarnBeforeCompiling", "Warn Before Compiling");
  dtblPrefDefaultCompilePackage = Text(dtblPref, "DefaultCompilePackage", 35);
  dtblPrefSaveWindowPos = Other<TBooleanField>(dtblPref, "SaveWindowPos");
  dtblPrefWindowLeft = Other<TIntegerField>(dtblPref, "WindowLeft");
  dtblPrefwindowWidth = Other<TIntegerField>(dtblPref, "WindowWidth");
  dtblPrefWindowTop = Other<TIntegerField>(dtblPref, "WindowTop");
  dtblPrefWindowHeight = Other<TIntegerField>(dtblPref, "WindowHeight");
  dtblPrefTestMap = Text(dtblPref, "TestMap", 250);
  dtblPrefCheckChildren = Other<TBooleanField>(dtblPref, "CheckChildren");
  dtblPrefGrepModal = Other<TBooleanField>(dtblPref, "GrepModal");
  dtblPrefGrepStayOnTop = Other<TBooleanField>(dtblPref, "GrepStayOnTop");
  dtblPrefAddExportedClasses = Other<TBooleanField>(dtblPref, "AddExportedClasses");
  dtblPref.SetOnNewRecord([this](TDataSet& data_set) { dtblPrefNewRecord(data_set); });

  ConfigureTable(dtblSystemU, kSystemUTable);
  dtblSystemUPackage = Text(dtblSystemU, "Package", 35);

  ConfigureQuery(dsqlPackageLevel,
                 {"select * from Objects where Package = :Package", "order by Objectname"});
  dsqlPackageLevelObjectId = Other<TIntegerField>(dsqlPackageLevel, "ObjectId");
  dsqlPackageLevelObjectName = Text(dsqlPackageLevel, "ObjectName", 35);
  dsqlPackageLevelInheritsFrom = Text(dsqlPackageLevel, "InheritsFrom", 35);
  dsqlPackageLevelFilename = Text(dsqlPackageLevel, "Filename", 250);
  dsqlPackageLevelFileTimeStamp = Text(dsqlPackageLevel, "FileTimeStamp", 10);
  dsqlPackageLevelPackage = Text(dsqlPackageLevel, "Package", 20);

  ConfigureTable(dtblMaps, kMapsTable);
  dtblMapsMapName = Text(dtblMaps, "MapName", 25);
  dtblMapsFilename = Text(dtblMaps, "Filename", 250);
}

void BrowserData::dtblPrefNewRecord(TDataSet& /*data_set*/) {
  dtblPrefWarnBeforeCompiling->SetAsBoolean(false);
  dtblPrefSaveWindowPos->SetAsBoolean(false);
  dtblPrefCanEditSystemU->SetAsBoolean(false);
  dtblPrefCheckChildren->SetAsBoolean(true);
}

}  // namespace quoldex::data
