#include "tables/sql/sql_value.h"

#include "text/western.h"

namespace quoldex::tables {
namespace {

int Order(double x, double y) { return (x > y) - (x < y); }

bool IsNumeric(SqlValue::Kind k) {
  return k == SqlValue::Kind::kInteger || k == SqlValue::Kind::kFloat ||
         k == SqlValue::Kind::kBoolean;
}

double AsDouble(const SqlValue& v) {
  return v.kind == SqlValue::Kind::kFloat ? v.number : static_cast<double>(v.integer);
}

}  // namespace

int FindColumn(const SqlColumns& columns, std::string_view name) {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (text::SameText(columns[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

SqlValue::Kind ValueKindOf(uint8_t type) {
  switch (type) {
    case kTypeBoolean:
      return SqlValue::Kind::kBoolean;
    case kTypeSmallInt:
    case kTypeInteger:
    case kTypeWord:
    case kTypeUInt32:
      return SqlValue::Kind::kInteger;
    case kTypeDate:
    case kTypeTime:
    case kTypeTimestamp:
    case kTypeFloat:
    case kTypeBcd:
    case kTypeExtended:
      return SqlValue::Kind::kFloat;
    default:
      return SqlValue::Kind::kString;
  }
}

int CompareForResultIndex(const SqlValue& a, const SqlValue& b, bool ignore_case) {
  using Kind = SqlValue::Kind;
  if (a.kind == Kind::kString && b.kind == Kind::kString) {
    return text::CompareLanguage(a.text, b.text, ignore_case);
  }
  if (IsNumeric(a.kind) && IsNumeric(b.kind)) {
    if (a.kind != Kind::kFloat && b.kind != Kind::kFloat) {
      return (a.integer > b.integer) - (a.integer < b.integer);
    }
    return Order(AsDouble(a), AsDouble(b));
  }
  return static_cast<int>(a.kind) - static_cast<int>(b.kind);
}

}  // namespace quoldex::tables
