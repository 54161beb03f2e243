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

#include "tables/data_file.h"
#include "tables/index_file.h"

namespace quoldex::tables {

// Raised through a file read by its hook when the step reading must start
// again. Never leaves the table cursor.
struct CacheMiss {};

class ReadHook {
 public:
  virtual ~ReadHook() = default;
  // Runs before a read from disk (not before StoredCounter).
  virtual void BeforeRead() = 0;
};

class GuardedDataFile : public TDataFile {
 public:
  // `hook` (nullptr: none) must outlive the file.
  GuardedDataFile(std::string file_name, ReadHook* hook)
      : TDataFile(std::move(file_name)), hook_(hook) {}
  void Read(uint64_t offset, void* buffer, size_t count) const override;
  // The change counter the file holds now (read without the hook).
  int32_t StoredCounter() const;

 private:
  ReadHook* hook_;
};

class GuardedIndexFile : public TIndexFile {
 public:
  GuardedIndexFile(std::string file_name, std::string error_name, std::vector<FieldDesc> fields,
                   ReadHook* hook)
      : TIndexFile(std::move(file_name), std::move(error_name), std::move(fields)), hook_(hook) {}
  void Read(uint64_t offset, void* buffer, size_t count) const override;
  int32_t StoredCounter() const;

 private:
  ReadHook* hook_;
};

// The index file beside `data_file_name`: the same folder and base name with
// ".IDX", an existing file of that name found without regard to case.
std::string IndexFileNameFor(const std::string& data_file_name);

// The folder part of a file name, with its trailing separator ("" when none).
std::string DirectoryOf(const std::string& file_name);

}  // namespace quoldex::tables
