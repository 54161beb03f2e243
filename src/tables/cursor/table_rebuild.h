// Filling an empty index file from the record slots of its data file, as a
// restructure and a repair do.
#pragma once

#include <cstdint>
#include <vector>

#include "tables/data_file/data_file.h"
#include "tables/index_file/index_file.h"

namespace quoldex::tables {

enum class DuplicatePolicy {
  kFail,        // a record whose key is already in a unique index raises kErrDuplicateKey
  kDropRecord,  // such a record is marked deleted (and its slot chained)
};

// Adds, for every active slot in slot order, its keys to the primary index
// (when it has fields) and every secondary index, and with a primary index
// one system index entry per slot (deleted flag and record ID), then sets
// the active record count. `index` holds its definitions and no entries;
// both files are open for writing. Returns the slots dropped.
std::vector<int32_t> RebuildIndexes(TDataFile& data, TIndexFile& index, DuplicatePolicy policy);

}  // namespace quoldex::tables
