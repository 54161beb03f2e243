// TableCursor::Impl, its files: opening (recovering a table left
// mid-change), closing, change detection and the reading rule's lock.

#include <exception>
#include <optional>

#include "tables/base/engine_error.h"
#include "tables/cursor/table_cursor_impl.h"
#include "tables/cursor/table_cursor_scopes.h"
#include "tables/cursor/table_integrity.h"
#include "tables/cursor/table_recovery.h"
#include "tables/cursor/table_restructure.h"

namespace quoldex::tables {

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
    // A change that never finished shows as a header that disagrees with the
    // file (kErrHeaderCorrupt) or as the update mark (kErrIndexPagesCorrupt).
    const int code = e.ErrorCode();
    if ((code != kErrHeaderCorrupt && code != kErrIndexPagesCorrupt) || settings.in_memory) {
      throw;
    }
    // Whatever follows opens the files anew.
    DropFiles();
    // A restructure that stopped while its files moved left the mark on
    // the old index file; its move is finished first.
    if (code == kErrIndexPagesCorrupt && !settings.read_only) {
      if (FinishPendingRestructure(file_name)) {
        recovered.push_back(
            "its restructure stopped after the new data file took the old one's place; "
            "the new index file now followed it");
        OpenFilesOnce();
        return;
      }
    }
    if (settings.read_only) {
      if (code != kErrIndexPagesCorrupt) throw;
      OpenMarkedForReading();
      return;
    }
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
        !ReadUpdateMark(*index)) {
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

}  // namespace quoldex::tables
