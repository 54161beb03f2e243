// TFileSearch: walks a directory tree depth first and reports every file that
// passes, in this order, a size test, a last-write time window, an attribute
// filter, a list of name masks and, when FindString is set, a
// case-insensitive content test. Events report each folder entered, each file
// about to be read and each file accepted; any of them can cancel the walk.
//
// Walk order: the files of a folder, in the order the file system lists them,
// then its subfolders one after the other, each walked whole. Symbolic links
// to folders are neither entered nor reported (a link loop or a link to an
// ancestor would otherwise repeat the tree); links to files count as files.
// Folders and files that cannot be read are skipped. Paths given to events
// end in the separator ("/", on Windows "\\").
//
// Everything runs on the calling thread; handlers run synchronously.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "search/file_scanner.h"
#include "search/file_time.h"
#include "search/find_data.h"
#include "search/script_text.h"
#include "search/ti_search.h"

namespace quoldex::search {

class TFileSearch {
 public:
  // `name` is a folder path (OnChDir) or a full file name (OnScanFile).
  using FileEvent = std::function<void(const std::string& name, bool& cancel)>;
  // `path` is the file's folder, ending in "/".
  using AddEvent = std::function<void(const std::string& path, const FindData& data, bool& cancel)>;

  // Defaults: RecurseDirs true, Attributes 63, FindString empty, FirstTime 0
  // (stored as 1980-01-01), LastTime 2147483647.0 (stored as 2099-12-31),
  // MinFileSize 0, MaxFileSize 2147483647, FileMask empty ("*").
  TFileSearch();

  // The mask list joined with ";" in its (alphabetical) order. Writing parses
  // the value as ParseFileMask describes.
  std::string FileMask() const;
  void SetFileMask(std::string_view value);

  // Bounds of the last-write time window, both inclusive. Written values are
  // clamped to 1980-01-01..2099-12-31 and kept at two-second resolution in
  // local time; reading gives the stored value back.
  text::TDateTime FirstTime() const { return FileTimeToDateTime(first_time_); }
  void SetFirstTime(text::TDateTime value) { first_time_ = DateTimeToFileTime(value); }
  text::TDateTime LastTime() const { return FileTimeToDateTime(last_time_); }
  void SetLastTime(text::TDateTime value) { last_time_ = DateTimeToFileTime(value); }

  // Size bounds, inclusive, applied to the low 32 bits of a file's size. A
  // negative minimum sets no lower bound; a negative maximum rejects all.
  int32_t MinFileSize() const { return min_file_size_; }
  void SetMinFileSize(int32_t value) { min_file_size_ = value; }
  int32_t MaxFileSize() const { return max_file_size_; }
  void SetMaxFileSize(int32_t value) { max_file_size_ = value; }

  // Of the six kFa* bits, those a file may carry; a file carrying any other of
  // the six is rejected. Bits above the six are dropped.
  int32_t Attributes() const { return static_cast<int32_t>(kFaAll & ~excluded_attributes_); }
  void SetAttributes(int32_t value) {
    excluded_attributes_ = kFaAll & ~static_cast<uint32_t>(value);
  }
  uint32_t ExcludedAttributes() const { return excluded_attributes_; }

  // Text a file's content must contain, ignoring case; empty means no content
  // test. The searcher is prepared only when the value really changes.
  const std::string& FindString() const { return find_string_; }
  void SetFindString(std::string_view value);

  bool RecurseDirs() const { return recurse_dirs_; }
  void SetRecurseDirs(bool value) { recurse_dirs_ = value; }

  // Raised once per folder before its entries are read.
  void SetOnChDir(FileEvent handler) { on_ch_dir_ = std::move(handler); }
  // Raised for a candidate file just before its content is read (only when
  // FindString is set; a regular file may already be open, never yet read).
  // A cancel here does not skip that file's content test.
  void SetOnScanFile(FileEvent handler) { on_scan_file_ = std::move(handler); }
  // Raised once per file that passed every test.
  void SetOnAddFile(AddEvent handler) { on_add_file_ = std::move(handler); }

  // Walks the tree under `directory` (one trailing "/" is ignored). First
  // swaps FirstTime/LastTime when LastTime is earlier and MinFileSize/
  // MaxFileSize when the maximum is smaller; the swaps are kept. Returns true
  // when the walk ran to its end, false when the folder does not exist or a
  // handler set cancel (which ends the walk at every level at once).
  bool Execute(std::string_view directory);

  // The 1-based byte position of the first case-insensitive occurrence of
  // `text` in the file's text (ScriptText), or 0 (also for an empty name or
  // text and for a file that cannot be read or is not a regular file).
  // Later walks still search for FindString. The searcher is prepared for
  // `text` only when it holds another pattern, so a run of calls with one
  // text prepares it once.
  int64_t PosInFile(const std::string& file_name, std::string_view text);

  // How many pipes, devices and sockets the last Execute refused.
  int NonRegularFiles() const { return non_regular_files_; }

  // True when `name` (lower-cased here) matches a mask of the list, tried in
  // list order; an empty name matches.
  bool MatchesMask(std::string_view name) const;

 private:
  using OpenText = std::function<ScriptText::OpenResult(ScriptText&)>;

  // The recursive walk of one folder, one implementation per system
  // (posix_file_search.cpp, windows_file_search.cpp). `follow_link` lets the
  // start folder be given through a symbolic link; subfolders found by the
  // walk never are.
  bool Walk(std::string dir, bool follow_link);
  // Swaps the time and size bounds when given the wrong way round.
  void SwapReversedBounds();
  // Prepares the searcher for `pattern` unless it already holds it.
  void PrepareSearcher(std::string_view pattern);
  // Runs the size, time, attribute, regular-file and content tests on the
  // file `data` of the folder `dir`; `text` is the file when already open,
  // else `open_text` opens it when its content is to be read. Raises
  // OnScanFile, which may set `cancel`.
  bool PassesTests(const std::string& dir, bool regular, const FindData& data, ScriptText& text,
                   const OpenText& open_text, bool& cancel);

  std::vector<std::string> mask_list_;
  uint32_t excluded_attributes_ = 0;
  FileTime first_time_ = 0;
  FileTime last_time_ = 0;
  std::string find_string_;
  int32_t min_file_size_ = 0;
  int32_t max_file_size_ = 0;
  bool recurse_dirs_ = true;
  int non_regular_files_ = 0;
  TTISearch searcher_;
  FileScanner scanner_;
  FileEvent on_ch_dir_;
  FileEvent on_scan_file_;
  AddEvent on_add_file_;
};

}  // namespace quoldex::search
