// Reading and writing one field of a record buffer.
//
// A field with a slot occupies 1 + physical size bytes at its descriptor's
// offset: a null flag (non-zero = a value is present) and the value,
// zero-filled when null. An autoinc field has no slot: its value is the
// record ID at offset 5, never null and never set through a field.
//
// Stored forms (little-endian): string: the characters and a zero byte,
// zero-filled; boolean u16 0/1; 16/32-bit signed and unsigned integers;
// float IEEE double; date i32 day number; time i32 ms since midnight;
// timestamp double day number × 86400000 + ms; bytes and varbytes raw.
//
// The caller guarantees that the descriptor belongs to the record's layout
// (the data file checks every descriptor against the record size at open),
// so every access stays inside the record.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "tables/base/table_defs.h"
#include "tables/records/field_value.h"

namespace quoldex::tables {

// False for the fields whose values the engine cannot read or write: blob,
// BCD and extended float fields (their storage is not supported) and
// computed fields (they have no slot).
bool IsFieldAccessible(const FieldDesc& field);

// The field's value in `record`; FieldValue::Null() when the null flag is
// clear. Requires IsFieldAccessible(field).
FieldValue GetFieldValue(const FieldDesc& field, const uint8_t* record);

// The text of string field `field` (type kTypeString) in `record` exactly as
// GetFieldValue reads it, without copying: up to the first zero byte or the
// declared size; nullopt when the null flag is clear. Valid as long as the
// record's bytes are.
std::optional<std::string_view> GetStringView(const FieldDesc& field, const uint8_t* record);

// Stores `value` (or clears the slot for a null value) in `record`.
// Requires IsFieldAccessible(field). A string is cut to the declared size
// and its trailing blanks removed; an empty result is stored as null (so a
// blank-only string reads back as null). A boolean stores any non-zero
// input as 1.
//
// `value` may be of the field's own kind (field_value.h) or: kString for any
// non-string field (converted as FieldValueFromText does), kInteger for a
// float or boolean field. Throws EDatabaseError: "Field 'X' cannot be
// modified" for an autoinc field, "Value of field 'X' is out of range" for
// an integer outside the field's type or a date outside the years 1..9999,
// "Type mismatch for field 'X'" for any other kind, or a text conversion's
// message. Nothing is written when it throws.
void SetFieldValue(const FieldDesc& field, const FieldValue& value, uint8_t* record);

// Stores into `to_record`'s field `to` exactly what
// SetFieldValue(to, GetFieldValue(from, from_record), to_record) stores,
// with its errors; where both fields keep the value in the same form (a
// string, or an integer of the same kind), the stored bytes are carried
// over without building the value. Requires IsFieldAccessible of both.
void CopyFieldValue(const FieldDesc& from, const uint8_t* from_record, const FieldDesc& to,
                    uint8_t* to_record);

}  // namespace quoldex::tables
