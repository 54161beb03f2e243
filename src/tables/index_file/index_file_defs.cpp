#include "tables/index_file/index_file_defs.h"

#include <algorithm>

#include "tables/base/engine_error.h"
#include "tables/index_file/key_codec.h"
#include "text/western.h"

namespace quoldex::tables {
namespace {

constexpr size_t kMaxIndexNameLength = 30;

std::string TrimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

bool ValidNameStart(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 129 && c <= 254);
}

}  // namespace

std::string IndexDisplayName(const IndexDesc& index, bool primary) {
  return primary ? std::string("Primary") : index.name;
}

void CheckIndexDefinition(IndexDesc& index, bool primary, std::span<const FieldDesc> fields,
                          bool primary_exists, const std::vector<std::string>& existing_names,
                          std::string_view error_name) {
  if (primary) {
    index.name.clear();
  } else {
    index.name = TrimBlanks(index.name);
    if (index.name.size() > kMaxIndexNameLength) index.name.resize(kMaxIndexNameLength);
  }
  std::string shown = IndexDisplayName(index, primary);
  auto end = std::find(index.fields.begin(), index.fields.end(), uint16_t{0});
  index.fields.erase(end, index.fields.end());
  index.root = 0;
  index.free_head = 0;

  size_t checked = std::min<size_t>(index.fields.size(), kMaxIndexFields);
  size_t key_length = 0;
  bool has_blob = false;
  for (size_t i = 0; i < checked; ++i) {
    uint16_t number = index.fields[i];
    if (number > fields.size()) {
      throw EDbEngineError(kErrIndexField, error_name, std::to_string(number), shown);
    }
    const FieldDesc& f = fields[number - 1];
    key_length += KeyPartLength(f, index.case_insensitive);
    has_blob = has_blob || f.type == kTypeBlob;
  }
  if (!primary && !index.unique && !index.fields.empty()) key_length += 4;
  if (key_length > kMaxKeyLength || (key_length == 0 && !primary)) {
    throw EDbEngineError(kErrKeySize, error_name, shown);
  }
  index.key_length = static_cast<uint16_t>(key_length);

  if (primary) {
    if (primary_exists) throw EDbEngineError(kErrPrimaryExists, error_name);
    if (index.fields.size() > kMaxIndexFields) throw EDbEngineError(kErrIndexLimits, error_name);
  } else {
    if (existing_names.size() >= static_cast<size_t>(kMaxSecondaryIndexes) ||
        index.fields.size() > kMaxIndexFields) {
      throw EDbEngineError(kErrIndexLimits, error_name);
    }
    if (index.name.empty()) throw EDbEngineError(kErrIndexNameMissing, error_name);
    if (!ValidNameStart(static_cast<uint8_t>(index.name[0]))) {
      throw EDbEngineError(kErrIndexName, error_name, index.name);
    }
    for (const std::string& other : existing_names) {
      if (text::SameText(other, index.name)) {
        throw EDbEngineError(kErrIndexExists, error_name, index.name);
      }
    }
  }
  if (has_blob) throw EDbEngineError(kErrIndexFieldType, error_name, shown);
}

void CheckIndexDefinitions(IndexDesc& primary, std::vector<IndexDesc>& secondaries,
                           std::span<const FieldDesc> fields, std::string_view error_name) {
  CheckIndexDefinition(primary, true, fields, false, {}, error_name);
  std::vector<std::string> names;
  for (IndexDesc& index : secondaries) {
    CheckIndexDefinition(index, false, fields, false, names, error_name);
    names.push_back(index.name);
  }
}

}  // namespace quoldex::tables
