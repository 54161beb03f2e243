// Rewriting an existing table to a new definition (table_restructure.cpp
// says how each outcome is reached).
#pragma once

#include "tables/cursor/table_cursor.h"

namespace quoldex::tables {

enum class RestructureOutcome { kUnchanged, kIndexesRebuilt, kCopied };

// Rewrites an existing table (kErrPath when missing) to `definition`, opening
// it exclusively (kErrAccessDenied when someone else has it open). Unchanged:
// files untouched. Only indexes changed: the index file is copied to ".IBK",
// emptied, given the new definitions and rebuilt from the records. Otherwise a
// new table is built in the system's temporary folder with every active record
// copied field by field (matching field names; record IDs kept), then replaces
// the old files. A failure leaves the old files.
RestructureOutcome RestructureTable(const TableSettings& settings,
                                    const TableDefinition& definition);

}  // namespace quoldex::tables
