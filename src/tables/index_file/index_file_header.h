// The index file's header page (4096 bytes at offset 0), little-endian:
//      0 i32  change counter, incremented on every header write
//      4      4 zero bytes
//      8 u8   format version (3)
//      9 i32  next page offset: the file length, 4096 in a new file
//     13 u8   number of secondary indexes (0-30)
//     14      33 index descriptors of 120 bytes: slot 0 primary, 1-30
//             secondary indexes in creation order, 31 the system index
//             ("Sys Deleted"), 32 zero
//   3974 i32  number of active records in the table
//   3978 u8   1 when the primary index has no fields
//   3979 u8   header-modified flag (in-memory flag kept in the image)
//   3980 u8   update in progress: set on disk before a shared table's change
//             is written out, cleared by the index header written last; a
//             file left with it set by a writer that died is refused (kErrIndexPagesCorrupt)
//             until repaired. Files that never saw such a write hold 0.
//   3981      zero
// Index descriptor (120 bytes):
//      0      name: length byte and up to 30 characters (empty for primary)
//     31 u16  key length
//     33 u8   descending flag of the whole index
//     34 u8   case-insensitive flag
//     35 u8   unique flag
//     36 u8   key compression mode (0 none)
//     37 u8   number of key fields (0-16)
//     38      16 per-field descending flags
//     54      16 u16 field numbers in key order
//     86 i32  root page offset, 0 when the index is empty
//     90 i32  head of the index's free-page chain, 0 when none
//     94      zero
#pragma once

#include <cstddef>
#include <cstdint>

#include "tables/base/table_defs.h"

namespace quoldex::tables::index_header {

constexpr size_t kSize = 4096;
constexpr size_t kCounter = 0;
constexpr size_t kVersion = 8;
constexpr size_t kNextPage = 9;
constexpr size_t kSecondaryCount = 13;
constexpr size_t kDescriptors = 14;
constexpr size_t kDescriptorSize = 120;
constexpr size_t kRecordCount = 3974;
constexpr size_t kNoPrimary = 3978;
constexpr size_t kModified = 3979;
constexpr size_t kUpdateInProgress = 3980;

constexpr uint8_t kFormatVersion = 3;
constexpr int kDescriptorSlots = 33;
constexpr int kSystemSlot = 31;
constexpr const char* kSystemIndexName = "Sys Deleted";

// Byte offset of descriptor slot `slot`.
constexpr size_t DescriptorOffset(int slot) {
  return kDescriptors + size_t(slot) * kDescriptorSize;
}

// Writes `index` into the 120 bytes at `out`; bytes 94-119 are left as they
// are. The field list is cut to 16 entries.
void EncodeDescriptor(const IndexDesc& index, uint8_t* out);

// Reads a descriptor. Every length is clamped to its field (a damaged
// descriptor never makes this read past the 120 bytes); the caller checks
// the result. `field_count` receives byte 37 as stored; at most 16 field
// numbers are loaded.
IndexDesc DecodeDescriptor(const uint8_t* in, int* field_count);

}  // namespace quoldex::tables::index_header
