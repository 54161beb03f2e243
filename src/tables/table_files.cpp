#include "tables/table_files.h"

#include "tables/file_handler.h"

namespace quoldex::tables {

void GuardedDataFile::Read(uint64_t offset, void* buffer, size_t count) const {
  if (*armed_) throw CacheMiss{};
  TDataFile::Read(offset, buffer, count);
}

void GuardedIndexFile::Read(uint64_t offset, void* buffer, size_t count) const {
  if (*armed_) throw CacheMiss{};
  TIndexFile::Read(offset, buffer, count);
}

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
