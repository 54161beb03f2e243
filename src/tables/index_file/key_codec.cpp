#include "tables/index_file/key_codec.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "tables/base/coding.h"
#include "text/western.h"

namespace quoldex::tables {
namespace {

constexpr uint8_t kUpperOffset = 'a' - 'A';

// Big-endian copy of `n` little-endian stored bytes.
void ReverseCopy(const uint8_t* value, size_t n, uint8_t* out) {
  for (size_t i = 0; i < n; ++i) out[i] = value[n - 1 - i];
}

}  // namespace

void EncodeInt32Key(int32_t value, uint8_t* out) {
  PutBE32(out, static_cast<uint32_t>(value) ^ 0x80000000u);
}

void EncodeSysDeletedKey(uint8_t deleted, int32_t record_id, uint8_t* out) {
  out[0] = deleted;
  EncodeInt32Key(record_id, out + 1);
}

void EncodeKeyPart(uint8_t type, uint8_t physical, const uint8_t* value, bool case_insensitive,
                   bool descending_field, uint8_t* out) {
  uint8_t* v = out + 1;
  std::memset(out, 0, size_t{physical} + 1);
  if (value != nullptr) {
    out[0] = 1;
    switch (type) {
      case kTypeString: {
        // Characters up to the terminating zero; the rest stays zero.
        for (size_t i = 0; i < physical && value[i] != 0; ++i) {
          uint8_t c = value[i];
          v[i] = (case_insensitive && c >= 'a' && c <= 'z') ? c - kUpperOffset : c;
        }
        break;
      }
      case kTypeInteger:
      case kTypeDate:
      case kTypeTime:
        ReverseCopy(value, 4, v);
        v[0] ^= 0x80;
        break;
      case kTypeSmallInt:
        ReverseCopy(value, 2, v);
        v[0] ^= 0x80;
        break;
      case kTypeBoolean:
      case kTypeWord:
        ReverseCopy(value, 2, v);
        break;
      case kTypeFloat:
      case kTypeTimestamp: {
        double d = GetLE<double>(value);
        uint64_t bits = GetLE<uint64_t>(value);
        bits = d >= 0 ? (bits | 0x8000000000000000ull) : ~bits;
        PutBE64(v, bits);
        break;
      }
      case kTypeBcd:
        ReverseCopy(value, 8, v);
        v[0] ^= 0x80;
        break;
      default:
        std::memcpy(v, value, physical);
        break;
    }
  }
  if (descending_field) {
    size_t n = type == kTypeString ? physical : size_t{physical} + 1;
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(255 - out[i]);
  }
}

size_t KeyPartLength(const FieldDesc& field, bool case_insensitive) {
  if (field.language_order && field.type == kTypeString) {
    return 1 + text::SortKeyLength(field.size, case_insensitive);
  }
  return size_t{PhysicalSize(field.type, field.size)} + 1;
}

KeyValue KeyValue::Int32(int32_t v) {
  KeyValue k{false, std::string(4, '\0')};
  PutLE(reinterpret_cast<uint8_t*>(k.stored.data()), v);
  return k;
}

KeyValue KeyValue::Int16(int16_t v) {
  KeyValue k{false, std::string(2, '\0')};
  PutLE(reinterpret_cast<uint8_t*>(k.stored.data()), v);
  return k;
}

KeyValue KeyValue::Word(uint16_t v) {
  KeyValue k{false, std::string(2, '\0')};
  PutLE(reinterpret_cast<uint8_t*>(k.stored.data()), v);
  return k;
}

KeyValue KeyValue::Boolean(bool v) { return Word(v ? 1 : 0); }

KeyValue KeyValue::Double(double v) {
  KeyValue k{false, std::string(8, '\0')};
  PutLE(reinterpret_cast<uint8_t*>(k.stored.data()), v);
  return k;
}

KeyValue KeyValue::String(std::string_view v) { return {false, std::string(v)}; }

KeyValue KeyValue::Raw(std::string_view bytes) { return {false, std::string(bytes)}; }

KeyLayout KeyLayout::ForIndex(const IndexDesc& index, std::span<const FieldDesc> fields,
                              bool secondary) {
  KeyLayout layout;
  layout.case_insensitive_ = index.case_insensitive;
  layout.min_record_size_ = kRecordHeaderSize;
  for (size_t i = 0; i < index.fields.size(); ++i) {
    const FieldDesc& f = fields[index.fields[i] - 1];
    Part part{f.type,
              PhysicalSize(f.type, f.size),
              f.offset,
              f.IsAutoInc(),
              index.field_descending[i] && !index.descending,
              f.language_order && f.type == kTypeString,
              f.size,
              static_cast<uint16_t>(KeyPartLength(f, index.case_insensitive))};
    if (!part.autoinc) {
      layout.min_record_size_ =
          std::max(layout.min_record_size_, size_t{f.offset} + 1 + part.physical);
    }
    layout.key_length_ += part.length;
    layout.parts_.push_back(part);
  }
  if (secondary && !index.unique && !layout.parts_.empty()) {
    layout.suffix_ = true;
    layout.key_length_ += 4;
  }
  return layout;
}

KeyLayout KeyLayout::SysDeleted() {
  KeyLayout layout;
  layout.sys_deleted_ = true;
  layout.key_length_ = kSysDeletedKeyLength;
  layout.min_record_size_ = kRecordHeaderSize;
  return layout;
}

void KeyLayout::FromRecord(std::span<const uint8_t> record, uint8_t* key) const {
  if (record.size() < min_record_size_) throw std::invalid_argument("record buffer too small");
  const uint8_t* r = record.data();
  int32_t record_id = GetLE<int32_t>(r + 5);
  if (sys_deleted_) {
    EncodeSysDeletedKey(r[0], record_id, key);
    return;
  }
  uint8_t* out = key;
  for (const Part& p : parts_) {
    // An autoinc value is the record ID at offset 5 and is never null.
    const uint8_t* value =
        p.autoinc ? r + 5 : (r[p.record_offset] != 0 ? r + p.record_offset + 1 : nullptr);
    EncodePart(p, value, out);
    out += p.length;
  }
  if (suffix_) EncodeInt32Key(record_id, out);
}

size_t KeyLayout::FromValues(std::span<const KeyValue> values, uint8_t* key,
                             bool partial_last_string) const {
  std::memset(key, 0, key_length_);
  size_t given = std::min(values.size(), parts_.size());
  size_t offset = 0;
  uint8_t buffer[256];
  for (size_t i = 0; i < given; ++i) {
    const Part& p = parts_[i];
    const KeyValue& v = values[i];
    const uint8_t* value = nullptr;
    size_t chars = 0;
    if (!v.null) {
      // The value as a record would hold it: physical bytes, zero-filled.
      std::memset(buffer, 0, sizeof buffer);
      size_t room = p.type == kTypeString ? size_t{p.physical} - 1 : p.physical;
      chars = std::min(v.stored.size(), room);
      if (p.type == kTypeString) {
        chars = std::find(v.stored.begin(), v.stored.begin() + chars, '\0') - v.stored.begin();
      }
      std::memcpy(buffer, v.stored.data(), chars);
      value = buffer;
    }
    EncodePart(p, value, key + offset);
    if (i + 1 == given && partial_last_string && p.type == kTypeString && value != nullptr) {
      // A sort key begins with one letter weight per character.
      return offset + 1 + chars;
    }
    offset += p.length;
  }
  return offset;
}

void KeyLayout::EncodePart(const Part& p, const uint8_t* value, uint8_t* out) const {
  if (!p.sort_key) {
    EncodeKeyPart(p.type, p.physical, value, case_insensitive_, p.descending, out);
    return;
  }
  std::memset(out, 0, p.length);
  if (value != nullptr) {
    out[0] = 1;
    const uint8_t* end = std::find(value, value + p.chars, uint8_t{0});
    text::SortKey({reinterpret_cast<const char*>(value), static_cast<size_t>(end - value)}, p.chars,
                  case_insensitive_, out + 1);
  }
  if (p.descending) {
    for (size_t i = 0; i < p.length; ++i) out[i] = static_cast<uint8_t>(255 - out[i]);
  }
}

}  // namespace quoldex::tables
