// Text forms of field values: the default, minimum and maximum texts a
// field descriptor carries, and text a caller stores into a non-string
// field.
#pragma once

#include <cstdint>
#include <string_view>

#include "tables/base/table_defs.h"
#include "tables/records/field_value.h"

namespace quoldex::tables {

// Converts `text` to a value of `field`'s type:
//   string, bytes, varbytes   the text as is
//   boolean                   "TRUE" or "FALSE" after upper-casing
//   integer types, autoinc    decimal (leading blanks, optional sign), within
//                             the type's range
//   float                     a decimal number (leading blanks allowed)
//   date, time, timestamp     "DATE", "TIME" or "NOW" in any case (the current
//                             local date, time of day, or both), else the
//                             text forms of field_datetime.h
// Throws EDatabaseError with the conversion's message when the text does not
// convert ("'X' is not a valid boolean value", "... integer value", ...) and
// for types that have no text form here (blob, BCD, extended float).
FieldValue FieldValueFromText(const FieldDesc& field, std::string_view text);

// True when `v` fits an integer field of `type`: 16-bit signed or unsigned,
// 32-bit unsigned, else (32-bit integer, autoinc) 32-bit signed.
bool InIntegerRange(uint8_t type, int64_t v);

// True when FieldValueFromText accepts `text` for `field`.
bool IsFieldTextValid(const FieldDesc& field, std::string_view text);

enum class BoundCheck { kWithin, kBelowMinimum, kAboveMaximum };

// Compares `value` (as GetFieldValue returns it) with the field's minimum and
// maximum texts; an empty text is no bound and a null value is within. Strings
// compare byte by byte, numbers, booleans and dates by value; "DATE", "TIME"
// and "NOW" bounds are taken at the time of the call. Throws EDatabaseError
// when a bound text does not convert (a damaged descriptor).
BoundCheck CheckFieldBounds(const FieldDesc& field, const FieldValue& value);

}  // namespace quoldex::tables
