#include "tables/file_handler.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <vector>

#include "tables/engine_error.h"
#include "tables/memory_files.h"

namespace quoldex::tables {
namespace {

// One attempt at a lock (or an unlock): 0 when done, else the errno of the
// refusal (EAGAIN or EACCES: another handle holds a conflicting lock).
int SetLock(int fd, short type, uint64_t offset, uint64_t length) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  fl.l_pid = 0;
  while (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    if (errno == EINTR) continue;
    return errno;
  }
  return 0;
}

bool IsConflict(int err) { return err == EAGAIN || err == EACCES; }

}  // namespace

struct FileView::Mapping {
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

FileView::FileView(std::shared_ptr<const Mapping> mapping, uint64_t length)
    : mapping_(std::move(mapping)), data_(mapping_->data), length_(length) {}

namespace {

// The mappings kept for reuse, most recently used first. A kept mapping
// holds its file's storage even after the file is removed, so only a few
// are kept.
constexpr size_t kKeptMappings = 8;

struct KeptMappings {
  std::mutex section;
  std::vector<std::shared_ptr<const FileView::Mapping>> mappings;
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

}  // namespace

TFileHandler::TFileHandler(std::string file_name, std::string error_name)
    : file_name_(std::move(file_name)), error_name_(std::move(error_name)) {}

TFileHandler::~TFileHandler() {
  if (fd_ >= 0) ::close(fd_);
  if (memory_) memory_->UnlockAll(this);
}

void TFileHandler::SetInMemory(bool in_memory) {
  if (IsOpen()) Close();
  in_memory_ = in_memory;
}

void TFileHandler::Fail(int code) const { throw EDbEngineError(code, error_name_); }

void TFileHandler::FailOpen(int err) const {
  int code = EngineCodeForOpenErrno(err);
  if (code == kErrUnknownOs) throw EDbEngineError(code, error_name_, std::to_string(err));
  Fail(code);
}

void TFileHandler::ChangeExtension(std::string_view extension) {
  size_t slash = file_name_.find_last_of('/');
  size_t dot = file_name_.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    file_name_.resize(dot);
  file_name_.append(extension);
}

void TFileHandler::OpenInMemory(bool exclusive, bool read_only) {
  memory_ = memory_files::Find(file_name_);
  if (!memory_) Fail(kErrPath);
  if (!memory_->Lock(this, kShareLockOffset, 1, exclusive)) {
    memory_.reset();
    Fail(kErrAccessDenied);
  }
  exclusive_ = exclusive;
  read_only_ = read_only;
  write_through_ = false;
}

void TFileHandler::Open(bool exclusive, bool read_only, bool write_through) {
  if (IsOpen()) Close();
  read_only_by_attribute_ = false;
  read_only_by_access_ = false;
  if (in_memory_) return OpenInMemory(exclusive, read_only);
  struct stat st {};
  if (::stat(file_name_.c_str(), &st) != 0) FailOpen(errno);
  if (S_ISDIR(st.st_mode)) FailOpen(EISDIR);
  if (!read_only && !(st.st_mode & S_IWUSR)) {
    read_only = true;
    read_only_by_attribute_ = true;
  }
  int flags = (read_only ? O_RDONLY : O_RDWR) | O_CLOEXEC | (write_through ? O_DSYNC : 0);
  int fd;
  do {
    fd = ::open(file_name_.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && !read_only && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    // A file that may be read but not written (a read-only mount, an
    // immutable file, another user's file) is opened for reading.
    flags = (flags & ~O_RDWR) | O_RDONLY;
    do {
      fd = ::open(file_name_.c_str(), flags);
    } while (fd < 0 && errno == EINTR);
    read_only = fd >= 0;
    read_only_by_access_ = fd >= 0;
  }
  if (fd < 0) FailOpen(errno);
  // The sharing lock needs a file opened for writing to take an exclusive
  // lock; a read-only exclusive open uses a read lock plus a probe.
  int err;
  if (exclusive && !read_only) {
    err = SetLock(fd, F_WRLCK, kShareLockOffset, 1);
  } else {
    err = SetLock(fd, F_RDLCK, kShareLockOffset, 1);
    if (err == 0 && exclusive) {
      struct flock probe {};
      probe.l_type = F_WRLCK;
      probe.l_whence = SEEK_SET;
      probe.l_start = static_cast<off_t>(kShareLockOffset);
      probe.l_len = 1;
      if (fcntl(fd, F_OFD_GETLK, &probe) != 0) {
        err = errno;
      } else if (probe.l_type != F_UNLCK) {
        err = EAGAIN;
      }
    }
  }
  if (err != 0) {
    ::close(fd);
    if (IsConflict(err)) Fail(kErrAccessDenied);
    throw EDbEngineError::WithOsReason(kErrLockFailure, error_name_, err);
  }
  fd_ = fd;
  exclusive_ = exclusive;
  read_only_ = read_only;
  write_through_ = write_through;
}

void TFileHandler::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (memory_) memory_->UnlockAll(this);
  memory_.reset();
}

void TFileHandler::Create(bool write_through) {
  if (IsOpen()) Close();
  if (in_memory_) {
    // A file of that name that some handle holds open is not replaced.
    if (std::shared_ptr<MemoryFile> old = memory_files::Find(file_name_)) {
      if (!old->Lock(this, kShareLockOffset, 1, true)) Fail(kErrAccessDenied);
      old->UnlockAll(this);
    }
    memory_ = memory_files::Create(file_name_);
    memory_->Lock(this, kShareLockOffset, 1, true);
    exclusive_ = true;
    read_only_ = false;
    read_only_by_attribute_ = false;
    write_through_ = false;
    return;
  }
  int flags = O_RDWR | O_CREAT | O_CLOEXEC | (write_through ? O_DSYNC : 0);
  int fd;
  do {
    fd = ::open(file_name_.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) FailOpen(errno);
  if (int err = SetLock(fd, F_WRLCK, kShareLockOffset, 1); err != 0) {
    ::close(fd);
    if (IsConflict(err)) Fail(kErrAccessDenied);
    throw EDbEngineError::WithOsReason(kErrLockFailure, error_name_, err);
  }
  // An empty file is left as it is: truncating it changes nothing, and on
  // ext4 it would mark the file for a forced write-back at its first close
  // (the replace-by-truncate heuristic), which costs a new table, and
  // every query result, a disk write and a discard.
  struct stat st;
  if ((::fstat(fd, &st) != 0 || st.st_size != 0) && ::ftruncate(fd, 0) != 0) {
    const int err = errno;
    ::close(fd);
    throw EDbEngineError::WithOsReason(kErrWrite, error_name_, err);
  }
  fd_ = fd;
  exclusive_ = true;
  read_only_ = false;
  read_only_by_attribute_ = false;
  write_through_ = write_through;
}

void TFileHandler::Delete() {
  Close();
  if (in_memory_) {
    memory_files::Remove(file_name_);
    return;
  }
  if (::unlink(file_name_.c_str()) != 0 && errno != ENOENT) {
    throw EDbEngineError::WithOsReason(kErrCannotDelete, error_name_, errno);
  }
}

void TFileHandler::Rename(const std::string& new_name) {
  Close();
  if (in_memory_) {
    if (!memory_files::Rename(file_name_, new_name)) Fail(kErrCannotDelete);
    file_name_ = new_name;
    return;
  }
  if (::rename(file_name_.c_str(), new_name.c_str()) != 0) {
    throw EDbEngineError::WithOsReason(kErrCannotDelete, error_name_, errno);
  }
  file_name_ = new_name;
}

void TFileHandler::Copy(const std::string& target) const {
  if (in_memory_) {
    std::shared_ptr<MemoryFile> from = memory_ ? memory_ : memory_files::Find(file_name_);
    if (!from) Fail(kErrPath);
    std::vector<uint8_t> bytes = from->Bytes();
    if (!memory_files::Create(target)->Write(0, bytes.data(), bytes.size())) Fail(kErrWrite);
    return;
  }
  int in = ::open(file_name_.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) FailOpen(errno);
  int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    const int err = errno;
    ::close(in);
    throw EDbEngineError::WithOsReason(kErrWrite, error_name_, err);
  }
  std::vector<char> buf(1 << 16);
  int err = 0;
  for (;;) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) err = errno;
      break;
    }
    for (ssize_t done = 0; done < n && err == 0;) {
      ssize_t w = ::write(out, buf.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        err = w < 0 ? errno : ENOSPC;
        break;
      }
      done += w;
    }
    if (err != 0) break;
  }
  ::close(in);
  if (::close(out) != 0 && err == 0) err = errno;
  if (err != 0) throw EDbEngineError::WithOsReason(kErrWrite, error_name_, err);
}

void TFileHandler::Read(uint64_t offset, void* buffer, size_t count) const {
  if (memory_) {
    if (!memory_->Read(offset, buffer, count)) Fail(kErrRead);
    return;
  }
  if (fd_ < 0) Fail(kErrRead);
  auto* p = static_cast<char*>(buffer);
  while (count > 0) {
    ssize_t n = ::pread(fd_, p, count, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EDbEngineError::WithOsReason(kErrRead, error_name_, errno);
    if (n == 0) Fail(kErrRead);
    p += n;
    offset += static_cast<uint64_t>(n);
    count -= static_cast<size_t>(n);
  }
}

void TFileHandler::Write(uint64_t offset, const void* buffer, size_t count) {
  if (memory_ && !read_only_) {
    if (!memory_->Write(offset, buffer, count)) Fail(kErrInMemoryLength);
    return;
  }
  if (fd_ < 0 || read_only_) Fail(kErrWrite);
  auto* p = static_cast<const char*>(buffer);
  while (count > 0) {
    ssize_t n = ::pwrite(fd_, p, count, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EDbEngineError::WithOsReason(kErrWrite, error_name_, n < 0 ? errno : 0);
    p += n;
    offset += static_cast<uint64_t>(n);
    count -= static_cast<size_t>(n);
  }
}

void TFileHandler::Flush() {
  if (fd_ < 0) return;
  if (::fdatasync(fd_) != 0 && errno != EINVAL) {
    throw EDbEngineError::WithOsReason(kErrWrite, error_name_, errno);
  }
}

uint64_t TFileHandler::Size() const {
  if (memory_) return memory_->Size();
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) Fail(kErrHeaderAccess);
  return static_cast<uint64_t>(st.st_size);
}

FileView TFileHandler::MapForReading(uint64_t length) const {
  struct stat st {};
  if (fd_ < 0 || length == 0 || ::fstat(fd_, &st) != 0) return {};
  const auto size = static_cast<uint64_t>(st.st_size);
  if (size < length) return {};
  KeptMappings& kept = Kept();
  std::lock_guard lock(kept.section);
  auto& list = kept.mappings;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i]->device != st.st_dev || list[i]->inode != st.st_ino) continue;
    std::shared_ptr<const FileView::Mapping> found = list[i];
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
    if (found->length < length) break;  // the file grew: mapped anew below
    list.insert(list.begin(), found);
    return FileView(std::move(found), length);
  }
  if (!IsLocalFileSystem(fd_)) return {};
  // Mapped through a descriptor of its own: a mapping holds on to the open
  // file it was made from, and the handle's descriptor carries the handle's
  // locks, which must go when the handle closes. The name must still lead
  // to the file the handle has open.
  int fd;
  do {
    fd = ::open(file_name_.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return {};
  struct stat same {};
  void* data = MAP_FAILED;
  if (::fstat(fd, &same) == 0 && same.st_dev == st.st_dev && same.st_ino == st.st_ino) {
    data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  }
  ::close(fd);
  if (data == MAP_FAILED) return {};
  auto mapping = std::make_shared<const FileView::Mapping>(static_cast<const uint8_t*>(data), size,
                                                           st.st_dev, st.st_ino);
  list.insert(list.begin(), mapping);
  if (list.size() > kKeptMappings) list.pop_back();
  return FileView(std::move(mapping), length);
}

void TFileHandler::Truncate(uint64_t size) {
  if (memory_ && !read_only_) {
    if (!memory_->Resize(size)) Fail(kErrInMemoryLength);
    return;
  }
  if (fd_ < 0 || read_only_) Fail(kErrWrite);
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    throw EDbEngineError::WithOsReason(kErrWrite, error_name_, errno);
  }
}

bool TFileHandler::Exists() const { return FileExists(file_name_, in_memory_); }

bool TFileHandler::FileExists(const std::string& path, bool in_memory) {
  if (in_memory) return memory_files::Exists(path);
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool TFileHandler::Lock(uint64_t offset, uint64_t length, bool exclusive) {
  if (memory_) return memory_->Lock(this, offset, length, exclusive && !read_only_);
  if (fd_ < 0) return false;
  // A read-only descriptor cannot hold a write lock; a shared lock on it
  // still excludes writers, which is what a read-only handle needs.
  short type = (exclusive && !read_only_) ? F_WRLCK : F_RDLCK;
  const int err = SetLock(fd_, type, offset, length);
  if (err == 0) return true;
  if (IsConflict(err)) return false;
  throw EDbEngineError::WithOsReason(kErrLockFailure, error_name_, err);
}

void TFileHandler::Unlock(uint64_t offset, uint64_t length) {
  if (memory_) return memory_->Unlock(this, offset, length);
  if (fd_ < 0) Fail(kErrUnlock);
  if (int err = SetLock(fd_, F_UNLCK, offset, length); err != 0) {
    throw EDbEngineError::WithOsReason(kErrUnlock, error_name_, err);
  }
}

std::string ResolveFileNameCase(const std::string& dir, const std::string& name) {
  std::string exact = dir + name;
  if (TFileHandler::FileExists(exact)) return exact;
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.empty() ? "." : dir.c_str()), ::closedir);
  if (!d) return exact;
  while (dirent* e = ::readdir(d.get())) {
    if (::strcasecmp(e->d_name, name.c_str()) == 0) return dir + e->d_name;
  }
  return exact;
}

}  // namespace quoldex::tables
