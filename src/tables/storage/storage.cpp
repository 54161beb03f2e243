#include "tables/storage/storage.h"

#include <atomic>
#include <vector>

#include "text/ascii.h"

namespace quoldex::tables {
namespace {

std::atomic<Storage*>& Installed() {
  static std::atomic<Storage*> installed{nullptr};
  return installed;
}

}  // namespace

std::string Storage::MatchFileName(const std::string& folder, const std::string& name) {
  std::string exact = folder + name;
  if (Exists(exact)) return exact;
  const std::string wanted = text::AsciiLowerCase(name);
  std::string found = exact;
  ListFolder(folder, [&](std::string_view entry) {
    if (text::AsciiLowerCase(entry) != wanted) return true;
    found = folder + std::string(entry);
    return false;
  });
  return found;
}

Storage& DiskStorage() {
  Storage* storage = Installed().load(std::memory_order_acquire);
  return storage != nullptr ? *storage : PlatformStorage();
}

Storage* InstallDiskStorage(Storage* storage) {
  return Installed().exchange(storage, std::memory_order_acq_rel);
}

}  // namespace quoldex::tables
