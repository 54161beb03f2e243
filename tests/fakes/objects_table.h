// The catalogue's class table objects.dat as the program defines it, for
// the tests and benchmarks of the table engine: one list of its columns and
// indexes, given in the engine's form (a TableDefinition, the data file's
// field descriptors) and in the component layer's (TDbTable's field and
// index definitions), with its field and index numbers and a row helper.
//
// Header only, and without the test framework, so that the benchmarks can
// use it too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tables/components/db_field.h"
#include "tables/components/db_table.h"
#include "tables/cursor/table_cursor.h"

namespace quoldex::testing {

// Field numbers of objects.dat (1-based, in stored order).
inline constexpr int kObjectId = 1, kObjectName = 2, kInheritsFrom = 3, kFilename = 4,
                     kFileTimeStamp = 5, kPackage = 6;
// Index numbers of its secondary indexes (the primary index is 0).
inline constexpr int kByName = 1, kByInheritance = 2;

struct ObjectsColumn {
  const char* name;
  tables::FieldKind kind;
  int size;  // strings only
  bool required;
};

struct ObjectsIndex {
  const char* name;               // "" for the primary index
  const char* fields;             // column names joined by ";"
  std::vector<uint16_t> numbers;  // the same columns by number
  bool unique;
  bool case_insensitive;
};

// ObjectId auto-increment, ObjectName, InheritsFrom and Filename required,
// FileTimeStamp and Package optional.
inline const std::vector<ObjectsColumn>& ObjectsColumnDefs() {
  static const std::vector<ObjectsColumn> columns = {
      {"ObjectId", tables::FieldKind::kAutoInc, 0, true},
      {"ObjectName", tables::FieldKind::kString, 35, true},
      {"InheritsFrom", tables::FieldKind::kString, 35, true},
      {"Filename", tables::FieldKind::kString, 250, true},
      {"FileTimeStamp", tables::FieldKind::kString, 10, false},
      {"Package", tables::FieldKind::kString, 20, false}};
  return columns;
}

// The primary index on ObjectId; "ByName" unique case-insensitive on
// ObjectName; "ByInheritance" case-insensitive on InheritsFrom;ObjectName.
inline const std::vector<ObjectsIndex>& ObjectsIndexDefs() {
  static const std::vector<ObjectsIndex> indexes = {
      {"", "ObjectId", {kObjectId}, true, false},
      {"ByName", "ObjectName", {kObjectName}, true, true},
      {"ByInheritance", "InheritsFrom;ObjectName", {kInheritsFrom, kObjectName}, false, true}};
  return indexes;
}

inline constexpr const char* kObjectsDescription = "Quoldex Objects";

// The columns as the data file describes them (unnumbered, as a new data
// file takes them).
inline std::vector<tables::FieldDesc> ObjectsFields() {
  std::vector<tables::FieldDesc> fields;
  for (const ObjectsColumn& column : ObjectsColumnDefs()) {
    tables::FieldDesc f;
    f.name = column.name;
    tables::SetColumnType(column.kind, &f);
    f.size = static_cast<uint8_t>(column.size);
    f.required = column.required;
    fields.push_back(std::move(f));
  }
  return fields;
}

inline tables::IndexDesc ObjectsIndexDesc(const ObjectsIndex& index) {
  tables::IndexDesc d;
  d.name = index.name;
  d.fields = index.numbers;
  d.unique = index.unique;
  d.case_insensitive = index.case_insensitive;
  return d;
}

// The whole table as TableCursor::Create takes it, with its description.
inline tables::TableDefinition ObjectsDefinition() {
  tables::TableDefinition d;
  d.fields = ObjectsFields();
  for (const ObjectsIndex& index : ObjectsIndexDefs()) d.indexes.push_back(ObjectsIndexDesc(index));
  d.description = kObjectsDescription;
  return d;
}

// Names `table` objects.dat and gives it the table's field and index
// definitions, as TDbTable::CreateTable reads them.
inline void DefineObjects(tables::TDbTable& table) {
  table.SetTableName("objects.dat");
  for (const ObjectsColumn& column : ObjectsColumnDefs()) {
    table.FieldDefs().Add({column.name, column.kind, column.size, column.required});
  }
  for (const ObjectsIndex& index : ObjectsIndexDefs()) {
    table.IndexDefs().Add({index.name,
                           index.fields,
                           {.unique = index.unique, .case_insensitive = index.case_insensitive}});
  }
}

}  // namespace quoldex::testing
