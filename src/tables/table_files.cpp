#include "tables/table_files.h"

#include "tables/coding.h"
#include "tables/file_handler.h"

namespace quoldex::tables {
namespace {

// Both headers keep their change counter in the first four bytes.
int32_t CounterAtStart(const TFileHandler& file) {
  uint8_t bytes[4];
  file.TFileHandler::Read(0, bytes, sizeof bytes);
  return GetLE<int32_t>(bytes);
}

}  // namespace

void GuardedDataFile::Read(uint64_t offset, void* buffer, size_t count) const {
  if (hook_ != nullptr) hook_->BeforeRead();
  TDataFile::Read(offset, buffer, count);
}

int32_t GuardedDataFile::StoredCounter() const { return CounterAtStart(*this); }

void GuardedIndexFile::Read(uint64_t offset, void* buffer, size_t count) const {
  if (hook_ != nullptr) hook_->BeforeRead();
  TIndexFile::Read(offset, buffer, count);
}

int32_t GuardedIndexFile::StoredCounter() const { return CounterAtStart(*this); }

std::string DirectoryOf(const std::string& file_name) {
  size_t slash = file_name.find_last_of('/');
  return slash == std::string::npos ? std::string() : file_name.substr(0, slash + 1);
}

std::string IndexFileNameFor(const std::string& data_file_name) {
  std::string dir = DirectoryOf(data_file_name);
  std::string base = data_file_name.substr(dir.size());
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos) base.resize(dot);
  return ResolveFileNameCase(dir, base + ".IDX");
}

}  // namespace quoldex::tables
