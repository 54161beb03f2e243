// TFileHandler: one operating-system file of a table (data, index or blob
// file) with the engine's open modes, positioned reads and writes that are
// either complete or an engine error, and byte-range locks.
//
// Errors name the table's data file (as opened, with its directory), also
// when the failing file is the index file: `error_name` is that name.
//
// The file lives in a Storage (storage.h): the disk's (DiskStorage) or, in
// in-memory mode, the process's memory (MemoryStorage). Sharing modes, locks
// and errors are the same in both: opening exclusively a file that another
// handle has open, or opening shared a file held exclusively, fails with
// kErrAccessDenied ("Access denied"), between processes and between handles of
// one process alike; two handles in one process exclude each other's locks
// exactly as two processes do, and closing a handle releases its locks without
// touching other handles' locks. In memory, Flush has nothing to do, and a file
// that would grow past MemoryFile::kMaxSize fails with kErrInMemoryLength.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tables/storage/storage.h"

namespace quoldex::tables {

class TFileHandler {
 public:
  // `file_name` is the full path of this file; `error_name` the data file
  // name used in error texts (equal to file_name for the data file itself).
  TFileHandler(std::string file_name, std::string error_name);
  virtual ~TFileHandler();
  TFileHandler(const TFileHandler&) = delete;
  TFileHandler& operator=(const TFileHandler&) = delete;

  const std::string& FileName() const { return file_name_; }
  const std::string& ErrorName() const { return error_name_; }

  // Chooses between a file on disk (the default) and one in memory. Only
  // while closed.
  void SetInMemory(bool in_memory);
  bool IsInMemory() const { return in_memory_; }

  // Replaces the file name's extension (with its dot, e.g. ".IDX"). Only
  // while closed.
  virtual void ChangeExtension(std::string_view extension);

  // Opens the existing file. read_only: open for reading; exclusive: no
  // sharing; write_through: every write reaches the device (O_DSYNC). Asked
  // for writing, a file whose owner may not write it is opened read-only and
  // marked read-only-by-attribute (no locks needed). A file that cannot be opened for
  // writing but can be read (a read-only mount, an immutable file, another
  // user's file) is opened read-only and marked read-only-by-access; it takes
  // its locks as usual. Failure maps errno to the engine's open codes (kErrPath
  // not found, kErrAccessDenied denied or in use, ...).
  virtual void Open(bool exclusive, bool read_only, bool write_through);
  virtual void Close();
  // Creates the file, replacing an existing one, and leaves it open
  // exclusively for reading and writing.
  virtual void Create(bool write_through);
  // Removes the file (closed or not); kErrCannotDelete on failure.
  virtual void Delete();
  // Renames the closed file to `new_name` (full path); kErrCannotDelete on
  // failure.
  virtual void Rename(const std::string& new_name);
  // Copies the file's bytes to `target` (full path, in memory when this file
  // is), replacing it; kErrRead when reading fails, kErrWrite when writing
  // does.
  virtual void Copy(const std::string& target) const;
  // Reads exactly `count` bytes at `offset`; a short read raises kErrRead (with
  // the system's reason when it gave one).
  virtual void Read(uint64_t offset, void* buffer, size_t count) const;
  // Writes exactly `count` bytes at `offset`; a failed or short write raises
  // kErrWrite with the system's reason ("No space left on device", ...).
  virtual void Write(uint64_t offset, const void* buffer, size_t count);
  // Makes written data durable (fdatasync); kErrWrite with the reason on
  // failure.
  virtual void Flush();

  uint64_t Size() const;
  // Maps the first `length` bytes of the open file read-only, so that they
  // can be read in place without a system call per read. Empty (read with
  // Read instead) unless the file is on disk on a local file system
  // (one page cache for every process of this machine, so that a mapping
  // shows every write of every process the moment it is made; not so on a
  // network share) and at least `length` bytes long. The mapping shows
  // the file as it is at each moment: the caller keeps writers away while
  // it reads (the table's read lock does). A file cut shorter than the view
  // while it is read makes the read fault: the engine cuts a table only
  // while it holds it alone, which an open handle prevents.
  // The process keeps the mappings of the last few files it mapped and
  // hands them out again (a mapping shows the file as it is now, however
  // old), so that reading a table in place again costs no new mapping and
  // no page faults.
  FileView MapForReading(uint64_t length) const;
  // Cuts or extends the file to `size` bytes; kErrWrite (with the system's
  // reason) on failure.
  void Truncate(uint64_t size);
  bool Exists() const;
  // Whether a regular file (in memory: an in-memory file) of that name exists.
  static bool FileExists(const std::string& path, bool in_memory = false);

  // One attempt at a byte-range lock; false when another handle holds a
  // conflicting lock, kErrLockFailure with the system's reason when the system
  // refuses it otherwise. `exclusive` false takes a shared lock.
  bool Lock(uint64_t offset, uint64_t length, bool exclusive = true);
  // Releases a range this handle locked; kErrUnlock on failure.
  void Unlock(uint64_t offset, uint64_t length);

  bool IsOpen() const { return file_ != nullptr; }
  bool IsExclusive() const { return exclusive_; }
  bool IsReadOnly() const { return read_only_; }
  bool IsReadOnlyByAttribute() const { return read_only_by_attribute_; }
  bool IsReadOnlyByAccess() const { return read_only_by_access_; }
  bool IsWriteThrough() const { return write_through_; }

 private:
  void Fail(int code) const;
  void FailOpen(int err) const;
  // The engine's error for a failed write or size change (`err` from the
  // storage).
  void FailWrite(int err) const;
  Storage& Store() const { return in_memory_ ? MemoryStorage() : DiskStorage(); }

  std::string file_name_;
  std::string error_name_;
  std::unique_ptr<StorageFile> file_;  // the open file
  bool in_memory_ = false;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool read_only_by_attribute_ = false;
  bool read_only_by_access_ = false;
  bool write_through_ = false;
};

}  // namespace quoldex::tables
