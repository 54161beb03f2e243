// A storage (tables/storage/storage.h) for tests that counts the calls the engine
// makes, fails a chosen one, and cuts the power.
//
// It keeps its files in the process's memory (memory_files.h) under their
// full names, so a table "on disk" at /fault/objects.dat costs no disk I/O;
// installed with InstallDiskStorage, every engine file that is not
// in-memory goes through it.
//
// Faults: FailCall(kind, n, fault) makes the n-th call of that kind from
// now on fail once: with ENOSPC or EIO (nothing done), or as a short write
// (half the bytes written, then ENOSPC).
//
// Power: what a file held when it was last flushed (or created, or first
// seen) is its durable image. CutPowerAfter(kind, n) lets the n-th call of
// that kind happen and then turns the power off: every later call fails
// with EIO and changes nothing. RestorePower() brings every file back to
// its durable image, except the files `keeps_unflushed` chooses, which keep
// every write (the system wrote them back before the cut, in whatever order
// it liked); names created, removed or renamed stay so (the file system
// journals its names). Handles from before the cut must be gone by then.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tables/storage/storage.h"

namespace quoldex::testing {

using tables::FileFacts;
using tables::FileView;
using tables::IoResult;
using tables::OpenOptions;
using tables::Storage;
using tables::StorageFile;

enum class IoKind { kRead, kWrite, kFlush, kSetEnd, kLock, kRename, kMap, kCount };
enum class FaultKind { kNoSpace, kIoError, kShortWrite };

const char* IoKindName(IoKind kind);
const char* FaultKindName(FaultKind kind);

class FaultStorage : public Storage {
 public:
  FaultStorage();
  ~FaultStorage() override;

  // Calls of `kind` since construction or the last ResetCounts.
  int Calls(IoKind kind) const;
  void ResetCounts();

  // The n-th (1-based) call of `kind` from now fails once with `fault`.
  void FailCall(IoKind kind, int n, FaultKind fault);
  // Whether the fault set by FailCall has struck.
  bool Struck() const;

  // Removes every file in `folder` and forgets their durable images.
  void Forget(const std::string& folder);
  // Treats every file now in `folder` as durable as it is.
  void MarkDurable(const std::string& folder);
  // The n-th call of `kind` from now is the last the machine makes.
  void CutPowerAfter(IoKind kind, int n);
  bool PowerIsOff() const;
  // See above. `keeps_unflushed` (may be empty) names the files whose
  // unflushed writes survive the cut.
  void RestorePower(const std::function<bool(const std::string&)>& keeps_unflushed = {});

  int Open(const std::string& path, const OpenOptions& options,
           std::unique_ptr<StorageFile>* file) override;
  int Create(const std::string& path, bool write_through,
             std::unique_ptr<StorageFile>* file) override;
  int Facts(const std::string& path, FileFacts* facts) override;
  bool Exists(const std::string& path) override;
  int Delete(const std::string& path) override;
  int Rename(const std::string& from, const std::string& to) override;
  // Counted as a flush; the names it would make durable already are.
  int FlushFolder(const std::string& path) override;
  int ListFolder(const std::string& folder,
                 const std::function<bool(std::string_view name)>& each) override;
  std::string TemporaryFolder() override;
  uint64_t CurrentThreadId() override;
  void Yield() override;
  void Sleep(int milliseconds) override;
  int64_t MonotonicMs() override;
  text::DateTimeParts LocalNow() override;
  std::optional<std::string> Environment(const std::string& name) override;
  std::string RegionalDateTimeText(const text::DateTimeParts& moment, bool with_time) override;

 private:
  class File;
  friend class File;

  // Counts a call of `kind` and says how it goes: 0 to go ahead, else the
  // error to report (a fault or the power being off). `short_write` is
  // set when a write should stop half way.
  int Enter(IoKind kind, bool* short_write = nullptr);
  // The durable image of `path`, taken now when not known yet.
  void Know(const std::string& path);
  void MakeDurable(const std::string& path);
  // Turns the power off when the call just made was the last one
  // CutPowerAfter allowed.
  void CutIfLast();

  Storage& inner_;
  mutable std::mutex section_;
  int calls_[static_cast<int>(IoKind::kCount)] = {};
  IoKind fail_kind_ = IoKind::kCount;
  int fail_at_ = 0;
  FaultKind fault_ = FaultKind::kIoError;
  bool struck_ = false;
  IoKind cut_kind_ = IoKind::kCount;
  int cut_at_ = 0;
  bool power_off_ = false;
  // Durable images by name; a name mapped to nullptr has no durable file.
  std::map<std::string, std::shared_ptr<std::vector<uint8_t>>> durable_;
};

// Installs a storage as the disk's for the life of the object.
class ScopedDiskStorage {
 public:
  explicit ScopedDiskStorage(Storage& storage) : previous_(tables::InstallDiskStorage(&storage)) {}
  ~ScopedDiskStorage() { tables::InstallDiskStorage(previous_); }
  ScopedDiskStorage(const ScopedDiskStorage&) = delete;
  ScopedDiskStorage& operator=(const ScopedDiskStorage&) = delete;

 private:
  Storage* previous_;
};

}  // namespace quoldex::testing
