// Helpers shared by the component-layer tests: the catalogue tables created
// through the components as the program creates them (create from the
// definitions, then restructure with defaults, limits and description), and
// the message of a component error.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fakes/objects_table.h"
#include "tables/base/engine_error.h"
#include "tables/components/db_table.h"
#include "tables/data_file/data_file_test_util.h"

namespace quoldex::tables::test {

// The restructure definitions matching a table's field definitions, with
// the given default, minimum and maximum texts by field name.
struct Limits {
  std::string field{}, default_value{}, min_value{}, max_value{};
};

inline void CreateWithLimits(TDbTable& table, const std::vector<Limits>& limits,
                             const std::string& description) {
  table.CreateTable();
  TRestructureFieldDefs fields;
  int number = 0;
  for (const TFieldDef& def : table.FieldDefs()) {
    TRestructureFieldDef r{.name = def.name,
                           .kind = def.kind,
                           .number = ++number,
                           .required = def.required,
                           .size = def.size};
    for (const Limits& l : limits) {
      if (l.field != def.name) continue;
      r.default_value = l.default_value;
      r.min_value = l.min_value;
      r.max_value = l.max_value;
    }
    fields.Add(r);
  }
  TRestructureIndexDefs indexes;
  for (const TIndexDef& def : table.IndexDefs()) {
    indexes.Add({.name = def.name, .fields = def.fields, .options = def.options});
  }
  table.Restructure(fields, indexes, description);
}

using ::quoldex::testing::DefineObjects;

inline void DefinePref(TDbTable& t) {
  t.SetTableName("pref.dat");
  auto add = [&t](const char* name, FieldKind kind, int size = 0, bool required = false) {
    t.FieldDefs().Add({name, kind, size, required});
  };
  add("PrefId", FieldKind::kInteger, 0, true);
  add("SystemDir", FieldKind::kString, 250);
  add("CanEditSystemU", FieldKind::kBoolean, 0, true);
  add("WarnBeforeCompiling", FieldKind::kBoolean, 0, true);
  add("DefaultCompilePackage", FieldKind::kString, 35);
  add("SaveWindowPos", FieldKind::kBoolean);
  add("WindowLeft", FieldKind::kInteger);
  add("WindowWidth", FieldKind::kInteger);
  add("WindowTop", FieldKind::kInteger);
  add("WindowHeight", FieldKind::kInteger);
  add("TestMap", FieldKind::kString, 250);
  add("CheckChildren", FieldKind::kBoolean);
  add("GrepModal", FieldKind::kBoolean);
  add("GrepStayOnTop", FieldKind::kBoolean);
  add("AddExportedClasses", FieldKind::kBoolean);
  t.IndexDefs().Add({"", "PrefId", {.unique = true}});
}

inline const std::vector<Limits>& PrefLimits() {
  static const std::vector<Limits> limits = {
      {"PrefId", "1", "1", "1"},     {"CanEditSystemU", "False"}, {"WarnBeforeCompiling", "False"},
      {"CheckChildren", "False"},    {"GrepModal", "False"},      {"GrepStayOnTop", "False"},
      {"AddExportedClasses", "True"}};
  return limits;
}

inline void DefineMaps(TDbTable& t) {
  t.SetTableName("maps.dat");
  t.FieldDefs().Add({"MapName", FieldKind::kString, 35, false});
  t.FieldDefs().Add({"Filename", FieldKind::kString, 250, false});
  t.IndexDefs().Add({"", "MapName", {.unique = true}});
}

inline void DefineSystemU(TDbTable& t) {
  t.SetTableName("systemu.dat");
  t.FieldDefs().Add({"Package", FieldKind::kString, 35, true});
  t.IndexDefs().Add({"", "Package", {.unique = true, .case_insensitive = true}});
}

// Creates the table that `define` describes in `dir` as the program does.
inline void CreateTable(const std::string& dir, void (*define)(TDbTable&),
                        const std::vector<Limits>& limits = {},
                        const std::string& description = "") {
  TDbTable t;
  t.SetDatabaseName(dir);
  define(t);
  CreateWithLimits(t, limits, description);
}

// Runs `f` and returns the message of the EDatabaseError it raises (not an
// engine error); fails the test when it raises nothing or something else.
inline std::string DbErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDbEngineError& e) {
    ADD_FAILURE() << "engine error instead: " << e.what();
    return e.what();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no EDatabaseError";
  return {};
}

// Appends a class row to an open objects table.
inline void AddClass(TDbTable& t, const std::string& name, const std::string& parent,
                     const std::string& package) {
  t.Append();
  t.FieldByName("ObjectName").SetAsString(name);
  t.FieldByName("InheritsFrom").SetAsString(parent);
  t.FieldByName("Filename").SetAsString("/ut/" + package + "/Classes/" + name + ".uc");
  t.FieldByName("Package").SetAsString(package);
  t.Post();
}

// The values of column `field` of every row, walking from the first.
inline std::vector<std::string> Column(TDataSet& t, const std::string& field) {
  std::vector<std::string> values;
  for (t.First(); !t.Eof(); t.Next()) values.push_back(t.FieldByName(field).AsString());
  return values;
}

}  // namespace quoldex::tables::test
