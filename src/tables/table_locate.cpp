#include "tables/table_locate.h"

#include <string>

#include "tables/engine_error.h"
#include "tables/table_keys.h"
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
                           std::span<const FieldValue> values, bool case_insensitive, bool partial)
    : data_(data),
      fields_(fields.begin(), fields.end()),
      case_insensitive_(case_insensitive),
      partial_(partial) {
  const std::vector<FieldDesc>& all = data.Fields();
  for (size_t i = 0; i < fields_.size(); ++i) {
    const int n = fields_[i];
    if (n < 1 || static_cast<size_t>(n) > all.size()) {
      throw EDbEngineError(kErrInvalidField, data.ErrorName(), std::to_string(n));
    }
    const FieldDesc& f = all[n - 1];
    any_string_ = any_string_ || f.type == kTypeString;
    const FieldValue& v = i < values.size() ? values[i] : FieldValue::Null();
    auto [key, stored] = KeyAndStoredValue(f, v);
    keys_.push_back(std::move(key));
    values_.push_back(std::move(stored));
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
  return layout.FromValues(keys_, key, partial_);
}

bool LocateTarget::Matches(const uint8_t* record) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    const FieldValue have = data_.GetField(fields_[i], record);
    const FieldValue& want = values_[i];
    if (want.IsNull() || have.IsNull()) {
      if (want.IsNull() != have.IsNull()) return false;
    } else if (want.kind == FieldValue::Kind::kString && have.kind == FieldValue::Kind::kString) {
      if (!SameString(have.text, want.text, case_insensitive_,
                      partial_ && i + 1 == fields_.size())) {
        return false;
      }
    } else if (!(have == want)) {
      return false;
    }
  }
  return true;
}

}  // namespace quoldex::tables
