#include "tables/storage/file_handler.h"

#include <vector>

#include "tables/base/engine_error.h"
#include "text/path_separator.h"

namespace quoldex::tables {
namespace {

// Whether the system refused an access right the caller may do without.
bool IsAccessRefused(int err) { return err == EACCES || err == EROFS || err == EPERM; }

}  // namespace

TFileHandler::TFileHandler(std::string file_name, std::string error_name)
    : file_name_(std::move(file_name)), error_name_(std::move(error_name)) {}

TFileHandler::~TFileHandler() = default;

void TFileHandler::SetInMemory(bool in_memory) {
  if (IsOpen()) Close();
  in_memory_ = in_memory;
}

void TFileHandler::Fail(int code) const { throw EDbEngineError(code, error_name_); }

void TFileHandler::FailOpen(int err) const {
  if (err == kShareConflict) Fail(kErrAccessDenied);
  // A sharing lock the system would not take at all.
  if (err == ENOLCK) throw EDbEngineError::WithOsReason(kErrLockFailure, error_name_, err);
  int code = EngineCodeForOpenErrno(err);
  if (code == kErrUnknownOs) throw EDbEngineError(code, error_name_, std::to_string(err));
  Fail(code);
}

void TFileHandler::FailWrite(int err) const {
  if (in_memory_ && err == EFBIG) Fail(kErrInMemoryLength);
  throw EDbEngineError::WithOsReason(kErrWrite, error_name_, err);
}

void TFileHandler::ChangeExtension(std::string_view extension) {
  size_t slash = file_name_.find_last_of(text::kPathSeparators);
  size_t dot = file_name_.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    file_name_.resize(dot);
  file_name_.append(extension);
}

void TFileHandler::Open(bool exclusive, bool read_only, bool write_through) {
  if (IsOpen()) Close();
  read_only_by_attribute_ = false;
  read_only_by_access_ = false;
  Storage& storage = Store();
  // Only an open for writing asks about the read-only attribute first; the
  // open itself refuses a folder. Reading opens are the common case (every
  // query opens its table twice), and a name lookup costs as much as the
  // open.
  if (!read_only) {
    FileFacts facts;
    if (int err = storage.Facts(file_name_, &facts); err != 0) FailOpen(err);
    if (facts.is_directory) FailOpen(EISDIR);
    if (facts.read_only_attribute) {
      read_only = true;
      read_only_by_attribute_ = true;
    }
  }
  OpenOptions options;
  options.access = read_only ? FileAccess::kRead : FileAccess::kReadWrite;
  options.sharing = exclusive ? FileSharing::kExclusive : FileSharing::kShared;
  options.write_through = write_through;
  int err = storage.Open(file_name_, options, &file_);
  if (err != 0 && !read_only && IsAccessRefused(err)) {
    // A file that may be read but not written (a read-only mount, an
    // immutable file, another user's file) is opened for reading.
    options.access = FileAccess::kRead;
    err = storage.Open(file_name_, options, &file_);
    read_only = err == 0;
    read_only_by_access_ = err == 0;
  }
  if (err != 0) {
    file_.reset();
    FailOpen(err);
  }
  exclusive_ = exclusive;
  read_only_ = read_only;
  write_through_ = write_through && !in_memory_;
}

void TFileHandler::Close() { file_.reset(); }

void TFileHandler::Create(bool write_through) {
  if (IsOpen()) Close();
  if (int err = Store().Create(file_name_, write_through, &file_); err != 0) {
    file_.reset();
    FailOpen(err);
  }
  exclusive_ = true;
  read_only_ = false;
  read_only_by_attribute_ = false;
  read_only_by_access_ = false;
  write_through_ = write_through && !in_memory_;
}

void TFileHandler::Delete() {
  Close();
  const int err = Store().Delete(file_name_);
  if (err != 0 && err != ENOENT && !in_memory_) {
    throw EDbEngineError::WithOsReason(kErrCannotDelete, error_name_, err);
  }
}

void TFileHandler::Rename(const std::string& new_name) {
  Close();
  if (int err = Store().Rename(file_name_, new_name); err != 0) {
    if (in_memory_) Fail(kErrCannotDelete);
    throw EDbEngineError::WithOsReason(kErrCannotDelete, error_name_, err);
  }
  file_name_ = new_name;
}

void TFileHandler::Copy(const std::string& target) const {
  Storage& storage = Store();
  std::unique_ptr<StorageFile> own;
  StorageFile* from = file_.get();
  if (from == nullptr) {
    OpenOptions options;
    options.access = FileAccess::kRead;
    if (int err = storage.Open(file_name_, options, &own); err != 0) FailOpen(err);
    from = own.get();
  }
  std::unique_ptr<StorageFile> to;
  if (int err = storage.Create(target, false, &to); err != 0) {
    throw EDbEngineError::WithOsReason(kErrWrite, error_name_, err);
  }
  std::vector<char> buffer(1 << 16);
  for (uint64_t offset = 0;;) {
    const IoResult got = from->Read(offset, buffer.data(), buffer.size());
    if (got.error != 0) throw EDbEngineError::WithOsReason(kErrRead, error_name_, got.error);
    if (got.bytes == 0) break;
    const IoResult put = to->Write(offset, buffer.data(), got.bytes);
    if (put.bytes < got.bytes) FailWrite(put.error);
    offset += got.bytes;
  }
}

void TFileHandler::Read(uint64_t offset, void* buffer, size_t count) const {
  if (!file_) Fail(kErrRead);
  const IoResult result = file_->Read(offset, buffer, count);
  if (result.error != 0) throw EDbEngineError::WithOsReason(kErrRead, error_name_, result.error);
  if (result.bytes < count) Fail(kErrRead);
}

void TFileHandler::Write(uint64_t offset, const void* buffer, size_t count) {
  if (!file_ || read_only_) Fail(kErrWrite);
  const IoResult result = file_->Write(offset, buffer, count);
  if (result.bytes < count) FailWrite(result.error);
}

void TFileHandler::Flush() {
  if (!file_) return;
  if (int err = file_->Flush(); err != 0) {
    throw EDbEngineError::WithOsReason(kErrWrite, error_name_, err);
  }
}

uint64_t TFileHandler::Size() const {
  uint64_t size = 0;
  if (!file_ || file_->Size(&size) != 0) Fail(kErrHeaderAccess);
  return size;
}

FileView TFileHandler::MapForReading(uint64_t length) const {
  if (!file_) return {};
  return file_->MapForReading(length);
}

void TFileHandler::Truncate(uint64_t size) {
  if (!file_ || read_only_) Fail(kErrWrite);
  if (int err = file_->SetEndOfFile(size); err != 0) FailWrite(err);
}

bool TFileHandler::Exists() const { return FileExists(file_name_, in_memory_); }

bool TFileHandler::FileExists(const std::string& path, bool in_memory) {
  return (in_memory ? MemoryStorage() : DiskStorage()).Exists(path);
}

bool TFileHandler::Lock(uint64_t offset, uint64_t length, bool exclusive) {
  if (!file_) return false;
  const int err = file_->Lock(offset, length, exclusive);
  if (err == 0) return true;
  if (err == kLockHeld) return false;
  throw EDbEngineError::WithOsReason(kErrLockFailure, error_name_, err);
}

void TFileHandler::Unlock(uint64_t offset, uint64_t length) {
  if (!file_) Fail(kErrUnlock);
  if (int err = file_->Unlock(offset, length); err != 0) {
    throw EDbEngineError::WithOsReason(kErrUnlock, error_name_, err);
  }
}

}  // namespace quoldex::tables
