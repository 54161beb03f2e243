// The scopes the table cursor's units work in: the table's read or write
// lock with change detection, a record's lock, the undo log of one change,
// and a positioning step under the reading rule (table_cursor_impl.h).
// Private to the table cursor's units.
#pragma once

#include <cstdint>
#include <vector>

#include "tables/cursor/table_cursor_impl.h"
#include "tables/cursor/table_files.h"

namespace quoldex::tables {

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

}  // namespace quoldex::tables
