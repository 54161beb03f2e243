#include "tables/cursor/table_keys.h"

#include <algorithm>
#include <string>

#include "tables/base/coding.h"
#include "tables/base/engine_error.h"
#include "tables/records/field_codec.h"
#include "tables/records/field_text.h"

namespace quoldex::tables {

void ValidateRecord(const TDataFile& data, const uint8_t* record) {
  const std::vector<FieldDesc>& fields = data.Fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    const FieldDesc& f = fields[i];
    const bool bounded = !f.min_text.empty() || !f.max_text.empty();
    if (!f.HasSlot() || !(f.required || bounded) || !IsFieldAccessible(f)) continue;
    const int number = static_cast<int>(i + 1);
    if (f.required && record[f.offset] == 0) {
      throw EDbEngineError(kErrRequired, data.ErrorName(), f.name);
    }
    switch (data.CheckBounds(number, record)) {
      case BoundCheck::kWithin:
        break;
      case BoundCheck::kBelowMinimum:
        throw EDbEngineError(kErrBelowMinimum, data.ErrorName(), f.name);
      case BoundCheck::kAboveMaximum:
        throw EDbEngineError(kErrAboveMaximum, data.ErrorName(), f.name);
    }
  }
}

bool HasFieldChecks(const TDataFile& data) {
  return std::any_of(data.Fields().begin(), data.Fields().end(), [](const FieldDesc& f) {
    const bool bounded = !f.min_text.empty() || !f.max_text.empty();
    return f.HasSlot() && (f.required || bounded) && IsFieldAccessible(f);
  });
}

std::vector<int> UserIndexes(const TIndexFile& index) {
  std::vector<int> out;
  if (index.HasPrimaryIndex()) out.push_back(TIndexFile::kPrimaryIndex);
  for (int i = 1; i <= index.SecondaryCount(); ++i) out.push_back(i);
  return out;
}

RecordKeys::RecordKeys(const TIndexFile& index, std::span<const int> indexes, const uint8_t* record,
                       size_t record_size) {
  keys_.reserve(indexes.size());
  for (int number : indexes) {
    const KeyLayout& layout = index.Layout(number);
    std::vector<uint8_t> key(layout.KeyLength());
    layout.FromRecord({record, record_size}, key.data());
    keys_.push_back(std::move(key));
  }
}

std::array<uint8_t, kSysDeletedKeyLength> SysKey(bool deleted, int32_t record_id) {
  std::array<uint8_t, kSysDeletedKeyLength> key{};
  EncodeSysDeletedKey(deleted ? 1 : 0, record_id, key.data());
  return key;
}

namespace {

// Stores `value` into a scratch record that reaches just past the field,
// so that it is converted, cut and trimmed exactly as a stored value is.
std::vector<uint8_t> StoreAlone(const FieldDesc& field, const FieldValue& value) {
  std::vector<uint8_t> record(size_t{field.offset} + 1 + field.physical_size, 0);
  SetFieldValue(field, value, record.data());
  return record;
}

int32_t AutoIncValue(const FieldDesc& field, const FieldValue& value) {
  FieldValue v =
      value.kind == FieldValue::Kind::kString ? FieldValueFromText(field, value.text) : value;
  return static_cast<int32_t>(v.integer);
}

}  // namespace

KeyValue ToKeyValue(const FieldDesc& field, const FieldValue& value) {
  if (value.IsNull()) return KeyValue::Null();
  if (field.IsAutoInc()) return KeyValue::Int32(AutoIncValue(field, value));
  std::vector<uint8_t> record = StoreAlone(field, value);
  const uint8_t* slot = record.data() + field.offset;
  if (slot[0] == 0) return KeyValue::Null();
  return KeyValue::Raw(std::string(reinterpret_cast<const char*>(slot + 1), field.physical_size));
}

std::pair<KeyValue, FieldValue> KeyAndStoredValue(const FieldDesc& field, const FieldValue& value) {
  std::vector<uint8_t> scratch;
  std::pair<KeyValue, FieldValue> out;
  KeyAndStoredValueInto(field, value, scratch, out.first, out.second);
  return out;
}

void KeyAndStoredValueInto(const FieldDesc& field, const FieldValue& value,
                           std::vector<uint8_t>& scratch, KeyValue& key, FieldValue& stored) {
  // Members are set one by one, not assigned whole, so that the strings
  // keep their buffers.
  auto set_null = [&] {
    key.null = true;
    key.stored.clear();
    stored.kind = FieldValue::Kind::kNull;
    stored.text.clear();
    stored.integer = 0;
    stored.number = 0;
  };
  if (value.IsNull()) return set_null();
  if (field.IsAutoInc()) {
    const int32_t id = AutoIncValue(field, value);
    key.null = false;
    key.stored.resize(4);
    PutLE(reinterpret_cast<uint8_t*>(key.stored.data()), id);
    stored.kind = FieldValue::Kind::kInteger;
    stored.text.clear();
    stored.integer = id;
    stored.number = 0;
    return;
  }
  // Stored into a scratch record that reaches just past the field, so that
  // it is converted, cut and trimmed exactly as a stored value is.
  scratch.assign(size_t{field.offset} + 1 + field.physical_size, 0);
  SetFieldValue(field, value, scratch.data());
  const uint8_t* slot = scratch.data() + field.offset;
  if (slot[0] == 0) return set_null();
  key.null = false;
  key.stored.assign(reinterpret_cast<const char*>(slot + 1), field.physical_size);
  if (field.type == kTypeString) {
    stored.kind = FieldValue::Kind::kString;
    stored.text.assign(*GetStringView(field, scratch.data()));
    stored.integer = 0;
    stored.number = 0;
  } else {
    stored = GetFieldValue(field, scratch.data());
  }
}

std::vector<KeyValue> ToKeyValues(std::span<const FieldDesc> fields, const IndexDesc& index,
                                  std::span<const FieldValue> values) {
  std::vector<KeyValue> out;
  size_t n = std::min(values.size(), index.fields.size());
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) out.push_back(ToKeyValue(fields[index.fields[i] - 1], values[i]));
  return out;
}

}  // namespace quoldex::tables
