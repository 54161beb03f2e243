// TableCursor::Impl, its changes: insert, modify and delete of one record
// under the table's write lock, each undone when it fails, and emptying.

#include <cstring>
#include <vector>

#include "tables/base/engine_error.h"
#include "tables/cursor/table_cursor_impl.h"
#include "tables/cursor/table_cursor_scopes.h"
#include "tables/cursor/table_keys.h"
#include "tables/cursor/table_recovery.h"
#include "tables/records/data_file_record.h"

namespace quoldex::tables {

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
  WriteUpdateMark(*index, true);
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

}  // namespace quoldex::tables
