// A user's repair of a damaged table.
#pragma once

#include <string>
#include <vector>

#include "tables/cursor/table_cursor.h"

namespace quoldex::tables {

// Rebuilds a damaged table's headers and every index from its record slots
// (table_recovery.h): a partly written last slot is dropped, every complete
// record keeps its record ID, the deleted chain is rebuilt. The table is first
// opened read-only and checked; a table that opens and passes the integrity
// check is left byte for byte as it was. Otherwise, before anything changes,
// copies of its data and index files are put into `backup_directory` (ending in
// '/') when it is not empty; then the table is rebuilt under its write lock
// (kErrAccessDenied while another handle has it open exclusively) and checked
// again. Returns what was found ("found: ..."), mended ("mended: ...", the last
// "mended: kept N records, dropped M") and left ("not mended: ..."); empty when
// sound.
std::vector<std::string> RepairTable(const TableSettings& settings,
                                     const std::string& backup_directory = {});

}  // namespace quoldex::tables
