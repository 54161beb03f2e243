#include "tables/storage/storage.h"

#include <atomic>

namespace quoldex::tables {
namespace {

std::atomic<Storage*>& Installed() {
  static std::atomic<Storage*> installed{nullptr};
  return installed;
}

}  // namespace

Storage& DiskStorage() {
  Storage* storage = Installed().load(std::memory_order_acquire);
  return storage != nullptr ? *storage : PlatformStorage();
}

Storage* InstallDiskStorage(Storage* storage) {
  return Installed().exchange(storage, std::memory_order_acq_rel);
}

}  // namespace quoldex::tables
