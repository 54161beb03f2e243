// RestructureTable: rewriting an existing table to a new definition.
//
// Three outcomes. Unchanged: nothing is written. Only the indexes changed:
// a new index file is built beside the old one with the new definitions,
// filled from the records, made durable and renamed over the old one; on
// failure the old one stays. Anything else:
// a new table is built in the system's temporary folder, every active record
// copied field by field (fields matched by name, record IDs kept), and its
// files replace the old ones by rename, data file first. The old table, and
// then the new files, are held open exclusively throughout, so no other
// handle sees the table half done. Until the data file moves, a failure
// leaves the old files; after it, the new index file is pending and is
// moved into place by the next open if this run cannot do it.
#include "tables/cursor/table_restructure.h"

#include <cerrno>
#include <memory>

#include "tables/base/coding.h"
#include "tables/base/engine_error.h"
#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_definition.h"
#include "tables/cursor/table_files.h"
#include "tables/cursor/table_rebuild.h"
#include "tables/records/data_file_record.h"
#include "tables/records/field_codec.h"
#include "tables/storage/storage.h"

namespace quoldex::tables {
namespace {

std::string WithExtension(const std::string& file_name, const std::string& extension) {
  std::string dir = DirectoryOf(file_name);
  std::string base = file_name.substr(dir.size());
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos) base.resize(dot);
  return dir + base + extension;
}

void RemoveQuietly(const std::string& path) { DiskStorage().Delete(path); }

// Where the new index of a restructure of `data_name` waits: named from the
// data file as it is spelled, so that looking for it costs one name lookup.
std::string PendingIndexName(const std::string& data_name) {
  return WithExtension(data_name, ".IDX") + kPendingSuffix;
}

// A data file name in the system's temporary folder that is not in use: up
// to five digits of the thread identifier, a counter, ".DAT".
std::string TemporaryTableName() {
  Storage& system = DiskStorage();
  const std::string dir = system.TemporaryFolder();
  const std::string thread = std::to_string(system.CurrentThreadId() % 100000);
  for (unsigned long counter = 0;; ++counter) {
    std::string base = dir + thread + std::to_string(counter);
    if (!TFileHandler::FileExists(base + ".DAT") && !TFileHandler::FileExists(base + ".IDX")) {
      return base + ".DAT";
    }
  }
}

// Sets the last record ID in a closed data file's header. A copy that keeps
// its records' IDs must go on issuing IDs above all of them.
void StoreLastRecordId(const std::string& data_file_name, int32_t last_id) {
  TFileHandler file(data_file_name, data_file_name);
  file.Open(true, false, false);
  uint8_t bytes[4];
  PutLE<int32_t>(bytes, last_id);
  file.Write(17, bytes, sizeof bytes);
  file.Close();
}

// Copies every active record of `from` into the empty data file `to`,
// fields matched by name ignoring case (unmatched fields keep their default
// values), each with its record ID. Returns the highest ID seen.
int32_t CopyRecords(TDataFile& from, TDataFile& to) {
  const std::vector<FieldDesc>& fields = to.Fields();
  std::vector<int> source(fields.size(), 0);
  for (size_t i = 0; i < fields.size(); ++i) {
    const FieldDesc& f = fields[i];
    if (f.HasSlot() && IsFieldAccessible(f)) source[i] = from.FieldNumber(f.name);
    if (source[i] != 0 && !IsFieldAccessible(from.Fields()[source[i] - 1])) source[i] = 0;
  }
  int32_t highest = 0;
  std::vector<uint8_t> rec(to.RecordSize()), old;
  for (int32_t slot = 1; slot < from.Header().NextRecordNumber(); ++slot) {
    TRecord* r = from.GetRecord(slot, ReadAhead::Physical());
    old.assign(r->Data(), r->Data() + from.RecordSize());
    from.Unpin(r);
    if (RecordIsDeleted(old.data())) continue;
    to.InitNewRecord(rec.data());
    for (size_t i = 0; i < fields.size(); ++i) {
      if (source[i] != 0) {
        to.SetField(static_cast<int>(i + 1), from.GetField(source[i], old.data()), rec.data());
      }
    }
    const int32_t id = RecordId(old.data());
    SetRecordId(rec.data(), id);
    highest = std::max(highest, id);
    to.StoreNewRecord(to.NextFreeRecordNumber(false), rec.data());
  }
  return highest;
}

void RebuildIndexesOnly(TDataFile& data, std::unique_ptr<TIndexFile>& index,
                        const StoredDefinition& definition, const std::string& data_name) {
  // The new index is built beside the old one and replaces it by a rename
  // once durable: the old index stays whole until then, whatever happens.
  const std::string index_name = index->FileName();
  const std::string staged = index_name + kStagedSuffix;
  try {
    TIndexFile rebuilt(staged, data_name, data.Fields());
    rebuilt.Create(false);
    AddIndexDefinitions(definition, rebuilt);
    RebuildIndexes(data, rebuilt, DuplicatePolicy::kFail);
    rebuilt.Close();
    FlushClosedFile(staged, data_name);
    index->Close();
    if (int err = DiskStorage().Rename(staged, index_name); err != 0) {
      throw EDbEngineError::WithOsReason(kErrCannotDelete, data_name, err);
    }
  } catch (...) {
    RemoveQuietly(staged);
    throw;
  }
  FlushFolderOrFail(data_name);
  index = std::make_unique<TIndexFile>(index_name, data_name, data.Fields());
}

// Sets or clears the update mark of the old index file (held alone) and
// makes it durable. Set while the new files move, it sends any open that
// meets the new data file beside the old index to recovery, which finishes
// the move first.
void MarkOldIndex(TIndexFile& index, bool set) {
  WriteUpdateMark(index, set);
  index.TFileHandler::Flush();
}

// Removes a restructure's new files that never replaced the old ones: the
// pending index first, so that a pending index never stands beside the old
// data file without the new data file that tells it apart. False when the
// pending index could not be removed (the new data file then stays too).
bool RemoveUnplaced(const std::string& staged, const std::string& pending) {
  const int err = DiskStorage().Delete(pending);
  if (err != 0 && err != ENOENT) return false;
  RemoveQuietly(staged);
  return true;
}

void CopyTable(TDataFile& data, TIndexFile& index, const TableDefinition& definition,
               const std::string& data_name) {
  const std::string temp = TemporaryTableName();
  const std::string temp_index = WithExtension(temp, ".IDX");
  const std::string staged = data_name + kStagedSuffix;
  const std::string pending = PendingIndexName(data_name);
  // Held alone from before they move until both are in place: a handle
  // opening the table by name meanwhile finds it in use.
  TFileHandler new_data(staged, data_name), new_index(pending, data_name);
  try {
    CreateTableFiles(temp, definition);
    {
      TDataFile copy(temp);
      copy.Open(true, false, false);
      int32_t highest = CopyRecords(data, copy);
      TIndexFile copy_index(temp_index, temp, copy.Fields());
      copy_index.Open(true, false, false);
      RebuildIndexes(copy, copy_index, DuplicatePolicy::kFail);
      copy_index.Close();
      copy.Close();
      StoreLastRecordId(temp, std::max(highest, data.Header().LastRecordId()));
    }
    // The new data file is written before the pending index: a pending
    // index without the staged data file beside it means the data file
    // has moved.
    TFileHandler(temp, data_name).Copy(staged);
    TFileHandler(temp_index, data_name).Copy(pending);
    // Durable, contents and names, before the data file moves.
    FlushClosedFile(staged, data_name);
    FlushClosedFile(pending, data_name);
    FlushFolderOrFail(data_name);
    new_data.Open(true, false, false);
    new_index.Open(true, false, false);
    MarkOldIndex(index, true);
    if (int err = DiskStorage().Rename(staged, data_name); err != 0) {
      throw EDbEngineError::WithOsReason(kErrCannotDelete, data_name, err);
    }
  } catch (...) {
    new_data.Close();
    new_index.Close();
    for (const std::string& path : {temp, temp_index}) RemoveQuietly(path);
    if (RemoveUnplaced(staged, pending)) {
      try {
        MarkOldIndex(index, false);
      } catch (const EDbEngineError&) {
        // Left set, the mark costs the next open a recovery of the old table.
      }
    }
    throw;
  }
  RemoveQuietly(temp);
  RemoveQuietly(temp_index);
  // From here on the change is made: a failure leaves the index pending.
  FlushFolderOrFail(data_name);
  if (int err = DiskStorage().Rename(pending, index.FileName()); err != 0) {
    throw EDbEngineError::WithOsReason(kErrCannotDelete, data_name, err);
  }
  FlushFolderOrFail(data_name);
}

}  // namespace

bool FinishPendingRestructure(const std::string& data_name) {
  const std::string pending = PendingIndexName(data_name);
  Storage& storage = DiskStorage();
  if (!storage.Exists(pending)) return false;
  // Held alone while it is finished; in use, it is left to whoever has it.
  TFileHandler table(data_name, data_name);
  try {
    table.Open(true, false, false);
  } catch (const EDbEngineError&) {
    return false;
  }
  if (const std::string staged = data_name + kStagedSuffix; storage.Exists(staged)) {
    // The data file never moved: the old table stands.
    if (!RemoveUnplaced(staged, pending)) {
      throw EDbEngineError(kErrCannotDelete, data_name);
    }
    return false;
  }
  const std::string index_name = IndexFileNameFor(data_name);
  bool marked = false;
  {
    TFileHandler index(index_name, data_name);
    index.Open(true, false, false);
    marked = ReadUpdateMark(index);
  }
  if (!marked) {
    // The old index lost its mark to a recovery that rebuilt it from the
    // new records, which may have changed since: the pending one is stale.
    RemoveQuietly(pending);
    return false;
  }
  if (int err = storage.Rename(pending, index_name); err != 0) {
    throw EDbEngineError::WithOsReason(kErrCannotDelete, data_name, err);
  }
  FlushFolderOrFail(data_name);
  return true;
}

RestructureOutcome RestructureTable(const TableSettings& settings,
                                    const TableDefinition& definition) {
  const std::string name = TableCursor::DataFileName(settings);
  if (!TFileHandler::FileExists(name)) throw EDbEngineError(kErrPath, name);
  FinishPendingRestructure(name);
  TDataFile data(name);
  data.Open(true, false, settings.force_buffer_flush);
  if (data.IsReadOnly()) throw EDbEngineError(kErrAccessDenied, name);
  data.CheckFileLength();
  auto index = std::make_unique<TIndexFile>(IndexFileNameFor(name), name, data.Fields());
  index->Open(true, false, settings.force_buffer_flush);
  if (index->IsReadOnly()) throw EDbEngineError(kErrAccessDenied, name);

  const StoredDefinition stored = NormalizeDefinition(definition, name);
  if (SameDataLayout(stored, data)) {
    // The description is no part of the layout, but a restructure is how a
    // table receives it: store a changed one in the header alone.
    if (data.Header().Description() != stored.options.description.substr(0, 50)) {
      data.SetDescription(stored.options.description);
      data.WriteHeader(false);
    }
    if (SameIndexes(stored, *index)) return RestructureOutcome::kUnchanged;
    RebuildIndexesOnly(data, index, stored, name);
    return RestructureOutcome::kIndexesRebuilt;
  }
  CopyTable(data, *index, definition, name);
  return RestructureOutcome::kCopied;
}

}  // namespace quoldex::tables
