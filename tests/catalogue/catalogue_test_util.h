// A catalogue over real tables for the catalogue tests: a temporary folder
// with a fresh Data folder (the five tables created as on a first run), the
// main window's data sets opened on it, the scripted fakes, and helpers to
// write script trees and read the catalogue back.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "data/browser_data.h"
#include "data/createobject.h"
#include "data/pref_record.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_ui.h"
#include "fakes/temp_dir.h"
#include "tables/components/db_table.h"

namespace quoldex::catalogue::test {

class CatalogueFixture : public ::testing::Test {
 protected:
  CatalogueFixture() {
    std::filesystem::create_directory(DataDir());
    data::CreateDataTables(DataDir());
    for (tables::TDbTable* table : {&data_.dtblObjects, &data_.dtblPref, &data_.dtblSystemU}) {
      table->SetDatabaseName(DataDir());
    }
    data_.dtblObjects.Open();
    data_.dtblPref.Open();
  }

  std::string DataDir() const { return root_.Path("Data/"); }

  // Writes a script file at `relative` below the temporary folder (creating
  // its folders) and returns its full path.
  std::string WriteScript(const std::string& relative, const std::string& text) const {
    std::filesystem::create_directories(std::filesystem::path(root_.Path(relative)).parent_path());
    return root_.Write(relative, text);
  }

  // Every row of `table` in its current order, each field as text.
  static std::vector<std::vector<std::string>> Rows(tables::TDataSet& table) {
    std::vector<std::vector<std::string>> rows;
    for (table.First(); !table.Eof(); table.Next()) {
      std::vector<std::string>& row = rows.emplace_back();
      for (int i = 0; i < table.FieldCount(); ++i) row.push_back(table.Field(i).AsString());
    }
    return rows;
  }

  // The text of `field` in the objects row named `name` (ignoring case);
  // fails the test when there is none.
  std::string ObjectField(const std::string& name, const std::string& field) {
    if (!data_.dtblObjects.Locate("ObjectName", name, {.case_insensitive = true})) {
      ADD_FAILURE() << "no class " << name;
      return {};
    }
    return data_.dtblObjects.FieldByName(field).AsString();
  }

  int64_t ObjectCount() { return data_.dtblObjects.RecordCount(); }

  void SetSystemDir(const std::string& dir) {
    prefs_.Edit();
    prefs_.SetText("SystemDir", dir);
    prefs_.Post();
  }

  testing::TempDir root_;
  data::BrowserData data_;
  data::PrefRecord prefs_{data_.dtblPref};
  testing::FakeUi ui_;
  testing::FakePlatform platform_;
};

}  // namespace quoldex::catalogue::test
