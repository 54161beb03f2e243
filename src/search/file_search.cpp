#include "search/file_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "search/file_mask.h"
#include "text/western.h"

namespace quoldex::search {
namespace {

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Opens a folder for enumeration; without `follow_link` a folder that is a
// symbolic link is refused.
DirHandle OpenDir(const std::string& path, bool follow_link) {
  const int fd =
      open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow_link ? 0 : O_NOFOLLOW));
  if (fd < 0) return nullptr;
  DIR* d = fdopendir(fd);
  if (d == nullptr) close(fd);
  return DirHandle(d);
}

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

}  // namespace

TFileSearch::TFileSearch() {
  SetRecurseDirs(true);
  SetAttributes(kFaAll);
  SetFindString("");
  SetFirstTime(0.0);
  SetLastTime(2147483647.0);
  SetMinFileSize(0);
  SetMaxFileSize(2147483647);
  SetFileMask("");
}

std::string TFileSearch::FileMask() const {
  std::string value;
  for (size_t i = 0; i < mask_list_.size(); ++i) {
    if (i > 0) value += ';';
    value += mask_list_[i];
  }
  return value;
}

void TFileSearch::SetFileMask(std::string_view value) { mask_list_ = ParseFileMask(value); }

void TFileSearch::SetFindString(std::string_view value) {
  if (value == find_string_) return;
  find_string_ = value;
  searcher_.SetPattern(find_string_);
}

bool TFileSearch::MatchesMask(std::string_view name) const {
  if (name.empty()) return true;
  const std::string lower = text::LowerCase(name);
  return std::any_of(mask_list_.begin(), mask_list_.end(),
                     [&](const std::string& mask) { return MatchMask(lower, mask); });
}

bool TFileSearch::Execute(std::string_view directory) {
  if (LastTime() < FirstTime()) std::swap(first_time_, last_time_);
  if (max_file_size_ < min_file_size_) std::swap(min_file_size_, max_file_size_);
  std::string dir(directory);
  // One trailing separator is dropped, but the root folder stays "/".
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  struct stat st;
  non_regular_files_ = 0;
  if (dir.empty() || stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return Walk(std::move(dir), true);
}

bool TFileSearch::Walk(std::string dir, bool follow_link) {
  if (dir.back() != '/') dir += '/';
  bool cancel = false;
  if (on_ch_dir_) {
    on_ch_dir_(dir, cancel);
    if (cancel) return false;
  }

  std::vector<std::string> subdirs;
  if (DirHandle handle = OpenDir(dir, follow_link)) {
    cancel = false;
    const int dir_fd = dirfd(handle.get());
    while (const dirent* entry = readdir(handle.get())) {
      const char* name = entry->d_name;
      if (IsDotOrDotDot(name)) continue;
      unsigned char type = entry->d_type;
      struct stat st;
      bool have_stat = false;
      if (type == DT_UNKNOWN) {
        if (fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode))
          type = DT_DIR;
        else if (S_ISLNK(st.st_mode))
          type = DT_LNK;
        else
          have_stat = true;
      }
      if (type == DT_DIR) {
        if (recurse_dirs_) subdirs.push_back(dir + name);
        continue;
      }
      // The name test needs no system call and has no side effect, so it
      // runs before the status is read; the outcome is that of the size,
      // time, attribute, name order.
      if (!MatchesMask(name)) continue;
      // A regular file whose content will be searched is opened now and
      // described through the open file: one look-up of its name, not two.
      // It is still read only after OnScanFile.
      ScriptText text;
      if (!have_stat && type == DT_REG && !find_string_.empty() &&
          text.Open(dir_fd, name) == ScriptText::OpenResult::kOpened) {
        st = text.Status();
        have_stat = true;
      }
      if (!have_stat && fstatat(dir_fd, name, &st, 0) != 0) continue;  // vanished, dangling link
      if (S_ISDIR(st.st_mode)) continue;  // a link to a folder is not followed
      const FindData data = MakeFindData(name, st);
      if (PassesTests(dir_fd, dir, st, data, text, cancel) && on_add_file_)
        on_add_file_(dir, data, cancel);
      if (cancel) return false;
    }
  }

  for (std::string& sub : subdirs)
    if (!Walk(std::move(sub), false)) return false;
  return true;
}

bool TFileSearch::PassesTests(int dir_fd, const std::string& dir, const struct stat& st,
                              const FindData& data, ScriptText& text, bool& cancel) {
  const int64_t low_size = static_cast<uint32_t>(data.size);
  if (low_size < min_file_size_ || low_size > max_file_size_) return false;
  if (data.last_write_time < first_time_ || data.last_write_time > last_time_) return false;
  if ((data.attributes & excluded_attributes_) != 0) return false;
  const bool regular = S_ISREG(st.st_mode);
  if (!regular) ++non_regular_files_;
  if (find_string_.empty()) return regular;
  if (on_scan_file_) on_scan_file_(dir + data.name, cancel);
  if (!regular) return false;
  if (!text.IsOpen() && text.Open(dir_fd, data.name.c_str()) != ScriptText::OpenResult::kOpened)
    return false;
  return scanner_.FirstMatch(text, searcher_) > 0;
}

int64_t TFileSearch::PosInFile(const std::string& file_name, std::string_view text) {
  if (file_name.empty() || text.empty()) return 0;
  searcher_.SetPattern(text);
  int64_t position = 0;
  ScriptText script;
  if (script.Open(file_name) == ScriptText::OpenResult::kOpened)
    position = scanner_.FirstMatch(script, searcher_);
  searcher_.SetPattern(find_string_);
  return position;
}

}  // namespace quoldex::search
