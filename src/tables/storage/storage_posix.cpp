// The storage of a POSIX system (Linux first): files through descriptors,
// byte-range locks as open-file-description locks, sharing modes emulated
// with a lock on one byte beyond every lock region the engine uses.
#if !defined(_WIN32)

#include "tables/storage/storage_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <thread>

namespace quoldex::tables {
namespace {

// The byte whose lock stands for an open handle's sharing mode: shared for
// a shared open, exclusive for an exclusive one. The engine's lock regions
// all lie below 2^31.
constexpr uint64_t kShareLockOffset = 0x80000000ull;

// One attempt at a lock (or an unlock): 0 when done, else the errno of the
// refusal (kLockHeld when another handle holds a conflicting lock).
int SetLock(int fd, short type, uint64_t offset, uint64_t length) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  fl.l_pid = 0;
  while (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    if (errno == EINTR) continue;
    return errno == EACCES ? kLockHeld : errno;
  }
  return 0;
}

// Whether another handle holds a lock on the byte that conflicts with an
// exclusive one; errno when the system cannot tell.
int ProbeExclusive(int fd, uint64_t offset) {
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = static_cast<off_t>(offset);
  probe.l_len = 1;
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return errno;
  return probe.l_type == F_UNLCK ? 0 : kLockHeld;
}

int OpenDescriptor(const std::string& path, int flags, int* fd) {
  do {
    *fd = ::open(path.c_str(), flags, 0666);
  } while (*fd < 0 && errno == EINTR);
  return *fd < 0 ? errno : 0;
}

struct Mapping {
  Mapping(const uint8_t* data, uint64_t length, dev_t device, ino_t inode)
      : data(data), length(length), device(device), inode(inode) {}
  ~Mapping() { ::munmap(const_cast<uint8_t*>(data), length); }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
  const uint8_t* data;
  uint64_t length;
  dev_t device;
  ino_t inode;
};

// The mappings kept for reuse, most recently used first: mapping a file
// again costs a new mapping and its page faults. A kept mapping holds its
// file's storage even after the file is removed, so only a few are kept.
constexpr size_t kKeptMappings = 8;

struct KeptMappings {
  std::mutex section;
  std::vector<std::shared_ptr<const Mapping>> mappings;
};

KeptMappings& Kept() {
  static auto* kept = new KeptMappings;
  return *kept;
}

// True when `fd` is on a file system whose files all processes of this
// machine see through one page cache.
bool IsLocalFileSystem(int fd) {
  struct statfs info {};
  if (fstatfs(fd, &info) != 0) return false;
  switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x01021994:  // tmpfs
    case 0xF2F52010:  // f2fs
    case 0x2FC12FC1:  // zfs
    case 0x794C7630:  // overlay
      return true;
    default:
      return false;
  }
}

class PosixFile final : public StorageFile {
 public:
  PosixFile(std::string path, int fd, bool read_only)
      : path_(std::move(path)), fd_(fd), read_only_(read_only) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  IoResult Read(uint64_t offset, void* buffer, size_t count) override {
    IoResult result;
    auto* p = static_cast<char*>(buffer);
    while (result.bytes < count) {
      ssize_t n = ::pread(fd_, p + result.bytes, count - result.bytes,
                          static_cast<off_t>(offset + result.bytes));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        result.error = errno;
        break;
      }
      if (n == 0) break;
      result.bytes += static_cast<size_t>(n);
    }
    return result;
  }

  IoResult Write(uint64_t offset, const void* buffer, size_t count) override {
    IoResult result;
    if (read_only_) return {EBADF, 0};
    auto* p = static_cast<const char*>(buffer);
    while (result.bytes < count) {
      ssize_t n = ::pwrite(fd_, p + result.bytes, count - result.bytes,
                           static_cast<off_t>(offset + result.bytes));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        result.error = n < 0 ? errno : ENOSPC;
        break;
      }
      result.bytes += static_cast<size_t>(n);
    }
    return result;
  }

  int Size(uint64_t* size) override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return errno;
    *size = static_cast<uint64_t>(st.st_size);
    return 0;
  }

  int SetEndOfFile(uint64_t size) override {
    if (read_only_) return EBADF;
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? 0 : errno;
  }

  int Flush() override {
    // A descriptor that cannot be synchronised (a pipe, some special file
    // systems) has nothing to make durable.
    if (::fdatasync(fd_) != 0 && errno != EINVAL) return errno;
    return 0;
  }

  int Lock(uint64_t offset, uint64_t length, bool exclusive) override {
    // A read-only descriptor cannot hold a write lock; a shared lock on it
    // still excludes writers, which is what a reading handle needs.
    return SetLock(fd_, exclusive && !read_only_ ? F_WRLCK : F_RDLCK, offset, length);
  }

  int Unlock(uint64_t offset, uint64_t length) override {
    return SetLock(fd_, F_UNLCK, offset, length);
  }

  FileView MapForReading(uint64_t length) override;

 private:
  std::string path_;
  int fd_;
  bool read_only_;
};

FileView ViewOf(std::shared_ptr<const Mapping> mapping, uint64_t length) {
  const uint8_t* data = mapping->data;
  return FileView(std::move(mapping), data, length);
}

FileView PosixFile::MapForReading(uint64_t length) {
  struct stat st {};
  if (length == 0 || ::fstat(fd_, &st) != 0) return {};
  const auto size = static_cast<uint64_t>(st.st_size);
  if (size < length) return {};
  KeptMappings& kept = Kept();
  std::lock_guard lock(kept.section);
  auto& list = kept.mappings;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i]->device != st.st_dev || list[i]->inode != st.st_ino) continue;
    std::shared_ptr<const Mapping> found = list[i];
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
    if (found->length < length) break;  // the file grew: mapped anew below
    list.insert(list.begin(), found);
    return ViewOf(std::move(found), length);
  }
  if (!IsLocalFileSystem(fd_)) return {};
  // Mapped through a descriptor of its own: a mapping holds on to the open
  // file it was made from, and this handle's descriptor carries its locks,
  // which must go when the handle closes. The name must still lead to the
  // file the handle has open.
  int fd;
  if (OpenDescriptor(path_, O_RDONLY | O_CLOEXEC, &fd) != 0) return {};
  struct stat same {};
  void* data = MAP_FAILED;
  if (::fstat(fd, &same) == 0 && same.st_dev == st.st_dev && same.st_ino == st.st_ino) {
    data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  }
  ::close(fd);
  if (data == MAP_FAILED) return {};
  auto mapping = std::make_shared<const Mapping>(static_cast<const uint8_t*>(data), size, st.st_dev,
                                                 st.st_ino);
  list.insert(list.begin(), mapping);
  if (list.size() > kKeptMappings) list.pop_back();
  return ViewOf(std::move(mapping), length);
}

// Takes the sharing lock of a new handle on `fd`: 0, kShareConflict, or the
// system's error. A descriptor opened for writing holds an exclusive open
// with a write lock on the sharing byte. One opened for reading cannot
// take a write lock: an exclusive read-only open holds read locks on the
// sharing byte and the byte after it and makes sure no other handle holds
// the sharing byte; a shared open holds a read lock on the sharing byte and
// makes sure no such exclusive reader holds the byte after it. (Two such
// opens racing may both be refused, never both let in.)
int TakeShareLock(int fd, bool exclusive, bool read_only) {
  int err;
  if (exclusive && !read_only) {
    err = SetLock(fd, F_WRLCK, kShareLockOffset, 1);
  } else if (exclusive) {
    err = SetLock(fd, F_RDLCK, kShareLockOffset, 2);
    if (err == 0) err = ProbeExclusive(fd, kShareLockOffset);
  } else {
    err = SetLock(fd, F_RDLCK, kShareLockOffset, 1);
    if (err == 0) err = ProbeExclusive(fd, kShareLockOffset + 1);
  }
  return err == kLockHeld ? kShareConflict : err;
}

class PosixStorage final : public Storage {
 public:
  int Open(const std::string& path, const OpenOptions& options,
           std::unique_ptr<StorageFile>* file) override {
    const bool read_only = options.access == FileAccess::kRead;
    const int flags =
        (read_only ? O_RDONLY : O_RDWR) | O_CLOEXEC | (options.write_through ? O_DSYNC : 0);
    int fd;
    if (int err = OpenDescriptor(path, flags, &fd); err != 0) return err;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      return EISDIR;
    }
    if (int err = TakeShareLock(fd, options.sharing == FileSharing::kExclusive, read_only)) {
      ::close(fd);
      return err;
    }
    *file = std::make_unique<PosixFile>(path, fd, read_only);
    return 0;
  }

  int Create(const std::string& path, bool write_through,
             std::unique_ptr<StorageFile>* file) override {
    int fd;
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (write_through ? O_DSYNC : 0);
    if (int err = OpenDescriptor(path, flags, &fd); err != 0) return err;
    if (int err = TakeShareLock(fd, true, false)) {
      ::close(fd);
      return err;
    }
    // An empty file is left as it is: truncating it changes nothing, and on
    // ext4 it would mark the file for a forced write-back at its first close
    // (the replace-by-truncate heuristic), which costs a new table, and
    // every query result, a disk write and a discard.
    struct stat st {};
    if ((::fstat(fd, &st) != 0 || st.st_size != 0) && ::ftruncate(fd, 0) != 0) {
      const int err = errno;
      ::close(fd);
      return err;
    }
    *file = std::make_unique<PosixFile>(path, fd, false);
    return 0;
  }

  int Facts(const std::string& path, FileFacts* facts) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno;
    facts->is_directory = S_ISDIR(st.st_mode);
    facts->read_only_attribute = !(st.st_mode & S_IWUSR);
    return 0;
  }

  bool Exists(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  int Delete(const std::string& path) override { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

  int Rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }

  int FlushFolder(const std::string& path) override {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int err = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    // Some file systems cannot flush a folder; their names are as durable
    // as they will ever be.
    if (err == EINVAL || err == ENOTSUP || err == EROFS) err = 0;
    return err;
  }

  int ListFolder(const std::string& folder,
                 const std::function<bool(std::string_view name)>& each) override {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()),
                                            ::closedir);
    if (!dir) return errno;
    while (dirent* entry = ::readdir(dir.get())) {
      std::string_view name = entry->d_name;
      if (name != "." && name != ".." && !each(name)) break;
    }
    return 0;
  }

  std::string TemporaryFolder() override {
    std::error_code error;
    std::string folder = std::filesystem::temp_directory_path(error).string();
    if (error || folder.empty()) folder = "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
  }

  uint64_t CurrentThreadId() override {
#if defined(__linux__)
    return static_cast<uint64_t>(::syscall(SYS_gettid));
#else
    return std::hash<std::thread::id>{}(std::this_thread::get_id());
#endif
  }

  void Yield() override { sched_yield(); }

  void Sleep(int milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }

  int64_t MonotonicMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  text::DateTimeParts LocalNow() override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    text::DateTimeParts now;
    now.year = local.tm_year + 1900;
    now.month = local.tm_mon + 1;
    now.day = local.tm_mday;
    now.hour = local.tm_hour;
    now.minute = local.tm_min;
    now.second = local.tm_sec > 59 ? 59 : local.tm_sec;
    now.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    return now;
  }

  std::optional<std::string> Environment(const std::string& name) override {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  }

  std::string RegionalDateTimeText(const text::DateTimeParts& moment, bool with_time) override;
};

// True when the environment names a time locale other than the plain C one.
bool UserNamesRegionalSettings() {
  for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(var);
    if (value == nullptr || *value == '\0') continue;
    std::string_view v(value);
    return !(v == "C" || v == "POSIX" || v.starts_with("C."));
  }
  return false;
}

// The user's LC_TIME locale, taken once per process from the environment
// (LC_ALL, LC_TIME, LANG); the program never changes the process's own
// locale. Null when there are no regional settings to follow, or the one
// named is not installed.
std::string PosixStorage::RegionalDateTimeText(const text::DateTimeParts& moment, bool with_time) {
  static const locale_t user_locale = [] {
    return UserNamesRegionalSettings() ? newlocale(LC_TIME_MASK, "", locale_t{}) : locale_t{};
  }();
  if (user_locale == locale_t{}) {
    static const locale_t c_locale = newlocale(LC_TIME_MASK, "C", locale_t{});
    return LocaleDateTimeText(moment, with_time, c_locale, "%Y-%m-%d", "%H:%M:%S");
  }
  return LocaleDateTimeText(moment, with_time, user_locale);
}

std::string Format(const char* format, const std::tm& tm, locale_t locale) {
  char buffer[256];
  size_t n = strftime_l(buffer, sizeof buffer, format, &tm, locale);
  return std::string(buffer, n);
}

}  // namespace

std::string LocaleDateTimeText(const text::DateTimeParts& moment, bool with_time, locale_t locale,
                               const char* date_format, const char* time_format) {
  using namespace std::chrono;
  const year_month_day ymd{year{moment.year}, month{static_cast<unsigned>(moment.month)},
                           day{static_cast<unsigned>(moment.day)}};
  const sys_days date{ymd};
  std::tm tm{};
  tm.tm_year = moment.year - 1900;
  tm.tm_mon = moment.month - 1;
  tm.tm_mday = moment.day;
  tm.tm_wday = static_cast<int>(weekday{date}.c_encoding());
  tm.tm_yday = static_cast<int>((date - sys_days{ymd.year() / January / 1}).count());
  tm.tm_hour = moment.hour;
  tm.tm_min = moment.minute;
  tm.tm_sec = moment.second;
  tm.tm_isdst = -1;
  std::string text = Format(date_format, tm, locale);
  if (with_time) text += ' ' + Format(time_format, tm, locale);
  return text;
}

Storage& PlatformStorage() {
  static auto* storage = new PosixStorage;
  return *storage;
}

}  // namespace quoldex::tables

#endif  // !_WIN32
