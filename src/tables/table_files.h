// The pair of files one table handle works on, and their names.
//
// Both files can be armed so that any read from disk raises CacheMiss
// instead of reading: a handle that browses without a lock works from its
// caches and, on the first miss, takes the read lock, refreshes its caches
// by the change counters and starts the step again (see table_cursor.cpp).
// Unarmed, the files behave exactly as TDataFile and TIndexFile.
#pragma once

#include <string>
#include <vector>

#include "tables/data_file.h"
#include "tables/index_file.h"

namespace quoldex::tables {

// Raised by an armed file instead of reading from disk. Never leaves the
// table cursor.
struct CacheMiss {};

class GuardedDataFile : public TDataFile {
 public:
  // `armed` must outlive the file.
  GuardedDataFile(std::string file_name, const bool* armed)
      : TDataFile(std::move(file_name)), armed_(armed) {}
  void Read(uint64_t offset, void* buffer, size_t count) const override;

 private:
  const bool* armed_;
};

class GuardedIndexFile : public TIndexFile {
 public:
  GuardedIndexFile(std::string file_name, std::string error_name, std::vector<FieldDesc> fields,
                   const bool* armed)
      : TIndexFile(std::move(file_name), std::move(error_name), std::move(fields)), armed_(armed) {}
  void Read(uint64_t offset, void* buffer, size_t count) const override;

 private:
  const bool* armed_;
};

// The index file beside `data_file_name`: the same folder and base name with
// ".IDX", an existing file of that name found without regard to case.
std::string IndexFileNameFor(const std::string& data_file_name);

// The folder part of a file name, with its trailing separator ("" when none).
std::string DirectoryOf(const std::string& file_name);

}  // namespace quoldex::tables
