#include "tables/cursor/table_rebuild.h"

#include "tables/cursor/table_keys.h"
#include "tables/records/data_file_record.h"

namespace quoldex::tables {

std::vector<int32_t> RebuildIndexes(TDataFile& data, TIndexFile& index, DuplicatePolicy policy) {
  const bool has_primary = index.HasPrimaryIndex();
  const std::vector<int> user = UserIndexes(index);
  const uint16_t size = data.RecordSize();
  const int32_t next = data.Header().NextRecordNumber();
  std::vector<int32_t> dropped;
  std::vector<uint8_t> rec;
  int32_t active = 0;
  for (int32_t slot = 1; slot < next; ++slot) {
    TRecord* r = data.GetRecord(slot, ReadAhead::Physical());
    rec.assign(r->Data(), r->Data() + size);
    data.Unpin(r);
    bool deleted = RecordIsDeleted(rec.data());
    if (!deleted) {
      RecordKeys keys(index, user, rec.data(), size);
      bool duplicate = false;
      for (size_t i = 0; i < user.size() && !duplicate; ++i) {
        if (!index.IsUnique(user[i])) continue;
        if (policy == DuplicatePolicy::kFail) {
          index.CheckDuplicate(user[i], keys.Key(i));
        } else {
          duplicate = index.Contains(user[i], keys.Key(i));
        }
      }
      if (duplicate) {
        data.DeleteRecord(slot);
        dropped.push_back(slot);
        deleted = true;
      } else {
        for (size_t i = 0; i < user.size(); ++i) index.Insert(user[i], keys.Key(i), slot);
        ++active;
      }
    }
    if (has_primary) {
      index.Insert(TIndexFile::kSystemIndex, SysKey(deleted, RecordId(rec.data())).data(), slot);
    }
  }
  index.SetRecordCount(active);
  return dropped;
}

}  // namespace quoldex::tables
