// Storage: everything the table engine asks of the operating system, behind
// one interface. Files (open and create with a sharing mode, positioned
// reads and writes, size, set end of file, flush, byte-range locks, a
// read-only mapping), names in folders (facts, delete, rename, listing, the
// temporary folder), and the few services of the process the engine needs
// (thread identity, yielding, sleeping, a monotonic clock, the local time,
// the environment, the user's regional date and time text).
//
// No other engine file calls the operating system: a platform adds one
// implementation of these two classes and touches nothing else. There is a
// POSIX implementation (storage_posix.cpp), one in process memory
// (storage_memory.cpp, the engine's in-memory mode), and tests wrap either.
//
// Errors. Every call that can fail returns an errno-style code: 0 on
// success, else a POSIX error number from <cerrno> (ENOENT, EACCES, ENOSPC,
// EIO, ...). An implementation on another system maps its own errors onto
// these numbers, so that the engine turns them into its own codes and texts
// ("9218 Error writing to data file ...: No space left on device") in one
// place whatever the platform. Two numbers have a fixed meaning here:
//   kShareConflict (EBUSY)  an open or create refused because another
//                           handle's sharing mode excludes it;
//   kLockHeld (EAGAIN)      a lock refused because another handle holds a
//                           conflicting lock.
//
// Threads. Every call may be made from any thread. One StorageFile is used
// by one thread at a time.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/date_time.h"

namespace quoldex::tables {

inline constexpr int kShareConflict = EBUSY;
inline constexpr int kLockHeld = EAGAIN;

// A read-only view of the start of a file (see StorageFile::MapForReading).
// Empty when nothing could be mapped. The bytes stay valid while any copy
// of the view lives.
class FileView {
 public:
  FileView() = default;
  // `keeper` owns the mapping that `data` points into.
  FileView(std::shared_ptr<const void> keeper, const uint8_t* data, uint64_t length)
      : keeper_(std::move(keeper)), data_(data), length_(length) {}

  explicit operator bool() const { return data_ != nullptr; }
  const uint8_t* Data() const { return data_; }
  uint64_t Length() const { return length_; }

 private:
  std::shared_ptr<const void> keeper_;
  const uint8_t* data_ = nullptr;
  uint64_t length_ = 0;
};

// The outcome of a read or a write: `bytes` moved, and `error` when the
// call stopped short for a reason the system gave.
struct IoResult {
  int error = 0;
  size_t bytes = 0;
};

enum class FileAccess { kRead, kReadWrite };

// How an open file shares with other handles, of this process and of
// others alike. Shared: other shared handles may open it, reading and
// writing. Exclusive: no other handle may have it open; an exclusive open
// of a file another handle has open, or a shared open of a file held
// exclusively, fails with kShareConflict.
enum class FileSharing { kShared, kExclusive };

struct OpenOptions {
  FileAccess access = FileAccess::kReadWrite;
  FileSharing sharing = FileSharing::kShared;
  // Every write reaches the device before it returns.
  bool write_through = false;
};

// What a name in a folder is (see Storage::Facts).
struct FileFacts {
  bool is_directory = false;
  // The file's own mark that it must not be written (the owner's write
  // permission off, a read-only attribute); not whether this process may.
  bool read_only_attribute = false;
};

// One open file. Destroying it closes it and releases every lock it holds,
// and no lock of any other handle.
class StorageFile {
 public:
  virtual ~StorageFile() = default;

  // Reads up to `count` bytes at `offset` into `buffer`, retrying
  // interrupted and partial transfers. Fewer bytes with no error: the file
  // ends there.
  virtual IoResult Read(uint64_t offset, void* buffer, size_t count) = 0;
  // Writes `count` bytes at `offset`, growing the file (a gap reads as
  // zeros), retrying interrupted and partial transfers. Fewer bytes always
  // come with an error (ENOSPC when the system stopped without naming one).
  // A file opened for reading fails with EBADF and writes nothing.
  virtual IoResult Write(uint64_t offset, const void* buffer, size_t count) = 0;
  virtual int Size(uint64_t* size) = 0;
  // Cuts or extends (with zeros) the file to `size` bytes.
  virtual int SetEndOfFile(uint64_t size) = 0;
  // Makes every write made so far through any handle of this file durable:
  // once it returns 0, a power cut keeps them.
  virtual int Flush() = 0;

  // One attempt at a byte-range lock on [offset, offset + length); the
  // range may lie far beyond the end of the file. 0 when held; kLockHeld
  // when another handle (of this process or another) holds a conflicting
  // lock, either being exclusive; never a conflict with this handle's own
  // locks, and a lock of this handle over the same range is replaced.
  // A handle opened for reading may be given a shared lock when it asks
  // for an exclusive one; that still excludes every other handle's
  // exclusive lock. Locks are advisory: reads and writes ignore them.
  virtual int Lock(uint64_t offset, uint64_t length, bool exclusive) = 0;
  // Releases this handle's locks over the range (a part of a larger lock
  // stays locked on either side).
  virtual int Unlock(uint64_t offset, uint64_t length) = 0;

  // Maps the first `length` bytes read-only, so that they can be read in
  // place without a call per read. Empty (the caller reads with Read
  // instead) when the file is shorter than `length`, when the storage
  // cannot map, and when a mapping would not show every write of every
  // process the moment it is made (a network file system). The view shows
  // the file as it is at each moment: the caller keeps writers away while
  // it reads, and never cuts a file shorter than a view it reads.
  virtual FileView MapForReading(uint64_t length) = 0;
};

class Storage {
 public:
  virtual ~Storage() = default;

  // --- Files.

  // Opens the existing regular file `path`. Fails with ENOENT when there is
  // none, EISDIR for a folder, EACCES / EPERM / EROFS when the access asked
  // for is not allowed (the caller may then ask for less), kShareConflict
  // under the sharing rules above, or another error.
  virtual int Open(const std::string& path, const OpenOptions& options,
                   std::unique_ptr<StorageFile>* file) = 0;
  // Creates `path` empty, replacing a file of that name, and opens it for
  // reading and writing exclusively. A file of that name that another
  // handle has open is left as it is and kShareConflict returned.
  virtual int Create(const std::string& path, bool write_through,
                     std::unique_ptr<StorageFile>* file) = 0;

  // --- Names.

  // What `path` is: ENOENT when nothing of that name exists.
  virtual int Facts(const std::string& path, FileFacts* facts) = 0;
  // Whether a regular file named `path` exists.
  virtual bool Exists(const std::string& path) = 0;
  // Removes the name `path`; handles that have the file open keep it until
  // they close. ENOENT when there is no such name.
  virtual int Delete(const std::string& path) = 0;
  // Moves the file `from` to the name `to` in one step, replacing a file
  // named `to`.
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  // Makes the names in the folder of the file `path` durable: creations,
  // removals and renames done there so far survive a power cut. 0 as well
  // where the system keeps its names durable by itself or cannot flush a
  // folder.
  virtual int FlushFolder(const std::string& path) = 0;
  // Hands `each` the names (no folder part) of the entries of `folder` (a
  // path ending in a separator, or empty for the current folder), in no set
  // order, until it returns false.
  virtual int ListFolder(const std::string& folder,
                         const std::function<bool(std::string_view name)>& each) = 0;
  // The path of the entry `folder` + `name` spelled as the folder spells
  // it, ASCII letter case aside: `folder` + `name` itself when an entry is
  // spelled exactly so or when no entry matches, else `folder` and the
  // matching entry's name. The default asks Exists and ListFolder; a storage
  // whose Exists ignores letter case overrides it, since there the name
  // asked for always exists.
  virtual std::string MatchFileName(const std::string& folder, const std::string& name);
  // The folder for the process's temporary files, ending in a separator.
  virtual std::string TemporaryFolder() = 0;

  // --- The process.

  // A number for the calling thread, distinct from every other live
  // thread's of the machine while the thread lives (the system's thread id
  // where it has one).
  virtual uint64_t CurrentThreadId() = 0;
  // Gives up the rest of the thread's time slice.
  virtual void Yield() = 0;
  virtual void Sleep(int milliseconds) = 0;
  // Milliseconds of a clock that never steps back (its start is arbitrary).
  virtual int64_t MonotonicMs() = 0;
  // The local date and time now.
  virtual text::DateTimeParts LocalNow() = 0;
  // The value of the environment variable `name`; nullopt when unset.
  virtual std::optional<std::string> Environment(const std::string& name) = 0;
  // The user's regional text of `moment`: the date in the short date
  // format, and when `with_time` a blank and the time in the long time
  // format. A user without regional settings gets ISO texts ("2001-12-31",
  // "23:59:59").
  virtual std::string RegionalDateTimeText(const text::DateTimeParts& moment, bool with_time) = 0;
};

// The platform's storage of files on disk and of the process; defined by
// the one platform implementation linked in.
Storage& PlatformStorage();
// The storage of files in the process's memory (the engine's in-memory
// mode); its process services are the platform's.
Storage& MemoryStorage();

// The storage every engine file on disk goes through, and the engine's
// process services: PlatformStorage() unless another is installed.
Storage& DiskStorage();
// Installs `storage` as DiskStorage() (nullptr: the platform's again) and
// returns the one it replaces. Meant for tests, which wrap the storage to
// count or fail its calls; handles opened before keep the storage they
// were opened with.
Storage* InstallDiskStorage(Storage* storage);

}  // namespace quoldex::tables
