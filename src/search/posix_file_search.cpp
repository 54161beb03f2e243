// The walk of TFileSearch on POSIX systems: a folder is read with readdir
// through a descriptor, and its files are looked at relative to it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <utility>

#include "search/file_search.h"

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

bool TFileSearch::Execute(std::string_view directory) {
  SwapReversedBounds();
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
      FindData data;
      bool regular = false;
      if (!have_stat && type == DT_REG && !find_string_.empty() &&
          text.Open(dir_fd, name) == ScriptText::OpenResult::kOpened) {
        data = text.Description();
        data.name = name;
        regular = true;
      } else {
        if (!have_stat && fstatat(dir_fd, name, &st, 0) != 0) continue;  // vanished, dangling link
        if (S_ISDIR(st.st_mode)) continue;  // a link to a folder is not followed
        data = MakeFindData(name, st);
        regular = S_ISREG(st.st_mode);
      }
      const auto open_text = [dir_fd, name](ScriptText& t) { return t.Open(dir_fd, name); };
      if (PassesTests(dir, regular, data, text, open_text, cancel) && on_add_file_)
        on_add_file_(dir, data, cancel);
      if (cancel) return false;
    }
  }

  for (std::string& sub : subdirs)
    if (!Walk(std::move(sub), false)) return false;
  return true;
}

}  // namespace quoldex::search
