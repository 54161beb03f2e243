// The multi-user lock protocol of one open table: byte-range locks on its
// data and index files, far beyond the data.
//
//   read lock        index file, byte 2147483647 - r (r random in 1..65534,
//                    drawn anew each try), up to 8193 tries 3 ms apart
//                    (sleeping), else kErrLockFailure
//   write lock       data file update byte 2147483647 (3 ms busy-wait
//                    pauses), then index file bytes 2147418112..+65535
//                    (3 ms sleeps); up to 8193 tries each, else kErrLockFailure
//   record lock      data file byte 2147483646 - record number,
//                    1 + LockRetryCount tries LockWaitTime ms apart (busy
//                    wait), else kErrRecordLocked
//   table lock       data file bytes 2047483645..+100000001, same tries,
//                    else kErrTableLocked
//
// The write lock covers every read-lock byte, so it excludes all readers and
// other writers; readers never exclude each other. No lock is taken when the
// table is open exclusively or read-only by attribute: the sharing mode
// already keeps everyone else out. A lock this handle already holds is not
// taken again, and a record lock is not taken while the table lock is held.
// Busy waiting polls the monotonic millisecond clock (yielding the processor
// between polls) until more than the pause has passed.
#pragma once

#include <cstdint>
#include <random>
#include <set>

#include "tables/storage/file_handler.h"

namespace quoldex::tables {

class TableLocks {
 public:
  static constexpr uint64_t kUpdateByte = 2147483647ull;
  static constexpr uint64_t kIndexRegion = 2147418112ull;
  static constexpr uint64_t kIndexRegionLength = 65535;
  static constexpr uint64_t kRecordLockBase = 2147483646ull;
  static constexpr uint64_t kTableLockOffset = 2047483645ull;
  static constexpr uint64_t kTableLockLength = 100000001ull;
  static constexpr int kProtocolTries = 8193;
  static constexpr int kProtocolPauseMs = 3;

  // Both files must stay alive and open while locks are held. `enabled`
  // false (exclusive or read-only-by-attribute tables) makes every call a
  // no-op that succeeds.
  TableLocks(TFileHandler& data, TFileHandler& index, bool enabled, int lock_retry_count,
             int lock_wait_time_ms);
  ~TableLocks();  // releases whatever is still held
  TableLocks(const TableLocks&) = delete;
  TableLocks& operator=(const TableLocks&) = delete;

  bool Enabled() const { return enabled_; }

  // Returns true when this call took the lock (the caller must release
  // it); false when it was already held by this handle (a write lock
  // implies the read lock) or locking is disabled.
  bool AcquireReadLock();
  void ReleaseReadLock();
  bool AcquireWriteLock();
  void ReleaseWriteLock();
  bool HoldsReadLock() const { return read_byte_ != 0; }
  bool HoldsWriteLock() const { return write_locked_; }

  // Returns true when this call took the lock.
  bool LockRecord(int32_t record_number);
  void UnlockRecord(int32_t record_number);
  void UnlockAllRecords();
  bool HoldsRecordLock(int32_t record_number) const;

  bool LockTable();
  void UnlockTable();
  bool HoldsTableLock() const { return table_locked_; }

  // Releases every lock this handle holds; never throws (for error paths).
  void ReleaseAll() noexcept;

 private:
  bool TryRepeatedly(TFileHandler& file, uint64_t offset, uint64_t length, int tries,
                     int pause_ms, bool busy_wait);

  TFileHandler& data_;
  TFileHandler& index_;
  bool enabled_;
  int lock_retry_count_;
  int lock_wait_time_ms_;
  uint64_t read_byte_ = 0;  // offset of the held read-lock byte, 0 when none
  bool write_locked_ = false;
  bool table_locked_ = false;
  std::set<int32_t> record_locks_;
  std::minstd_rand rng_;
};

}  // namespace quoldex::tables
