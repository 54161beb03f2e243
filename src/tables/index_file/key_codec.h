// Index keys: how field values become the byte strings an index orders.
//
// A key is one part per key field, in the index's field order, zero-filled
// to the key length. A part is a null-indicator byte (1 = value present,
// 0 = null) followed by the value in the field's physical size, encoded so
// that unsigned byte-wise comparison orders values:
//   string                       characters (a-z upper-cased when the index
//                                is case-insensitive), zero-filled
//   32-bit int, autoinc, date,   big-endian, top bit inverted
//   time / 16-bit int / BCD
//   boolean, 16-bit unsigned     big-endian
//   float, timestamp             big-endian IEEE; top bit set when >= 0,
//                                all bits inverted when negative
//   anything else                the stored bytes as they are
// A null leaves the value bytes zero, so nulls sort first. A field with its
// own descending flag (in an index that is not descending as a whole) has
// its whole part complemented (255 - byte), except the last byte of a string
// part. A non-unique secondary index appends the record ID in the 32-bit
// integer encoding, which makes every key of an index distinct.
//
// Language order. A string field of a table created with the Western
// language identifier (FieldDesc::language_order; the engine gives it only
// to query result tables) is keyed instead by the indicator byte followed by
// its sort key over the declared size (text::SortKey, case ignored when the
// index is case-insensitive), so that its keys order as the language order
// does; such a part, when descending, is complemented whole.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tables/base/table_defs.h"

namespace quoldex::tables {

// Longest key an index may have.
constexpr size_t kMaxKeyLength = 1036;
// Key length of the system index: deleted flag + encoded record ID.
constexpr size_t kSysDeletedKeyLength = 5;

// Compares `length` bytes of two keys as unsigned bytes; the order is
// reversed for an index that is descending as a whole. Returns <0, 0, >0.
// Inline and eight bytes at a time: the tree compares keys in every search.
inline int CompareKeys(const uint8_t* a, const uint8_t* b, size_t length, bool descending) {
  int c = 0;
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) {
      if constexpr (std::endian::native == std::endian::little) {
        x = __builtin_bswap64(x);
        y = __builtin_bswap64(y);
      }
      c = x < y ? -1 : 1;
      break;
    }
  }
  if (c == 0) {
    for (; i < length; ++i) {
      if (a[i] != b[i]) {
        c = a[i] < b[i] ? -1 : 1;
        break;
      }
    }
  }
  return descending ? -c : c;
}

// Encodes a 32-bit integer as a key value (big-endian, top bit inverted).
void EncodeInt32Key(int32_t value, uint8_t* out);

// The system index key of a record slot: deleted flag (0 or 1) followed by
// the record ID in the 32-bit integer encoding.
void EncodeSysDeletedKey(uint8_t deleted, int32_t record_id, uint8_t* out);

// Encodes one part: `value` is the value as a record stores it after the
// slot's null flag (physical size bytes, little-endian numbers), or nullptr
// for null. Writes physical + 1 bytes to `out`.
void EncodeKeyPart(uint8_t type, uint8_t physical, const uint8_t* value, bool case_insensitive,
                   bool descending_field, uint8_t* out);

// Bytes the part of `field` takes in a key of an index with the given case
// rule: physical size + 1, or 1 + the sort key length for a string field in
// the language order.
size_t KeyPartLength(const FieldDesc& field, bool case_insensitive);

// One value given for a leading key field (FindKey, ranges, Locate), in the
// form a record stores it. Use the factories; a string is its characters
// (cut to the field's declared size when encoded).
struct KeyValue {
  bool null = true;
  std::string stored;

  static KeyValue Null() { return {}; }
  static KeyValue Int32(int32_t v);
  static KeyValue Int16(int16_t v);
  static KeyValue Word(uint16_t v);
  static KeyValue Boolean(bool v);
  static KeyValue Double(double v);
  static KeyValue String(std::string_view v);
  // Any other type: exactly the physical bytes a record holds.
  static KeyValue Raw(std::string_view bytes);
};

// How to build the keys of one index, computed once from its definition.
class KeyLayout {
 public:
  KeyLayout() = default;

  // The layout of `index` over `fields` (field n at fields[n - 1]). Assumes
  // the definition was validated: every field number names a field.
  // `secondary` adds the record-ID suffix when the index is not unique.
  static KeyLayout ForIndex(const IndexDesc& index, std::span<const FieldDesc> fields,
                            bool secondary);
  // The layout of the system index ("Sys Deleted").
  static KeyLayout SysDeleted();

  size_t KeyLength() const { return key_length_; }
  size_t PartCount() const { return parts_.size(); }
  bool HasRecordIdSuffix() const { return suffix_; }
  // Smallest record buffer FromRecord may read.
  size_t MinRecordSize() const { return min_record_size_; }

  // Builds the full key of the record in `record` (record slot layout: the
  // 9-byte header, then the field slots). `record` must hold at least
  // MinRecordSize() bytes (std::invalid_argument otherwise). Writes
  // KeyLength() bytes.
  void FromRecord(std::span<const uint8_t> record, uint8_t* key) const;

  // Builds a key from values for the leading fields (at most PartCount()),
  // zero-filling the rest, and returns how many leading key bytes the given
  // values determine. With `partial_last_string` and a string as the last
  // given field, only its given characters count (a prefix search); in a
  // language-ordered part that prefix is compared by its letters alone
  // (case and accents are not), so the caller checks the values it finds.
  size_t FromValues(std::span<const KeyValue> values, uint8_t* key,
                    bool partial_last_string = false) const;

 private:
  struct Part {
    uint8_t type;
    uint8_t physical;
    uint16_t record_offset;  // the slot's null flag; unused for autoinc
    bool autoinc;
    bool descending;
    bool sort_key;    // a string in the language order
    uint8_t chars;    // declared size: the characters a sort key covers
    uint16_t length;  // bytes of the part in the key
  };
  // Encodes one part; `value` as EncodeKeyPart takes it.
  void EncodePart(const Part& part, const uint8_t* value, uint8_t* out) const;
  std::vector<Part> parts_;
  size_t key_length_ = 0;
  size_t min_record_size_ = 0;
  bool case_insensitive_ = false;
  bool suffix_ = false;
  bool sys_deleted_ = false;
};

}  // namespace quoldex::tables
