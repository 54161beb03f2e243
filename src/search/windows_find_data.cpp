#include "search/windows_find_data.h"

#include <utility>

namespace quoldex::search {

static_assert(FILE_ATTRIBUTE_READONLY == kFaReadOnly && FILE_ATTRIBUTE_HIDDEN == kFaHidden &&
              FILE_ATTRIBUTE_SYSTEM == kFaSysFile && FILE_ATTRIBUTE_DIRECTORY == kFaDirectory &&
              FILE_ATTRIBUTE_ARCHIVE == kFaArchive);

FindData MakeFindData(std::string name, DWORD attributes, DWORD size_high, DWORD size_low,
                      const FILETIME& last_write) {
  FindData data;
  data.name = std::move(name);
  data.attributes = attributes & kFaAll;
  data.size = (static_cast<uint64_t>(size_high) << 32) | size_low;
  data.last_write_time =
      (static_cast<FileTime>(last_write.dwHighDateTime) << 32) | last_write.dwLowDateTime;
  return data;
}

}  // namespace quoldex::search
