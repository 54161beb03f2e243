#include "tables/storage/table_locks.h"

#include "tables/base/engine_error.h"
#include "tables/storage/storage.h"

namespace quoldex::tables {
namespace {

void BusyWait(int ms) {
  Storage& system = DiskStorage();
  const int64_t start = system.MonotonicMs();
  while (system.MonotonicMs() - start <= ms) system.Yield();
}

// A seed for a handle's read-lock byte draws. Each thread seeds a generator
// of its own once, from its thread id (distinct from every other live
// thread's of the machine, so that handles of different processes draw
// apart) and the clock, and draws its handles' seeds from it.
uint32_t HandleSeed() {
  thread_local std::mt19937 seeds = [] {
    Storage& system = DiskStorage();
    const uint64_t thread = system.CurrentThreadId();
    const auto now = static_cast<uint64_t>(system.MonotonicMs());
    std::seed_seq seq{static_cast<uint32_t>(thread), static_cast<uint32_t>(thread >> 32),
                      static_cast<uint32_t>(now), static_cast<uint32_t>(now >> 32)};
    return std::mt19937(seq);
  }();
  return static_cast<uint32_t>(seeds());
}

}  // namespace

TableLocks::TableLocks(TFileHandler& data, TFileHandler& index, bool enabled, int lock_retry_count,
                       int lock_wait_time_ms)
    : data_(data),
      index_(index),
      enabled_(enabled),
      lock_retry_count_(lock_retry_count < 0 ? 0 : lock_retry_count),
      lock_wait_time_ms_(lock_wait_time_ms < 0 ? 0 : lock_wait_time_ms),
      rng_(HandleSeed()) {}

TableLocks::~TableLocks() { ReleaseAll(); }

bool TableLocks::TryRepeatedly(TFileHandler& file, uint64_t offset, uint64_t length, int tries,
                               int pause_ms, bool busy_wait) {
  for (int i = 0; i < tries; ++i) {
    if (i > 0) {
      if (busy_wait)
        BusyWait(pause_ms);
      else
        DiskStorage().Sleep(pause_ms);
    }
    if (file.Lock(offset, length)) return true;
  }
  return false;
}

bool TableLocks::AcquireReadLock() {
  if (!enabled_ || write_locked_ || read_byte_ != 0) return false;
  std::uniform_int_distribution<uint64_t> pick(1, 65534);
  for (int i = 0; i < kProtocolTries; ++i) {
    if (i > 0) DiskStorage().Sleep(kProtocolPauseMs);
    uint64_t byte = kUpdateByte - pick(rng_);
    if (index_.Lock(byte, 1)) {
      read_byte_ = byte;
      return true;
    }
  }
  throw EDbEngineError(kErrLockFailure, data_.ErrorName());
}

void TableLocks::ReleaseReadLock() {
  if (read_byte_ == 0) return;
  uint64_t byte = read_byte_;
  read_byte_ = 0;
  index_.Unlock(byte, 1);
}

bool TableLocks::AcquireWriteLock() {
  if (!enabled_ || write_locked_) return false;
  // The read lock's byte lies inside the index region; give it up first so
  // that releasing it later cannot punch a hole into the write lock.
  ReleaseReadLock();
  if (!TryRepeatedly(data_, kUpdateByte, 1, kProtocolTries, kProtocolPauseMs, true))
    throw EDbEngineError(kErrLockFailure, data_.ErrorName());
  bool index_locked = false;
  try {
    index_locked = TryRepeatedly(index_, kIndexRegion, kIndexRegionLength, kProtocolTries,
                                 kProtocolPauseMs, false);
  } catch (...) {
    // The system refused the index part outright: the data part goes too.
    data_.Unlock(kUpdateByte, 1);
    throw;
  }
  if (!index_locked) {
    data_.Unlock(kUpdateByte, 1);
    throw EDbEngineError(kErrLockFailure, data_.ErrorName());
  }
  write_locked_ = true;
  return true;
}

void TableLocks::ReleaseWriteLock() {
  if (!write_locked_) return;
  write_locked_ = false;
  index_.Unlock(kIndexRegion, kIndexRegionLength);
  data_.Unlock(kUpdateByte, 1);
}

bool TableLocks::LockRecord(int32_t record_number) {
  if (!enabled_ || table_locked_ || record_locks_.count(record_number)) return false;
  uint64_t byte = kRecordLockBase - static_cast<uint64_t>(record_number);
  if (!TryRepeatedly(data_, byte, 1, 1 + lock_retry_count_, lock_wait_time_ms_, true))
    throw EDbEngineError(kErrRecordLocked, data_.ErrorName());
  record_locks_.insert(record_number);
  return true;
}

void TableLocks::UnlockRecord(int32_t record_number) {
  if (!record_locks_.erase(record_number)) return;
  data_.Unlock(kRecordLockBase - static_cast<uint64_t>(record_number), 1);
}

void TableLocks::UnlockAllRecords() {
  while (!record_locks_.empty()) UnlockRecord(*record_locks_.begin());
}

bool TableLocks::HoldsRecordLock(int32_t record_number) const {
  return table_locked_ || record_locks_.count(record_number) > 0;
}

bool TableLocks::LockTable() {
  if (!enabled_ || table_locked_) return false;
  // Record locks this handle holds lie inside the table region; the table
  // lock supersedes them.
  UnlockAllRecords();
  if (!TryRepeatedly(data_, kTableLockOffset, kTableLockLength, 1 + lock_retry_count_,
                     lock_wait_time_ms_, true))
    throw EDbEngineError(kErrTableLocked, data_.ErrorName());
  table_locked_ = true;
  return true;
}

void TableLocks::UnlockTable() {
  if (!table_locked_) return;
  table_locked_ = false;
  data_.Unlock(kTableLockOffset, kTableLockLength);
}

void TableLocks::ReleaseAll() noexcept {
  try {
    UnlockAllRecords();
  } catch (...) {
    record_locks_.clear();
  }
  try {
    UnlockTable();
  } catch (...) {
  }
  try {
    ReleaseWriteLock();
  } catch (...) {
  }
  try {
    ReleaseReadLock();
  } catch (...) {
  }
}

}  // namespace quoldex::tables
