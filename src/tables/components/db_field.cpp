#include "tables/components/db_field.h"

#include <cmath>
#include <cstdio>

#include "tables/base/engine_error.h"
#include "tables/components/db_dataset.h"
#include "tables/components/db_datetime_text.h"
#include "tables/records/field_codec.h"
#include "tables/records/field_text.h"

namespace quoldex::tables {
namespace {

using Kind = FieldValue::Kind;

// `text` converted as a column of `type` converts it.
FieldValue FromText(uint8_t type, std::string_view text) {
  FieldDesc column;
  column.type = type;
  return FieldValueFromText(column, text);
}

std::string FloatText(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

bool IsIntegerKind(FieldKind kind) {
  return kind == FieldKind::kInteger || kind == FieldKind::kAutoInc;
}

}  // namespace

void SetColumnType(FieldKind kind, FieldDesc* column) {
  column->subtype = 0;
  switch (kind) {
    case FieldKind::kString:
      column->type = kTypeString;
      break;
    case FieldKind::kSmallInt:
      column->type = kTypeSmallInt;
      break;
    case FieldKind::kInteger:
      column->type = kTypeInteger;
      break;
    case FieldKind::kWord:
      column->type = kTypeWord;
      break;
    case FieldKind::kAutoInc:
      column->type = kTypeInteger;
      column->subtype = kSubtypeAutoInc;
      break;
    case FieldKind::kBoolean:
      column->type = kTypeBoolean;
      break;
    case FieldKind::kFloat:
      column->type = kTypeFloat;
      break;
    case FieldKind::kCurrency:
      column->type = kTypeFloat;
      column->subtype = kSubtypeMoney;
      break;
    case FieldKind::kDate:
      column->type = kTypeDate;
      break;
    case FieldKind::kTime:
      column->type = kTypeTime;
      break;
    case FieldKind::kDateTime:
      column->type = kTypeTimestamp;
      break;
  }
}

std::optional<FieldKind> FieldObjectKindFor(const FieldDesc& column) {
  if (!IsFieldAccessible(column)) return std::nullopt;
  if (column.IsAutoInc()) return FieldKind::kAutoInc;
  switch (column.type) {
    case kTypeString:
    case kTypeBytes:
    case kTypeVarBytes:
      return FieldKind::kString;
    case kTypeSmallInt:
    case kTypeInteger:
    case kTypeWord:
    case kTypeUInt32:
      return FieldKind::kInteger;
    case kTypeBoolean:
      return FieldKind::kBoolean;
    case kTypeFloat:
      return FieldKind::kFloat;
    case kTypeDate:
    case kTypeTime:
    case kTypeTimestamp:
      return FieldKind::kDateTime;
    default:
      return std::nullopt;
  }
}

std::unique_ptr<TField> MakeDefaultField(const FieldDesc& column) {
  std::optional<FieldKind> kind = FieldObjectKindFor(column);
  if (!kind) return nullptr;
  switch (*kind) {
    case FieldKind::kString:
      return std::make_unique<TStringField>(column.name, column.size);
    case FieldKind::kAutoInc:
      return std::make_unique<TAutoIncField>(column.name);
    case FieldKind::kInteger:
      return std::make_unique<TIntegerField>(column.name);
    case FieldKind::kBoolean:
      return std::make_unique<TBooleanField>(column.name);
    case FieldKind::kFloat:
      return std::make_unique<TFloatField>(column.name);
    case FieldKind::kDateTime:
      return std::make_unique<TDateTimeField>(column.name);
    default:
      return nullptr;
  }
}

std::vector<std::string> SplitFieldNames(std::string_view list) {
  std::vector<std::string> names;
  if (list.find_first_not_of(' ') == std::string_view::npos) return names;
  for (;;) {
    size_t end = list.find(';');
    std::string_view name = list.substr(0, end);
    size_t first = name.find_first_not_of(' ');
    name = first == std::string_view::npos
               ? std::string_view{}
               : name.substr(first, name.find_last_not_of(' ') - first + 1);
    names.emplace_back(name);
    if (end == std::string_view::npos) return names;
    list.remove_prefix(end + 1);
  }
}

FieldValue ValueForColumn(const FieldDesc& column, const FieldValue& value) {
  FieldValue converted;
  return ValueForColumn(column, value, converted);
}

const FieldValue& ValueForColumn(const FieldDesc& column, const FieldValue& value,
                                 FieldValue& converted) {
  if (value.kind != Kind::kString) return value;
  std::optional<FieldKind> kind = FieldObjectKindFor(column);
  if (!kind || *kind == FieldKind::kString) return value;
  return converted = FieldValueFromText(column, value.text);
}

// ---- TField ----

TField::TField(std::string field_name, FieldKind kind, int size)
    : field_name_(std::move(field_name)),
      kind_(kind),
      size_(kind == FieldKind::kString ? size : 0),
      declared_size_(size_) {}

const std::string& TField::DisplayName() const {
  return display_label_.empty() ? field_name_ : display_label_;
}

int TField::DisplayWidth() const {
  if (display_width_ > 0) return display_width_;
  switch (kind_) {
    case FieldKind::kString:
      return size_;
    case FieldKind::kBoolean:
      return 5;
    default:
      return 10;
  }
}

bool TField::Required() const { return required_.value_or(column_.required); }

void TField::Bind(const FieldDesc& column, int column_number) {
  std::optional<FieldKind> kind = FieldObjectKindFor(column);
  if (!kind || (*kind != kind_ && !(IsIntegerKind(*kind) && IsIntegerKind(kind_)))) {
    TypeMismatch();
  }
  column_ = column;
  column_number_ = column_number;
  if (kind_ == FieldKind::kString) size_ = declared_size_ > 0 ? declared_size_ : column.size;
}

void TField::TypeMismatch() const {
  throw EDatabaseError("Type mismatch for field '" + field_name_ + "'");
}

// ---- Reading ----

FieldValue TField::Value() const {
  if (!data_set_) throw EDatabaseError("Field '" + field_name_ + "' has no dataset");
  return data_set_->FieldData(*this);
}

std::string TField::AsString() const {
  FieldValue v = Value();
  switch (v.kind) {
    case Kind::kNull:
      return {};
    case Kind::kString:
      return std::move(v.text);
    case Kind::kInteger:
      return std::to_string(v.integer);
    case Kind::kBoolean:
      return v.AsBoolean() ? "True" : "False";
    case Kind::kFloat:
      return FloatText(v.number);
    case Kind::kDateTime:
      return RegionalDateTimeText(v.number).value_or(std::string());
  }
  return {};
}

int64_t TField::AsInteger() const {
  FieldValue v = Value();
  switch (v.kind) {
    case Kind::kNull:
      return 0;
    case Kind::kString:
      return FromText(kTypeInteger, v.text).integer;
    case Kind::kInteger:
    case Kind::kBoolean:
      return v.integer;
    case Kind::kFloat:
    case Kind::kDateTime:
      if (!(std::fabs(v.number) < 9.2e18)) TypeMismatch();
      return std::llround(v.number);
  }
  return 0;
}

bool TField::AsBoolean() const {
  FieldValue v = Value();
  switch (v.kind) {
    case Kind::kNull:
      return false;
    case Kind::kString:
      return FromText(kTypeBoolean, v.text).AsBoolean();
    case Kind::kInteger:
    case Kind::kBoolean:
      return v.integer != 0;
    default:
      TypeMismatch();
  }
}

double TField::AsFloat() const {
  FieldValue v = Value();
  switch (v.kind) {
    case Kind::kNull:
      return 0;
    case Kind::kString:
      return FromText(kTypeFloat, v.text).number;
    case Kind::kInteger:
      return static_cast<double>(v.integer);
    case Kind::kFloat:
    case Kind::kDateTime:
      return v.number;
    default:
      TypeMismatch();
  }
}

TDateTime TField::AsDateTime() const {
  FieldValue v = Value();
  switch (v.kind) {
    case Kind::kString:
      return FromText(kTypeTimestamp, v.text).number;
    case Kind::kInteger:
      return static_cast<double>(v.integer);
    case Kind::kBoolean:
      TypeMismatch();
    default:
      return v.number;  // 0 when null
  }
}

// ---- Writing ----

void TField::Store(const FieldValue& value) {
  if (!data_set_) throw EDatabaseError("Field '" + field_name_ + "' has no dataset");
  data_set_->SetFieldData(*this, value);
}

void TField::SetAsString(std::string_view text) {
  if (kind_ == FieldKind::kString) {
    Store(FieldValue::String(std::string(text.substr(0, static_cast<size_t>(size_)))));
  } else if (text.empty()) {
    Store(FieldValue::Null());
  } else {
    Store(FieldValue::String(std::string(text)));
  }
}

void TField::SetAsInteger(int64_t value) {
  if (kind_ == FieldKind::kString) return SetAsString(std::to_string(value));
  Store(FieldValue::Integer(value));
}

void TField::SetAsBoolean(bool value) {
  if (kind_ == FieldKind::kString) return SetAsString(value ? "True" : "False");
  Store(FieldValue::Boolean(value));
}

void TField::SetAsFloat(double value) {
  if (kind_ == FieldKind::kString) return SetAsString(FloatText(value));
  Store(kind_ == FieldKind::kDateTime ? FieldValue::DateTime(value) : FieldValue::Float(value));
}

void TField::SetAsDateTime(TDateTime value) {
  if (kind_ == FieldKind::kString) {
    std::optional<std::string> text = RegionalDateTimeText(value);
    if (!text) throw EDatabaseError("Value of field '" + field_name_ + "' is out of range");
    return SetAsString(*text);
  }
  Store(kind_ == FieldKind::kFloat ? FieldValue::Float(value) : FieldValue::DateTime(value));
}

void TField::Clear() { Store(FieldValue::Null()); }

}  // namespace quoldex::tables
