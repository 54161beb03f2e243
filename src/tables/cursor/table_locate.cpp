#include "tables/cursor/table_locate.h"

#include <optional>
#include <string>
#include <string_view>

#include "tables/base/engine_error.h"
#include "tables/cursor/table_keys.h"
#include "tables/records/field_codec.h"
#include "text/western.h"

namespace quoldex::tables {
namespace {

bool SameString(std::string_view have, std::string_view want, bool case_insensitive, bool prefix) {
  if (prefix) {
    if (have.size() < want.size()) return false;
    have = have.substr(0, want.size());
  }
  return case_insensitive ? text::SameText(have, want) : have == want;
}

}  // namespace

LocateTarget::LocateTarget(const TDataFile& data, std::span<const int> fields,
                           std::span<const FieldValue> values, bool case_insensitive,
                           bool partial) {
  Set(data, fields, values, case_insensitive, partial);
}

void LocateTarget::Set(const TDataFile& data, std::span<const int> fields,
                       std::span<const FieldValue> values, bool case_insensitive, bool partial) {
  data_ = &data;
  fields_.clear();
  case_insensitive_ = case_insensitive;
  partial_ = partial;
  any_string_ = false;
  keys_.resize(fields.size());
  values_.resize(fields.size());
  const std::vector<FieldDesc>& all = data.Fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    const int n = fields[i];
    if (n < 1 || static_cast<size_t>(n) > all.size()) {
      fields_.clear();
      throw EDbEngineError(kErrInvalidField, data.ErrorName(), std::to_string(n));
    }
    const FieldDesc& f = all[n - 1];
    any_string_ = any_string_ || f.type == kTypeString;
    static const FieldValue kNull;
    const FieldValue& v = i < values.size() ? values[i] : kNull;
    try {
      KeyAndStoredValueInto(f, v, scratch_, keys_[i], values_[i]);
    } catch (...) {
      fields_.clear();
      throw;
    }
    fields_.push_back(n);
  }
}

bool LocateTarget::Fits(const IndexDesc& index) const {
  if (index.fields.size() < fields_.size()) return false;
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (index.fields[i] != fields_[i]) return false;
  }
  return !any_string_ || index.case_insensitive == case_insensitive_;
}

size_t LocateTarget::BuildKey(const KeyLayout& layout, uint8_t* key) const {
  return layout.FromValues(std::span<const KeyValue>(keys_).first(fields_.size()), key, partial_);
}

bool LocateTarget::Matches(const uint8_t* record) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    const FieldValue& want = values_[i];
    const FieldDesc& f = data_->Fields()[fields_[i] - 1];
    const bool prefix = partial_ && i + 1 == fields_.size();
    if (f.type == kTypeString && want.kind == FieldValue::Kind::kString && IsFieldAccessible(f)) {
      // Read in place: the text GetField would hand out, without the copy.
      const std::optional<std::string_view> have = GetStringView(f, record);
      if (!have || !SameString(*have, want.text, case_insensitive_, prefix)) return false;
      continue;
    }
    const FieldValue have = data_->GetField(fields_[i], record);
    if (want.IsNull() || have.IsNull()) {
      if (want.IsNull() != have.IsNull()) return false;
    } else if (want.kind == FieldValue::Kind::kString && have.kind == FieldValue::Kind::kString) {
      if (!SameString(have.text, want.text, case_insensitive_, prefix)) return false;
    } else if (!(have == want)) {
      return false;
    }
  }
  return true;
}

}  // namespace quoldex::tables
