// The grep dialog over a catalogue in a temporary Data folder whose classes
// point at script files written beside it, with the scripted Ui fake, a
// recording window and recording main-window callbacks.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "data/browser_data.h"
#include "data/createobject.h"
#include "data/pref_record.h"
#include "fakes/fake_ui.h"
#include "fakes/native_path.h"
#include "fakes/temp_dir.h"
#include "grep/grep_dialog.h"
#include "search/temp_tree.h"

namespace quoldex::grep::test {

// A window that records what it is told. RunModal plays `during_modal`
// (the user's turn while the dialog is up) and then, like a real modal
// loop, returns only once the dialog is no longer visible.
class RecordingWindow : public GrepWindow {
 public:
  struct WindowState {
    bool visible;
    bool modal;
    WindowStyle style;
    size_t folder_requests;  // pickers run so far
  };

  RecordingWindow(TdlgGrep& dialog, testing::FakeUi& ui) : dialog_(dialog), ui_(ui) {}

  void GrepChanged(uint32_t what) override {
    changes |= what;
    if (what & kGrepWindow) {
      window_states.push_back(
          {dialog_.Visible(), dialog_.Modal(), dialog_.Style(), ui_.folder_requests().size()});
    }
  }
  void RunModal() override {
    ++modal_runs;
    if (during_modal) during_modal();
    if (dialog_.Visible()) ADD_FAILURE() << "the modal showing never ended";
  }
  void BringMainWindowToFront() override { ++brought_to_front; }

  uint32_t changes = 0;
  std::vector<WindowState> window_states;
  int modal_runs = 0;
  int brought_to_front = 0;
  std::function<void()> during_modal;

 private:
  TdlgGrep& dialog_;
  testing::FakeUi& ui_;
};

class GrepTest : public ::testing::Test {
 protected:
  GrepTest()
      : prefs_(data_.dtblPref),
        dialog_(ui_, data_, prefs_, picker_,
                {.prepare_data_set =
                     [this](tables::TDataSet& data_set, bool open) {
                       ++prepared_;
                       auto& table = dynamic_cast<tables::TDbTable&>(data_set);
                       table.Close();
                       table.SetDatabaseName(data_dir_.path());
                       if (open) table.Open();
                     },
                 .locate_class = [this](const std::string& name) { located_.push_back(name); },
                 .edit_file = [this](const std::string& file) { edited_.push_back(file); }}),
        window_(dialog_, ui_) {
    data::CreateDataTables(data_dir_.path());
    for (tables::TDbTable* table : {&data_.dtblObjects, &data_.dtblPref}) {
      table->SetDatabaseName(data_dir_.path());
      table->Open();
    }
    data_.dsqlPackages.SetDatabaseName(data_dir_.path());
    dialog_.SetWindow(&window_);
  }

  // A script file below the scripts folder; its full path.
  std::string Script(const std::string& relative, const std::string& content) {
    const std::string path = scripts_.Path(quoldex::testing::NativePath(relative));
    search::testing::WriteFile(path, content);
    return path;
  }
  // A catalogue row (parent and package lower case, as cataloguing stores
  // them) whose file is `file`.
  void AddClass(const std::string& name, const std::string& parent, const std::string& package,
                const std::string& file) {
    tables::TDbTable& t = data_.dtblObjects;
    t.Append();
    data_.dtblObjectsObjectName->SetAsString(name);
    data_.dtblObjectsInheritsFrom->SetAsString(parent);
    data_.dtblObjectsFilename->SetAsString(file);
    data_.dtblObjectsFileTimeStamp->SetAsString("01/02/2003");
    data_.dtblObjectsPackage->SetAsString(package);
    t.Post();
  }
  // A class whose script is written as <package>/Classes/<name>.uc.
  std::string AddScript(const std::string& name, const std::string& parent,
                        const std::string& package, const std::string& content) {
    const std::string file = Script(package + "/Classes/" + name + ".uc", content);
    AddClass(name, parent, package, file);
    return file;
  }
  void SetPref(const std::string& field, const std::string& value) {
    prefs_.Edit();
    prefs_.SetText(field, value);
    prefs_.Post();
  }

  // Types `text`, picks `scope` and presses Go.
  void Grep(const std::string& text, int scope) {
    dialog_.rgrpSearchInClick(scope);
    dialog_.edtSearchForChange(text);
    dialog_.actStartSearchExecute();
  }
  // The rows as "Name|File|Location".
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (const GrepResult& r : dialog_.Results())
      rows.push_back(r.name + "|" + r.file + "|" + r.location);
    return rows;
  }
  static std::string Summary(int searched, int found) {
    return "Search Complete, (" + std::to_string(searched) + " files searched, " +
           std::to_string(found) + " files found.)";
  }

  quoldex::testing::TempDir data_dir_;
  quoldex::testing::TempDir scripts_;
  quoldex::testing::FakeUi ui_;
  data::BrowserData data_;
  data::PrefRecord prefs_;
  ui::FolderPicker picker_;
  int prepared_ = 0;
  std::vector<std::string> located_;
  std::vector<std::string> edited_;
  TdlgGrep dialog_;
  RecordingWindow window_;
};

}  // namespace quoldex::grep::test
