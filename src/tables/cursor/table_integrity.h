// The integrity check of one table: its data file and index file agree.
#pragma once

#include <string>
#include <vector>

#include "tables/data_file/data_file.h"
#include "tables/index_file/index_file.h"

namespace quoldex::tables {

// Checks, without changing anything:
//   - the data file's length against its next record number;
//   - every slot: deleted flag 0 or 1, an active slot linking to itself;
//   - every active record has exactly its key, naming its slot, in the
//     primary index (when it has fields) and in every secondary index, and
//     each of those indexes has as many entries as there are active records;
//   - with a primary index, the system index names every slot with its
//     deleted flag and record ID; record IDs are unique and none lies above
//     the header's last record ID;
//   - the deleted chain: only deleted slots, no loop, and (with a primary
//     index) every deleted slot on it;
//   - the index header's active record count;
//   - every index tree and free chain (TIndexFile::Verify).
// Returns one line per finding (at most about a hundred, then a line saying
// how many more); empty when the table is sound. Uses the index file's
// cursor. The caller holds the read lock of a shared table.
std::vector<std::string> CheckTableIntegrity(TDataFile& data, TIndexFile& index);

}  // namespace quoldex::tables
