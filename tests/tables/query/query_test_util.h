// Helpers of the query execution tests: the class table objects.dat with the
// program's schema, filled row by row through the engine.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/objects_table.h"
#include "tables/base/table_defs.h"
#include "tables/cursor/table_cursor.h"

namespace quoldex::tables::testing {

inline FieldDesc Column(const char* name, uint8_t type, uint8_t size, bool required,
                        uint8_t subtype = 0) {
  FieldDesc f;
  f.name = name;
  f.type = type;
  f.subtype = subtype;
  f.size = size;
  f.required = required;
  return f;
}

inline IndexDesc IndexOn(const char* name, std::vector<uint16_t> fields, bool unique,
                         bool case_insensitive) {
  IndexDesc index;
  index.name = name;
  index.fields = std::move(fields);
  index.unique = unique;
  index.case_insensitive = case_insensitive;
  return index;
}

using ::quoldex::testing::ObjectsDefinition;

inline TableSettings ObjectsSettings(const std::string& dir) {
  TableSettings s;
  s.directory = dir;
  s.table_name = "objects.dat";
  return s;
}

struct ClassRow {
  std::string name, parent, package;
};

// Creates objects.dat in `dir` holding `rows` (an empty package is left
// null), appended in order.
inline void CreateObjects(const std::string& dir, const std::vector<ClassRow>& rows) {
  TableCursor::Create(ObjectsSettings(dir), ObjectsDefinition());
  TableCursor t(ObjectsSettings(dir));
  t.Open();
  for (const ClassRow& r : rows) {
    t.Append();
    t.SetField(2, FieldValue::String(r.name));
    t.SetField(3, FieldValue::String(r.parent));
    t.SetField(4, FieldValue::String("C:\\UT\\" + r.package + "\\Classes\\" + r.name + ".uc"));
    t.SetField(5, FieldValue::String("2001-05-17"));
    if (!r.package.empty()) t.SetField(6, FieldValue::String(r.package));
    t.Post();
  }
  t.Close();
}

}  // namespace quoldex::tables::testing
