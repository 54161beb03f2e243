// Definitions shared by the data file and the index file: field types, the
// in-memory form of a field descriptor and of an index descriptor. Each file
// class owns the byte layout of its own descriptors; these structs are what
// they load into and what callers pass at creation.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quoldex::tables {

// Engine type codes as stored in a field descriptor.
enum FieldTypeCode : uint8_t {
  kTypeString = 1,
  kTypeDate = 2,
  kTypeBlob = 3,
  kTypeBoolean = 4,
  kTypeSmallInt = 5,
  kTypeInteger = 6,
  kTypeFloat = 7,
  kTypeBcd = 8,
  kTypeBytes = 9,
  kTypeTime = 10,
  kTypeTimestamp = 11,
  kTypeWord = 12,
  kTypeUInt32 = 13,
  kTypeExtended = 14,
  kTypeVarBytes = 15,
};

constexpr uint8_t kSubtypeMoney = 21;
constexpr uint8_t kSubtypeAutoInc = 29;

constexpr int kMaxFields = 1024;
constexpr int kMaxSecondaryIndexes = 30;
constexpr int kMaxIndexFields = 16;
constexpr int kRecordHeaderSize = 9;  // deleted flag, link/own number, record ID

// Physical size of a value of `type` in a record slot (without the null
// flag); `size` is the declared size of string/bytes/varbytes fields.
// Returns 0 for an unknown type code.
uint8_t PhysicalSize(uint8_t type, uint8_t size);

// One field as loaded from (or written to) its descriptor.
struct FieldDesc {
  uint16_t number = 0;       // 1-based, equals the descriptor's position
  std::string name;          // at most 30 characters
  std::string description;   // free text, at most 50 characters
  uint8_t type = 0;          // FieldTypeCode
  uint8_t subtype = 0;       // kSubtypeAutoInc, kSubtypeMoney, blob subtypes
  uint8_t size = 0;          // declared size (string, bytes, varbytes), else 0
  uint8_t decimals = 0;      // BCD only
  uint8_t physical_size = 0;
  uint16_t offset = 0;       // slot offset in the record; 5 for autoinc
  bool required = false;
  bool computed = false;
  std::string min_text, max_text, default_text;  // each at most 50 characters
  // In memory only, set from the data file's language identifier: a string
  // field of such a table is keyed in the language order (key_codec.h).
  bool language_order = false;

  bool IsAutoInc() const { return type == kTypeInteger && subtype == kSubtypeAutoInc; }
  // Autoinc and computed fields have no slot (no null flag) in the record.
  bool HasSlot() const { return !IsAutoInc() && !computed; }
};

// One index as loaded from (or written to) its 120-byte descriptor.
struct IndexDesc {
  std::string name;  // empty for the primary index
  uint16_t key_length = 0;
  bool descending = false;
  bool case_insensitive = false;
  bool unique = false;
  uint8_t compression = 0;  // 0 none, 1 duplicate-prefix, 2 trailing-byte, 3 both
  std::vector<uint16_t> fields;  // field numbers in key order, at most 16
  std::array<bool, kMaxIndexFields> field_descending{};
  int32_t root = 0;       // offset of the root page, 0 when empty
  int32_t free_head = 0;  // head of this index's free-page chain
};

}  // namespace quoldex::tables
