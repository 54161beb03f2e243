#include "data/pref_record.h"

namespace quoldex::data {

using tables::DataSetState;
using tables::TField;

const TField* PrefRecord::Readable(std::string_view field) const {
  if (!table_.Active()) return nullptr;
  return &table_.FieldByName(field);
}

bool PrefRecord::IsNull(std::string_view field) const {
  const TField* f = Readable(field);
  return !f || f->IsNull();
}

std::string PrefRecord::Text(std::string_view field) const {
  const TField* f = Readable(field);
  return f ? f->AsString() : std::string();
}

bool PrefRecord::Boolean(std::string_view field) const {
  const TField* f = Readable(field);
  return f && f->AsBoolean();
}

std::optional<int64_t> PrefRecord::Integer(std::string_view field) const {
  const TField* f = Readable(field);
  if (!f || f->IsNull()) return std::nullopt;
  return f->AsInteger();
}

bool PrefRecord::Editing() const {
  return table_.State() == DataSetState::kEdit || table_.State() == DataSetState::kInsert;
}

void PrefRecord::Edit() {
  if (!Editing()) table_.Edit();
}

void PrefRecord::SetText(std::string_view field, std::string_view value) {
  table_.FieldByName(field).SetAsString(value);
}

void PrefRecord::SetBoolean(std::string_view field, bool value) {
  table_.FieldByName(field).SetAsBoolean(value);
}

void PrefRecord::SetInteger(std::string_view field, int64_t value) {
  table_.FieldByName(field).SetAsInteger(value);
}

void PrefRecord::Clear(std::string_view field) { table_.FieldByName(field).Clear(); }

void PrefRecord::Post() { table_.Post(); }

void PrefRecord::Cancel() { table_.Cancel(); }

}  // namespace quoldex::data
