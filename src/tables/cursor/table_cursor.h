// TableCursor: one open handle on a table (its data file and index file),
// carrying out every table operation with the multi-user lock protocol,
// change detection and the flush rule. The component layer (TDbTable and
// its field objects) and the query engine sit on top of it; nothing above
// touches the files directly.
//
// Positioning. The cursor walks the leaf level of its current index (0 =
// primary, 1.. = secondary indexes in creation order), restricted to the
// active range and skipping records the active filter refuses. It stands on
// one record, or before the first (Bof) or after the last (Eof). Its
// position is remembered by key, so that after another user's change
// (noticed through the header change counters whenever a lock is taken, or
// at every positioning with strict change detection) it returns to the same
// key or the next one.
//
// Changing. Append starts a new record in the edit buffer, zero-filled then
// given the stored default values; Edit takes the current record's lock and
// copies it into the edit buffer; SetField changes the edit buffer; Post stores
// it under the write lock (all checks first: required fields kErrRequired,
// bounds kErrBelowMinimum/kErrAboveMaximum, unique keys kErrDuplicateKey; a
// refused post changes nothing, keeps the edit buffer and the state, and
// releases the write lock); Cancel discards it and releases the record lock.
// Delete removes the current record. On a table opened shared every change ends
// with the flush rule: dirty records, data header (always written, so its
// counter moves), dirty index pages and index header, before the write lock is
// released. On an exclusive table writes are deferred until the caches need
// room or Close.
//
// Errors are EDbEngineError with the codes and texts of the engine, naming
// the data file as opened (with its directory). Every lock is released on
// every error path.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tables/base/table_defs.h"
#include "tables/records/field_value.h"

namespace quoldex::tables {

class TDataFile;
class TIndexFile;
class TableLocks;

struct TableSettings {
  std::string directory;   // the database folder; empty or ending in '/'
  std::string table_name;  // extension replaced by ".DAT", case-insensitive match
  bool exclusive = false;
  bool read_only = false;
  bool strict_change_detection = false;
  bool force_buffer_flush = false;  // files opened write-through
  // The files live in the process's memory (file_handler.h), named by the
  // directory and table name as spelled. Creating, opening and everything
  // done through an open cursor work alike; restructuring and repair work
  // on files on disk only.
  bool in_memory = false;
  int lock_retry_count = 15;
  int lock_wait_time = 100;  // milliseconds
};

// Everything a table is created or restructured with. Fields carry number
// (position), name, type, subtype, size, required, and the minimum, maximum
// and default texts; indexes[0] is the primary index (its name ignored; no
// fields = no primary index), the rest are secondary indexes in order, their
// fields given by field number.
struct TableDefinition {
  std::vector<FieldDesc> fields;
  std::vector<IndexDesc> indexes;
  std::string description;
  uint32_t blob_block_size = 512;
};

enum class CursorState { kBrowse, kEdit, kInsert };

class TableCursor {
 public:
  // Full name of the table's data file (see TDataFile::FileNameFor). An
  // empty table name raises EDatabaseError "Missing table name.".
  static std::string DataFileName(const TableSettings& settings);
  // True when the table's data file exists; false for an empty table name.
  static bool Exists(const TableSettings& settings);
  // Creates the data and index files, replacing existing ones. All
  // definitions are validated (fields, then indexes) before any file is
  // written; on failure nothing is created.
  static void Create(const TableSettings& settings, const TableDefinition& definition);

  explicit TableCursor(TableSettings settings);
  ~TableCursor();  // closes; errors are lost
  TableCursor(const TableCursor&) = delete;
  TableCursor& operator=(const TableCursor&) = delete;

  const TableSettings& Settings() const { return settings_; }

  // Opens data and index file with the sharing and access modes of the
  // settings, runs the consistency checks (the file-length check under a read
  // lock), selects the primary index and stands before the first record.
  // Open-file failures map to kErrPath, kErrTooManyFiles, kErrAccessDenied, ...
  void Open();
  // Cancels a pending edit or insert, releases every lock, writes what is
  // deferred and closes the files.
  void Close();
  // Closes as Close does, except that for a table in memory what the caches
  // hold back is dropped instead of written: for a private table whose
  // files are thrown away with it (a query result). A table on disk is
  // closed as Close does, so that its files stay whole.
  void CloseDiscarding();
  bool IsOpen() const;

  // What this handle recovered: a table left mid-change by a writer that
  // died (or a data file cut inside its last slot) is rebuilt from its
  // record slots when it is opened, or when this handle next takes the
  // write lock, keeping every complete record with its record ID (see
  // table_recovery.h); one line per thing mended, empty when nothing was.
  // A table opened read-only is never recovered.
  const std::vector<std::string>& Recovered() const;
  // True when the table cannot be changed through this handle: opened
  // read-only, or its files could not be opened for writing (then
  // ReadOnlyByAccess() too). Every change then fails with kErrAccessDenied.
  bool IsReadOnly() const;
  bool ReadOnlyByAccess() const;

  // The data file name as opened (with its directory), used in messages.
  const std::string& FileName() const;
  const std::vector<FieldDesc>& Fields() const;
  // indexes[0] is the primary index; then the secondary indexes.
  const std::vector<IndexDesc>& Indexes() const;
  bool HasPrimaryIndex() const;
  // Field number (1-based) by name ignoring case; 0 when none.
  int FieldNumber(std::string_view name) const;

  // ---- Current index ----
  // By number (0 primary). By name ignoring case; empty or no match selects
  // the primary index. By field list ("A;B", names ignoring case): the first
  // index whose leading fields are exactly those; false when none. Changing
  // the index cancels the range and keeps the current record.
  void SetIndex(int index_number);
  void SetIndexByName(std::string_view name);
  bool SetIndexByFields(std::string_view field_list);
  int CurrentIndex() const;

  // ---- Navigation (skips filtered records, stays inside the range) ----
  // Each returns true when the cursor stands on a record afterwards.
  bool First();
  bool Last();
  bool Next();   // at the last record: Eof, returns false
  bool Prior();  // at the first record: Bof, returns false
  bool Bof() const;
  bool Eof() const;
  bool HasRecord() const;  // neither Bof nor Eof
  // Number of index entries inside the range (the whole index without one),
  // from ordinal positions; the filter is not applied.
  int64_t RecordCount();
  // 1-based ordinal of the current record in the current index and range;
  // 0 when not on a record. SetRecordNumber positions by ordinal.
  int64_t RecordNumber();
  bool SetRecordNumber(int64_t ordinal);
  // The current record's physical slot number and record ID.
  int32_t PhysicalRecordNumber() const;
  int32_t RecordId() const;

  // ---- Searching ----
  // Exact match of the given leading fields of the current index (the
  // index's case rule applies). Found: stands on the first such record.
  // Not found: the position is unchanged.
  bool FindKey(std::span<const FieldValue> values);
  // Restricts the current index to keys between start and end inclusive,
  // comparing only the leading parts given; stands before the first.
  void SetRange(std::span<const FieldValue> start, std::span<const FieldValue> end);
  void CancelRange();
  // First record (in the current order when a scan is needed) whose fields
  // equal the values: through the current index or another fitting index
  // when one exists, else by a scan. Case-insensitive and partial (the last
  // field's value is a prefix) options. Found: stands on it; not found:
  // position unchanged.
  bool Locate(std::span<const int> field_numbers, std::span<const FieldValue> values,
              bool case_insensitive, bool partial);
  // The filter navigation applies: a predicate over a record buffer (record
  // slot layout, valid during the call), or empty for none. It may run under
  // the table's read lock and must not use this cursor. Setting it does not
  // move the cursor.
  using RecordFilter = std::function<bool(const uint8_t* record)>;
  void SetFilter(RecordFilter filter);

  // ---- Scanning ----
  // Hands `visit` every record that First and then Next until Eof would stand
  // on (the current order inside the range, filtered records left out,
  // kErrRecordNotFound for a deleted slot the order names), in that order, and
  // leaves the cursor at Eof. Unlike such a walk, a shared table is read under
  // one read lock for the whole scan, so the records all come from one state of
  // the table, and they are read in large sorted runs instead of one cache miss
  // at a time (or in place, where the data file can be mapped), leaving the
  // caches as they were. `visit` gets a record's bytes (record slot layout,
  // valid during the call) and must not use this cursor. `expect`, when
  // given, is first told under the same lock how many entries the walk
  // covers (RecordCount: the range's, filtered records included), so that
  // a caller can make room for them without a lock of its own.
  void Scan(const std::function<void(const uint8_t* record)>& visit,
            const std::function<void(int64_t entries)>& expect = nullptr);
  // Scan over the whole table in slot order instead of an index's: every
  // record that is not deleted (filtered records left out), read as Scan
  // reads them, under one read lock, leaving the cursor at Eof. A sound
  // table's records all have their index entries, so these are the records
  // a Scan without a range hands out, without reading any index page.
  // std::logic_error when a range is set (only an index can give a range).
  void ScanSlots(const std::function<void(const uint8_t* record)>& visit);

  // ---- Reading ----
  // Field `number` of the edit buffer in edit or insert state, else of the
  // current record (null when not on a record).
  FieldValue GetField(int number) const;
  // Field `number` of `record`, a record of this table (as Scan hands out).
  FieldValue GetField(int number, const uint8_t* record) const;
  // The current record's bytes (record slot layout) or nullptr.
  const uint8_t* CurrentRecord() const;

  // ---- Changing ----
  CursorState State() const;
  // kErrAccessDenied when read-only. New record with default values; nothing
  // locked. A pending edit or insert is cancelled first.
  void Append();
  // Fills an empty table opened exclusively with `images` (record images of
  // RecordSize() bytes side by side, built with NewRecord, SetField and
  // CopyField on an image; their 9-byte headers are ignored): the records
  // Append and Post of each in turn would store, with the same slots and record
  // IDs, the index entries put in in key order rather than one record at a
  // time, the slots written together past the record cache. With `order_index`
  // (a user index's number, 0 the primary) the slots are taken in that index's
  // order instead (equal keys in the given order), so that reading in that
  // order reads the slots front to back; the record IDs stay those of the given
  // order. A record that fails validation or a key a unique index already holds
  // among them fails as Post would, with nothing changed; a file that runs full
  // part-way (kErrFileFull) leaves a table to throw away. kErrNotExclusive when
  // not open exclusively, std::invalid_argument when the table is not empty,
  // the images are not whole records or `order_index` names no user index. The
  // cursor ends at Bof.
  void AppendAll(std::vector<uint8_t> images, int order_index = -1);
  // A new record image with the default values (for AppendAll).
  std::vector<uint8_t> NewRecord() const;
  // SetField and CopyField on a record image instead of the edit buffer.
  void SetField(int number, const FieldValue& value, uint8_t* image) const;
  void CopyField(int number, const TableCursor& source, int source_number,
                 const uint8_t* source_record, uint8_t* image) const;
  // Record lock on the current record (kErrRecordLocked after the retries),
  // copied into the edit buffer. Not on a record: kErrBof at Bof or kErrEof at
  // Eof. kErrRecordNotFound when another user has deleted the record meanwhile.
  // Nothing in edit or insert state. Moving the cursor leaves the edit buffer
  // alone: Post stores the record that was edited.
  void Edit();
  // Changes the edit buffer (strings cut to the column size, trailing blanks
  // removed). EDatabaseError "Dataset not in edit or insert mode" in browse.
  void SetField(int number, const FieldValue& value);
  // SetField(number, source.GetField(source_number, source_record)) for a
  // record of `source` (as its Scan hands out), carrying stored bytes over
  // where both fields keep the value alike.
  void CopyField(int number, const TableCursor& source, int source_number,
                 const uint8_t* source_record);
  // Stores the edit buffer; the cursor then stands on the stored record. A
  // refused modify keeps the edit's record lock (Cancel releases it).
  void Post();
  void Cancel();
  // Removes the current record (in edit state: the record being edited) and
  // stands on the next one (or Eof). In insert state it only cancels.
  void Delete();
  // Removes every record (kErrNotExclusive unless exclusive).
  void EmptyTable();

  // ---- Checking ----
  // Verifies that the data file and every index agree: each active record
  // has exactly its keys in every index, counts match the active records,
  // the system index names every slot, the deleted chain is sound, and every
  // index page belongs to exactly one tree or free chain with correct counts
  // and ordering. Returns one line per finding; empty when sound. Runs under
  // a read lock.
  std::vector<std::string> CheckIntegrity();

 private:
  struct Impl;
  // The open handle's state; EDbEngineError kErrHandle when the cursor is
  // closed.
  Impl& Opened() const;

  TableSettings settings_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quoldex::tables
