// The description of one found file that the file search hands to its
// OnAddFile event, and the attribute bits it carries.
#pragma once

#include <cstdint>
#include <string>

#include "search/file_time.h"

struct stat;

namespace quoldex::search {

// The six attribute bits a file search filters on (Attributes mask 63).
inline constexpr uint32_t kFaReadOnly = 1;
inline constexpr uint32_t kFaHidden = 2;
inline constexpr uint32_t kFaSysFile = 4;
inline constexpr uint32_t kFaVolumeId = 8;
inline constexpr uint32_t kFaDirectory = 16;
inline constexpr uint32_t kFaArchive = 32;
inline constexpr uint32_t kFaAll = 63;

struct FindData {
  std::string name;              // the entry's name within its directory
  uint32_t attributes = 0;       // kFa* bits
  uint64_t size = 0;             // full size in bytes
  FileTime last_write_time = 0;  // UTC
};

// POSIX systems: describes the entry `name` with status `st` (of the link's target when the
// entry is a symbolic link). Attributes map as well as POSIX allows:
// directory for directories; read-only when the owner cannot write; hidden for
// names beginning with "."; archive for regular files; system and volume never.
// (On Windows the file system's own attributes are the bits.)
FindData MakeFindData(std::string name, const struct stat& st);

}  // namespace quoldex::search
