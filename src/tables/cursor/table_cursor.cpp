#include "tables/cursor/table_cursor.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <optional>

#include "tables/base/coding.h"
#include "tables/base/engine_error.h"
#include "tables/cursor/table_cursor_impl.h"
#include "tables/cursor/table_definition.h"
#include "tables/cursor/table_integrity.h"
#include "tables/cursor/table_keys.h"
#include "tables/cursor/table_locate.h"
#include "tables/cursor/table_recovery.h"
#include "tables/index_file/index_file_header.h"
#include "tables/records/data_file_record.h"
#include "tables/records/field_codec.h"

namespace quoldex::tables {
namespace {

constexpr const char* kNotEditing = "Dataset not in edit or insert mode";

std::string_view TrimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// The record ID in a record buffer (the cursor's own RecordId() hides it).
int32_t IdOf(const uint8_t* record) { return RecordId(record); }

int32_t NextRecordId(int32_t last) { return last == INT32_MAX ? 1 : last + 1; }

// The smallest byte string of the same length above `key`; false when
// `key` is all 0xFF.
bool Increment(std::vector<uint8_t>& key) {
  for (size_t i = key.size(); i-- > 0;) {
    if (key[i] != 0xFF) {
      ++key[i];
      return true;
    }
    key[i] = 0;
  }
  return false;
}

}  // namespace

// ---- Lock scopes ----

// Holds the read or the write lock for a scope, unless the handle already
// held it (or locking is off), and runs change detection when it takes it.
class TableCursor::Impl::LockScope {
 public:
  enum Kind { kRead, kWrite };
  LockScope(Impl& c, Kind kind)
      : c_(c),
        kind_(kind),
        taken_(kind == kRead ? c.locks->AcquireReadLock() : c.locks->AcquireWriteLock()) {
    if (!taken_) return;
    try {
      if (kind == kWrite) {
        c_.RecoverUnderWriteLock();
        c_.DetectChanges();
      } else {
        c_.DetectChangesRecovering();
      }
    } catch (...) {
      Release();
      throw;
    }
  }
  ~LockScope() { Release(); }
  LockScope(const LockScope&) = delete;
  LockScope& operator=(const LockScope&) = delete;

 private:
  void Release() noexcept {
    if (!taken_) return;
    taken_ = false;
    try {
      if (kind_ == kRead) {
        c_.locks->ReleaseReadLock();
      } else {
        c_.locks->ReleaseWriteLock();
      }
    } catch (...) {
      // Nothing to add: the lock dies with the handle at the latest.
    }
  }
  Impl& c_;
  Kind kind_;
  bool taken_;
};

// Holds the record lock of `number` for the scope unless the handle
// already held it (an edit's lock outlives the scope).
class TableCursor::Impl::RecordLockScope {
 public:
  RecordLockScope(Impl& c, int32_t number)
      : c_(c), number_(number), taken_(c.locks->LockRecord(number)) {}
  ~RecordLockScope() {
    if (!taken_) return;
    try {
      c_.locks->UnlockRecord(number_);
    } catch (...) {
    }
  }
  RecordLockScope(const RecordLockScope&) = delete;
  RecordLockScope& operator=(const RecordLockScope&) = delete;

 private:
  Impl& c_;
  int32_t number_;
  bool taken_;
};

// The changes of one insert, modify or delete after all its checks passed.
// Unless committed, they are taken back when the scope ends: a shared table
// reloads its headers and drops its caches (its files still hold the state
// before the change, as every change is flushed before the write lock goes);
// an exclusive table undoes the index changes logged here (the data file
// change comes last and changes nothing when it fails).
class TableCursor::Impl::Changes {
 public:
  explicit Changes(Impl& c) : c_(c) {}
  ~Changes() {
    if (!committed_) Undo();
  }
  Changes(const Changes&) = delete;
  Changes& operator=(const Changes&) = delete;

  void Inserted(int index, const uint8_t* key, int32_t record) {
    log_.push_back({Kind::kInserted, index, Copy(index, key), {}, record});
  }
  void Deleted(int index, const uint8_t* key, int32_t record) {
    log_.push_back({Kind::kDeleted, index, Copy(index, key), {}, record});
  }
  void Replaced(int index, const uint8_t* old_key, const uint8_t* new_key, int32_t record) {
    log_.push_back({Kind::kReplaced, index, Copy(index, old_key), Copy(index, new_key), record});
  }
  void Commit() { committed_ = true; }

 private:
  enum class Kind { kInserted, kDeleted, kReplaced };
  struct Entry {
    Kind kind;
    int index;
    std::vector<uint8_t> key, new_key;
    int32_t record;
  };
  std::vector<uint8_t> Copy(int index, const uint8_t* key) const {
    return std::vector<uint8_t>(key, key + c_.index->KeyLength(index));
  }
  void Undo() noexcept {
    try {
      if (c_.locks->Enabled()) {
        c_.AbandonUnwritten();
        return;
      }
      for (auto it = log_.rbegin(); it != log_.rend(); ++it) {
        switch (it->kind) {
          case Kind::kInserted:
            c_.index->Delete(it->index, it->key.data());
            break;
          case Kind::kDeleted:
            c_.index->Insert(it->index, it->key.data(), it->record);
            break;
          case Kind::kReplaced:
            c_.index->Replace(it->index, it->new_key.data(), it->key.data(), it->record);
            break;
        }
      }
    } catch (...) {
      // The first error is the one reported; nothing more can be done here.
    }
  }

  Impl& c_;
  std::vector<Entry> log_;
  bool committed_ = false;
};

// ---- Files ----

namespace {

// A read lock held while a shared handle opens, taken through handles of
// its own because the headers are read as the files open: no writer can be
// halfway through a flush while they are read and the file length checked.
class OpenReadLock {
 public:
  OpenReadLock(const std::string& data_name, const std::string& index_name,
               const TableSettings& settings)
      : data_(data_name, data_name), index_(index_name, data_name) {
    data_.SetInMemory(settings.in_memory);
    index_.SetInMemory(settings.in_memory);
    data_.Open(false, true, false);
    index_.Open(false, true, false);
    locks_ = std::make_unique<TableLocks>(data_, index_, true, settings.lock_retry_count,
                                          settings.lock_wait_time);
    locks_->AcquireReadLock();
  }

 private:
  TFileHandler data_, index_;
  std::unique_ptr<TableLocks> locks_;  // released before the files close
};

}  // namespace

void TableCursor::Impl::OpenFiles() {
  file_name = DataFileName(settings);
  try {
    OpenFilesOnce();
    return;
  } catch (const EDbEngineError& e) {
    // A change that never finished shows as a header that disagrees with
    // the file (8961) or as the update mark (8965).
    const int code = e.ErrorCode();
    if ((code != kErrHeaderCorrupt && code != kErrIndexPagesCorrupt) || settings.in_memory) {
      throw;
    }
    if (settings.read_only) {
      if (code != kErrIndexPagesCorrupt) throw;
      DropFiles();
      OpenMarkedForReading();
      return;
    }
    DropFiles();
    std::vector<std::string> mended;
    try {
      mended = RecoverTable(file_name, IndexFileNameFor(file_name), settings.lock_retry_count,
                            settings.lock_wait_time);
    } catch (const EDbEngineError& failed) {
      // Files that cannot be written cannot be recovered.
      if (failed.ErrorCode() != kErrAccessDenied) throw;
      if (code != kErrIndexPagesCorrupt) throw e;
      OpenMarkedForReading();
      return;
    }
    if (mended.empty() && code == kErrHeaderCorrupt) throw;
    for (std::string& line : mended) recovered.push_back(std::move(line));
  }
  OpenFilesOnce();
}

void TableCursor::Impl::OpenMarkedForReading() {
  accept_update_mark = true;
  OpenFilesOnce();
  if (!index->StoredUpdateMark()) return;  // recovered meanwhile by a writer
  if (!read_only) {
    DropFiles();
    throw EDbEngineError(kErrIndexPagesCorrupt, file_name);
  }
  std::vector<std::string> findings;
  {
    LockScope lock(*this, LockScope::kRead);
    findings = CheckTableIntegrity(*data, *index);
  }
  if (!findings.empty()) {
    DropFiles();
    throw EDbEngineError::WithReason(kErrIndexPagesCorrupt, file_name,
                                     "left mid-change; it opens once recovered with write access");
  }
  recovered.push_back(
      "left mid-change by a writer that stopped; its records and indexes agree, "
      "so it is read as it is");
}

void TableCursor::Impl::DropFiles() noexcept {
  locks.reset();
  // Closed as operating-system files only: the files' own Close would write
  // their modified headers.
  try {
    if (index) {
      index->DiscardCache();
      index->TFileHandler::Close();
    }
  } catch (...) {
  }
  try {
    if (data) {
      data->DiscardCache();
      data->TFileHandler::Close();
    }
  } catch (...) {
  }
  index.reset();
  data.reset();
  indexes.clear();
}

void TableCursor::Impl::OpenFilesOnce() {
  const std::string index_name = IndexFileNameFor(file_name, settings.in_memory);
  std::optional<OpenReadLock> open_lock;
  if (!settings.exclusive) open_lock.emplace(file_name, index_name, settings);
  data = std::make_unique<GuardedDataFile>(file_name, this);
  data->SetInMemory(settings.in_memory);
  data->SetShelfGate(this);
  data->Open(settings.exclusive, settings.read_only, settings.force_buffer_flush);
  index = std::make_unique<GuardedIndexFile>(index_name, file_name, data->Fields(), this);
  index->SetInMemory(settings.in_memory);
  index->SetShelfGate(this);
  index->AcceptUpdateMark(accept_update_mark);
  index->Open(settings.exclusive, data->IsReadOnly(), settings.force_buffer_flush);
  data->CheckFileLength();
  open_lock.reset();
  read_only = data->IsReadOnly() || index->IsReadOnly();
  read_only_by_access = data->IsReadOnlyByAccess() || index->IsReadOnlyByAccess();
  locks = std::make_unique<TableLocks>(*data, *index,
                                       !settings.exclusive && !data->IsReadOnlyByAttribute(),
                                       settings.lock_retry_count, settings.lock_wait_time);
  // Without a lock, kept images may serve a miss only where the counters
  // can be seen as they are now (a local file system).
  unlocked_checks = locks->Enabled() && data->WatchCounter() && index->WatchCounter();
  indexes.push_back(index->Descriptor(TIndexFile::kPrimaryIndex));
  for (int i = 1; i <= index->SecondaryCount(); ++i) indexes.push_back(index->Descriptor(i));
  record.resize(data->RecordSize());
  SelectOrder(0);
  where = Where::kBof;
}

void TableCursor::Impl::CloseFiles() {
  if (stale) {
    // Nothing held in memory may reach the files after a failed write.
    Cancel();
    DropFiles();
    return;
  }
  Cancel();
  if (locks) locks->ReleaseAll();
  locks.reset();
  // The records go first, as in every flush: a repair rebuilds the indexes
  // from them.
  std::exception_ptr first;
  try {
    if (data && index && WritesAlone()) FlushAlone();
    if (data) data->Close();
  } catch (...) {
    first = std::current_exception();
  }
  try {
    if (index) index->Close();
  } catch (...) {
    if (!first) first = std::current_exception();
  }
  if (first) std::rethrow_exception(first);
}

void TableCursor::Impl::FlushAlone() {
  // The records first; a write sets the mark (BeforeDataWrite), made
  // durable before them, and the records are made durable before the
  // index header, written from an image without the mark, clears it.
  data->FlushBuffers(false);
  if (marked) data->TFileHandler::Flush();
  index->FlushBuffers(false);
  if (marked) {
    index->FlushBuffers(true);
    index->TFileHandler::Flush();
  }
  marked = false;
}

void TableCursor::Impl::RequireWritable() const {
  if (read_only) throw EDbEngineError(kErrAccessDenied, file_name);
}

bool TableCursor::Impl::CountersMoved() const {
  return stale || index->StoredCounter() != index->ChangeCounter() ||
         data->StoredCounter() != data->Header().ChangeCounter();
}

void TableCursor::Impl::DetectChanges() {
  if (stale) {
    // A failed write left this handle's caches unlike the files: start
    // again from the files.
    index->ReadHeader();
    data->ReadHeader();
    data->DiscardCache();
    stale = false;
    return;
  }
  if (!CountersMoved()) return;
  if (index->TestChanged()) {
    data->ReadHeader();
    data->DiscardCache();
  } else if (data->TestChanged()) {
    data->DiscardCache();
  }
}

void TableCursor::Impl::DetectChangesRecovering() {
  try {
    DetectChanges();
    return;
  } catch (const EDbEngineError& e) {
    if (e.ErrorCode() != kErrIndexPagesCorrupt || read_only || !locks->HoldsReadLock() ||
        !index->UpdateMarked()) {
      throw;
    }
  }
  // Under the read lock no writer is at work: the mark is a dead writer's.
  // The write lock (taken in place of the read lock) lets this handle
  // recover the table; then it reads on under the read lock again.
  locks->AcquireWriteLock();
  try {
    RecoverUnderWriteLock();
  } catch (...) {
    locks->ReleaseWriteLock();
    locks->AcquireReadLock();
    throw;
  }
  locks->ReleaseWriteLock();
  locks->AcquireReadLock();
  DetectChanges();
}

void TableCursor::Impl::BeforeRead() {
  if (!armed) return;
  // The step goes on under the read lock from here; it starts again only
  // when the counters say that what it read so far may be stale.
  armed = false;
  step_locked = locks->AcquireReadLock();
  if (CountersMoved()) throw CacheMiss{};
  step_checked = true;
}

bool TableCursor::Impl::ShelfUsable() {
  if (!armed || step_checked) return true;
  // Without the lock, kept images are as fresh as the counters say. Once
  // per step: everything kept belongs to the state the counters name.
  if (!unlocked_checks || CountersMoved()) return false;
  step_checked = true;
  return true;
}

void TableCursor::Impl::EndStep() noexcept {
  armed = false;
  if (!step_locked) return;
  step_locked = false;
  try {
    locks->ReleaseReadLock();
  } catch (...) {
    // The lock dies with the handle at the latest.
  }
}

template <typename Step>
auto TableCursor::Impl::Reading(Step&& step) -> decltype(step()) {
  if (!locks->Enabled() || locks->HoldsReadLock() || locks->HoldsWriteLock()) return step();
  if (settings.strict_change_detection) {
    LockScope lock(*this, LockScope::kRead);
    return step();
  }
  struct StepEnd {
    Impl& c;
    ~StepEnd() { c.EndStep(); }
  } end{*this};
  armed = true;
  step_checked = false;
  step_locked = false;
  try {
    return step();
  } catch (const CacheMiss&) {
    // The miss holds the read lock and found the counters moved.
  }
  DetectChangesRecovering();
  return step();
}

// ---- Position ----

void TableCursor::Impl::SelectOrder(int index_number) {
  current_index = index_number;
  if (HasIndexOrder()) {
    order = std::make_unique<IndexOrder>(*index, index_number);
  } else {
    order = std::make_unique<PhysicalOrder>(*data, *index);
  }
  has_range = false;
  if (where == Where::kOn) {
    key = OrderKey(record.data(), record_number);
  } else {
    where = Where::kBof;
  }
}

// The record cache's buffer of one slot, pinned for the scope.
class TableCursor::Impl::StoredRecord {
 public:
  StoredRecord(Impl& c, int32_t number, bool forward)
      : c_(c), record_(c.data->GetRecord(number, c.ReadAheadFor(number, forward))) {}
  ~StoredRecord() {
    try {
      c_.data->Unpin(record_);
    } catch (...) {
      // Pinned by this scope: unpinning cannot fail.
    }
  }
  StoredRecord(const StoredRecord&) = delete;
  StoredRecord& operator=(const StoredRecord&) = delete;
  const uint8_t* Data() const { return record_->Data(); }

 private:
  Impl& c_;
  TRecord* record_;
};

ReadAhead TableCursor::Impl::ReadAheadFor(int32_t number, bool forward) {
  // A hit reads nothing: the run ahead is only worth working out on a miss.
  if (!forward || data->IsCached(number)) return ReadAhead::None();
  int run = order->RunAhead(RecordCache::kReadAheadBytes / data->RecordSize());
  upcoming.clear();
  for (int i = 1; i <= run; ++i) upcoming.push_back(number + i);
  return HasIndexOrder() ? ReadAhead::Index(upcoming) : ReadAhead::Physical();
}

void TableCursor::Impl::ReadAheadInIndexOrder(int32_t number) {
  // A slot the cache holds, or keeps an image of that may serve now, needs
  // no read.
  if (data->HeldRecord(number) != nullptr) return;
  // The first read from disk of an unlocked step takes the read lock and
  // restarts the step when the counters moved; here it is taken before the
  // batch, which is then read, index pages and slots, under that one lock.
  BeforeRead();
  const size_t limit = std::min(kIndexReadAhead, std::max<size_t>(1, data->CacheCapacity() / 2));
  index_ahead.clear();
  index_ahead.push_back(number);
  index->WalkAhead([&](const uint8_t* k, int32_t n) {
    if (AboveRange(k) || index_ahead.size() >= limit) return false;
    index_ahead.push_back(n);
    return true;
  });
  data->ReadAheadSlots(index_ahead);
}

void TableCursor::Impl::ReadStored(int32_t number, std::vector<uint8_t>& out, bool forward) {
  StoredRecord stored(*this, number, forward);
  out.assign(stored.Data(), stored.Data() + data->RecordSize());
}

bool TableCursor::Impl::BelowRange(const uint8_t* k) const {
  return has_range && range_lo_length != 0 && std::memcmp(k, range_lo.data(), range_lo_length) < 0;
}

bool TableCursor::Impl::AboveRange(const uint8_t* k) const {
  return has_range && range_hi_length != 0 && std::memcmp(k, range_hi.data(), range_hi_length) > 0;
}

const uint8_t* TableCursor::Impl::RecordToCompare(int32_t number) {
  // A filter is the caller's code: it gets a copy, whatever it does.
  if (!filter) {
    if (const uint8_t* held = data->HeldRecord(number)) return held;
  }
  ReadStored(number, scratch);
  return scratch.data();
}

void TableCursor::Impl::OrderKeyInto(const uint8_t* rec, int32_t number,
                                     std::vector<uint8_t>& out) const {
  if (!HasIndexOrder()) {
    out.resize(4);
    PutBE32(out.data(), static_cast<uint32_t>(number));
    return;
  }
  const KeyLayout& layout = index->Layout(current_index);
  out.resize(layout.KeyLength());
  layout.FromRecord({rec, data->RecordSize()}, out.data());
}

std::vector<uint8_t> TableCursor::Impl::OrderKey(const uint8_t* rec, int32_t number) const {
  std::vector<uint8_t> k;
  OrderKeyInto(rec, number, k);
  return k;
}

void TableCursor::Impl::StandOn(std::span<const uint8_t> k, int32_t number, const uint8_t* rec) {
  key.assign(k.begin(), k.end());
  record_number = number;
  record.assign(rec, rec + data->RecordSize());
  where = Where::kOn;
}

bool TableCursor::Impl::MayPassFilter(int32_t number, FileView& view, bool& mapped, int ahead) {
  const uint8_t* image = data->HeldRecord(number);
  if (image != nullptr) {
    // A filter is the caller's code: it never gets the cache's own bytes.
    scratch.assign(image, image + data->RecordSize());
    image = scratch.data();
  } else {
    if (!mapped) {
      view = data->MapSlots();
      mapped = true;
    }
    if (view) image = data->SlotInView(view, number);
    if (view && ahead != 0) {
      if (const uint8_t* slot = data->SlotInView(view, number + ahead)) {
        for (size_t line = 0; line < data->RecordSize(); line += 64) __builtin_prefetch(slot + line);
      }
    }
  }
  return image == nullptr || RecordIsDeleted(image) || filter(image);
}

bool TableCursor::Impl::Settle(bool on_entry, int direction) {
  const size_t length = order->KeyLength();
  // With a filter, a forward walk in index order tests the slots its batch
  // read ahead (copies made under the read lock, as the locking protocol
  // asks). Other walks test records where they lie before one is fetched:
  // most of those the filter refuses are then never copied into the record
  // cache. While the order meets consecutive slots, the slot eight ahead
  // is fetched from memory before it is tested: a filter touches a field
  // or two of each record, too little for the processor to fetch ahead by
  // itself.
  FileView view;
  bool mapped = false;
  int32_t previous = 0;
  while (on_entry) {
    const uint8_t* k = order->Key();
    if (direction > 0 ? AboveRange(k) : BelowRange(k)) break;
    if (!(direction > 0 ? BelowRange(k) : AboveRange(k))) {
      const int32_t number = order->Record();
      const int ahead = number == previous + direction ? 8 * direction : 0;
      previous = number;
      // Forward in index order, filtered or not, the slots are read in
      // batches under the read lock, and a filter tests the copies.
      if (direction > 0 && HasIndexOrder()) ReadAheadInIndexOrder(number);
      if (filter && !MayPassFilter(number, view, mapped, ahead)) {
        on_entry = direction > 0 ? order->Next() : order->Prior();
        continue;
      }
      // Slots ahead of one the filter passed are tested in place too: reading
      // them ahead would mostly copy records it refuses.
      StoredRecord stored(*this, number, direction > 0 && !(filter && view));
      if (RecordIsDeleted(stored.Data())) throw EDbEngineError(kErrRecordNotFound, file_name);
      if (!filter || filter(stored.Data())) {
        StandOn({order->Key(), length}, number, stored.Data());
        return true;
      }
    }
    on_entry = direction > 0 ? order->Next() : order->Prior();
  }
  where = direction > 0 ? Where::kEof : Where::kBof;
  return false;
}

bool TableCursor::Impl::SeekAfterCurrent() {
  const size_t length = order->KeyLength();
  if (order->OnEntry() && std::memcmp(order->Key(), key.data(), length) == 0) {
    return order->Next();
  }
  bool on = order->FindNearest(key.data(), length);
  if (on && std::memcmp(order->Key(), key.data(), length) == 0) on = order->Next();
  return on;
}

bool TableCursor::Impl::SeekBeforeCurrent() {
  const size_t length = order->KeyLength();
  if (order->OnEntry() && std::memcmp(order->Key(), key.data(), length) == 0) {
    return order->Prior();
  }
  return order->FindNearest(key.data(), length) ? order->Prior() : order->Last();
}

bool TableCursor::Impl::SeekLastInRange() {
  if (!has_range || range_hi_length == 0) return order->Last();
  std::vector<uint8_t> above(range_hi.begin(), range_hi.begin() + range_hi_length);
  if (!Increment(above)) return order->Last();
  return order->FindNearest(above.data(), above.size()) ? order->Prior() : order->Last();
}

bool TableCursor::Impl::First() {
  return Reading([&] {
    bool on = has_range && range_lo_length != 0
                  ? order->FindNearest(range_lo.data(), range_lo_length)
                  : order->First();
    return Settle(on, +1);
  });
}

bool TableCursor::Impl::Last() {
  return Reading([&] { return Settle(SeekLastInRange(), -1); });
}

bool TableCursor::Impl::Next() {
  if (where == Where::kBof) return First();
  if (where == Where::kEof) return false;
  return Reading([&] { return Settle(SeekAfterCurrent(), +1); });
}

bool TableCursor::Impl::Prior() {
  if (where == Where::kEof) return Last();
  if (where == Where::kBof) return false;
  return Reading([&] { return Settle(SeekBeforeCurrent(), -1); });
}

int64_t TableCursor::Impl::EntriesBeforeRange() {
  if (!has_range || range_lo_length == 0) return 0;
  return order->CountRange(nullptr, 0, nullptr, 0) -
         order->CountRange(range_lo.data(), range_lo_length, nullptr, 0);
}

int64_t TableCursor::Impl::RecordCount() {
  return Reading([&] {
    if (!has_range) return order->CountRange(nullptr, 0, nullptr, 0);
    return order->CountRange(range_lo.data(), range_lo_length, range_hi.data(), range_hi_length);
  });
}

int64_t TableCursor::Impl::RecordNumber() {
  if (where != Where::kOn) return 0;
  return Reading([&]() -> int64_t {
    const size_t length = order->KeyLength();
    bool there = order->OnEntry() && std::memcmp(order->Key(), key.data(), length) == 0;
    if (!there && !order->FindNearest(key.data(), length)) return 0;
    return order->Ordinal() - EntriesBeforeRange();
  });
}

bool TableCursor::Impl::SetRecordNumber(int64_t ordinal) {
  return Reading([&] {
    int64_t count = has_range ? order->CountRange(range_lo.data(), range_lo_length, range_hi.data(),
                                                  range_hi_length)
                              : order->CountRange(nullptr, 0, nullptr, 0);
    if (ordinal < 1 || ordinal > count) return false;
    if (!order->SetOrdinal(EntriesBeforeRange() + ordinal)) return false;
    const int32_t number = order->Record();
    ReadStored(number, scratch);
    StandOn({order->Key(), order->KeyLength()}, number, scratch.data());
    return true;
  });
}

bool TableCursor::Impl::FindKey(std::span<const FieldValue> values) {
  if (!HasIndexOrder()) return false;
  const KeyLayout& layout = index->Layout(current_index);
  std::vector<KeyValue> kv = ToKeyValues(data->Fields(), indexes[current_index], values);
  std::vector<uint8_t> wanted(layout.KeyLength());
  const size_t length = layout.FromValues(kv, wanted.data());
  return Reading([&] {
    bool on = order->FindNearest(wanted.data(), length);
    while (on && std::memcmp(order->Key(), wanted.data(), length) == 0 &&
           !AboveRange(order->Key())) {
      if (!BelowRange(order->Key())) {
        const int32_t number = order->Record();
        ReadStored(number, scratch);
        if (!filter || filter(scratch.data())) {
          StandOn({order->Key(), layout.KeyLength()}, number, scratch.data());
          return true;
        }
      }
      on = order->Next();
    }
    return false;
  });
}

void TableCursor::Impl::SetRange(std::span<const FieldValue> start,
                                 std::span<const FieldValue> end) {
  where = Where::kBof;
  has_range = false;
  if (!HasIndexOrder()) return;
  const KeyLayout& layout = index->Layout(current_index);
  const IndexDesc& desc = indexes[current_index];
  range_lo.assign(layout.KeyLength(), 0);
  range_hi.assign(layout.KeyLength(), 0);
  range_lo_length = layout.FromValues(ToKeyValues(data->Fields(), desc, start), range_lo.data());
  range_hi_length = layout.FromValues(ToKeyValues(data->Fields(), desc, end), range_hi.data());
  has_range = true;
}

bool TableCursor::Impl::Locate(std::span<const int> field_numbers,
                               std::span<const FieldValue> values, bool case_insensitive,
                               bool partial) {
  if (field_numbers.empty() || field_numbers.size() != values.size()) return false;
  // The target, the key searched and the found record's key live in the
  // handle, so that a warm locate allocates nothing.
  LocateTarget& target = locate_target;
  target.Set(*data, field_numbers, values, case_insensitive, partial);
  auto fits = [&](int number) {
    return (number != 0 || index->HasPrimaryIndex()) && target.Fits(indexes[number]);
  };
  // Walks the entries of index `number` (through `search`) that match the
  // wanted key and stands on the first whose record lies in the range of
  // the current order and passes the filter.
  auto search_index = [&](RecordOrder& search, int number) {
    const KeyLayout& layout = index->Layout(number);
    std::vector<uint8_t>& k = locate_key;
    k.resize(layout.KeyLength());
    const size_t length = target.BuildKey(layout, k.data());
    for (bool on = search.FindNearest(k.data(), length);
         on && std::memcmp(search.Key(), k.data(), length) == 0; on = search.Next()) {
      const int32_t found = search.Record();
      const uint8_t* rec = RecordToCompare(found);
      OrderKeyInto(rec, found, locate_order_key);
      const uint8_t* main_key = locate_order_key.data();
      if (BelowRange(main_key) || AboveRange(main_key)) continue;
      if ((filter && !filter(rec)) || !target.Matches(rec)) continue;
      StandOn(locate_order_key, found, rec);
      return true;
    }
    return false;
  };
  return Reading([&] {
    if (HasIndexOrder() && fits(current_index)) return search_index(*order, current_index);
    for (size_t other = 0; other < indexes.size(); ++other) {
      if (static_cast<int>(other) == current_index || !fits(static_cast<int>(other))) continue;
      IndexOrder search(*index, static_cast<int>(other));
      return search_index(search, static_cast<int>(other));
    }
    // No index fits: scan the current order.
    bool on = has_range && range_lo_length != 0
                  ? order->FindNearest(range_lo.data(), range_lo_length)
                  : order->First();
    for (; on && !AboveRange(order->Key()); on = order->Next()) {
      if (BelowRange(order->Key())) continue;
      const int32_t number = order->Record();
      ReadStored(number, scratch, true);
      if ((filter && !filter(scratch.data())) || !target.Matches(scratch.data())) continue;
      StandOn({order->Key(), order->KeyLength()}, number, scratch.data());
      return true;
    }
    return false;
  });
}

namespace {

// Slots a scan reads per batch where the file is not mapped: many at a
// time, so that slots scattered over the file come close enough to share
// reads.
size_t ScanBatch(size_t record_size) {
  return std::clamp<size_t>((4 << 20) / record_size, 64, 16384);
}

}  // namespace

void TableCursor::Impl::Scan(const std::function<void(const uint8_t* record)>& visit) {
  // The entries of the order are gathered a batch at a time, their slots
  // read in ascending order, then handed out in the order's.
  LockScope lock(*this, LockScope::kRead);
  where = Where::kEof;
  if (!HasIndexOrder()) {
    // Physical order reads its slots in file order already.
    for (bool on = First(); on; on = Next()) visit(record.data());
    return;
  }
  const size_t from = has_range ? range_lo_length : 0;
  auto hand_out_one = [&](const uint8_t* rec) {
    if (RecordIsDeleted(rec)) throw EDbEngineError(kErrRecordNotFound, file_name);
    if (!filter || filter(rec)) visit(rec);
  };
  // Where the file can be mapped, slots are read in place: only the bytes
  // the visit looks at are touched, and nothing is copied.
  if (const FileView view = data->MapSlots()) {
    // Slots are gathered a few at a time and fetched from memory ahead of
    // their visit, so that the misses of a batch overlap.
    constexpr size_t kAhead = 16;
    const size_t size = data->RecordSize();
    int32_t gathered_numbers[kAhead];
    size_t gathered = 0;
    auto visit_gathered = [&] {
      for (size_t i = 0; i < gathered; ++i) {
        hand_out_one(data->SlotImage(view, gathered_numbers[i]));
      }
      gathered = 0;
    };
    index->Walk(current_index, range_lo.data(), from, [&](const uint8_t* k, int32_t number) {
      if (AboveRange(k)) return false;
      if (BelowRange(k)) return true;
      if (const uint8_t* slot = data->SlotInView(view, number)) {
        for (size_t line = 0; line < size; line += 64) __builtin_prefetch(slot + line);
      }
      gathered_numbers[gathered++] = number;
      if (gathered == kAhead) visit_gathered();
      return true;
    });
    visit_gathered();
    return;
  }
  const size_t size = data->RecordSize();
  const size_t batch = ScanBatch(size);
  std::vector<int32_t> numbers;
  numbers.reserve(batch);
  auto records = std::make_unique_for_overwrite<uint8_t[]>(batch * size);
  auto hand_out = [&] {
    data->ReadSlots(numbers, records.get());
    for (size_t i = 0; i < numbers.size(); ++i) hand_out_one(records.get() + i * size);
    numbers.clear();
  };
  index->Walk(current_index, range_lo.data(), from, [&](const uint8_t* k, int32_t number) {
    if (AboveRange(k)) return false;
    if (!BelowRange(k)) numbers.push_back(number);
    if (numbers.size() == batch) hand_out();
    return true;
  });
  hand_out();
}

void TableCursor::Impl::ScanSlots(const std::function<void(const uint8_t* record)>& visit) {
  if (has_range) throw std::logic_error("ScanSlots: a range needs an index order");
  LockScope lock(*this, LockScope::kRead);
  where = Where::kEof;
  const int32_t end = data->Header().NextRecordNumber();
  auto hand_out = [&](const uint8_t* rec) {
    if (!RecordIsDeleted(rec) && (!filter || filter(rec))) visit(rec);
  };
  if (const FileView view = data->MapSlots()) {
    // The whole slot a few records ahead is fetched from memory before its
    // visit: a visit touches a field or two of each record, too little for
    // the processor to see the stride and fetch ahead by itself.
    constexpr int32_t kAhead = 8;
    const size_t size = data->RecordSize();
    for (int32_t number = 1; number < end; ++number) {
      if (const uint8_t* slot = data->SlotInView(view, number + kAhead)) {
        for (size_t line = 0; line < size; line += 64) __builtin_prefetch(slot + line);
      }
      hand_out(data->SlotImage(view, number));
    }
    return;
  }
  const size_t size = data->RecordSize();
  const auto batch = static_cast<int32_t>(ScanBatch(size));
  std::vector<int32_t> numbers;
  numbers.reserve(batch);
  auto records = std::make_unique_for_overwrite<uint8_t[]>(batch * size);
  for (int32_t first = 1; first < end; first += batch) {
    numbers.clear();
    for (int32_t number = first; number < end && number < first + batch; ++number) {
      numbers.push_back(number);
    }
    data->ReadSlots(numbers, records.get());
    for (size_t i = 0; i < numbers.size(); ++i) hand_out(records.get() + i * size);
  }
}

// ---- Changing ----

void TableCursor::Impl::Append() {
  RequireWritable();
  std::vector<uint8_t> fresh(data->RecordSize());
  data->InitNewRecord(fresh.data());
  Cancel();
  edit = std::move(fresh);
  edit_record = 0;
  state = CursorState::kInsert;
}

void TableCursor::Impl::Edit() {
  RequireWritable();
  if (state != CursorState::kBrowse) return;
  if (where != Where::kOn) {
    edit.assign(data->RecordSize(), 0);
    data->InitNewRecord(edit.data());
    throw EDbEngineError(where == Where::kBof ? kErrBof : kErrEof, file_name);
  }
  const int32_t number = record_number;
  const bool took = locks->LockRecord(number);
  try {
    std::vector<uint8_t> fresh;
    {
      LockScope lock(*this, LockScope::kRead);
      ReadStored(number, fresh);
    }
    if (RecordIsDeleted(fresh.data()) || IdOf(fresh.data()) != IdOf(record.data())) {
      throw EDbEngineError(kErrRecordNotFound, file_name);
    }
    record = fresh;
    edit = std::move(fresh);
  } catch (...) {
    if (took) locks->UnlockRecord(number);
    throw;
  }
  edit_record = number;
  state = CursorState::kEdit;
}

void TableCursor::Impl::Post() {
  if (state == CursorState::kBrowse) throw EDatabaseError(kNotEditing);
  if (state == CursorState::kInsert) {
    PostInsert();
  } else {
    PostEdit();
  }
}

void TableCursor::Impl::RecoverUnderWriteLock() {
  if (read_only || !index->StoredUpdateMark()) return;
  // The mark is set only under the write lock and cleared before it goes:
  // holding the lock, a mark means a writer that died mid-change (or this
  // handle's own write that failed).
  std::vector<std::string> mended = RecoverTableFiles(*data, *index);
  for (std::string& line : mended) recovered.push_back(std::move(line));
  stale = true;
}

void TableCursor::Impl::AbandonUnwritten() noexcept {
  try {
    data->DiscardCache();
    index->DiscardCache();
  } catch (...) {
  }
  stale = true;
  marked = false;
}

bool TableCursor::Impl::WritesAlone() const {
  return settings.exclusive && !read_only && !settings.in_memory;
}

void TableCursor::Impl::BeforeDataWrite() {
  if (WritesAlone()) BeforeWrite();
}

void TableCursor::Impl::BeforeWrite() {
  if (marked) return;
  if (!WritesAlone() && (!locks || !locks->Enabled() || !locks->HoldsWriteLock())) return;
  // Set on disk before the first byte of a change goes out (index
  // pages written early to make room in the page cache included); a writer
  // killed between its writes leaves it set, and the next writer or open
  // recovers the table. The index header, written last from an image
  // without the mark, clears it.
  static constexpr uint8_t kMark = 1;
  index->TFileHandler::Write(index_header::kUpdateInProgress, &kMark, 1);
  // A table held alone writes its changes once, at Close or when its
  // caches need room: making the mark durable first costs one flush per
  // such change. A shared change would pay it at every post (several
  // milliseconds each on a disk): its files are made durable in order only
  // when opened write-through (ForceBufferFlush).
  if (WritesAlone()) index->TFileHandler::Flush();
  marked = true;
}

void TableCursor::Impl::FlushShared(bool index_header) {
  if (!locks->Enabled()) return;  // exclusive: writes wait for room or Close
  try {
    WriteShared(index_header);
  } catch (...) {
    // What did not reach the files is dropped, so that nothing of this
    // change goes out later by another flush: the files hold the state
    // before it, or the update mark that makes the next writer (or the next
    // open) recover them.
    AbandonUnwritten();
    throw;
  }
}

void TableCursor::Impl::WriteShared(bool index_header) {
  // Records, data header, index pages and index header go out in several
  // writes; a writer killed between them would leave a table whose indexes
  // disagree with its records. The update mark (BeforeWrite) brackets them.
  if (index_header) BeforeWrite();
  data->FlushBuffers(true);
  index->FlushBuffers(index_header);
  if (index_header) marked = false;
}

void TableCursor::Impl::PostInsert() {
  RequireWritable();
  const uint16_t size = data->RecordSize();
  std::vector<uint8_t> rec = edit;
  LockScope write_lock(*this, LockScope::kWrite);
  const bool has_primary = index->HasPrimaryIndex();
  const int32_t slot = data->NextFreeRecordNumber(has_primary);
  const bool reuse = slot != data->Header().NextRecordNumber();
  RecordLockScope record_lock(*this, slot);
  ValidateRecord(*data, rec.data());

  int32_t old_id = 0;
  if (reuse) {
    ReadStored(slot, scratch);
    if (!RecordIsDeleted(scratch.data())) {
      throw EDbEngineError(kErrRecordBuffersCorrupt, file_name);
    }
    old_id = IdOf(scratch.data());
  }
  const int32_t id = NextRecordId(data->Header().LastRecordId());
  SetRecordHeader(rec.data(), false, slot);
  SetRecordId(rec.data(), id);
  const std::vector<int> user = UserIndexes(*index);
  const RecordKeys keys(*index, user, rec.data(), size);
  for (size_t i = 0; i < user.size(); ++i) {
    if (index->IsUnique(user[i])) index->CheckDuplicate(user[i], keys.Key(i));
  }
  const auto new_sys = SysKey(false, id);
  const auto old_sys = SysKey(true, old_id);
  if (has_primary) {
    if (reuse && !index->Contains(TIndexFile::kSystemIndex, old_sys.data())) {
      throw EDbEngineError(kErrKeyNotFound, file_name, index->IndexName(TIndexFile::kSystemIndex));
    }
    index->CheckDuplicate(TIndexFile::kSystemIndex, new_sys.data());
  }

  Changes changes(*this);
  for (size_t i = 0; i < user.size(); ++i) {
    index->Insert(user[i], keys.Key(i), slot);
    changes.Inserted(user[i], keys.Key(i), slot);
  }
  if (has_primary) {
    if (reuse) {
      index->Replace(TIndexFile::kSystemIndex, old_sys.data(), new_sys.data(), slot);
      changes.Replaced(TIndexFile::kSystemIndex, old_sys.data(), new_sys.data(), slot);
    } else {
      index->Insert(TIndexFile::kSystemIndex, new_sys.data(), slot);
      changes.Inserted(TIndexFile::kSystemIndex, new_sys.data(), slot);
    }
  }
  data->StoreNewRecord(slot, rec.data());
  uint8_t issued[kRecordHeaderSize];
  data->IssueRecordId(issued);
  index->SetRecordCount(index->RecordCount() + 1);
  changes.Commit();

  StandOn(OrderKey(rec.data(), slot), slot, rec.data());
  state = CursorState::kBrowse;
  edit.clear();
  FlushShared(true);
}

void TableCursor::Impl::PostEdit() {
  RequireWritable();
  const uint16_t size = data->RecordSize();
  std::vector<uint8_t> rec = edit;
  const int32_t slot = edit_record;
  LockScope write_lock(*this, LockScope::kWrite);
  std::vector<uint8_t> old;
  ReadStored(slot, old);
  if (RecordIsDeleted(old.data()) || IdOf(old.data()) != IdOf(rec.data())) {
    throw EDbEngineError(kErrRecordNotFound, file_name);
  }
  ValidateRecord(*data, rec.data());
  std::memcpy(rec.data(), old.data(), kRecordHeaderSize);
  const std::vector<int> user = UserIndexes(*index);
  const RecordKeys old_keys(*index, user, old.data(), size);
  const RecordKeys new_keys(*index, user, rec.data(), size);
  std::vector<size_t> changed;
  for (size_t i = 0; i < user.size(); ++i) {
    if (std::memcmp(old_keys.Key(i), new_keys.Key(i), index->KeyLength(user[i])) != 0) {
      changed.push_back(i);
    }
  }
  for (size_t i : changed) {
    if (!index->Contains(user[i], old_keys.Key(i))) {
      throw EDbEngineError(kErrKeyNotFound, file_name, index->IndexName(user[i]));
    }
    if (index->IsUnique(user[i])) index->CheckDuplicate(user[i], new_keys.Key(i));
  }

  Changes changes(*this);
  for (size_t i : changed) {
    index->Replace(user[i], old_keys.Key(i), new_keys.Key(i), slot);
    changes.Replaced(user[i], old_keys.Key(i), new_keys.Key(i), slot);
  }
  data->UpdateRecord(slot, rec.data());
  changes.Commit();

  StandOn(OrderKey(rec.data(), slot), slot, rec.data());
  state = CursorState::kBrowse;
  edit.clear();
  edit_record = 0;
  try {
    FlushShared(!changed.empty());
  } catch (...) {
    locks->UnlockRecord(slot);
    throw;
  }
  locks->UnlockRecord(slot);
}

void TableCursor::Impl::Cancel() {
  if (state == CursorState::kEdit && locks) {
    try {
      locks->UnlockRecord(edit_record);
    } catch (...) {
      // The lock goes with the handle at the latest; the edit ends anyway.
    }
  }
  state = CursorState::kBrowse;
  edit.clear();
  edit_record = 0;
}

void TableCursor::Impl::Delete() {
  RequireWritable();
  if (state == CursorState::kInsert) {
    Cancel();
    return;
  }
  const bool editing = state == CursorState::kEdit;
  if (!editing && where != Where::kOn) {
    throw EDbEngineError(where == Where::kBof ? kErrBof : kErrEof, file_name);
  }
  const uint16_t size = data->RecordSize();
  const int32_t slot = editing ? edit_record : record_number;
  const int32_t id = IdOf(editing ? edit.data() : record.data());
  {
    LockScope write_lock(*this, LockScope::kWrite);
    RecordLockScope record_lock(*this, slot);
    std::vector<uint8_t> old;
    ReadStored(slot, old);
    if (RecordIsDeleted(old.data()) || IdOf(old.data()) != id) {
      throw EDbEngineError(kErrRecordNotFound, file_name);
    }
    const bool has_primary = index->HasPrimaryIndex();
    const std::vector<int> user = UserIndexes(*index);
    const RecordKeys keys(*index, user, old.data(), size);
    for (size_t i = 0; i < user.size(); ++i) {
      if (!index->Contains(user[i], keys.Key(i))) {
        throw EDbEngineError(kErrKeyNotFound, file_name, index->IndexName(user[i]));
      }
    }
    const auto active_sys = SysKey(false, id);
    const auto deleted_sys = SysKey(true, id);
    if (has_primary && !index->Contains(TIndexFile::kSystemIndex, active_sys.data())) {
      throw EDbEngineError(kErrKeyNotFound, file_name, index->IndexName(TIndexFile::kSystemIndex));
    }

    Changes changes(*this);
    for (size_t i = 0; i < user.size(); ++i) {
      index->Delete(user[i], keys.Key(i));
      changes.Deleted(user[i], keys.Key(i), slot);
    }
    if (has_primary) {
      index->Replace(TIndexFile::kSystemIndex, active_sys.data(), deleted_sys.data(), slot);
      changes.Replaced(TIndexFile::kSystemIndex, active_sys.data(), deleted_sys.data(), slot);
    }
    data->DeleteRecord(slot);
    index->SetRecordCount(index->RecordCount() - 1);
    changes.Commit();

    state = CursorState::kBrowse;
    edit.clear();
    edit_record = 0;
    try {
      FlushShared(true);
    } catch (...) {
      if (editing) locks->UnlockRecord(slot);
      throw;
    }
    if (editing) locks->UnlockRecord(slot);
    // Stand on the record after the deleted one.
    key = OrderKey(old.data(), slot);
    where = Where::kOn;
    try {
      if (Settle(SeekAfterCurrent(), +1)) return;
    } catch (const EDbEngineError&) {
      // The delete is done; a failure to read the next record leaves the
      // cursor at the end rather than report the delete as failed.
    }
  }
  where = Where::kEof;
}

void TableCursor::Impl::EmptyTable() {
  if (!settings.exclusive) throw EDbEngineError(kErrNotExclusive, file_name);
  RequireWritable();
  Cancel();
  data->EmptyTable();
  index->EmptyAll();
  where = Where::kBof;
}

void TableCursor::Impl::AppendAll(std::vector<uint8_t> records, int order_index) {
  if (!settings.exclusive) throw EDbEngineError(kErrNotExclusive, file_name);
  RequireWritable();
  const size_t size = data->RecordSize();
  if (records.size() % size != 0) throw std::invalid_argument("AppendAll: not whole records");
  const DataFileHeader& header = data->Header();
  const std::vector<int> user = UserIndexes(*index);
  bool empty = header.NextRecordNumber() == 1 && index->RecordCount() == 0;
  for (int number : user) empty = empty && index->EntryCount(number) == 0;
  if (index->HasPrimaryIndex()) empty = empty && index->EntryCount(TIndexFile::kSystemIndex) == 0;
  if (!empty) throw std::invalid_argument("AppendAll: the table is not empty");
  if (order_index >= 0 && std::find(user.begin(), user.end(), order_index) == user.end()) {
    throw std::invalid_argument("AppendAll: no such index to store in the order of");
  }
  const size_t count = records.size() / size;
  if (count == 0) return;
  if (int64_t(count) + 1 > TDataFile::kMaxRecords ||
      int64_t(count) * int64_t(size) > TDataFile::kMaxRecordBytes) {
    throw EDbEngineError(kErrFileFull, file_name);
  }
  Cancel();

  // The record IDs Post would issue to the images in turn.
  const bool checked = HasFieldChecks(*data);
  std::vector<int32_t> ids(count);
  int32_t last_id = header.LastRecordId();
  for (size_t i = 0; i < count; ++i) {
    last_id = NextRecordId(last_id);
    ids[i] = last_id;
    SetRecordId(records.data() + i * size, last_id);
    if (checked) ValidateRecord(*data, records.data() + i * size);
  }

  // The images in the order of index `number`, given their keys side by
  // side (equal keys in the given order).
  auto in_key_order = [&](int number, const std::vector<uint8_t>& keys) {
    const size_t length = index->KeyLength(number);
    const bool descending = index->Descriptor(number).descending;
    // Sorted by each key's first eight bytes held beside its image number
    // (a number the comparison reads in key order), so that most
    // comparisons never reach the keys themselves.
    struct Item {
      uint64_t head;
      uint32_t image;
    };
    std::vector<Item> items(count);
    for (size_t i = 0; i < count; ++i) {
      uint8_t bytes[8] = {};
      std::memcpy(bytes, keys.data() + i * length, std::min<size_t>(8, length));
      uint64_t head = 0;
      for (uint8_t b : bytes) head = head << 8 | b;
      items[i] = {descending ? ~head : head, static_cast<uint32_t>(i)};
    }
    auto before = [&](const Item& a, const Item& b) {
      if (a.head != b.head) return a.head < b.head;
      return CompareKeys(keys.data() + size_t{a.image} * length,
                         keys.data() + size_t{b.image} * length, length, descending) < 0;
    };
    if (!std::is_sorted(items.begin(), items.end(), before)) {
      std::stable_sort(items.begin(), items.end(), before);
    }
    std::vector<uint32_t> order(count);
    for (size_t i = 0; i < count; ++i) order[i] = items[i].image;
    return order;
  };
  // Each index's keys by image and the images in key order, and a unique
  // index's duplicates refused before anything changes.
  std::vector<std::vector<uint8_t>> keys(user.size());
  std::vector<std::vector<uint32_t>> orders(user.size());
  for (size_t u = 0; u < user.size(); ++u) {
    const KeyLayout& layout = index->Layout(user[u]);
    keys[u].resize(count * layout.KeyLength());
    for (size_t i = 0; i < count; ++i) {
      layout.FromRecord({records.data() + i * size, size}, keys[u].data() + i * layout.KeyLength());
    }
    orders[u] = in_key_order(user[u], keys[u]);
    if (!index->IsUnique(user[u])) continue;
    const size_t length = index->Layout(user[u]).KeyLength();
    const uint8_t* base = keys[u].data();
    const std::vector<uint32_t>& order = orders[u];
    for (size_t i = 1; i < count; ++i) {
      if (std::memcmp(base + order[i - 1] * length, base + order[i] * length, length) == 0) {
        throw EDbEngineError(kErrDuplicateKey, file_name, index->IndexName(user[u]));
      }
    }
  }

  // The slots: stored[s] is the image that goes into slot s + 1.
  std::vector<uint32_t> stored(count);
  for (size_t s = 0; s < count; ++s) stored[s] = static_cast<uint32_t>(s);
  for (size_t u = 0; u < user.size(); ++u) {
    if (user[u] == order_index) stored = orders[u];
  }
  std::vector<int32_t> slot_of(count);
  for (size_t s = 0; s < count; ++s) slot_of[stored[s]] = static_cast<int32_t>(s + 1);

  // The system index's keys (record IDs) in their order.
  std::vector<uint8_t> system_keys;
  std::vector<uint32_t> system_order;
  if (index->HasPrimaryIndex()) {
    const size_t length = index->KeyLength(TIndexFile::kSystemIndex);
    system_keys.resize(count * length);
    for (size_t i = 0; i < count; ++i) {
      std::memcpy(system_keys.data() + i * length, SysKey(false, ids[i]).data(), length);
    }
    system_order = in_key_order(TIndexFile::kSystemIndex, system_keys);
  }

  try {
    data->AppendSlots(records.data(), stored);
  } catch (...) {
    // Nothing of the images may reach the files later (a header counting
    // slots never written): the files keep what they held, or the update
    // mark that makes the next open recover them.
    AbandonUnwritten();
    throw;
  }
  for (size_t i = 0; i < count; ++i) {
    uint8_t issued[kRecordHeaderSize];
    data->IssueRecordId(issued);
  }
  std::vector<IndexTree::Entry> entries(count);
  auto build = [&](int number, const std::vector<uint8_t>& keys,
                   const std::vector<uint32_t>& order) {
    const size_t length = index->KeyLength(number);
    for (size_t i = 0; i < count; ++i) {
      entries[i] = {keys.data() + order[i] * length, slot_of[order[i]]};
    }
    index->Build(number, entries);
  };
  for (size_t u = 0; u < user.size(); ++u) build(user[u], keys[u], orders[u]);
  if (index->HasPrimaryIndex()) build(TIndexFile::kSystemIndex, system_keys, system_order);
  index->SetRecordCount(static_cast<int32_t>(count));
  where = Where::kBof;
}

// ---- TableCursor ----

std::string TableCursor::DataFileName(const TableSettings& settings) {
  if (TrimBlanks(settings.table_name).empty()) throw EDatabaseError("Missing table name.");
  return TDataFile::FileNameFor(settings.directory, settings.table_name, settings.in_memory);
}

bool TableCursor::Exists(const TableSettings& settings) {
  if (TrimBlanks(settings.table_name).empty()) return false;
  return TFileHandler::FileExists(DataFileName(settings), settings.in_memory);
}

void TableCursor::Create(const TableSettings& settings, const TableDefinition& definition) {
  CreateTableFiles(DataFileName(settings), definition, settings.in_memory);
}

TableCursor::TableCursor(TableSettings settings) : settings_(std::move(settings)) {}

TableCursor::~TableCursor() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; the files are closed regardless.
  }
}

void TableCursor::Open() {
  if (impl_) return;
  auto impl = std::make_unique<Impl>(settings_);
  impl->OpenFiles();
  impl_ = std::move(impl);
}

void TableCursor::Close() {
  if (!impl_) return;
  std::unique_ptr<Impl> impl = std::move(impl_);
  impl->CloseFiles();
}

void TableCursor::CloseDiscarding() {
  if (!impl_) return;
  std::unique_ptr<Impl> impl = std::move(impl_);
  if (impl->settings.in_memory) {
    impl->Cancel();
    impl->data->DiscardCache();
    impl->index->DiscardCache();
  }
  impl->CloseFiles();
}

bool TableCursor::IsOpen() const { return impl_ != nullptr; }

const std::vector<std::string>& TableCursor::Recovered() const { return Opened().recovered; }
bool TableCursor::IsReadOnly() const { return Opened().read_only; }
bool TableCursor::ReadOnlyByAccess() const { return Opened().read_only_by_access; }

TableCursor::Impl& TableCursor::Opened() const {
  if (!impl_) throw EDbEngineError(kErrHandle, settings_.directory + settings_.table_name);
  return *impl_;
}

const std::string& TableCursor::FileName() const {
  static const std::string kNone;
  return impl_ ? impl_->file_name : kNone;
}

const std::vector<FieldDesc>& TableCursor::Fields() const {
  static const std::vector<FieldDesc> kNone;
  return impl_ ? impl_->data->Fields() : kNone;
}

const std::vector<IndexDesc>& TableCursor::Indexes() const {
  static const std::vector<IndexDesc> kNone;
  return impl_ ? impl_->indexes : kNone;
}

bool TableCursor::HasPrimaryIndex() const { return Opened().index->HasPrimaryIndex(); }

int TableCursor::FieldNumber(std::string_view name) const {
  return Opened().data->FieldNumber(name);
}

void TableCursor::SetIndex(int index_number) {
  Impl& c = Opened();
  if (index_number < 0 || index_number > c.index->SecondaryCount()) {
    throw EDbEngineError(kErrIndexName, c.file_name, std::to_string(index_number));
  }
  c.SelectOrder(index_number);
}

void TableCursor::SetIndexByName(std::string_view name) {
  Impl& c = Opened();
  int found = TrimBlanks(name).empty() ? -1 : c.index->FindIndex(TrimBlanks(name));
  c.SelectOrder(found > 0 && found <= c.index->SecondaryCount() ? found : 0);
}

bool TableCursor::SetIndexByFields(std::string_view field_list) {
  Impl& c = Opened();
  std::vector<uint16_t> wanted;
  for (size_t start = 0; start <= field_list.size();) {
    size_t end = std::min(field_list.find(';', start), field_list.size());
    int number = c.data->FieldNumber(TrimBlanks(field_list.substr(start, end - start)));
    if (number == 0) return false;
    wanted.push_back(static_cast<uint16_t>(number));
    start = end + 1;
  }
  for (size_t i = 0; i < c.indexes.size(); ++i) {
    if (i == 0 && !c.index->HasPrimaryIndex()) continue;
    const std::vector<uint16_t>& have = c.indexes[i].fields;
    if (have.size() >= wanted.size() && std::equal(wanted.begin(), wanted.end(), have.begin())) {
      c.SelectOrder(static_cast<int>(i));
      return true;
    }
  }
  return false;
}

int TableCursor::CurrentIndex() const { return Opened().current_index; }

bool TableCursor::First() { return Opened().First(); }
bool TableCursor::Last() { return Opened().Last(); }
bool TableCursor::Next() { return Opened().Next(); }
bool TableCursor::Prior() { return Opened().Prior(); }
bool TableCursor::Bof() const { return Opened().where == Impl::Where::kBof; }
bool TableCursor::Eof() const { return Opened().where == Impl::Where::kEof; }
bool TableCursor::HasRecord() const { return Opened().where == Impl::Where::kOn; }
int64_t TableCursor::RecordCount() { return Opened().RecordCount(); }
int64_t TableCursor::RecordNumber() { return Opened().RecordNumber(); }
bool TableCursor::SetRecordNumber(int64_t ordinal) { return Opened().SetRecordNumber(ordinal); }

int32_t TableCursor::PhysicalRecordNumber() const {
  const Impl& c = Opened();
  return c.where == Impl::Where::kOn ? c.record_number : 0;
}

int32_t TableCursor::RecordId() const {
  const Impl& c = Opened();
  return c.where == Impl::Where::kOn ? IdOf(c.record.data()) : 0;
}

bool TableCursor::FindKey(std::span<const FieldValue> values) { return Opened().FindKey(values); }

void TableCursor::SetRange(std::span<const FieldValue> start, std::span<const FieldValue> end) {
  Opened().SetRange(start, end);
}

void TableCursor::CancelRange() { Opened().has_range = false; }

bool TableCursor::Locate(std::span<const int> field_numbers, std::span<const FieldValue> values,
                         bool case_insensitive, bool partial) {
  return Opened().Locate(field_numbers, values, case_insensitive, partial);
}

void TableCursor::SetFilter(RecordFilter filter) { Opened().filter = std::move(filter); }

FieldValue TableCursor::GetField(int number) const {
  const Impl& c = Opened();
  const std::vector<FieldDesc>& fields = c.data->Fields();
  if (number < 1 || static_cast<size_t>(number) > fields.size()) {
    throw EDbEngineError(kErrInvalidField, c.file_name, std::to_string(number));
  }
  if (c.state != CursorState::kBrowse) {
    // A new record has no record ID (and so no autoinc value) until posted.
    if (c.state == CursorState::kInsert && fields[number - 1].IsAutoInc()) {
      return FieldValue::Null();
    }
    return c.data->GetField(number, c.edit.data());
  }
  if (c.where != Impl::Where::kOn) return FieldValue::Null();
  return c.data->GetField(number, c.record.data());
}

FieldValue TableCursor::GetField(int number, const uint8_t* record) const {
  return Opened().data->GetField(number, record);
}

void TableCursor::Scan(const std::function<void(const uint8_t* record)>& visit) {
  Opened().Scan(visit);
}

void TableCursor::ScanSlots(const std::function<void(const uint8_t* record)>& visit) {
  Opened().ScanSlots(visit);
}

const uint8_t* TableCursor::CurrentRecord() const {
  const Impl& c = Opened();
  return c.where == Impl::Where::kOn ? c.record.data() : nullptr;
}

CursorState TableCursor::State() const { return Opened().state; }
void TableCursor::Append() { Opened().Append(); }
void TableCursor::Edit() { Opened().Edit(); }

void TableCursor::SetField(int number, const FieldValue& value) {
  Impl& c = Opened();
  if (c.state == CursorState::kBrowse) throw EDatabaseError(kNotEditing);
  c.data->SetField(number, value, c.edit.data());
}

void TableCursor::AppendAll(std::vector<uint8_t> images, int order_index) {
  Opened().AppendAll(std::move(images), order_index);
}

std::vector<uint8_t> TableCursor::NewRecord() const {
  const Impl& c = Opened();
  std::vector<uint8_t> image(c.data->RecordSize());
  c.data->InitNewRecord(image.data());
  return image;
}

void TableCursor::SetField(int number, const FieldValue& value, uint8_t* image) const {
  Opened().data->SetField(number, value, image);
}

void TableCursor::CopyField(int number, const TableCursor& source, int source_number,
                            const uint8_t* source_record, uint8_t* image) const {
  Opened().data->CopyField(number, *source.Opened().data, source_number, source_record, image);
}

void TableCursor::CopyField(int number, const TableCursor& source, int source_number,
                            const uint8_t* source_record) {
  Impl& c = Opened();
  if (c.state == CursorState::kBrowse) throw EDatabaseError(kNotEditing);
  c.data->CopyField(number, *source.Opened().data, source_number, source_record, c.edit.data());
}

void TableCursor::Post() { Opened().Post(); }
void TableCursor::Cancel() { Opened().Cancel(); }
void TableCursor::Delete() { Opened().Delete(); }
void TableCursor::EmptyTable() { Opened().EmptyTable(); }

std::vector<std::string> TableCursor::CheckIntegrity() {
  Impl& c = Opened();
  if (!c.locks->Enabled() && !c.read_only) {
    // Deferred writes first, so that the files say what the handle knows.
    if (c.WritesAlone()) {
      c.FlushAlone();
    } else {
      c.data->FlushBuffers(false);
      c.index->FlushBuffers(false);
    }
  }
  Impl::LockScope lock(c, Impl::LockScope::kRead);
  return CheckTableIntegrity(*c.data, *c.index);
}

}  // namespace quoldex::tables
