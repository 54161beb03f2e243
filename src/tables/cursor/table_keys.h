// What a table handle needs between records and keys: the checks a record
// passes before it is stored, the keys a record has in every index, and key
// values built from caller-supplied field values.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "tables/data_file/data_file.h"
#include "tables/index_file/index_file.h"
#include "tables/index_file/key_codec.h"
#include "tables/records/field_value.h"

namespace quoldex::tables {

// Checks `record` field by field in field-number order: a required field that
// is null raises kErrRequired, a value below its minimum kErrBelowMinimum and
// above its maximum kErrAboveMaximum, each naming the field. Autoinc fields
// (never null) and fields the engine cannot read are skipped.
void ValidateRecord(const TDataFile& data, const uint8_t* record);
// Whether ValidateRecord can refuse any record of `data`: a field that
// it checks is required or bounded.
bool HasFieldChecks(const TDataFile& data);

// The indexes whose keys a record has: the primary index when it has fields,
// then every secondary index. The system index is not among them.
std::vector<int> UserIndexes(const TIndexFile& index);

// One key per entry of `indexes`, built from a record buffer.
class RecordKeys {
 public:
  RecordKeys() = default;
  RecordKeys(const TIndexFile& index, std::span<const int> indexes, const uint8_t* record,
             size_t record_size);

  size_t Count() const { return keys_.size(); }
  const uint8_t* Key(size_t i) const { return keys_[i].data(); }

 private:
  std::vector<std::vector<uint8_t>> keys_;
};

// The system index key of a slot: deleted flag and record ID.
std::array<uint8_t, kSysDeletedKeyLength> SysKey(bool deleted, int32_t record_id);

// `value` as a key value of field `field`: converted and cut as storing it
// into a record would (a blank string becomes null), or the record ID form
// for an autoinc field. Raises the conversion's EDatabaseError.
KeyValue ToKeyValue(const FieldDesc& field, const FieldValue& value);

// ToKeyValue of `value`, and `value` as field `field` would store and read
// it back: converted, cut and trimmed (a blank string reads back as null);
// an autoinc value as an integer. The value is converted once. Raises the
// conversion's EDatabaseError.
std::pair<KeyValue, FieldValue> KeyAndStoredValue(const FieldDesc& field, const FieldValue& value);
// KeyAndStoredValue into `key` and `stored`, reusing their storage and
// `scratch` (the record the value is stored into), so that a caller that
// keeps the three across calls allocates nothing once they have grown. On
// an error `key` and `stored` are left unspecified.
void KeyAndStoredValueInto(const FieldDesc& field, const FieldValue& value,
                           std::vector<uint8_t>& scratch, KeyValue& key, FieldValue& stored);

// Key values for the leading fields of `index` (at most its field count).
std::vector<KeyValue> ToKeyValues(std::span<const FieldDesc> fields, const IndexDesc& index,
                                  std::span<const FieldValue> values);

}  // namespace quoldex::tables
