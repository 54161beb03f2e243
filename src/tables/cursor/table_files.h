// The pair of files one table handle works on, and their names.
//
// A handle that browses a shared table without a lock works from its
// caches. Its files call a hook before every read from disk; the hook may
// take the read lock and check the change counters, and raise CacheMiss
// when they moved, so that the step starts again on refreshed caches (see
// table_cursor_impl.h). Without a hook the files behave exactly as
// TDataFile and TIndexFile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tables/data_file/data_file.h"
#include "tables/index_file/index_file.h"
#include "tables/index_file/index_file_header.h"

namespace quoldex::tables {

// Raised through a file read by its hook when the step reading must start
// again. Never leaves the table cursor.
struct CacheMiss {};

// The change counter in the first four bytes of a file, watched through a
// read-only mapping of the open file (TFileHandler::MapForReading, which
// keeps mappings for the next open of the same file), so that reading it
// costs no system call. Only on a local file system, where a mapping shows
// every write of every process the moment it is made; on any other (a
// network share) the counter must be read from the file under a lock, and
// nothing is mapped. A file cut to nothing by something other than the
// engine while it is mapped would make reading the counter fault: the
// engine never cuts a table below its header, and no handle may while
// another has it open.
class CounterView {
 public:
  // Maps the first `length` (at least 4) bytes of open `file`; false
  // (nothing mapped) when it cannot.
  bool Map(const TFileHandler& file, uint64_t length = 4);
  void Unmap() { view_ = FileView(); }
  bool Mapped() const { return static_cast<bool>(view_); }
  // The counter as the file holds it now. Requires Mapped().
  int32_t Counter() const;
  // The byte at `offset` as the file holds it now. Requires Mapped() and
  // `offset` below the length mapped.
  uint8_t Byte(uint64_t offset) const;

 private:
  FileView view_;
};

class ReadHook {
 public:
  virtual ~ReadHook() = default;
  // Runs before a read from disk (not before StoredCounter).
  virtual void BeforeRead() = 0;
  // Runs before a write to the index file.
  virtual void BeforeWrite() {}
  // Runs before a write to the data file.
  virtual void BeforeDataWrite() {}
};

class GuardedDataFile : public TDataFile {
 public:
  // `hook` (nullptr: none) must outlive the file.
  GuardedDataFile(std::string file_name, ReadHook* hook)
      : TDataFile(std::move(file_name)), hook_(hook) {}
  void Read(uint64_t offset, void* buffer, size_t count) const override;
  void Write(uint64_t offset, const void* buffer, size_t count) override;
  void Close() override;
  // Watches the change counter through a CounterView from now until Close;
  // false when it cannot (see CounterView; never for a file in memory).
  bool WatchCounter() { return view_.Map(*this); }
  // The change counter the file holds now (not through the hook).
  int32_t StoredCounter() const;

 private:
  ReadHook* hook_;
  CounterView view_;
};

class GuardedIndexFile : public TIndexFile {
 public:
  GuardedIndexFile(std::string file_name, std::string error_name, std::vector<FieldDesc> fields,
                   ReadHook* hook)
      : TIndexFile(std::move(file_name), std::move(error_name), std::move(fields)), hook_(hook) {}
  void Read(uint64_t offset, void* buffer, size_t count) const override;
  void Write(uint64_t offset, const void* buffer, size_t count) override;
  void Close() override;
  // Watches the header page (the change counter and the update mark).
  bool WatchCounter() { return view_.Map(*this, index_header::kSize); }
  int32_t StoredCounter() const;
  // Whether the file holds the update mark now: through the mapping when
  // the header page is watched, else by a read.
  bool StoredUpdateMark() const;

 private:
  ReadHook* hook_;
  CounterView view_;
};

// The index file beside `data_file_name`: the same folder and base name with
// ".IDX", an existing file of that name found without regard to case (in
// memory: the name as spelled).
std::string IndexFileNameFor(const std::string& data_file_name, bool in_memory = false);

// The folder part of a file name, with its trailing separator ("" when none).
std::string DirectoryOf(const std::string& file_name);

}  // namespace quoldex::tables
