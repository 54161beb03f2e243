// Rewriting an existing table to a new definition (table_restructure.cpp
// says how each outcome is reached).
#pragma once

#include "tables/cursor/table_cursor.h"

namespace quoldex::tables {

enum class RestructureOutcome { kUnchanged, kIndexesRebuilt, kCopied };

// Rewrites an existing table (kErrPath when missing) to `definition`, opening
// it exclusively (kErrAccessDenied when someone else has it open). Unchanged:
// files untouched. Only indexes changed: a new index file is built beside
// the old one, filled from the records, made durable and renamed over it.
// Otherwise a new table is built in the system's temporary folder with every
// active record copied field by field (matching field names; record IDs
// kept), then its files replace the old ones by rename: the data file, which
// is the moment the change is made, then the index file, which waits under
// its name with kPendingSuffix added until then. A failure before the data
// file moves leaves the old files; one after it (a failed rename, a power
// cut, a killed process) leaves the new index file pending, and the next
// open of the table moves it into place (FinishPendingRestructure): the old
// index file carries the update mark while the files move, which sends that
// open to recovery.
RestructureOutcome RestructureTable(const TableSettings& settings,
                                    const TableDefinition& definition);

// The new index of a restructured table waits to follow its data file into
// place under the data file's name with ".IDX" and this added.
inline constexpr const char* kPendingSuffix = ".PENDING";

// Finishes a restructure of the table `data_name` that stopped on its way
// (see RestructureTable), unless another handle has the table open (the
// restructure may still be running; it holds the files alone): when the
// new data file is in place and the old index still carries the mark,
// moves the pending index file after it and returns true; when the data
// file never got there, removes the new files, and when the mark is gone
// (a recovery rebuilt the index since), the stale pending index; false
// then, as when nothing is pending. Raises the engine's error
// (kErrCannotDelete, kErrWrite) when the files cannot be moved or removed.
bool FinishPendingRestructure(const std::string& data_name);

}  // namespace quoldex::tables
