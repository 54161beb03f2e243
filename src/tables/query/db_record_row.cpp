#include "tables/query/db_record_row.h"

#include <algorithm>

#include "tables/records/field_codec.h"

namespace quoldex::tables {

SqlColumns SqlColumnsOf(const std::vector<FieldDesc>& fields) {
  SqlColumns columns;
  columns.reserve(fields.size());
  for (const FieldDesc& field : fields) columns.push_back({field.name, field.type, field.size});
  return columns;
}

RecordSqlRow::RecordSqlRow(std::vector<FieldDesc> fields)
    : fields_(std::move(fields)), values_(fields_.size()), decoded_(fields_.size()) {}

void RecordSqlRow::SetRecord(const uint8_t* record) {
  record_ = record;
  std::fill(decoded_.begin(), decoded_.end(), false);
}

SqlValue RecordSqlRow::Column(int index) const {
  const FieldDesc& field = fields_.at(index);
  FieldValue& value = values_[index];
  if (!decoded_[index]) {
    value = IsFieldAccessible(field) ? GetFieldValue(field, record_) : FieldValue::Null();
    decoded_[index] = true;
  }
  switch (value.kind) {
    case FieldValue::Kind::kNull:
      return SqlValue::Null();
    case FieldValue::Kind::kString:
      return SqlValue::String(value.text);
    case FieldValue::Kind::kInteger:
      return SqlValue::Integer(value.integer);
    case FieldValue::Kind::kBoolean:
      return SqlValue::Boolean(value.AsBoolean());
    case FieldValue::Kind::kFloat:
    case FieldValue::Kind::kDateTime:
      return SqlValue::Float(value.number);
  }
  return SqlValue::Null();
}

}  // namespace quoldex::tables
