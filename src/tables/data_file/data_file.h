// TDataFile: a table's data file (".DAT").
//
// Layout, with no padding: the 127-byte header (data_file_header.h), one
// 768-byte descriptor per field (field_descriptor.h), then the record slots;
// slot n starts at 127 + 768 × field count + (n - 1) × record size, and the
// file is always exactly as long as its next record number says.
//
// The object loads header and descriptors at open, hands out record slots
// through its record cache (record_cache.h), allocates slots with the
// deleted-record chain, encodes field values (field_codec.h) and writes the
// header by the rule: a write that is forced, or happens because the header
// was modified, adds 1 to the change counter, stamps the local time, writes
// the 127 bytes (byte 113 still 1 when modified) and clears the flag.
//
// The table layer composes this file with the index file, takes the locks
// and decides when to flush; nothing here takes a lock. Errors are
// EDbEngineError naming this file.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tables/base/table_defs.h"
#include "tables/data_file/data_file_header.h"
#include "tables/data_file/data_file_validation.h"
#include "tables/data_file/record_cache.h"
#include "tables/records/field_text.h"
#include "tables/records/field_value.h"
#include "tables/storage/file_handler.h"

namespace quoldex::tables {

class TDataFile : public TFileHandler {
 public:
  static constexpr int32_t kMaxRecords = 100000000;
  static constexpr int64_t kMaxRecordBytes = 2000000000;
  // Clean slot images kept behind the record cache (record_cache.h).
  static constexpr size_t kShelfBytes = 4 << 20;

  // `file_name` is the full path; errors name it as given, or
  // `error_name` (the name of the file this one is to become).
  explicit TDataFile(std::string file_name);
  TDataFile(std::string file_name, std::string error_name);
  ~TDataFile() override;  // closes, writing what is dirty; errors are lost

  // The data file of table `table_name` in `dir` (empty or ending with a
  // separator): blanks around the name removed, its extension replaced by
  // ".DAT", and an existing file of that name found without regard to case
  // (in memory: the name as spelled).
  static std::string FileNameFor(const std::string& dir, std::string_view table_name,
                                 bool in_memory = false);

  // ---- Creating and opening ----

  // Validates (ValidateDataFileDefinition; nothing is created on failure),
  // then creates the file, replacing an existing one, with the header of a
  // new table and the descriptors, written by the header rule (so the new
  // file's change counter is 1). Leaves the file open exclusively, empty.
  void Create(const std::vector<FieldDesc>& fields, const DataFileOptions& options);

  // Opens the file and loads header and descriptors. Refuses: kErrVersion a
  // version other than 3; kErrLanguage a language identifier other than 0 and
  // kLanguageWestern (whose string fields get FieldDesc::language_order);
  // kErrPasswordRequired an encrypted table; kErrHeaderCorrupt anything
  // inconsistent (a file shorter than its header and descriptors, field count 0
  // or above 1024, record size below 9, blob count above 32 or different from
  // the blob fields, next record number below 1 or beyond the file limits,
  // chain head outside 0..next-1, negative last ID, a field number not equal to
  // its position, an unknown type code, a declared size outside 1..250, an
  // autoinc offset other than 5, a slot offset not equal to the running offset
  // from 9, or a running end different from the record size). A failed open
  // leaves it closed. The file length is checked by CheckFileLength, under the
  // caller's lock.
  void Open(bool exclusive, bool read_only, bool write_through) override;
  // Writes dirty records and a modified header (unless read-only), then
  // closes; the file is closed also when that write fails.
  void Close() override;
  // kErrHeaderCorrupt unless the file length is the descriptors' end plus a
  // whole number of records and that number + 1 is the next record number. The
  // caller runs it under a read lock and closes the table when it fails.
  void CheckFileLength() const;

  // ---- Header ----

  const DataFileHeader& Header() const { return header_; }
  // Replaces the table description (at most 50 characters are kept); the
  // header is then modified and written by the next WriteHeader or flush.
  void SetDescription(std::string_view description) { header_.SetDescription(description); }
  // Re-reads the 127 bytes from disk and clears the modified flag.
  // kErrHeaderCorrupt when the header no longer fits the loaded layout (the old
  // one is kept).
  void ReadHeader();
  // The header write rule above; without `force` only when modified.
  void WriteHeader(bool force);
  // Reads the change counter from disk; when it differs from ours, re-reads
  // the header and returns true (the caller discards the caches).
  bool TestChanged();

  // ---- Fields ----

  const std::vector<FieldDesc>& Fields() const { return fields_; }
  uint16_t RecordSize() const { return header_.RecordSize(); }
  // Field number (1-based) of the field named `name` ignoring case; 0 if none.
  int FieldNumber(std::string_view name) const;
  // Field `number` of `record` (RecordSize() bytes). kErrInvalidField for a
  // number outside 1..field count, kErrBlobField for a blob field,
  // kErrFieldDefinition for the other fields whose values cannot be read here
  // (BCD, extended float, computed).
  FieldValue GetField(int number, const uint8_t* record) const;
  // Stores into `record` as SetFieldValue does (field_codec.h), with the
  // errors of GetField for the field number and type.
  void SetField(int number, const FieldValue& value, uint8_t* record) const;
  // Stores field `from` of `from_record` (a record of `from_file`) into
  // field `number` of `record` as CopyFieldValue does, with the errors of
  // GetField and SetField for the field numbers and types.
  void CopyField(int number, const TDataFile& from_file, int from, const uint8_t* from_record,
                 uint8_t* record) const;
  // Which bound of field `number` the value in `record` breaks, if any (the
  // caller raises kErrBelowMinimum or kErrAboveMaximum).
  BoundCheck CheckBounds(int number, const uint8_t* record) const;

  // ---- New records ----
  // The table layer builds a record in its own buffer: InitNewRecord, the
  // user's values, validation, then IssueRecordId only once the insert will
  // go ahead (a refused insert leaves the last record ID alone), then
  // NextFreeRecordNumber and StoreNewRecord.

  // Zero-fills `record` and stores each field's default text, converted as
  // FieldValueFromText does (its EDatabaseError when a text does not
  // convert, e.g. "'X' is not a valid boolean value"). No ID is issued.
  void InitNewRecord(uint8_t* record) const;
  // Last record ID + 1 (after 2147483647 comes 1), stored in the header
  // (modified) and at offset 5 of `record`. Returns the ID.
  int32_t IssueRecordId(uint8_t* record);
  // InitNewRecord followed by IssueRecordId.
  void FillNewRecord(uint8_t* record);

  // ---- Slots ----

  // The slot a new record takes: the chain head when it is non-zero and the
  // table has a primary index, else the next record number, in which case
  // kErrFileFull when the file is full (next + 1 > 100000000 or next × record
  // size > 2000000000). Changes nothing.
  int32_t NextFreeRecordNumber(bool has_primary_index) const;
  // Takes slot `record_number` (a NextFreeRecordNumber result) and copies
  // `record` into it: deleted flag 0, own number at offset 1, the record ID and
  // fields from `record`. Reusing the chain head makes its link the new head;
  // appending raises the next record number and clears the chain.
  // kErrRecordBuffersCorrupt when the number is neither the chain head nor the
  // next record number, or the reused slot is not a deleted one;
  // kErrAccessDenied when read-only. Nothing changes when it fails.
  void StoreNewRecord(int32_t record_number, const uint8_t* record);
  // Appends records in the slots from the next record number on, image order[k]
  // of `images` (RecordSize() bytes each, side by side) into slot next + k, as
  // StoreNewRecord of each in turn would with an empty chain, but with the file
  // grown once to its new length and the slots written in large runs that
  // bypass the record cache: for filling a table in bulk. The slots are written
  // at once; the header (next record number) by the next header write or flush.
  // kErrRecordBuffersCorrupt when the chain is not empty or a slot in the range
  // is cached or shelved, kErrFileFull when the file would be full,
  // kErrAccessDenied when read-only; nothing changes when it fails before the
  // file grows.
  void AppendSlots(const uint8_t* images, std::span<const uint32_t> order);
  // Copies the fields of `record` (offset 9 on) into the active slot; its
  // 9-byte header stays. kErrRecordNotFound when the slot is deleted or out of
  // range.
  void UpdateRecord(int32_t record_number, const uint8_t* record);
  // Marks the active slot deleted and makes it the chain head, linking to the
  // old head. kErrRecordNotFound when it is already deleted or out of range, so
  // the chain can never loop. The file does not shrink.
  void DeleteRecord(int32_t record_number);
  // Cuts the file at the start of the record slots and resets counter 0, chain
  // head 0, next record number 1 and last ID 0, then writes the header (counter
  // 1, as in a new file). kErrNotExclusive unless open exclusively.
  void EmptyTable();

  // ---- Record cache ----

  // The pinned cache buffer of slot `record_number` (deleted or not), read with
  // `ahead` on a miss. kErrRecordNotFound outside 1..next record number - 1.
  // Unpin when done.
  TRecord* GetRecord(int32_t record_number, const ReadAhead& ahead = ReadAhead::None());
  void Unpin(TRecord* record);
  // Slot `record_number` (deleted or not; kErrRecordNotFound outside 1..next
  // record number - 1) as the record cache holds it, read in place: its buffer,
  // or its kept image when the shelf may serve a miss (RecordCache::Lookup);
  // nullptr when neither, and GetRecord must read it. Nothing is pinned or
  // copied, and the buffers stay as they are. Valid until the next call on the
  // record cache.
  const uint8_t* HeldRecord(int32_t record_number);
  // Copies slots `numbers` (deleted or not; kErrRecordNotFound for one outside
  // 1..next record number - 1) side by side into `out`, one record size each,
  // in the order given: what the record cache holds from there (a buffer, a
  // kept image), the rest read from the file in ascending order with slots
  // close together in one read. The caches stay as they were: for scans that
  // would only push out what they hold.
  void ReadSlots(std::span<const int32_t> numbers, uint8_t* out);
  // Reads into the record cache, as read-ahead, the slots `numbers` (deleted or
  // not; kErrRecordNotFound for one outside 1..next record number - 1) that it
  // does not hold, the soonest needed first, as far as it has buffers to spare
  // (RecordCache::Adopt): in place from the file's mapping when the file can be
  // mapped, else by ReadSlots. The caller keeps writers away while it runs (the
  // read lock, or the table opened alone). Returns how many slots were placed.
  size_t ReadAheadSlots(std::span<const int32_t> numbers);
  // The file up to its last slot, mapped for reading slots in place
  // (TFileHandler::MapForReading: only while writers are kept away); empty
  // when it cannot be mapped.
  FileView MapSlots() const;
  // Slot `record_number` (deleted or not; kErrRecordNotFound outside 1..next
  // record number - 1) as the record cache holds it, else as `view` shows the
  // file. Valid until the next call that changes the cache.
  const uint8_t* SlotImage(const FileView& view, int32_t record_number);
  // Where `view` shows slot `record_number`; nullptr when it does not.
  const uint8_t* SlotInView(const FileView& view, int32_t record_number) const;
  // True when slot `record_number` is in the record cache (a hit).
  bool IsCached(int32_t record_number) const { return Cache().IsCached(record_number); }
  // Writes the dirty records (sorted, one write per consecutive run), then
  // the header when modified, or always with `force_header` (a shared
  // table's flush, so that the change counter moves).
  void FlushBuffers(bool force_header = false);
  // Forgets all cached records and the shelf of slot images behind them
  // (after another user's change).
  void DiscardCache();
  // The gate the record shelf asks before its images serve a miss
  // (Shelf::Usable); nullptr: always. Kept across opens.
  void SetShelfGate(ShelfGate* gate);
  size_t CacheCapacity() const;
  // In a transaction the cache grows instead of failing with
  // kErrRecordBuffersCorrupt.
  void SetInTransaction(bool in_transaction);

  uint64_t RecordRegionStart() const;

 private:
  using TFileHandler::Create;

  [[noreturn]] void Fail(int code, std::string_view name = {}) const;
  RecordCache& Cache() const;
  const FieldDesc& AccessibleField(int number) const;
  // Checks a header read from disk: alone at open (`loaded` false), or
  // against the layout and language already loaded.
  void CheckHeader(const DataFileHeader& header, bool loaded) const;
  void LoadDescriptors(uint64_t file_size);
  void CheckAppendLimits() const;
  void MakeCache();
  void Reset();

  DataFileHeader header_;
  std::vector<FieldDesc> fields_;
  std::unique_ptr<RecordCache> cache_;
  bool grow_cache_ = false;
  ShelfGate* shelf_gate_ = nullptr;
};

}  // namespace quoldex::tables
