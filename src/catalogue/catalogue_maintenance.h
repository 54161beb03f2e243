// CatalogueMaintenance: fills the class catalogue (objects.dat) from script
// files. Two commands of the main window feed it, Scan Directories (a picked
// folder and all its subfolders searched for "*.uc") and Add Files (one file
// picked in an open dialog), and both hand every file to AddClassFile, the
// one route by which a script file becomes a catalogue row.
//
// The catalogue only grows. A file whose class name is already catalogued
// (ignoring case) is skipped without any change and is not opened: a row
// keeps the path, package, time stamp and parent of the file added first.
// Each file costs one case-insensitive look-up on the "ByName" index; a new
// class costs one read of its file (up to its declaration) and one insert.
//
// A new class's script is read before its row is written, and the row is
// written whole, parent included: a script that cannot be read, or a scan
// stopped while one is read, leaves no row behind, so a later scan
// catalogues the class once its script can be read.
//
// Files that are never catalogued are named in a notice (the status text,
// and the notice handler when one is set): a script whose full path is too
// long for the catalogue's Filename column, a picked file that is a pipe,
// device or socket, and, at the end of a scan, the number of such files the
// walk passed over.
//
// The main window owns the table, the preference record, the folder picker
// and the open dialog (they outlive this object) and rebuilds the tree
// through the callback. Errors of the header reader ("Cannot open file %s")
// and of the table other than a refused new row propagate out of the
// command, which then stops at that file without rebuilding the tree.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/class_header_reader.h"
#include "data/pref_record.h"
#include "platform/platform.h"
#include "search/file_search.h"
#include "tables/components/db_table.h"
#include "ui/folder_picker.h"
#include "ui/open_dialog.h"
#include "ui/ui.h"

namespace quoldex::catalogue {

class CatalogueMaintenance {
 public:
  // ClearTree then BuildTree of the class tree.
  using RebuildTree = std::function<void()>;
  // Receives each notice's text.
  using NoticeHandler = std::function<void(const std::string& text)>;

  // `dtblObjects` is the open objects table whose current index is "ByName".
  // Configures FileSearch1: FileMask "*.uc", RecurseDirs, Attributes 63,
  // FirstTime 29221 (1980-01-01), LastTime 73050 (2099-12-31), OnChDir and
  // OnAddFile wired to the handlers below.
  CatalogueMaintenance(tables::TDbTable& dtblObjects, const data::PrefRecord& prefs,
                       ui::FolderPicker& BrowseDirectoryDlg1, ui::OpenDialog& odlgUnrealScript,
                       ui::Ui& ui, platform::Platform& platform, RebuildTree rebuild_tree);
  CatalogueMaintenance(const CatalogueMaintenance&) = delete;
  CatalogueMaintenance& operator=(const CatalogueMaintenance&) = delete;

  // Scan Directories: titles the picker "Find Unreal Base Directory"; when
  // it has no selection, preselects the preference SystemDir up to and
  // including its last separator (the game's base folder); runs it and, on
  // OK, ScanFolder on the chosen folder. A cancelled picker does nothing.
  void actScanDirectoriesExecute();

  // Walks `folder` with FileSearch1 (each script file through
  // FileSearch1AddFile), then, whether the walk ended or was cancelled by
  // Escape: gives the notice "Skipped N files that are not regular files."
  // when the walk passed over any, beeps, rebuilds the tree and sets the
  // status text "Done." without handling messages. A folder that does not
  // exist walks nothing.
  void ScanFolder(const std::string& folder);

  // Add Files: sets odlgUnrealScript up for one file ("Add Unrealscript
  // file", filter "Unrealscript File (*.uc)|*.uc|All Files (*.*)|*.*",
  // default extension "uc", no multiple selection), starting at SystemDir
  // up to its last separator when it has no initial folder yet; runs it and,
  // unless cancelled, AddChosenFiles with what it returned.
  void actAddFileExecute();

  // Remembers the folder of the first file as the dialog's next initial
  // folder, adds each file without a time stamp, then rebuilds the tree.
  // No beep and no "Done.". Paths are full file names.
  void AddChosenFiles(const std::vector<std::string>& files);

  // OnChDir of FileSearch1: shows "Searching <folder>" (handling messages)
  // and sets `cancel` when Escape is held down then.
  void FileSearch1ChDir(const std::string& folder, bool& cancel);

  // OnAddFile of FileSearch1: sets `cancel` and does nothing more when
  // Escape is held down; otherwise adds the file with its last-write time
  // as a local date-time.
  void FileSearch1AddFile(const std::string& folder, const search::FindData& data, bool& cancel);

  // Shows "Searching <file_name>". The class name is `file_name` up to its
  // first ".uc" found ignoring case (empty without one). An empty name, or
  // one whose first 35 characters name a catalogued class (ignoring case),
  // is skipped silently: the table would refuse its row. A full path longer
  // than the Filename column (250) is skipped with the notice "Skipped
  // <path>: the path is longer than 250 characters." Otherwise the header
  // reader reads the script (a pipe, device or socket is skipped with the
  // notice "Skipped <path>: not a regular file."; any other failure to read
  // propagates, adding nothing) and the row is appended: ObjectName,
  // InheritsFrom the parent read (or "." when the script declares no
  // class), Filename folder + file_name, FileTimeStamp the regional text of
  // `time` (left empty when `time` is 0), Package from the folder. A row the
  // table refuses all the same is cancelled and the file skipped silently.
  // `folder` ends in the separator.
  void AddClassFile(const std::string& folder, const std::string& file_name, text::TDateTime time);

  // The file search of Scan Directories, also used by class export.
  search::TFileSearch& FileSearch1() { return file_search1_; }
  // The header reader whose line buffer the main window releases at close.
  ClassHeaderReader& HeaderReader() { return header_reader_; }
  // Where notices go besides the status text (the command-line program
  // writes them to its error stream).
  void SetOnNotice(NoticeHandler handler) { on_notice_ = std::move(handler); }

 private:
  // Shows `text` as the status text and hands it to the notice handler.
  void Notice(const std::string& text);
  // SystemDir up to and including its last separator ("" when it has none).
  std::string SystemBaseFolder() const;

  tables::TDbTable& objects_;
  const data::PrefRecord& prefs_;
  ui::FolderPicker& folder_picker_;
  ui::OpenDialog& open_dialog_;
  ui::Ui& ui_;
  platform::Platform& platform_;
  RebuildTree rebuild_tree_;
  NoticeHandler on_notice_;
  search::TFileSearch file_search1_;
  ClassHeaderReader header_reader_;
};

}  // namespace quoldex::catalogue
