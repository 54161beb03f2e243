#include "fakes/fault_storage.h"

#include "tables/storage/memory_files.h"

namespace quoldex::testing {

using tables::MemoryFile;
using tables::MemoryStorage;
namespace memory_files = tables::memory_files;

const char* IoKindName(IoKind kind) {
  switch (kind) {
    case IoKind::kRead:
      return "read";
    case IoKind::kWrite:
      return "write";
    case IoKind::kFlush:
      return "flush";
    case IoKind::kSetEnd:
      return "set end of file";
    case IoKind::kLock:
      return "lock";
    case IoKind::kRename:
      return "rename";
    case IoKind::kMap:
      return "map";
    case IoKind::kCount:
      break;
  }
  return "?";
}

const char* FaultKindName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kNoSpace:
      return "ENOSPC";
    case FaultKind::kIoError:
      return "EIO";
    case FaultKind::kShortWrite:
      return "short write";
  }
  return "?";
}

// A handle: the memory storage's, with every call counted and vetted.
class FaultStorage::File final : public StorageFile {
 public:
  File(FaultStorage& owner, std::string path, std::unique_ptr<StorageFile> inner,
       bool write_through)
      : owner_(owner),
        path_(std::move(path)),
        inner_(std::move(inner)),
        write_through_(write_through) {}

  IoResult Read(uint64_t offset, void* buffer, size_t count) override {
    if (int err = owner_.Enter(IoKind::kRead)) return {err, 0};
    return Done(inner_->Read(offset, buffer, count));
  }
  IoResult Write(uint64_t offset, const void* buffer, size_t count) override {
    bool short_write = false;
    if (int err = owner_.Enter(IoKind::kWrite, &short_write)) return {err, 0};
    IoResult result;
    if (short_write) {
      result = inner_->Write(offset, buffer, count / 2);
      if (result.error == 0) result.error = ENOSPC;
    } else {
      result = inner_->Write(offset, buffer, count);
    }
    if (write_through_) owner_.MakeDurable(path_);
    return Done(result);
  }
  int Size(uint64_t* size) override {
    if (owner_.PowerIsOff()) return EIO;
    return inner_->Size(size);
  }
  int SetEndOfFile(uint64_t size) override {
    if (int err = owner_.Enter(IoKind::kSetEnd)) return err;
    const int err = inner_->SetEndOfFile(size);
    if (write_through_) owner_.MakeDurable(path_);
    return Done(err);
  }
  int Flush() override {
    if (int err = owner_.Enter(IoKind::kFlush)) return err;
    owner_.MakeDurable(path_);
    return Done(0);
  }
  int Lock(uint64_t offset, uint64_t length, bool exclusive) override {
    if (int err = owner_.Enter(IoKind::kLock)) return err;
    return Done(inner_->Lock(offset, length, exclusive));
  }
  int Unlock(uint64_t offset, uint64_t length) override {
    if (int err = owner_.Enter(IoKind::kLock)) return err;
    return Done(inner_->Unlock(offset, length));
  }
  FileView MapForReading(uint64_t length) override {
    if (owner_.Enter(IoKind::kMap) != 0) return {};
    return Done(inner_->MapForReading(length));
  }

 private:
  // Passes a result on, turning the power off when this was the last call.
  template <typename T>
  T Done(T result) {
    owner_.CutIfLast();
    return result;
  }

  FaultStorage& owner_;
  std::string path_;
  std::unique_ptr<StorageFile> inner_;
  bool write_through_;
};

FaultStorage::FaultStorage() : inner_(MemoryStorage()) {}

FaultStorage::~FaultStorage() = default;

int FaultStorage::Calls(IoKind kind) const {
  std::lock_guard lock(section_);
  return calls_[static_cast<int>(kind)];
}

void FaultStorage::ResetCounts() {
  std::lock_guard lock(section_);
  for (int& c : calls_) c = 0;
}

void FaultStorage::FailCall(IoKind kind, int n, FaultKind fault) {
  std::lock_guard lock(section_);
  fail_kind_ = kind;
  fail_at_ = n;
  fault_ = fault;
  struck_ = false;
}

bool FaultStorage::Struck() const {
  std::lock_guard lock(section_);
  return struck_;
}

void FaultStorage::CutPowerAfter(IoKind kind, int n) {
  std::lock_guard lock(section_);
  cut_kind_ = kind;
  cut_at_ = n;
}

bool FaultStorage::PowerIsOff() const {
  std::lock_guard lock(section_);
  return power_off_;
}

int FaultStorage::Enter(IoKind kind, bool* short_write) {
  std::lock_guard lock(section_);
  if (power_off_) return EIO;
  ++calls_[static_cast<int>(kind)];
  if (kind == cut_kind_) --cut_at_;
  if (kind != fail_kind_ || --fail_at_ != 0) return 0;
  fail_kind_ = IoKind::kCount;
  struck_ = true;
  switch (fault_) {
    case FaultKind::kNoSpace:
      return ENOSPC;
    case FaultKind::kIoError:
      return EIO;
    case FaultKind::kShortWrite:
      if (short_write == nullptr) return EIO;
      *short_write = true;
      return 0;
  }
  return EIO;
}

void FaultStorage::Know(const std::string& path) {
  std::lock_guard lock(section_);
  if (durable_.count(path) != 0) return;
  std::shared_ptr<MemoryFile> file = memory_files::Find(path);
  durable_[path] = file ? std::make_shared<std::vector<uint8_t>>(file->Bytes()) : nullptr;
}

void FaultStorage::MakeDurable(const std::string& path) {
  std::shared_ptr<MemoryFile> file = memory_files::Find(path);
  std::lock_guard lock(section_);
  durable_[path] = file ? std::make_shared<std::vector<uint8_t>>(file->Bytes()) : nullptr;
}

void FaultStorage::MarkDurable(const std::string& folder) {
  for (const std::string& name : memory_files::NamesIn(folder)) MakeDurable(folder + name);
}

void FaultStorage::Forget(const std::string& folder) {
  for (const std::string& name : memory_files::NamesIn(folder)) memory_files::Remove(folder + name);
  std::lock_guard lock(section_);
  for (auto it = durable_.lower_bound(folder);
       it != durable_.end() && it->first.compare(0, folder.size(), folder) == 0;) {
    it = durable_.erase(it);
  }
}

void FaultStorage::RestorePower(const std::function<bool(const std::string&)>& keeps_unflushed) {
  std::map<std::string, std::shared_ptr<std::vector<uint8_t>>> images;
  {
    std::lock_guard lock(section_);
    images = durable_;
    power_off_ = false;
    cut_kind_ = IoKind::kCount;
    fail_kind_ = IoKind::kCount;
  }
  for (const auto& [path, image] : images) {
    const bool exists = memory_files::Exists(path);
    if (exists && keeps_unflushed && keeps_unflushed(path)) continue;
    if (!image) {
      memory_files::Remove(path);
    } else {
      memory_files::Create(path)->Write(0, image->data(), image->size());
    }
  }
  for (const auto& [path, image] : images) {
    if (memory_files::Exists(path)) MakeDurable(path);
  }
}

int FaultStorage::Open(const std::string& path, const OpenOptions& options,
                       std::unique_ptr<StorageFile>* file) {
  if (PowerIsOff()) return EIO;
  Know(path);
  std::unique_ptr<StorageFile> inner;
  if (int err = inner_.Open(path, options, &inner)) return err;
  *file = std::make_unique<File>(*this, path, std::move(inner), options.write_through);
  return 0;
}

int FaultStorage::Create(const std::string& path, bool write_through,
                         std::unique_ptr<StorageFile>* file) {
  if (PowerIsOff()) return EIO;
  std::unique_ptr<StorageFile> inner;
  if (int err = inner_.Create(path, write_through, &inner)) return err;
  {
    std::lock_guard lock(section_);
    durable_[path] = std::make_shared<std::vector<uint8_t>>();
  }
  *file = std::make_unique<File>(*this, path, std::move(inner), write_through);
  return 0;
}

int FaultStorage::Facts(const std::string& path, FileFacts* facts) {
  if (PowerIsOff()) return EIO;
  return inner_.Facts(path, facts);
}

bool FaultStorage::Exists(const std::string& path) { return inner_.Exists(path); }

int FaultStorage::Delete(const std::string& path) {
  if (PowerIsOff()) return EIO;
  const int err = inner_.Delete(path);
  std::lock_guard lock(section_);
  if (err == 0) durable_[path] = nullptr;
  return err;
}

int FaultStorage::Rename(const std::string& from, const std::string& to) {
  Know(from);
  Know(to);
  if (int err = Enter(IoKind::kRename)) return err;
  const int err = inner_.Rename(from, to);
  {
    std::lock_guard lock(section_);
    if (err == 0) {
      durable_[to] = durable_[from];
      durable_[from] = nullptr;
    }
  }
  CutIfLast();
  return err;
}

void FaultStorage::CutIfLast() {
  std::lock_guard lock(section_);
  if (cut_kind_ != IoKind::kCount && cut_at_ == 0) {
    power_off_ = true;
    cut_kind_ = IoKind::kCount;
  }
}

int FaultStorage::FlushFolder(const std::string&) {
  if (int err = Enter(IoKind::kFlush)) return err;
  CutIfLast();
  return 0;
}

int FaultStorage::ListFolder(const std::string& folder,
                             const std::function<bool(std::string_view name)>& each) {
  return inner_.ListFolder(folder, each);
}

std::string FaultStorage::TemporaryFolder() { return "/fault-temp/"; }
uint64_t FaultStorage::CurrentThreadId() { return inner_.CurrentThreadId(); }
void FaultStorage::Yield() { inner_.Yield(); }
void FaultStorage::Sleep(int milliseconds) { inner_.Sleep(milliseconds); }
int64_t FaultStorage::MonotonicMs() { return inner_.MonotonicMs(); }
text::DateTimeParts FaultStorage::LocalNow() { return inner_.LocalNow(); }
std::optional<std::string> FaultStorage::Environment(const std::string& name) {
  return inner_.Environment(name);
}
std::string FaultStorage::RegionalDateTimeText(const text::DateTimeParts& moment, bool with_time) {
  return inner_.RegionalDateTimeText(moment, with_time);
}

}  // namespace quoldex::testing
