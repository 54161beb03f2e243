// The data file's 127-byte header, kept as its byte image so that a header
// read from disk is written back byte for byte except for what changed:
//   0 i32 change counter      4 u32 blob block size   8 u8 version (3)
//   9 i32 deleted-chain head  13 i32 next record number
//   17 i32 last record ID     21 u16 record size      23 u16 field count
//   25 u16 blob field count   27 f64 last update (TDateTime - 693594)
//   35 description (length byte + 50)                 86 u8 encrypted
//   87 password (length byte + 15)  103 u16 language  105 u16 sort order
//   107 u16 creation value (1)      109 i16 creation value (0)
//   111 u16 computed-slot size      113 u8 modified flag   114..126 zero
//
// Byte 113 is the in-memory "header needs writing" flag. Setting the chain
// head, the next record number or the last record ID sets it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "tables/base/coding.h"

namespace quoldex::tables {

class DataFileHeader {
 public:
  static constexpr size_t kSize = 127;
  static constexpr uint8_t kVersion = 3;

  // The header of a new table: counter 0, version 3, chain head 0, next
  // record number 1, last ID 0, creation values 1 and 0, modified flag set.
  static DataFileHeader ForNewTable(uint16_t record_size, uint16_t field_count,
                                    uint32_t blob_block_size, std::string_view description,
                                    uint16_t language_id, uint16_t sort_id);

  uint8_t* Image() { return image_.data(); }
  const uint8_t* Image() const { return image_.data(); }

  int32_t ChangeCounter() const { return Get<int32_t>(0); }
  void SetChangeCounter(int32_t v) { Put<int32_t>(0, v); }
  uint32_t BlobBlockSize() const { return Get<uint32_t>(4); }
  uint8_t Version() const { return image_[8]; }
  int32_t ChainHead() const { return Get<int32_t>(9); }
  void SetChainHead(int32_t v) { PutModified<int32_t>(9, v); }
  int32_t NextRecordNumber() const { return Get<int32_t>(13); }
  void SetNextRecordNumber(int32_t v) { PutModified<int32_t>(13, v); }
  int32_t LastRecordId() const { return Get<int32_t>(17); }
  void SetLastRecordId(int32_t v) { PutModified<int32_t>(17, v); }
  uint16_t RecordSize() const { return Get<uint16_t>(21); }
  uint16_t FieldCount() const { return Get<uint16_t>(23); }
  uint16_t BlobCount() const { return Get<uint16_t>(25); }
  double LastUpdate() const { return Get<double>(27); }
  void SetLastUpdate(double v) { Put<double>(27, v); }
  std::string Description() const { return GetShortString(image_.data() + 35, 50); }
  // Cut to 50 characters; marks the header modified.
  void SetDescription(std::string_view v) {
    PutShortString(image_.data() + 35, 50, v);
    SetModified(true);
  }
  bool Encrypted() const { return image_[86] != 0; }
  uint16_t LanguageId() const { return Get<uint16_t>(103); }
  uint16_t SortId() const { return Get<uint16_t>(105); }
  bool Modified() const { return image_[113] != 0; }
  void SetModified(bool v) { image_[113] = v ? 1 : 0; }

 private:
  template <typename T>
  T Get(size_t at) const {
    return GetLE<T>(image_.data() + at);
  }
  template <typename T>
  void Put(size_t at, T v) {
    PutLE<T>(image_.data() + at, v);
  }
  template <typename T>
  void PutModified(size_t at, T v) {
    Put<T>(at, v);
    SetModified(true);
  }

  std::array<uint8_t, kSize> image_{};
};

}  // namespace quoldex::tables
