// TdlgGrep: the grep dialog "Grep Scripts" as a presentation model. It
// searches script files for a text, ignoring case, in one of four scopes
// and lists the files that hold it:
//   0 All Classes  the file of every catalogued class, in class-name order;
//   1 Ancestors    the files of the parent, grandparent, ... of a class
//                  (not the class's own file);
//   2 Directory    every file under a folder that matches a mask;
//   3 Package      the files of the classes of one package.
// A result row is Name (the class, or the file name up to ".uc"), File (the
// full path) and Location (the 1-based byte offset of the first match; only
// for the catalogue scopes).
//
// The dialog is made once with the main window and lives as long as it;
// between showings it only hides, so its inputs, rows, status line and its
// table's filter persist. It holds every component's state (texts, items,
// enabled flags, rows, selection, status line, window style, visibility)
// and runs every handler; a front end draws that state, forwards the user's
// input to the handlers below and is told of changes through GrepWindow.
//
// A search runs inside actStartSearchExecute on the user-interface thread
// and hands control to the window system (Ui::ProcessMessages) before each
// catalogue file or candidate file and after each added row: that is where
// Cancel, Close and the other handlers get their turn. Cancel only asks the
// running search to stop at its next check.
//
// Handlers raise their errors (the table engine's, LocateClass's); a front
// end runs each under the main window's top-level handler. An error inside a
// search still restores the idle state and writes the summary first.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data/browser_data.h"
#include "data/pref_record.h"
#include "grep/grep_window.h"
#include "search/file_search.h"
#include "tables/components/db_table.h"
#include "ui/folder_picker.h"
#include "ui/ui.h"

namespace quoldex::grep {

// The scopes, as item indexes of rgrpSearchIn.
enum GrepScope : int {
  kScopeAllClasses = 0,
  kScopeAncestors = 1,
  kScopeDirectory = 2,
  kScopePackage = 3,
};

// How the dialog is shown.
struct TGrepOptions {
  bool goModeless = false;   // non-modal: the main window stays usable
  bool goStayOnTop = false;  // in front of other windows
};

enum class WindowStyle { kNormal, kStayOnTop };

// The control that has the keyboard focus, as far as the model sets it.
enum class GrepFocus { kNone, kSearchFor };

// An input of the dialog: its text and whether the user may change it.
struct GrepInput {
  std::string text;
  bool enabled = true;
};

struct GrepResult {
  std::string name;
  std::string file;
  std::string location;  // empty when no position is known
};

class TdlgGrep {
 public:
  static constexpr const char* kCaption = "Grep Scripts";
  static constexpr const char* kFindDirectoryTitle = "Find Directory";

  // What the dialog needs of the main window.
  struct Callbacks {
    // Closes `data_set`, points it at the data folder and opens it when
    // asked (the main window's PrepareDataSet).
    std::function<void(tables::TDataSet& data_set, bool open)> prepare_data_set;
    // Selects the class in the main window's tree (raises when it cannot).
    std::function<void(const std::string& name)> locate_class;
    // Opens a file with the desktop's handler.
    std::function<void(const std::string& file)> edit_file;
  };

  // The references must outlive the dialog: `data` gives the look-up lists
  // (the main window's catalogue table and package query), `prefs` SystemDir,
  // `folder_picker` is the main window's shared picker.
  TdlgGrep(ui::Ui& ui, data::BrowserData& data, data::PrefRecord& prefs,
           ui::FolderPicker& folder_picker, Callbacks callbacks);
  TdlgGrep(const TdlgGrep&) = delete;
  TdlgGrep& operator=(const TdlgGrep&) = delete;

  // The window that shows the model, or null to detach. It must stay alive
  // while attached.
  void SetWindow(GrepWindow* window) { window_ = window; }
  // Called with the changed parts (GrepChange flags) after the window is
  // told; for observers other than the window (the command-line front end).
  void SetOnChange(std::function<void(uint32_t what)> on_change) {
    on_change_ = std::move(on_change);
  }

  // ---- Showing ----
  // Prepares and shows the dialog: a non-empty `ancestor` or `package`
  // replaces the text of its input (empty ones keep the previous text); an
  // empty directory input gets the folder part of SystemDir (up to and
  // including its last separator); the scope is selected, the search text
  // gets the focus, the idle enabling is applied, the options are kept and
  // the window style follows goStayOnTop. With goModeless the dialog is
  // shown and the call returns; otherwise it is hidden first and shown
  // modally, and the call returns when it closes (at once when no window is
  // attached). `scope` outside 0..3 selects no scope.
  void ShowGrep(const std::string& ancestor, const std::string& package, int scope,
                TGrepOptions options);
  bool Visible() const { return visible_; }
  bool Modal() const { return modal_; }
  WindowStyle Style() const { return style_; }
  GrepFocus Focus() const { return focus_; }
  const TGrepOptions& GrepOptions() const { return grep_options_; }

  // ---- Component state ----
  const GrepInput& edtSearchFor() const { return edtSearchFor_; }
  const GrepInput& dlcmbAncestorOf() const { return dlcmbAncestorOf_; }
  const GrepInput& wdcdDirectory() const { return wdcdDirectory_; }
  const GrepInput& wcmbMask() const { return wcmbMask_; }
  const GrepInput& dlcmbPackage() const { return dlcmbPackage_; }
  // The scope selected in rgrpSearchIn (-1: none), its items and enabling.
  int SearchIn() const { return search_in_; }
  bool SearchInEnabled() const { return search_in_enabled_; }
  static const std::vector<std::string>& SearchInItems();
  static const std::vector<std::string>& MaskItems();
  // The look-up lists: ObjectName of each row of the main window's class
  // table (in its index order; its current row moves) and the packages of
  // its package query (run when closed).
  std::vector<std::string> AncestorOfItems();
  std::vector<std::string> PackageItems();

  bool StartSearchEnabled() const { return start_search_enabled_; }  // Go
  bool CancelEnabled() const { return cancel_enabled_; }
  bool EditEnabled() const { return edit_enabled_; }
  bool BrowseEnabled() const { return browse_enabled_; }

  const std::vector<GrepResult>& Results() const { return results_; }
  std::optional<size_t> SelectedRow() const { return selected_; }
  const std::string& StatusText() const { return status_text_; }

  bool Searching() const { return searching_; }
  bool Cancelled() const { return cancelled_; }
  int32_t FilesSearched() const { return files_searched_; }
  int32_t FilesFound() const { return files_found_; }

  // The dialog's own table object on objects.dat (index "ByName", filter
  // ignoring case and comparing whole values).
  tables::TDbTable& dtblGrep_() { return dtblGrep_table_; }
  search::TFileSearch& fsGrep() { return fsGrep_; }

  // ---- The user's input ----
  // Typing into the inputs. The search text re-evaluates Go.
  void edtSearchForChange(const std::string& text);
  void SetAncestorOf(const std::string& text);
  void SetDirectory(const std::string& text);
  void SetMask(const std::string& text);
  void SetPackage(const std::string& text);
  // Choosing a scope (-1..3): the enabling follows it.
  void rgrpSearchInClick(int scope);
  // Selecting a row (nothing: no row selected); Edit and Browse follow.
  void ListView1Click(std::optional<size_t> row);

  // Go: RunSearch.
  void actStartSearchExecute();
  // Cancel: the running search stops at its next check; the controls are
  // idle at once.
  void bbtnCancelClick();
  // Close: Cancel, then the dialog hides (ending a modal showing).
  void BitBtn2Click();
  // The window's close box: the dialog hides (a running search goes on).
  void FormClose();
  // Edit (also a double-click on a row): opens the selected row's file.
  void actEditExecute();
  // Browse: the selected row's class in the main window's tree; when shown
  // non-modally, the main window comes to the front.
  void actBrowseExecute();
  // The directory input's browse button: the main window's folder picker,
  // titled "Find Directory", starting at the game's folder when it has no
  // selection. The dialog leaves stay-on-top style while the picker runs.
  void wdcdDirectoryCustomDlg();

  // ---- Operations ----
  // Clears the rows and searches in the chosen scope, then writes the
  // summary ("Search Canceled" or "Search Complete, (N files searched, M
  // files found.)"), returns to idle and selects the first row.
  void RunSearch();
  void CancelSearch();

 private:
  void SetSearching(bool busy);
  void UpdateButtons();
  // Go is enabled when idle with a search text.
  bool StartSearchRule() const { return !searching_ && !edtSearchFor_.text.empty(); }

  void SearchAllClasses(const std::string& text);
  void SearchAncestors(const std::string& class_name, const std::string& text);
  void SearchDirectory(const std::string& text);
  void SearchPackage(const std::string& package, const std::string& text);
  void SearchFile(const std::string& name, const std::string& file, const std::string& text);
  // Walks the (possibly filtered) table from its first record.
  void SearchRecords(const std::string& text);
  void AddResult(const std::string& file, const std::string& name, int64_t position);
  void OpenGrepTable();

  void fsGrepChDir(const std::string& name, bool& cancel);
  void fsGrepAddFile(const std::string& path, const search::FindData& data, bool& cancel);

  // True when the run whose code is executing must stop: Cancel was
  // pressed, or a newer run started while this one waited for the user.
  bool StopRequested() const { return cancelled_ || Superseded(); }
  bool Superseded() const { return active_run_ != current_run_; }
  void SetStatus(std::string text);
  // Tells the window and the observer.
  void Changed(uint32_t what);
  // Lets the window system serve pending input.
  void ProcessMessages() { ui_.ProcessMessages(); }
  void SetStyle(WindowStyle style);

  ui::Ui& ui_;
  data::BrowserData& data_;
  data::PrefRecord& prefs_;
  ui::FolderPicker& folder_picker_;
  Callbacks callbacks_;
  GrepWindow* window_ = nullptr;
  std::function<void(uint32_t)> on_change_;

  GrepInput edtSearchFor_;
  GrepInput dlcmbAncestorOf_;
  GrepInput wdcdDirectory_;
  GrepInput wcmbMask_{"*.uc"};
  GrepInput dlcmbPackage_;
  int search_in_ = kScopeAllClasses;
  bool search_in_enabled_ = true;
  bool start_search_enabled_ = false;
  bool cancel_enabled_ = false;
  bool edit_enabled_ = false;
  bool browse_enabled_ = false;
  std::vector<GrepResult> results_;
  std::optional<size_t> selected_;
  std::string status_text_;

  bool visible_ = false;
  bool modal_ = false;
  WindowStyle style_ = WindowStyle::kNormal;
  GrepFocus focus_ = GrepFocus::kNone;
  TGrepOptions grep_options_;

  bool cancelled_ = false;
  bool searching_ = false;
  int32_t files_searched_ = 0;
  int32_t files_found_ = 0;
  // Runs are numbered; current_run_ is the one whose code is executing,
  // active_run_ the newest started. A run started from inside another's
  // turn of input supersedes it.
  uint64_t active_run_ = 0;
  uint64_t current_run_ = 0;

  search::TFileSearch fsGrep_;
  tables::TDbTable dtblGrep_table_;
  tables::TField* dtblGrep_ObjectName = nullptr;
  tables::TField* dtblGrep_InheritsFrom = nullptr;
  tables::TField* dtblGrep_Package = nullptr;
  tables::TField* dtblGrep_Filename = nullptr;
};

// The filter the Package scope sets for `package`: Package = '<name>' with
// each quote of the name doubled, so the name is one string constant.
std::string PackageFilter(const std::string& package);
// A result row's Name: `name` up to, not including, its first ".uc" in any
// letter case; the whole name when it holds none.
std::string ResultCaption(const std::string& name);
// The folder part of `path`: everything up to and including its last
// separator ("" when it has none).
std::string FolderPart(const std::string& path);

}  // namespace quoldex::grep
