// The state behind one TableCursor. Private to the table cursor's units.
//
// Position: the cursor's own record of where it stands (before the first,
// on a record, after the last), with the record's key in the current order,
// its slot number and a copy of its bytes. The index file's cursor is only a
// tool: every step starts again from the remembered key, so another user's
// change (or another use of the index file's cursor) never moves it.
//
// Reading: a handle that browses a shared table works from its caches
// without a lock. With StrictChangeDetection off, the first read from disk
// in a step takes the read lock and compares the change counters: unchanged,
// the step goes on under the lock; changed, it raises CacheMiss and the step
// runs again (still under the lock) after change detection, on refreshed
// caches. Images kept on the files' shelves serve a miss without a read
// only while the counters are unchanged (checked once per step, without the
// lock where the files' counters are watched through a mapping, else by the
// miss under the lock). With
// StrictChangeDetection on, every step runs under the read lock. Steps
// therefore change the position only when they succeed.
//
// A locate compares the records its search finds where the record cache
// holds them (a buffer, or a kept image under the same rule as above)
// instead of pulling each into a buffer: most of them are looked at once,
// and a copy into a buffer would cost more than the look.
#pragma once

#include <climits>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_files.h"
#include "tables/cursor/table_locate.h"
#include "tables/cursor/table_order.h"
#include "tables/records/data_file_record.h"
#include "tables/storage/table_locks.h"

namespace quoldex::tables {

struct TableCursor::Impl : public ReadHook, public ShelfGate {
  enum class Where { kBof, kOn, kEof };
  // Slots read ahead at most per batch of a walk in index order.
  static constexpr size_t kIndexReadAhead = 128;

  explicit Impl(const TableSettings& s) : settings(s) {}

  static constexpr const char* kNotEditing = "Dataset not in edit or insert mode";
  // The record ID in a record buffer (the cursor's own RecordId() hides it).
  static int32_t IdOf(const uint8_t* record) { return tables::RecordId(record); }
  static int32_t NextRecordId(int32_t last) { return last == INT32_MAX ? 1 : last + 1; }

  // ---- Files and locks ----
  // Opens the files; a table left mid-change (table_recovery.h) is
  // recovered under the write lock first, unless opened read-only.
  void OpenFiles();
  void OpenFilesOnce();
  // Opens, read-only, a table that carries a dead writer's update mark and
  // cannot be recovered by this handle (read-only by settings or by access):
  // readable as it is when its records and indexes agree; kErrIndexPagesCorrupt
  // with the reason otherwise.
  void OpenMarkedForReading();
  // Forgets the files without writing anything (after a failed open).
  void DropFiles() noexcept;
  void CloseFiles();
  void RequireWritable() const;
  // True when a file's change counter differs from the one this handle
  // knows.
  bool CountersMoved() const;
  // Refreshes caches and headers from the change counters (the caller holds
  // a read or write lock).
  void DetectChanges();
  // DetectChanges under the read lock; a dead writer's update mark found
  // there is recovered under the write lock first (unless read-only).
  void DetectChangesRecovering();
  // Runs a positioning step by the reading rule above.
  template <typename Step>
  auto Reading(Step&& step) -> decltype(step());
  // ReadHook: a read from disk during an unlocked step.
  void BeforeRead() override;
  // ReadHook: before a write to the index file (sets the update mark).
  void BeforeWrite() override;
  // ReadHook: before a write to the data file (sets the update mark of a
  // table held alone, whose changes go out unbracketed by a write lock).
  void BeforeDataWrite() override;
  // Whether this handle holds the table alone for writing: its deferred
  // writes are one change from the first to Close.
  bool WritesAlone() const;
  // Writes out the deferred changes of a table held alone, bracketed by
  // the update mark, and leaves the files durable and unmarked.
  void FlushAlone();
  // ShelfGate: may kept images serve a miss now?
  bool ShelfUsable() override;
  // Leaves the step: disarms and releases a lock the step took.
  void EndStep() noexcept;

  class LockScope;
  class RecordLockScope;
  class Changes;
  class StoredRecord;

  // ---- Position ----
  void SelectOrder(int index_number);
  bool HasIndexOrder() const { return current_index != 0 || index->HasPrimaryIndex(); }
  // How much a miss on slot `number` reads ahead: the run of the order when
  // walking `forward` and the slot is not cached, else nothing.
  ReadAhead ReadAheadFor(int32_t number, bool forward);
  // Slots a walk reads ahead per batch: as many as the record cache can
  // spare, at most kIndexReadAhead.
  size_t ReadAheadLimit() const;
  // Before a walk in index order fetches or filters slot `number`, going
  // in `direction` (+1/-1): unless the record cache holds it (HeldRecord),
  // reads it and the slots that the entries beyond it in that direction
  // name (within the range, at most ReadAheadLimit in all) into the cache
  // under one read lock. The walk then
  // takes the lock once per batch instead of once per record; the batch is
  // as fresh as any miss, and the next miss checks the counters again.
  void ReadAheadInIndexOrder(int32_t number, int direction);
  // Before a walk backward in physical order steps on from slot `number`:
  // unless the record cache holds the slot below it, reads the slots below
  // (at most ReadAheadLimit) under one read lock. A walk forward needs
  // none: a miss there reads the slots after it.
  void ReadAheadBehindInPhysicalOrder(int32_t number);
  // The read-ahead of a walk in the current order and `direction`.
  void ReadAheadInWalk(int32_t number, int direction);
  // Copies slot `number` (deleted or not) into `out`.
  void ReadStored(int32_t number, std::vector<uint8_t>& out, bool forward = false);
  bool BelowRange(const uint8_t* key) const;
  bool AboveRange(const uint8_t* key) const;
  // Walks the order from where it stands in `direction` (+1/-1) to the first
  // entry inside the range that passes the filter; stands on it, or at the
  // end in that direction.
  bool Settle(bool on_entry, int direction);
  // Slot `number` (deleted or not) for the filter of a walk in `direction`
  // to test, never the cache's own bytes (the filter is the caller's code)
  // nor the file where another instance may be writing it: a copy in
  // `scratch` of what the record cache holds; else the slot where it lies
  // in the mapped data file, under the read lock for the rest of the step
  // (`mapped`, kept by the walk, holds the mapping; a slot the filter
  // refuses is then never copied at all); else a copy read into the cache
  // with the walk's read-ahead. `ahead`: a slot the walk will soon test
  // (0 for none), fetched from memory now when it is mapped. Valid until
  // the next use of the data file or of `scratch`, or as long as `mapped`.
  struct MappedSlots {
    FileView view;
    bool tried = false;
  };
  const uint8_t* SlotForFilter(int32_t number, int direction, int32_t ahead, MappedSlots& mapped);
  bool SeekAfterCurrent();
  bool SeekBeforeCurrent();
  bool SeekLastInRange();
  // Slot `number` (deleted or not) for a look that compares and positions:
  // the record cache's bytes in place when it holds them (a buffer, or a
  // kept image the shelf may hand out now) and no filter is set, else a
  // copy read as ReadStored reads it. Valid until the next use of the data
  // file or of `scratch`.
  const uint8_t* RecordToCompare(int32_t number);
  // The key a record has in the current order.
  std::vector<uint8_t> OrderKey(const uint8_t* record, int32_t number) const;
  // OrderKey into `out`, reusing its storage.
  void OrderKeyInto(const uint8_t* record, int32_t number, std::vector<uint8_t>& out) const;
  void StandOn(std::span<const uint8_t> key, int32_t number, const uint8_t* record);

  bool First();
  bool Last();
  bool Next();
  bool Prior();
  int64_t EntriesBeforeRange();
  int64_t RecordCount();
  int64_t RecordNumber();
  bool SetRecordNumber(int64_t ordinal);
  bool FindKey(std::span<const FieldValue> values);
  void SetRange(std::span<const FieldValue> start, std::span<const FieldValue> end);
  bool Locate(std::span<const int> field_numbers, std::span<const FieldValue> values,
              bool case_insensitive, bool partial);
  void Scan(const std::function<void(const uint8_t* record)>& visit,
            const std::function<void(int64_t entries)>& expect);
  void ScanSlots(const std::function<void(const uint8_t* record)>& visit);

  // ---- Changing ----
  void Append();
  void Edit();
  void Post();
  void PostInsert();
  void PostEdit();
  void Cancel();
  void Delete();
  void EmptyTable();
  void AppendAll(std::vector<uint8_t> records, int order_index);
  // The flush rule of a shared table after a change. When a write fails,
  // the handle's caches are dropped (AbandonUnwritten) and the error raised.
  void FlushShared(bool index_header);
  void WriteShared(bool index_header);
  // Forgets every change not yet written and makes the next lock read the
  // headers again.
  void AbandonUnwritten() noexcept;
  // Holding the write lock: recovers the table when the update mark is set.
  void RecoverUnderWriteLock();

  const TableSettings& settings;
  std::string file_name;
  bool armed = false;            // in an unlocked step: reads from disk take the lock
  bool step_checked = false;     // the counters were found unchanged in this step
  bool step_locked = false;      // this step took the read lock
  bool unlocked_checks = false;  // the counters can be read without the lock
  bool read_only = false;
  bool read_only_by_access = false;  // the files could not be opened for writing
  bool stale = false;  // the caches may differ from the files: reload at the next lock
  bool marked = false;
  // Opened read-only on a dead writer's mark (OpenMarkedForReading).
  bool accept_update_mark = false;  // this handle set the update mark of its change in progress
  // What recoveries by this handle mended (at open, or under a write lock
  // after another writer died), one line each.
  std::vector<std::string> recovered;
  std::unique_ptr<GuardedDataFile> data;
  std::unique_ptr<GuardedIndexFile> index;
  std::unique_ptr<TableLocks> locks;
  std::vector<IndexDesc> indexes;

  int current_index = 0;
  std::unique_ptr<RecordOrder> order;
  bool has_range = false;
  std::vector<uint8_t> range_lo, range_hi;
  size_t range_lo_length = 0, range_hi_length = 0;
  RecordFilter filter;

  Where where = Where::kBof;
  std::vector<uint8_t> key;
  int32_t record_number = 0;
  std::vector<uint8_t> record;

  CursorState state = CursorState::kBrowse;
  std::vector<uint8_t> edit;
  int32_t edit_record = 0;

  std::vector<uint8_t> scratch;
  std::vector<int32_t> upcoming;
  std::vector<int32_t> index_ahead;  // the read-ahead's slot numbers
  // Kept between locates for their storage (Locate).
  LocateTarget locate_target;
  std::vector<uint8_t> locate_key;
  std::vector<uint8_t> locate_order_key;
};

}  // namespace quoldex::tables
