#include <sys/stat.h>

#include <utility>

#include "search/find_data.h"

namespace quoldex::search {

FindData MakeFindData(std::string name, const struct stat& st) {
  FindData data;
  if (S_ISDIR(st.st_mode)) data.attributes |= kFaDirectory;
  if ((st.st_mode & S_IWUSR) == 0) data.attributes |= kFaReadOnly;
  if (!name.empty() && name[0] == '.') data.attributes |= kFaHidden;
  if (S_ISREG(st.st_mode)) data.attributes |= kFaArchive;
  data.size = static_cast<uint64_t>(st.st_size);
  data.last_write_time = UnixTimeToFileTime(st.st_mtim);
  data.name = std::move(name);
  return data;
}

}  // namespace quoldex::search
