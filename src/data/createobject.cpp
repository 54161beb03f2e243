#include "data/createobject.h"

#include <vector>

#include "tables/components/db_table.h"

namespace quoldex::data {
namespace {

using tables::FieldKind;
using tables::IndexOptions;

// One column as the restructure step stores it; its position in the list is
// its field number.
struct CatalogueColumn {
  const char* name;
  FieldKind kind;
  int size;
  bool required;
  const char* min_value = "";
  const char* max_value = "";
  const char* default_value = "";
};

struct CatalogueIndex {
  const char* name;    // "" for the primary index
  const char* fields;  // names joined by ";"
  IndexOptions options;
};

struct CatalogueTable {
  const char* file_name;
  const char* description;
  std::vector<CatalogueColumn> columns;
  std::vector<CatalogueIndex> indexes;  // the primary index first
};

constexpr IndexOptions kUnique{.unique = true};
constexpr IndexOptions kUniqueNoCase{.unique = true, .case_insensitive = true};
constexpr IndexOptions kNoCase{.case_insensitive = true};
constexpr IndexOptions kNoOptions{};

// In the order of creation. objects.dat comes last: a start that finds it
// takes the catalogue for built and creates nothing, so it may only appear
// once the other four exist.
const std::vector<CatalogueTable>& CatalogueTables() {
  static const std::vector<CatalogueTable> tables = {
      {"systemu.dat",
       "",
       {{"Package", FieldKind::kString, 35, true}},
       {{"", "Package", kUniqueNoCase}}},
      {"maps.dat",
       "",
       {{"MapName", FieldKind::kString, 35, false}, {"Filename", FieldKind::kString, 250, false}},
       {{"", "MapName", kUnique}}},
      {"pref.dat",
       "",
       {{"PrefId", FieldKind::kInteger, 0, true, "1", "1", "1"},
        {"SystemDir", FieldKind::kString, 250, false},
        {"CanEditSystemU", FieldKind::kBoolean, 0, true, "", "", "False"},
        {"WarnBeforeCompiling", FieldKind::kBoolean, 0, true, "", "", "False"},
        {"DefaultCompilePackage", FieldKind::kString, 35, false},
        {"SaveWindowPos", FieldKind::kBoolean, 0, false},
        {"WindowLeft", FieldKind::kInteger, 0, false},
        {"WindowWidth", FieldKind::kInteger, 0, false},
        {"WindowTop", FieldKind::kInteger, 0, false},
        {"WindowHeight", FieldKind::kInteger, 0, false},
        {"TestMap", FieldKind::kString, 250, false},
        {"CheckChildren", FieldKind::kBoolean, 0, false, "", "", "False"},
        {"GrepModal", FieldKind::kBoolean, 0, false, "", "", "False"},
        {"GrepStayOnTop", FieldKind::kBoolean, 0, false, "", "", "False"},
        {"AddExportedClasses", FieldKind::kBoolean, 0, false, "", "", "True"}},
       {{"", "PrefId", kUnique}}},
      {"items.dat",
       "",
       {{"ItemId", FieldKind::kAutoInc, 0, true},
        {"ObjectId", FieldKind::kInteger, 0, true},
        {"ItemType", FieldKind::kString, 1, true},
        {"ItemName", FieldKind::kString, 35, true},
        {"LineNo", FieldKind::kInteger, 0, true}},
       {{"", "ItemId", kUnique}, {"ByObject", "ObjectId;ItemId", kNoOptions}}},
      {"objects.dat",
       "Quoldex Objects",
       {{"ObjectId", FieldKind::kAutoInc, 0, true},
        {"ObjectName", FieldKind::kString, 35, true},
        {"InheritsFrom", FieldKind::kString, 35, true},
        {"Filename", FieldKind::kString, 250, true},
        {"FileTimeStamp", FieldKind::kString, 10, false},
        {"Package", FieldKind::kString, 20, false}},
       {{"", "ObjectId", kUnique},
        {"ByName", "ObjectName", kUniqueNoCase},
        {"ByInheritance", "InheritsFrom;ObjectName", kNoCase}}},
  };
  return tables;
}

// Creates the table in one step from its full definition: numbered columns
// with their limits and defaults, indexes without key compression, the
// table description.
void CreateWhole(const CatalogueTable& table_def, tables::TDbTable& table) {
  tables::TRestructureFieldDefs fields;
  int number = 0;
  for (const CatalogueColumn& column : table_def.columns) {
    fields.Add({.name = column.name,
                .kind = column.kind,
                .number = ++number,
                .description = "",
                .max_value = column.max_value,
                .min_value = column.min_value,
                .default_value = column.default_value,
                .required = column.required,
                .size = column.size});
  }
  tables::TRestructureIndexDefs indexes;
  for (const CatalogueIndex& index : table_def.indexes) {
    indexes.Add(
        {.name = index.name, .fields = index.fields, .compression = 0, .options = index.options});
  }
  table.CreateTable(fields, indexes, table_def.description);
}

}  // namespace

void CreateDataTables(const std::string& directory) {
  tables::TDbTable table;
  for (const CatalogueTable& table_def : CatalogueTables()) {
    table.SetDatabaseName(directory);
    table.SetTableName(table_def.file_name);
    if (table.Exists()) continue;
    CreateWhole(table_def, table);
  }
}

}  // namespace quoldex::data
