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
// kept), then its files replace the old ones, data file first, by rename. A
// failure leaves the old files; a power cut between the two renames leaves
// the new data file beside the old index file.
RestructureOutcome RestructureTable(const TableSettings& settings,
                                    const TableDefinition& definition);

}  // namespace quoldex::tables
