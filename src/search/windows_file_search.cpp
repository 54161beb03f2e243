// The walk of TFileSearch on Windows: FindFirstFileExW/FindNextFileW list a
// folder, and the find data give each file's attributes, size and time.
#include <windows.h>

#include <utility>

#include "search/file_search.h"
#include "search/windows_find_data.h"
#include "text/wide_text.h"

namespace quoldex::search {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDotOrDotDot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// A root folder ("C:\", "\\server\share\") keeps its separator.
bool IsRoot(const std::string& dir) {
  return (dir.size() == 3 && dir[1] == ':') || dir.size() == 1;
}

}  // namespace

bool TFileSearch::Execute(std::string_view directory) {
  SwapReversedBounds();
  std::string dir(directory);
  if (!dir.empty() && IsSeparator(dir.back()) && !IsRoot(dir)) dir.pop_back();
  non_regular_files_ = 0;
  if (dir.empty()) return false;
  const DWORD attributes = GetFileAttributesW(text::Utf8ToWide(dir).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return false;
  }
  return Walk(std::move(dir), true);
}

bool TFileSearch::Walk(std::string dir, bool /*follow_link*/) {
  if (!IsSeparator(dir.back())) dir += '\\';
  bool cancel = false;
  if (on_ch_dir_) {
    on_ch_dir_(dir, cancel);
    if (cancel) return false;
  }

  std::vector<std::string> subdirs;
  WIN32_FIND_DATAW found;
  const HANDLE find =
      FindFirstFileExW((text::Utf8ToWide(dir) + L"*").c_str(), FindExInfoBasic, &found,
                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (IsDotOrDotDot(found.cFileName)) continue;
      const std::string name = text::WideToUtf8(found.cFileName);
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        // A junction or a link to a folder is neither entered nor reported.
        if (recurse_dirs_ && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
          subdirs.push_back(dir + name);
        continue;
      }
      if (!MatchesMask(name)) continue;
      const FindData data = MakeFindData(name, found.dwFileAttributes, found.nFileSizeHigh,
                                         found.nFileSizeLow, found.ftLastWriteTime);
      const bool regular = (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
      ScriptText text;
      const auto open_text = [&dir, &name](ScriptText& t) { return t.Open(dir + name); };
      if (PassesTests(dir, regular, data, text, open_text, cancel) && on_add_file_)
        on_add_file_(dir, data, cancel);
      if (cancel) break;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    if (cancel) return false;
  }

  for (std::string& sub : subdirs)
    if (!Walk(std::move(sub), false)) return false;
  return true;
}

}  // namespace quoldex::search
