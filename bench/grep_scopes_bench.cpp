// The grep dialog's searches inside one process, warm: the Package scope on a
// package of 300 classes, the Ancestors scope on a chain of 299 ancestors and
// the All Classes scope on the whole catalogue, each for a common text found
// in every file. The catalogue is the one bench/grep_catalogue_compare.sh
// generates and scans (folder $QUOLDEX_GREP_CATALOGUE, default
// ${TMPDIR:-/tmp}/quoldex-grep-catalogue): run that script once first.
//
// Goal: Package and Ancestors under 20 ms.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "data/browser_data.h"
#include "data/pref_record.h"
#include "grep/grep_dialog.h"
#include "ui/folder_picker.h"
#include "ui/ui.h"

namespace {

using quoldex::grep::TdlgGrep;

// A screen with nobody in front of it.
class NoUi : public quoldex::ui::Ui {
 public:
  void SetStatusText(std::string_view text) override { status_ = text; }
  std::string StatusText() const override { return status_; }
  void ProcessMessages() override {}
  quoldex::ui::Answer ShowMessage(const quoldex::ui::Message&) override {
    return quoldex::ui::Answer::kOk;
  }
  std::optional<std::string> BrowseForFolder(const quoldex::ui::FolderRequest&) override {
    return std::nullopt;
  }
  std::optional<std::vector<std::string>> ShowOpenDialog(const quoldex::ui::OpenDialog&) override {
    return std::nullopt;
  }
  quoldex::ui::DialogResult ShowRecordView(quoldex::ui::RecordView&) override {
    return quoldex::ui::DialogResult::kCancel;
  }
  std::optional<size_t> ShowSearchDialog(quoldex::ui::SearchDialog&) override {
    return std::nullopt;
  }
  void ShowLogViewer(std::shared_ptr<quoldex::ui::LogWindow>) override {}

 private:
  std::string status_;
};

// The catalogue's data sets open, the dialog over them, and the package and
// class the scopes search.
struct Catalogue {
  Catalogue() : prefs(data.dtblPref), dialog(ui, data, prefs, picker, Callbacks()) {
    const char* env = std::getenv("QUOLDEX_GREP_CATALOGUE");
    const char* tmp = std::getenv("TMPDIR");
    folder = env ? env : std::string(tmp ? tmp : "/tmp") + "/quoldex-grep-catalogue";
    data.dtblObjects.SetDatabaseName(folder + "/Data/");
    data.dtblObjects.Open();
    // The first package (in name order) of 300 classes, and its class with
    // the highest number: the end of the package's chain.
    std::map<std::string, std::pair<int, std::pair<long, std::string>>> packages;
    for (data.dtblObjects.First(); !data.dtblObjects.Eof(); data.dtblObjects.Next()) {
      const std::string name = data.dtblObjectsObjectName->AsString();
      auto& [count, youngest] = packages[data.dtblObjectsPackage->AsString()];
      ++count;
      const long number = std::atol(name.c_str() + name.find_first_of("0123456789"));
      if (number >= youngest.first) youngest = {number, name};
    }
    for (const auto& [name, info] : packages) {
      if (info.first == 300) {
        package = name;
        youngest = info.second.second;
        break;
      }
    }
  }
  TdlgGrep::Callbacks Callbacks() {
    return {.prepare_data_set =
                [this](quoldex::tables::TDataSet& data_set, bool open) {
                  auto& table = dynamic_cast<quoldex::tables::TDbTable&>(data_set);
                  table.Close();
                  table.SetDatabaseName(folder + "/Data/");
                  if (open) table.Open();
                },
            .locate_class = {},
            .edit_file = {}};
  }

  std::string folder;
  NoUi ui;
  quoldex::data::BrowserData data;
  quoldex::data::PrefRecord prefs;
  quoldex::ui::FolderPicker picker;
  TdlgGrep dialog;
  std::string package;
  std::string youngest;
};

Catalogue& Shared() {
  static Catalogue catalogue;
  return catalogue;
}

void RunScope(benchmark::State& state, int scope) {
  Catalogue& c = Shared();
  if (c.package.empty()) {
    state.SkipWithError("no catalogue: run bench/grep_catalogue_compare.sh first");
    return;
  }
  c.dialog.SetPackage(c.package);
  c.dialog.SetAncestorOf(c.youngest);
  c.dialog.rgrpSearchInClick(scope);
  c.dialog.edtSearchForChange("defaultproperties");
  for (auto _ : state) c.dialog.actStartSearchExecute();
  state.counters["files"] = c.dialog.FilesSearched();
  state.counters["found"] = c.dialog.FilesFound();
}

void BM_GrepPackage(benchmark::State& state) { RunScope(state, quoldex::grep::kScopePackage); }
void BM_GrepAncestors(benchmark::State& state) { RunScope(state, quoldex::grep::kScopeAncestors); }
void BM_GrepAllClasses(benchmark::State& state) {
  RunScope(state, quoldex::grep::kScopeAllClasses);
}

BENCHMARK(BM_GrepPackage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrepAncestors)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrepAllClasses)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
