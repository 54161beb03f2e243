// Helpers shared by the table cursor's tests: the catalogue's objects table
// as the main fixture, handles with short lock retries, and row helpers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/objects_table.h"
#include "tables/base/engine_error.h"
#include "tables/base/index_desc_builder.h"
#include "tables/cursor/table_cursor.h"
#include "tables/data_file/data_file_test_util.h"

namespace quoldex::tables::test {

using ::quoldex::testing::kByInheritance;
using ::quoldex::testing::kByName;
using ::quoldex::testing::kFilename;
using ::quoldex::testing::kFileTimeStamp;
using ::quoldex::testing::kInheritsFrom;
using ::quoldex::testing::kObjectId;
using ::quoldex::testing::kObjectName;
using ::quoldex::testing::kPackage;
using ::quoldex::testing::ObjectsDefinition;

// A table folder with settings for handles on one table in it.
class TableTest : public ::testing::Test {
 protected:
  // Short lock retries keep refused locks fast.
  TableSettings Settings(const std::string& table = "objects.dat") const {
    TableSettings s;
    s.directory = dir_.Dir();
    s.table_name = table;
    s.lock_retry_count = 2;
    s.lock_wait_time = 5;
    return s;
  }
  TableSettings ExclusiveSettings(const std::string& table = "objects.dat") const {
    TableSettings s = Settings(table);
    s.exclusive = true;
    return s;
  }
  void CreateObjects(const std::string& table = "objects.dat") {
    TableCursor::Create(Settings(table), ObjectsDefinition());
  }
  std::string DataPath(const std::string& table = "objects.dat") const {
    return TableCursor::DataFileName(Settings(table));
  }
  std::string IndexPath(const std::string& table = "objects.dat") const {
    std::string data = DataPath(table);
    return data.substr(0, data.size() - 4) + ".IDX";
  }

  TempDir dir_;
};

// Appends and posts one class row; returns its record ID.
inline int32_t AddObject(TableCursor& c, const std::string& name,
                         const std::string& parent = "object",
                         const std::string& package = "core") {
  c.Append();
  c.SetField(kObjectName, FieldValue::String(name));
  c.SetField(kInheritsFrom, FieldValue::String(parent));
  c.SetField(kFilename, FieldValue::String("/src/" + package + "/" + name + ".uc"));
  c.SetField(kPackage, FieldValue::String(package));
  c.Post();
  return c.RecordId();
}

inline std::string NameOf(const TableCursor& c) { return c.GetField(kObjectName).text; }

// The names in the cursor's current order, from First to Eof.
inline std::vector<std::string> Names(TableCursor& c) {
  std::vector<std::string> out;
  for (bool on = c.First(); on; on = c.Next()) out.push_back(NameOf(c));
  return out;
}

inline std::vector<FieldValue> Values(std::initializer_list<const char*> texts) {
  std::vector<FieldValue> out;
  for (const char* t : texts) out.push_back(FieldValue::String(t));
  return out;
}

}  // namespace quoldex::tables::test
