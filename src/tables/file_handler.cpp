#include "tables/file_handler.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "tables/engine_error.h"

namespace quoldex::tables {
namespace {

bool SetLock(int fd, short type, uint64_t offset, uint64_t length) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  fl.l_pid = 0;
  while (fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    if (errno == EINTR) continue;
    return false;
  }
  return true;
}

}  // namespace

TFileHandler::TFileHandler(std::string file_name, std::string error_name)
    : file_name_(std::move(file_name)), error_name_(std::move(error_name)) {}

TFileHandler::~TFileHandler() {
  if (fd_ >= 0) ::close(fd_);
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

void TFileHandler::Open(bool exclusive, bool read_only, bool write_through) {
  if (fd_ >= 0) Close();
  read_only_by_attribute_ = false;
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
  if (fd < 0) FailOpen(errno);
  // The sharing lock needs a file opened for writing to take an exclusive
  // lock; a read-only exclusive open uses a read lock plus a probe.
  bool ok;
  if (exclusive && !read_only) {
    ok = SetLock(fd, F_WRLCK, kShareLockOffset, 1);
  } else {
    ok = SetLock(fd, F_RDLCK, kShareLockOffset, 1);
    if (ok && exclusive) {
      struct flock probe {};
      probe.l_type = F_WRLCK;
      probe.l_whence = SEEK_SET;
      probe.l_start = static_cast<off_t>(kShareLockOffset);
      probe.l_len = 1;
      ok = fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type == F_UNLCK;
    }
  }
  if (!ok) {
    ::close(fd);
    Fail(kErrAccessDenied);
  }
  fd_ = fd;
  exclusive_ = exclusive;
  read_only_ = read_only;
  write_through_ = write_through;
}

void TFileHandler::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TFileHandler::Create(bool write_through) {
  if (fd_ >= 0) Close();
  int flags = O_RDWR | O_CREAT | O_CLOEXEC | (write_through ? O_DSYNC : 0);
  int fd;
  do {
    fd = ::open(file_name_.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) FailOpen(errno);
  if (!SetLock(fd, F_WRLCK, kShareLockOffset, 1)) {
    ::close(fd);
    Fail(kErrAccessDenied);
  }
  // An empty file is left as it is: truncating it changes nothing, and on
  // ext4 it would mark the file for a forced write-back at its first close
  // (the replace-by-truncate heuristic), which costs a new table, and
  // every query result, a disk write and a discard.
  struct stat st;
  if ((::fstat(fd, &st) != 0 || st.st_size != 0) && ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    Fail(kErrWrite);
  }
  fd_ = fd;
  exclusive_ = true;
  read_only_ = false;
  read_only_by_attribute_ = false;
  write_through_ = write_through;
}

void TFileHandler::Delete() {
  Close();
  if (::unlink(file_name_.c_str()) != 0 && errno != ENOENT) Fail(kErrCannotDelete);
}

void TFileHandler::Rename(const std::string& new_name) {
  Close();
  if (::rename(file_name_.c_str(), new_name.c_str()) != 0) Fail(kErrCannotDelete);
  file_name_ = new_name;
}

void TFileHandler::Copy(const std::string& target) const {
  int in = ::open(file_name_.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) FailOpen(errno);
  int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    ::close(in);
    Fail(kErrWrite);
  }
  std::vector<char> buf(1 << 16);
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buf.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (!ok) Fail(kErrWrite);
}

void TFileHandler::Read(uint64_t offset, void* buffer, size_t count) const {
  if (fd_ < 0) Fail(kErrRead);
  auto* p = static_cast<char*>(buffer);
  while (count > 0) {
    ssize_t n = ::pread(fd_, p, count, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(kErrRead);
    p += n;
    offset += static_cast<uint64_t>(n);
    count -= static_cast<size_t>(n);
  }
}

void TFileHandler::Write(uint64_t offset, const void* buffer, size_t count) {
  if (fd_ < 0 || read_only_) Fail(kErrWrite);
  auto* p = static_cast<const char*>(buffer);
  while (count > 0) {
    ssize_t n = ::pwrite(fd_, p, count, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(kErrWrite);
    p += n;
    offset += static_cast<uint64_t>(n);
    count -= static_cast<size_t>(n);
  }
}

void TFileHandler::Flush() {
  if (fd_ < 0) return;
  if (::fdatasync(fd_) != 0 && errno != EINVAL) Fail(kErrWrite);
}

uint64_t TFileHandler::Size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) Fail(kErrHeaderAccess);
  return static_cast<uint64_t>(st.st_size);
}

void TFileHandler::Truncate(uint64_t size) {
  if (fd_ < 0 || ::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail(kErrWrite);
}

bool TFileHandler::Exists() const { return FileExists(file_name_); }

bool TFileHandler::FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool TFileHandler::Lock(uint64_t offset, uint64_t length, bool exclusive) {
  if (fd_ < 0) return false;
  // A read-only descriptor cannot hold a write lock; a shared lock on it
  // still excludes writers, which is what a read-only handle needs.
  short type = (exclusive && !read_only_) ? F_WRLCK : F_RDLCK;
  return SetLock(fd_, type, offset, length);
}

void TFileHandler::Unlock(uint64_t offset, uint64_t length) {
  if (fd_ < 0 || !SetLock(fd_, F_UNLCK, offset, length)) Fail(kErrUnlock);
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
