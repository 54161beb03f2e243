// Windows: a FindData from what the system reports of a file (find data
// or an open file's information), its attribute bits as they are.
#pragma once

#include <windows.h>

#include <string>

#include "search/find_data.h"

namespace quoldex::search {

// The six searchable bits of `attributes` (Windows' own bits have the same
// values), the size from its two halves and the last-write time as is.
FindData MakeFindData(std::string name, DWORD attributes, DWORD size_high, DWORD size_low,
                      const FILETIME& last_write);

}  // namespace quoldex::search
