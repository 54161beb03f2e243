// Files that live in the process's memory instead of on disk: the store
// behind TFileHandler's in-memory mode. Query results use it, so that a
// private snapshot costs neither disk writes nor a name in any folder, and
// nothing of it survives the process.
//
// A file is known by its full name. Handles that open it share its bytes;
// removing a name while handles have the file open leaves the bytes to those
// handles (as unlinking an open file does), and the file is gone when the
// last of them lets go. Byte-range locks behave as the engine's disk locks:
// shared or exclusive, held by an owner (one handle), never conflicting
// with the owner's own locks, released by range or all at once.
//
// One critical section serves every in-memory file of the process: each
// call below is atomic with respect to the others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quoldex::tables {

class MemoryFile;

namespace memory_files {

// The file named `name`, or nullptr when there is none.
std::shared_ptr<MemoryFile> Find(const std::string& name);
// A new empty file named `name`, replacing one of that name (handles that
// have the old one open keep it).
std::shared_ptr<MemoryFile> Create(const std::string& name);
bool Exists(const std::string& name);
// Creates an empty file named `name` when neither `name` nor `companion`
// exists, in one step; false (nothing created) otherwise.
bool CreateNew(const std::string& name, const std::string& companion);
// Removes the name; false when there was none.
bool Remove(const std::string& name);
// Moves the file `from` to the name `to` (replacing one of that name);
// false when `from` does not exist.
bool Rename(const std::string& from, const std::string& to);
// The names of the files directly in `folder` (a name prefix ending in a
// separator), without that prefix.
std::vector<std::string> NamesIn(const std::string& folder);

}  // namespace memory_files

class MemoryFile {
 public:
  // The longest an in-memory file may grow (1 GiB).
  static constexpr uint64_t kMaxSize = uint64_t{1} << 30;

  uint64_t Size() const;
  // Copies `count` bytes at `offset` into `buffer`; false (nothing copied)
  // when they are not all inside the file.
  bool Read(uint64_t offset, void* buffer, size_t count) const;
  // Copies what there is of `count` bytes at `offset`; returns how many.
  size_t ReadSome(uint64_t offset, void* buffer, size_t count) const;
  // Stores `count` bytes at `offset`, growing the file (a gap reads as
  // zeros); false (nothing stored) when the file would pass kMaxSize.
  bool Write(uint64_t offset, const void* buffer, size_t count);
  // Cuts or extends (with zeros) the file; false beyond kMaxSize.
  bool Resize(uint64_t size);
  // A copy of all bytes.
  std::vector<uint8_t> Bytes() const;

  // One attempt at a lock on [offset, offset + length) for `owner`; false
  // when another owner holds an overlapping lock that conflicts (either
  // lock exclusive). A lock of the owner's over the range is replaced.
  bool Lock(const void* owner, uint64_t offset, uint64_t length, bool exclusive);
  // Releases the owner's locks over the range (a part of a larger lock
  // stays locked on either side).
  void Unlock(const void* owner, uint64_t offset, uint64_t length);
  void UnlockAll(const void* owner);

 private:
  struct Range {
    const void* owner;
    uint64_t begin, end;  // [begin, end)
    bool exclusive;
  };
  void CutOwnerRange(const void* owner, uint64_t begin, uint64_t end);

  std::vector<uint8_t> bytes_;
  std::vector<Range> locks_;
};

}  // namespace quoldex::tables
