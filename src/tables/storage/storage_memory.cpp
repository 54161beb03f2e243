// The storage of files in the process's memory (memory_files.h): the same
// sharing, locks and errors as files on disk, nothing durable beyond the
// process, so Flush has nothing to do and nothing is ever mapped. A file
// that would grow past MemoryFile::kMaxSize fails with EFBIG.
#include <algorithm>

#include "tables/storage/memory_files.h"
#include "tables/storage/storage.h"

namespace quoldex::tables {
namespace {

// The byte whose lock stands for an open handle's sharing mode, as on disk.
constexpr uint64_t kShareLockOffset = 0x80000000ull;

class MemoryHandle final : public StorageFile {
 public:
  MemoryHandle(std::shared_ptr<MemoryFile> file, bool read_only)
      : file_(std::move(file)), read_only_(read_only) {}
  ~MemoryHandle() override { file_->UnlockAll(this); }
  MemoryHandle(const MemoryHandle&) = delete;
  MemoryHandle& operator=(const MemoryHandle&) = delete;

  // Takes the sharing lock; false when another handle's mode excludes it.
  bool Share(bool exclusive) { return file_->Lock(this, kShareLockOffset, 1, exclusive); }

  IoResult Read(uint64_t offset, void* buffer, size_t count) override {
    return {0, file_->ReadSome(offset, buffer, count)};
  }
  IoResult Write(uint64_t offset, const void* buffer, size_t count) override {
    if (read_only_) return {EBADF, 0};
    if (!file_->Write(offset, buffer, count)) return {EFBIG, 0};
    return {0, count};
  }
  int Size(uint64_t* size) override {
    *size = file_->Size();
    return 0;
  }
  int SetEndOfFile(uint64_t size) override {
    if (read_only_) return EBADF;
    return file_->Resize(size) ? 0 : EFBIG;
  }
  int Flush() override { return 0; }
  int Lock(uint64_t offset, uint64_t length, bool exclusive) override {
    return file_->Lock(this, offset, length, exclusive && !read_only_) ? 0 : kLockHeld;
  }
  int Unlock(uint64_t offset, uint64_t length) override {
    file_->Unlock(this, offset, length);
    return 0;
  }
  FileView MapForReading(uint64_t) override { return {}; }

 private:
  std::shared_ptr<MemoryFile> file_;
  bool read_only_;
};

class MemoryStorageImpl final : public Storage {
 public:
  int Open(const std::string& path, const OpenOptions& options,
           std::unique_ptr<StorageFile>* file) override {
    std::shared_ptr<MemoryFile> found = memory_files::Find(path);
    if (!found) return ENOENT;
    auto handle =
        std::make_unique<MemoryHandle>(std::move(found), options.access == FileAccess::kRead);
    if (!handle->Share(options.sharing == FileSharing::kExclusive)) return kShareConflict;
    *file = std::move(handle);
    return 0;
  }

  int Create(const std::string& path, bool, std::unique_ptr<StorageFile>* file) override {
    // A file of that name that some handle holds open is not replaced.
    if (std::shared_ptr<MemoryFile> old = memory_files::Find(path)) {
      MemoryHandle probe(std::move(old), false);
      if (!probe.Share(true)) return kShareConflict;
    }
    auto handle = std::make_unique<MemoryHandle>(memory_files::Create(path), false);
    handle->Share(true);
    *file = std::move(handle);
    return 0;
  }

  int Facts(const std::string& path, FileFacts* facts) override {
    if (!memory_files::Exists(path)) return ENOENT;
    *facts = FileFacts{};
    return 0;
  }
  bool Exists(const std::string& path) override { return memory_files::Exists(path); }
  int Delete(const std::string& path) override { return memory_files::Remove(path) ? 0 : ENOENT; }
  int Rename(const std::string& from, const std::string& to) override {
    return memory_files::Rename(from, to) ? 0 : ENOENT;
  }
  // Nothing in memory outlives the process.
  int FlushFolder(const std::string&) override { return 0; }
  int ListFolder(const std::string& folder,
                 const std::function<bool(std::string_view name)>& each) override {
    for (const std::string& name : memory_files::NamesIn(folder)) {
      if (!each(name)) break;
    }
    return 0;
  }
  std::string TemporaryFolder() override { return PlatformStorage().TemporaryFolder(); }

  uint64_t CurrentThreadId() override { return PlatformStorage().CurrentThreadId(); }
  void Yield() override { PlatformStorage().Yield(); }
  void Sleep(int milliseconds) override { PlatformStorage().Sleep(milliseconds); }
  int64_t MonotonicMs() override { return PlatformStorage().MonotonicMs(); }
  text::DateTimeParts LocalNow() override { return PlatformStorage().LocalNow(); }
  std::optional<std::string> Environment(const std::string& name) override {
    return PlatformStorage().Environment(name);
  }
  std::string RegionalDateTimeText(const text::DateTimeParts& moment, bool with_time) override {
    return PlatformStorage().RegionalDateTimeText(moment, with_time);
  }
};

}  // namespace

Storage& MemoryStorage() {
  static auto* storage = new MemoryStorageImpl;
  return *storage;
}

}  // namespace quoldex::tables
