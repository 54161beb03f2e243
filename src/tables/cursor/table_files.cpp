#include "tables/cursor/table_files.h"

#include <atomic>
#include <bit>

#include "tables/base/coding.h"
#include "tables/storage/file_handler.h"
#include "tables/storage/storage.h"
#include "text/path_separator.h"

namespace quoldex::tables {
namespace {

// Both headers keep their change counter in the first four bytes.
int32_t CounterAtStart(const TFileHandler& file, const CounterView& view) {
  if (view.Mapped()) return view.Counter();
  uint8_t bytes[4];
  file.TFileHandler::Read(0, bytes, sizeof bytes);
  return GetLE<int32_t>(bytes);
}

}  // namespace

bool CounterView::Map(const TFileHandler& file, uint64_t length) {
  view_ = file.MapForReading(length);
  return Mapped();
}

int32_t CounterView::Counter() const {
  // Another process writes the word: read it whole, as it is at this moment.
  auto* word_at = reinterpret_cast<uint32_t*>(const_cast<uint8_t*>(view_.Data()));
  uint32_t word = std::atomic_ref<uint32_t>(*word_at).load(std::memory_order_acquire);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap32(word);
  return static_cast<int32_t>(word);
}

uint8_t CounterView::Byte(uint64_t offset) const {
  auto* byte_at = const_cast<uint8_t*>(view_.Data() + offset);
  return std::atomic_ref<uint8_t>(*byte_at).load(std::memory_order_acquire);
}

void GuardedDataFile::Read(uint64_t offset, void* buffer, size_t count) const {
  if (hook_ != nullptr) hook_->BeforeRead();
  TDataFile::Read(offset, buffer, count);
}

void GuardedDataFile::Write(uint64_t offset, const void* buffer, size_t count) {
  if (hook_ != nullptr) hook_->BeforeDataWrite();
  TDataFile::Write(offset, buffer, count);
}

void GuardedDataFile::Close() {
  view_.Unmap();
  TDataFile::Close();
}

int32_t GuardedDataFile::StoredCounter() const { return CounterAtStart(*this, view_); }

void GuardedIndexFile::Read(uint64_t offset, void* buffer, size_t count) const {
  if (hook_ != nullptr) hook_->BeforeRead();
  TIndexFile::Read(offset, buffer, count);
}

void GuardedIndexFile::Write(uint64_t offset, const void* buffer, size_t count) {
  if (hook_ != nullptr) hook_->BeforeWrite();
  TIndexFile::Write(offset, buffer, count);
}

void GuardedIndexFile::Close() {
  view_.Unmap();
  TIndexFile::Close();
}

int32_t GuardedIndexFile::StoredCounter() const { return CounterAtStart(*this, view_); }

bool GuardedIndexFile::StoredUpdateMark() const {
  if (view_.Mapped()) return view_.Byte(index_header::kUpdateInProgress) != 0;
  return ReadUpdateMark(*this);
}

std::string DirectoryOf(const std::string& file_name) {
  size_t slash = file_name.find_last_of(text::kPathSeparators);
  return slash == std::string::npos ? std::string() : file_name.substr(0, slash + 1);
}

std::string IndexFileNameFor(const std::string& data_file_name, bool in_memory) {
  std::string dir = DirectoryOf(data_file_name);
  std::string base = data_file_name.substr(dir.size());
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos) base.resize(dot);
  if (in_memory) return dir + base + ".IDX";
  return DiskStorage().MatchFileName(dir, base + ".IDX");
}

}  // namespace quoldex::tables
