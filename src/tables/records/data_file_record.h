// The 9-byte header of a record slot in the data file:
//   0  u8   deleted flag: 0 active, 1 deleted
//   1  i32  active: the slot's own record number; deleted: the next slot of
//           the deleted chain, 0 at its end
//   5  i32  record ID (also the value of an autoinc field)
// Field slots follow from offset 9. Callers pass a buffer of at least
// kRecordHeaderSize bytes.
#pragma once

#include <cstdint>

#include "tables/base/coding.h"
#include "tables/base/table_defs.h"

namespace quoldex::tables {

constexpr int kRecordDeletedOffset = 0;
constexpr int kRecordLinkOffset = 1;
constexpr int kRecordIdOffset = 5;

inline bool RecordIsDeleted(const uint8_t* record) { return record[kRecordDeletedOffset] != 0; }
inline int32_t RecordLink(const uint8_t* record) {
  return GetLE<int32_t>(record + kRecordLinkOffset);
}
inline int32_t RecordId(const uint8_t* record) { return GetLE<int32_t>(record + kRecordIdOffset); }

inline void SetRecordHeader(uint8_t* record, bool deleted, int32_t link) {
  record[kRecordDeletedOffset] = deleted ? 1 : 0;
  PutLE<int32_t>(record + kRecordLinkOffset, link);
}
inline void SetRecordId(uint8_t* record, int32_t id) {
  PutLE<int32_t>(record + kRecordIdOffset, id);
}

}  // namespace quoldex::tables
