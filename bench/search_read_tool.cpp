// search_read_tool DIR...: reads every regular file under the folders once,
// whole, into one reused buffer, and does nothing else: the floor that any
// search of the files' content pays. bench/grep_compare.sh times it beside
// the search tools. Symbolic links are not followed.
// search_read_tool --list FILE: the same for the files named in FILE, one
// path a line, in that order (bench/grep_catalogue_compare.sh).
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t kBufferSize = size_t{1} << 20;

// Reads the file `name` (relative to the folder open as `dir_fd`) whole;
// the bytes read.
uint64_t ReadFile(int dir_fd, const char* name, char* buffer) {
  const int fd = openat(dir_fd, name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  uint64_t total = 0;
  for (ssize_t n; (n = read(fd, buffer, kBufferSize)) > 0;) total += static_cast<uint64_t>(n);
  close(fd);
  return total;
}

// Reads every file of the folder open as `dir_fd` (which it closes), then
// its subfolders. Returns the bytes read.
uint64_t ReadTree(int dir_fd, char* buffer) {
  DIR* dir = fdopendir(dir_fd);
  if (dir == nullptr) {
    close(dir_fd);
    return 0;
  }
  uint64_t total = 0;
  std::vector<std::string> subdirs;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (e->d_type == DT_DIR) {
      subdirs.push_back(name);
    } else if (e->d_type == DT_REG) {
      total += ReadFile(dirfd(dir), e->d_name, buffer);
    }
  }
  for (const std::string& sub : subdirs) {
    const int fd = openat(dirfd(dir), sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) total += ReadTree(fd, buffer);
  }
  closedir(dir);
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR...\n", argv[0]);
    return 2;
  }
  auto buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
  uint64_t total = 0;
  if (argc == 3 && std::string(argv[1]) == "--list") {
    std::ifstream list(argv[2]);
    if (!list) {
      std::perror(argv[2]);
      return 1;
    }
    for (std::string path; std::getline(list, path);)
      total += ReadFile(AT_FDCWD, path.c_str(), buffer.get());
    std::printf("%llu bytes\n", static_cast<unsigned long long>(total));
    return 0;
  }
  for (int i = 1; i < argc; ++i) {
    const int fd = open(argv[i], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) total += ReadTree(fd, buffer.get());
  }
  std::printf("%llu bytes\n", static_cast<unsigned long long>(total));
  return 0;
}
