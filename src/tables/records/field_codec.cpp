#include "tables/records/field_codec.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "tables/base/coding.h"
#include "tables/base/engine_error.h"
#include "tables/records/data_file_record.h"
#include "tables/records/field_datetime.h"
#include "tables/records/field_text.h"

namespace quoldex::tables {
namespace {

using Kind = FieldValue::Kind;

[[noreturn]] void OutOfRange(const FieldDesc& field) {
  throw EDatabaseError("Value of field '" + field.name + "' is out of range");
}

// The value converted to the kind the field's type stores: `value` itself
// when it is of that kind already (nothing copied), else `converted`, which
// receives the conversion.
const FieldValue& Coerce(const FieldDesc& field, const FieldValue& value, FieldValue& converted) {
  Kind want;
  switch (field.type) {
    case kTypeString:
    case kTypeBytes:
    case kTypeVarBytes:
      want = Kind::kString;
      break;
    case kTypeBoolean:
      want = Kind::kBoolean;
      break;
    case kTypeFloat:
      want = Kind::kFloat;
      break;
    case kTypeDate:
    case kTypeTime:
    case kTypeTimestamp:
      want = Kind::kDateTime;
      break;
    default:
      want = Kind::kInteger;
      break;
  }
  if (value.kind == want) return value;
  if (value.kind == Kind::kString) return converted = FieldValueFromText(field, value.text);
  if (value.kind == Kind::kInteger && want == Kind::kBoolean)
    return converted = FieldValue::Boolean(value.integer != 0);
  if (value.kind == Kind::kInteger && want == Kind::kFloat)
    return converted = FieldValue::Float(static_cast<double>(value.integer));
  throw EDatabaseError("Type mismatch for field '" + field.name + "'");
}

void CheckIntegerRange(const FieldDesc& field, int64_t v) {
  if (!InIntegerRange(field.type, v)) OutOfRange(field);
}

// The string as stored: cut to the declared size, trailing blanks removed.
std::string_view StoredString(const FieldDesc& field, const std::string& s) {
  std::string_view v(s);
  if (v.size() > field.size) v = v.substr(0, field.size);
  size_t end = v.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view{} : v.substr(0, end + 1);
}

}  // namespace

bool IsFieldAccessible(const FieldDesc& field) {
  if (field.computed) return false;
  switch (field.type) {
    case kTypeBlob:
    case kTypeBcd:
    case kTypeExtended:
      return false;
    default:
      return PhysicalSize(field.type, field.size) != 0;
  }
}

std::optional<std::string_view> GetStringView(const FieldDesc& field, const uint8_t* record) {
  const uint8_t* slot = record + field.offset;
  if (slot[0] == 0) return std::nullopt;
  auto* c = reinterpret_cast<const char*>(slot + 1);
  return std::string_view(c, strnlen(c, field.size));
}

FieldValue GetFieldValue(const FieldDesc& field, const uint8_t* record) {
  if (field.IsAutoInc()) return FieldValue::Integer(RecordId(record));
  const uint8_t* slot = record + field.offset;
  if (slot[0] == 0) return FieldValue::Null();
  const uint8_t* p = slot + 1;
  switch (field.type) {
    case kTypeString:
      return FieldValue::String(std::string(*GetStringView(field, record)));
    case kTypeBytes:
    case kTypeVarBytes:
      return FieldValue::String(std::string(reinterpret_cast<const char*>(p), field.size));
    case kTypeBoolean:
      return FieldValue::Boolean(GetLE<uint16_t>(p) != 0);
    case kTypeSmallInt:
      return FieldValue::Integer(GetLE<int16_t>(p));
    case kTypeWord:
      return FieldValue::Integer(GetLE<uint16_t>(p));
    case kTypeUInt32:
      return FieldValue::Integer(GetLE<uint32_t>(p));
    case kTypeFloat:
      return FieldValue::Float(GetLE<double>(p));
    case kTypeDate:
      return FieldValue::DateTime(TimeStampToDateTime(GetLE<int32_t>(p), 0));
    case kTypeTime:
      return FieldValue::DateTime(static_cast<double>(GetLE<int32_t>(p)) / kMsPerDay);
    case kTypeTimestamp:
      return FieldValue::DateTime(TimestampMsToDateTime(GetLE<double>(p)));
    default:
      return FieldValue::Integer(GetLE<int32_t>(p));  // 32-bit integer
  }
}

void SetFieldValue(const FieldDesc& field, const FieldValue& value, uint8_t* record) {
  if (field.IsAutoInc()) throw EDatabaseError("Field '" + field.name + "' cannot be modified");
  uint8_t* slot = record + field.offset;
  const size_t size = PhysicalSize(field.type, field.size);
  if (value.IsNull()) {
    std::memset(slot, 0, 1 + size);
    return;
  }
  FieldValue converted;
  const FieldValue& v = Coerce(field, value, converted);
  // Encode into a scratch copy first so that a failure leaves the slot alone.
  uint8_t buf[256] = {};
  uint8_t present = 1;
  int32_t day = 0, ms = 0;
  switch (field.type) {
    case kTypeString: {
      std::string_view s = StoredString(field, v.text);
      s.copy(reinterpret_cast<char*>(buf), s.size());
      present = s.empty() ? 0 : 1;
      break;
    }
    case kTypeBytes:
    case kTypeVarBytes: {
      size_t n = v.text.copy(reinterpret_cast<char*>(buf), field.size);
      present = n == 0 ? 0 : 1;
      break;
    }
    case kTypeBoolean:
      PutLE<uint16_t>(buf, v.integer != 0 ? 1 : 0);
      break;
    case kTypeSmallInt:
      CheckIntegerRange(field, v.integer);
      PutLE<int16_t>(buf, static_cast<int16_t>(v.integer));
      break;
    case kTypeWord:
      CheckIntegerRange(field, v.integer);
      PutLE<uint16_t>(buf, static_cast<uint16_t>(v.integer));
      break;
    case kTypeUInt32:
      CheckIntegerRange(field, v.integer);
      PutLE<uint32_t>(buf, static_cast<uint32_t>(v.integer));
      break;
    case kTypeFloat:
      PutLE<double>(buf, v.number);
      break;
    case kTypeDate:
    case kTypeTime:
    case kTypeTimestamp:
      if (!DateTimeToTimeStamp(v.number, &day, &ms)) OutOfRange(field);
      if (field.type == kTypeDate)
        PutLE<int32_t>(buf, day);
      else if (field.type == kTypeTime)
        PutLE<int32_t>(buf, ms);
      else
        PutLE<double>(buf, static_cast<double>(day) * kMsPerDay + ms);
      break;
    default:  // 32-bit integer
      CheckIntegerRange(field, v.integer);
      PutLE<int32_t>(buf, static_cast<int32_t>(v.integer));
      break;
  }
  slot[0] = present;
  std::memcpy(slot + 1, buf, size);
}

void CopyFieldValue(const FieldDesc& from, const uint8_t* from_record, const FieldDesc& to,
                    uint8_t* to_record) {
  const bool same_form =
      from.HasSlot() && to.HasSlot() && from.type == to.type &&
      (from.type == kTypeString || from.type == kTypeSmallInt || from.type == kTypeInteger ||
       from.type == kTypeWord || from.type == kTypeUInt32);
  if (!same_form) {
    SetFieldValue(to, GetFieldValue(from, from_record), to_record);
    return;
  }
  const uint8_t* source = from_record + from.offset;
  uint8_t* target = to_record + to.offset;
  const size_t size = PhysicalSize(to.type, to.size);
  if (source[0] == 0) {
    std::memset(target, 0, 1 + size);  // null
    return;
  }
  if (from.type != kTypeString) {
    // Integers of one kind are stored alike whatever the declared size.
    std::memcpy(target, source, 1 + size);
    return;
  }
  // As a string read (up to the first zero) and stored (cut to the target's
  // size, trailing blanks removed, empty as null) would be.
  const auto* text = reinterpret_cast<const char*>(source + 1);
  size_t length = std::min<size_t>(strnlen(text, from.size), to.size);
  while (length > 0 && text[length - 1] == ' ') --length;
  std::memmove(target + 1, source + 1, length);
  std::memset(target + 1 + length, 0, size - length);
  target[0] = length == 0 ? 0 : 1;
}

}  // namespace quoldex::tables
