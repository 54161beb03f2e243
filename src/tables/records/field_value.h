// FieldValue: one field's value as the data file hands it out and takes it
// in, independent of the bytes the record stores.
//
// Which kind a field type uses:
//   string, bytes, varbytes          kString (bytes are raw)
//   16/32-bit ints, unsigned, autoinc kInteger
//   boolean                          kBoolean
//   float (money too)                kFloat
//   date, time, timestamp            kDateTime (a TDateTime: days since
//                                    30 December 1899, local time)
// kNull is a field without a value. Only the member of the value's kind is
// meaningful.
#pragma once

#include <cstdint>
#include <string>

#include "text/date_time.h"

namespace quoldex::tables {

using text::TDateTime;

struct FieldValue {
  enum class Kind : uint8_t { kNull, kString, kInteger, kFloat, kBoolean, kDateTime };

  Kind kind = Kind::kNull;
  std::string text;     // kString
  int64_t integer = 0;  // kInteger; kBoolean as 0 or 1
  double number = 0;    // kFloat, kDateTime

  static FieldValue Null() { return {}; }
  static FieldValue String(std::string s) { return {Kind::kString, std::move(s), 0, 0}; }
  static FieldValue Integer(int64_t v) { return {Kind::kInteger, {}, v, 0}; }
  static FieldValue Float(double v) { return {Kind::kFloat, {}, 0, v}; }
  static FieldValue Boolean(bool v) { return {Kind::kBoolean, {}, v ? 1 : 0, 0}; }
  static FieldValue DateTime(TDateTime v) { return {Kind::kDateTime, {}, 0, v}; }

  bool IsNull() const { return kind == Kind::kNull; }
  bool AsBoolean() const { return integer != 0; }

  friend bool operator==(const FieldValue&, const FieldValue&) = default;
};

}  // namespace quoldex::tables
