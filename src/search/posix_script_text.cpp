#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "search/script_text.h"

namespace quoldex::search {

ScriptText::OpenResult ScriptText::Open(const std::string& path) {
  return Open(AT_FDCWD, path.c_str());
}

ScriptText::OpenResult ScriptText::Open(int dir_fd, const char* name) {
  Close();
  const int fd = openat(dir_fd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENXIO ? OpenResult::kNotRegularFile : OpenResult::kCannotOpen;
  struct stat status {};
  if (fstat(fd, &status) != 0) {
    close(fd);
    return OpenResult::kCannotOpen;
  }
  if (!S_ISREG(status.st_mode)) {
    close(fd);
    return OpenResult::kNotRegularFile;
  }
  file_ = fd;
  description_ = MakeFindData({}, status);
  return Start(static_cast<uint64_t>(status.st_size));
}

ssize_t ScriptText::ReadSome(char* out, size_t size) {
  ssize_t n;
  do n = read(static_cast<int>(file_), out, size);
  while (n < 0 && errno == EINTR);
  return n;
}

bool ScriptText::SeekTo(uint64_t offset) {
  const off_t to = static_cast<off_t>(offset);
  return lseek(static_cast<int>(file_), to, SEEK_SET) == to;
}

void ScriptText::CloseFile() { close(static_cast<int>(file_)); }

}  // namespace quoldex::search
