#include "tables/records/field_text.h"

#include <charconv>
#include <cmath>
#include <string>

#include "tables/base/engine_error.h"
#include "tables/records/field_datetime.h"

namespace quoldex::tables {
namespace {

[[noreturn]] void Invalid(std::string_view text, std::string_view what) {
  throw EDatabaseError("'" + std::string(text) + "' is not a valid " + std::string(what));
}

std::string AsciiUpper(std::string_view s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return u;
}

// Leading blanks and one '+' are accepted before the digits; from_chars
// takes the '-' itself.
std::string_view NumberBody(std::string_view text) {
  size_t i = text.find_first_not_of(' ');
  std::string_view body = i == std::string_view::npos ? std::string_view{} : text.substr(i);
  if (!body.empty() && body[0] == '+') body.remove_prefix(1);
  return body;
}

FieldValue IntegerFromText(uint8_t type, std::string_view text) {
  std::string_view body = NumberBody(text);
  int64_t v = 0;
  auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), v);
  if (body.empty() || ec != std::errc() || end != body.data() + body.size() ||
      !InIntegerRange(type, v))
    Invalid(text, "integer value");
  return FieldValue::Integer(v);
}

FieldValue FloatFromText(std::string_view text) {
  std::string_view body = NumberBody(text);
  double v = 0;
  auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), v);
  if (body.empty() || ec != std::errc() || end != body.data() + body.size() || !std::isfinite(v))
    Invalid(text, "floating point value");
  return FieldValue::Float(v);
}

// "DATE", "TIME" and "NOW" for date, time and timestamp fields.
bool DateWord(std::string_view text, TDateTime* out) {
  std::string word = AsciiUpper(text);
  if (word != "DATE" && word != "TIME" && word != "NOW") return false;
  TDateTime now = NowLocal();
  double date = std::floor(now);
  *out = word == "DATE" ? date : word == "TIME" ? now - date : now;
  return true;
}

FieldValue DateTimeFromText(uint8_t type, std::string_view text) {
  TDateTime v;
  if (DateWord(text, &v)) return FieldValue::DateTime(v);
  switch (type) {
    case kTypeDate:
      if (!ParseDateText(text, &v)) Invalid(text, "date");
      break;
    case kTypeTime:
      if (!ParseTimeText(text, &v)) Invalid(text, "time");
      break;
    default:
      if (!ParseDateTimeText(text, &v)) Invalid(text, "date and time");
      break;
  }
  return FieldValue::DateTime(v);
}

bool IsWhole(const FieldValue& v) {
  return v.kind == FieldValue::Kind::kInteger || v.kind == FieldValue::Kind::kBoolean;
}

// Strings byte by byte (unsigned), whole numbers exactly, anything else as
// doubles.
int Compare(const FieldValue& a, const FieldValue& b) {
  if (a.kind == FieldValue::Kind::kString || b.kind == FieldValue::Kind::kString)
    return a.text.compare(b.text);
  if (IsWhole(a) && IsWhole(b)) return a.integer < b.integer ? -1 : a.integer > b.integer ? 1 : 0;
  double x = IsWhole(a) ? static_cast<double>(a.integer) : a.number;
  double y = IsWhole(b) ? static_cast<double>(b.integer) : b.number;
  return x < y ? -1 : x > y ? 1 : 0;
}

}  // namespace

bool InIntegerRange(uint8_t type, int64_t v) {
  switch (type) {
    case kTypeSmallInt:
      return v >= INT16_MIN && v <= INT16_MAX;
    case kTypeWord:
      return v >= 0 && v <= UINT16_MAX;
    case kTypeUInt32:
      return v >= 0 && v <= UINT32_MAX;
    default:
      return v >= INT32_MIN && v <= INT32_MAX;
  }
}

FieldValue FieldValueFromText(const FieldDesc& field, std::string_view text) {
  switch (field.type) {
    case kTypeString:
    case kTypeBytes:
    case kTypeVarBytes:
      return FieldValue::String(std::string(text));
    case kTypeBoolean: {
      std::string upper = AsciiUpper(text);
      if (upper == "TRUE") return FieldValue::Boolean(true);
      if (upper == "FALSE") return FieldValue::Boolean(false);
      Invalid(text, "boolean value");
    }
    case kTypeSmallInt:
    case kTypeInteger:
    case kTypeWord:
    case kTypeUInt32:
      return IntegerFromText(field.type, text);
    case kTypeFloat:
      return FloatFromText(text);
    case kTypeDate:
    case kTypeTime:
    case kTypeTimestamp:
      return DateTimeFromText(field.type, text);
    default:
      throw EDatabaseError("Field '" + field.name + "' has no text form");
  }
}

bool IsFieldTextValid(const FieldDesc& field, std::string_view text) {
  try {
    FieldValueFromText(field, text);
    return true;
  } catch (const EDatabaseError&) {
    return false;
  }
}

BoundCheck CheckFieldBounds(const FieldDesc& field, const FieldValue& value) {
  if (value.IsNull()) return BoundCheck::kWithin;
  auto bound = [&field](const std::string& text) {
    FieldValue b = FieldValueFromText(field, text);
    // A date field holds whole days and a time field a time of day only, so
    // "NOW" bounds them by today's date or the current time.
    if (field.type == kTypeDate) b.number = std::trunc(b.number);
    if (field.type == kTypeTime) b.number = std::fabs(b.number - std::trunc(b.number));
    return b;
  };
  if (!field.min_text.empty() && Compare(value, bound(field.min_text)) < 0)
    return BoundCheck::kBelowMinimum;
  if (!field.max_text.empty() && Compare(value, bound(field.max_text)) > 0)
    return BoundCheck::kAboveMaximum;
  return BoundCheck::kWithin;
}

}  // namespace quoldex::tables
