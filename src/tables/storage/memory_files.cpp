#include "tables/storage/memory_files.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace quoldex::tables {
namespace {

std::mutex& Section() {
  static std::mutex section;
  return section;
}

std::map<std::string, std::shared_ptr<MemoryFile>>& Names() {
  static auto* names = new std::map<std::string, std::shared_ptr<MemoryFile>>;
  return *names;
}

}  // namespace

namespace memory_files {

std::shared_ptr<MemoryFile> Find(const std::string& name) {
  std::lock_guard lock(Section());
  auto it = Names().find(name);
  return it == Names().end() ? nullptr : it->second;
}

std::shared_ptr<MemoryFile> Create(const std::string& name) {
  std::lock_guard lock(Section());
  auto file = std::make_shared<MemoryFile>();
  Names()[name] = file;
  return file;
}

bool Exists(const std::string& name) {
  std::lock_guard lock(Section());
  return Names().count(name) != 0;
}

bool CreateNew(const std::string& name, const std::string& companion) {
  std::lock_guard lock(Section());
  if (Names().count(name) != 0 || Names().count(companion) != 0) return false;
  Names()[name] = std::make_shared<MemoryFile>();
  return true;
}

bool Remove(const std::string& name) {
  std::lock_guard lock(Section());
  return Names().erase(name) != 0;
}

bool Rename(const std::string& from, const std::string& to) {
  std::lock_guard lock(Section());
  auto it = Names().find(from);
  if (it == Names().end()) return false;
  std::shared_ptr<MemoryFile> file = std::move(it->second);
  Names().erase(it);
  Names()[to] = std::move(file);
  return true;
}

std::vector<std::string> NamesIn(const std::string& folder) {
  std::lock_guard lock(Section());
  std::vector<std::string> names;
  for (auto it = Names().lower_bound(folder); it != Names().end(); ++it) {
    if (it->first.compare(0, folder.size(), folder) != 0) break;
    std::string rest = it->first.substr(folder.size());
    if (rest.find('/') == std::string::npos) names.push_back(std::move(rest));
  }
  return names;
}

}  // namespace memory_files

uint64_t MemoryFile::Size() const {
  std::lock_guard lock(Section());
  return bytes_.size();
}

bool MemoryFile::Read(uint64_t offset, void* buffer, size_t count) const {
  std::lock_guard lock(Section());
  if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
  if (count != 0) std::memcpy(buffer, bytes_.data() + offset, count);
  return true;
}

size_t MemoryFile::ReadSome(uint64_t offset, void* buffer, size_t count) const {
  std::lock_guard lock(Section());
  if (offset >= bytes_.size()) return 0;
  count = static_cast<size_t>(std::min<uint64_t>(count, bytes_.size() - offset));
  if (count != 0) std::memcpy(buffer, bytes_.data() + offset, count);
  return count;
}

bool MemoryFile::Write(uint64_t offset, const void* buffer, size_t count) {
  std::lock_guard lock(Section());
  if (offset > kMaxSize || count > kMaxSize - offset) return false;
  const uint64_t end = offset + count;
  if (end > bytes_.size()) {
    // Grown by at least half again, so that a file written in many small
    // steps at its end is not copied at every step.
    if (end > bytes_.capacity()) {
      bytes_.reserve(
          std::min<uint64_t>(kMaxSize, std::max<uint64_t>(end, bytes_.capacity() * 3 / 2)));
    }
    if (offset == bytes_.size()) {
      // Written at the end: copied in once, without zero-filling first.
      const auto* bytes = static_cast<const uint8_t*>(buffer);
      bytes_.insert(bytes_.end(), bytes, bytes + count);
      return true;
    }
    bytes_.resize(end);
  }
  if (count != 0) std::memcpy(bytes_.data() + offset, buffer, count);
  return true;
}

bool MemoryFile::Resize(uint64_t size) {
  std::lock_guard lock(Section());
  if (size > kMaxSize) return false;
  bytes_.resize(size);
  return true;
}

std::vector<uint8_t> MemoryFile::Bytes() const {
  std::lock_guard lock(Section());
  return bytes_;
}

bool MemoryFile::Lock(const void* owner, uint64_t offset, uint64_t length, bool exclusive) {
  std::lock_guard lock(Section());
  const uint64_t end = length == 0 ? UINT64_MAX : offset + length;
  for (const Range& r : locks_) {
    if (r.owner == owner || r.end <= offset || end <= r.begin) continue;
    if (exclusive || r.exclusive) return false;
  }
  CutOwnerRange(owner, offset, end);
  locks_.push_back({owner, offset, end, exclusive});
  return true;
}

void MemoryFile::Unlock(const void* owner, uint64_t offset, uint64_t length) {
  std::lock_guard lock(Section());
  CutOwnerRange(owner, offset, length == 0 ? UINT64_MAX : offset + length);
}

void MemoryFile::UnlockAll(const void* owner) {
  std::lock_guard lock(Section());
  std::erase_if(locks_, [owner](const Range& r) { return r.owner == owner; });
}

void MemoryFile::CutOwnerRange(const void* owner, uint64_t begin, uint64_t end) {
  std::vector<Range> kept;
  kept.reserve(locks_.size() + 1);
  for (const Range& r : locks_) {
    if (r.owner != owner || r.end <= begin || end <= r.begin) {
      kept.push_back(r);
      continue;
    }
    if (r.begin < begin) kept.push_back({owner, r.begin, begin, r.exclusive});
    if (end < r.end) kept.push_back({owner, end, r.end, r.exclusive});
  }
  locks_.swap(kept);
}

}  // namespace quoldex::tables
