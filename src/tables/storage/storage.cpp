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
  std::vector<std::string> names;
  if (ListFolder(folder, &names) != 0) return exact;
  const std::string wanted = text::AsciiLowerCase(name);
  for (const std::string& entry : names) {
    if (text::AsciiLowerCase(entry) == wanted) return folder + entry;
  }
  return exact;
}

Storage& DiskStorage() {
  Storage* storage = Installed().load(std::memory_order_acquire);
  return storage != nullptr ? *storage : PlatformStorage();
}

Storage* InstallDiskStorage(Storage* storage) {
  return Installed().exchange(storage, std::memory_order_acq_rel);
}

}  // namespace quoldex::tables
