// BrowserData: the eight data sets of the main window over the catalogue
// tables, with their settings, persistent field objects and data sources.
//
// Construction only configures; nothing is opened and no folder is set:
// the owner points each data set at the data folder and opens the ones it
// needs (PrepareDataSet of the main window). Every data set uses engine
// version "1.21", lock retry count 15 and lock wait time 100 ms; the four
// tables open shared, read-write, without forced buffer flushing.
//
//   dtblObjects       objects.dat, active index "ByName"
//   dsqlBase          children of a class (parameter Ancestor)
//   dsqlPackages      the packages
//   dsqlBaseKids      every class that has a child
//   dtblPref          pref.dat, the preference record (pref_record.h)
//   dtblSystemU       systemu.dat, the system packages
//   dsqlPackageLevel  classes of a package (parameter Package)
//   dtblMaps          maps.dat
//
// The field objects are declared in the order in which grids and dialogs
// show them; their members point into their data set, which owns them.
// dtblMapsMapName is 25 characters long over a 35-character column, so a
// map name written through it keeps its first 25 characters.
//
// dtblPref's new-record step (dtblPrefNewRecord) is installed here; the
// after-open step of dtblSystemU belongs to the system-package list and is
// installed by its owner. Constructing a BrowserData also installs the
// statement executor that the queries run on.
//
// Not copyable or movable: data sources and event handlers refer to it.
#pragma once

#include "tables/components/db_datasource.h"
#include "tables/components/db_field.h"
#include "tables/components/db_query.h"
#include "tables/components/db_table.h"

namespace quoldex::data {

// File names the main window opens its tables by (matched without regard
// to case).
inline constexpr const char* kObjectsTable = "objects.dat";
inline constexpr const char* kPrefTable = "Pref.DAT";
inline constexpr const char* kSystemUTable = "SystemU.DAT";
inline constexpr const char* kMapsTable = "Maps.DAT";

class BrowserData {
 public:
  BrowserData();
  BrowserData(const BrowserData&) = delete;
  BrowserData& operator=(const BrowserData&) = delete;

  // The new-record step of dtblPref: WarnBeforeCompiling, SaveWindowPos and
  // CanEditSystemU false, CheckChildren true, after the table's stored
  // defaults.
  void dtblPrefNewRecord(tables::TDataSet& data_set);

  // ---- Data sets, in the order the main window prepares them ----
  tables::TDbTable dtblObjects;
  tables::TDbQuery dsqlBase;
  tables::TDbQuery dsqlPackages;
  tables::TDbQuery dsqlBaseKids;
  tables::TDbTable dtblPref;
  tables::TDbTable dtblSystemU;
  tables::TDbQuery dsqlPackageLevel;
  tables::TDbTable dtblMaps;

  // ---- Field objects ----
  tables::TField* dtblObjectsObjectId;
  tables::TField* dtblObjectsObjectName;
  tables::TField* dtblObjectsInheritsFrom;
  tables::TField* dtblObjectsFileTimeStamp;
  tables::TField* dtblObjectsPackage;
  tables::TField* dtblObjectsFilename;

  tables::TField* dsqlBaseObjectName;
  tables::TField* dsqlBaseObjectId;
  tables::TField* dsqlBaseInheritsFrom;
  tables::TField* dsqlBaseFilename;
  tables::TField* dsqlBaseFileTimeStamp;

  tables::TField* dsqlPackagespackage;

  tables::TField* dsqlBaseKidsInheritsFrom;

  tables::TField* dtblPrefPrefId;
  tables::TField* dtblPrefSystemDir;
  tables::TField* dtblPrefCanEditSystemU;
  tables::TField* dtblPrefWarnBeforeCompiling;
  tables::TField* dtblPrefDefaultCompilePackage;
  tables::TField* dtblPrefSaveWindowPos;
  tables::TField* dtblPrefWindowLeft;
  tables::TField* dtblPrefwindowWidth;
  tables::TField* dtblPrefWindowTop;
  tables::TField* dtblPrefWindowHeight;
  tables::TField* dtblPrefTestMap;
  tables::TField* dtblPrefCheckChildren;
  tables::TField* dtblPrefGrepModal;
  tables::TField* dtblPrefGrepStayOnTop;
  tables::TField* dtblPrefAddExportedClasses;

  tables::TField* dtblSystemUPackage;

  tables::TField* dsqlPackageLevelObjectId;
  tables::TField* dsqlPackageLevelObjectName;
  tables::TField* dsqlPackageLevelInheritsFrom;
  tables::TField* dsqlPackageLevelFilename;
  tables::TField* dsqlPackageLevelFileTimeStamp;
  tables::TField* dsqlPackageLevelPackage;

  tables::TField* dtblMapsMapName;
  tables::TField* dtblMapsFilename;

  // ---- Data sources ----
  tables::TDataSource dscObjects{&dtblObjects};
  tables::TDataSource dscBase{&dsqlBase};
  tables::TDataSource dscPref{&dtblPref};
  tables::TDataSource dscPackages{&dsqlPackages};
};

}  // namespace quoldex::data
