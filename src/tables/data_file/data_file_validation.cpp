#include "tables/data_file/data_file_validation.h"

#include "tables/base/engine_error.h"
#include "tables/records/data_file_record.h"
#include "tables/records/field_descriptor.h"
#include "tables/records/field_text.h"
#include "text/western.h"

namespace quoldex::tables {
namespace {

constexpr size_t kNameRoom = 30;
constexpr size_t kTextRoom = 50;
constexpr int kMaxBlobFields = 32;
constexpr uint32_t kMinBlobBlockSize = 64;
constexpr size_t kMaxPassword = 15;
constexpr size_t kMaxRecordSize = 65535;

std::string_view TrimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string Cut(std::string_view s, size_t room) { return std::string(s.substr(0, room)); }

bool IsNameStart(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 129 && c <= 254);
}

// Types whose values the engine stores.
bool IsSupportedType(uint8_t type) {
  return type >= kTypeString && type <= kTypeVarBytes && type != kTypeBlob && type != kTypeBcd &&
         type != kTypeExtended;
}

}  // namespace

std::vector<FieldDesc> ValidateDataFileDefinition(std::string_view error_name,
                                                  const std::vector<FieldDesc>& fields,
                                                  const DataFileOptions& options) {
  auto fail = [error_name](int code, std::string_view name = {}) {
    throw EDbEngineError(code, error_name, name);
  };
  if (fields.empty() || fields.size() > static_cast<size_t>(kMaxFields)) fail(kErrFieldLimits);
  int blob_fields = 0;
  for (const FieldDesc& f : fields) blob_fields += f.type == kTypeBlob ? 1 : 0;
  if (options.blob_block_size < kMinBlobBlockSize || blob_fields > kMaxBlobFields)
    fail(kErrBlobFields);
  if (options.encrypted) {
    size_t n = TrimBlanks(options.password).size();
    if (n < 1 || n > kMaxPassword) fail(kErrPassword);
    // Enciphering is not supported: refuse rather than write a table that
    // nothing could read.
    fail(kErrPasswordRequired);
  }
  if (options.language_id != 0 && options.language_id != kLanguageWestern) fail(kErrLanguage);

  std::vector<FieldDesc> out;
  out.reserve(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    FieldDesc f = fields[i];
    f.name = Cut(TrimBlanks(f.name), kNameRoom);
    if (f.name.empty() || !IsNameStart(static_cast<uint8_t>(f.name[0])))
      fail(kErrFieldName, f.name);
    for (const FieldDesc& earlier : out)
      if (text::SameText(earlier.name, f.name)) fail(kErrFieldName, f.name);
    const uint16_t position = static_cast<uint16_t>(i + 1);
    if ((f.number != 0 && f.number != position) || !IsSupportedType(f.type) || f.computed)
      fail(kErrFieldDefinition, f.name);
    if (HasDeclaredSize(f.type)) {
      if (f.size < 1 || f.size > 250) fail(kErrFieldDefinition, f.name);
    } else {
      f.size = 0;
    }
    f.number = position;
    f.decimals = 0;  // only BCD fields have decimals, and they are refused above
    f.description = Cut(f.description, kTextRoom);
    f.min_text = Cut(f.min_text, kTextRoom);
    f.max_text = Cut(f.max_text, kTextRoom);
    f.default_text = Cut(f.default_text, kTextRoom);
    f.language_order = options.language_id == kLanguageWestern;
    out.push_back(std::move(f));
  }

  for (const FieldDesc& f : out) {
    for (const std::string* t : {&f.default_text, &f.min_text, &f.max_text})
      if (!t->empty() && !IsFieldTextValid(f, *t)) fail(kErrValidityCheck, f.name);
  }

  size_t offset = kRecordHeaderSize;
  for (FieldDesc& f : out) {
    f.physical_size = PhysicalSize(f.type, f.size);
    if (f.IsAutoInc()) {
      f.offset = kRecordIdOffset;
    } else {
      if (offset > kMaxRecordSize) fail(kErrMaxRecordSize);
      f.offset = static_cast<uint16_t>(offset);
      offset += 1 + f.physical_size;
    }
  }
  if (offset > kMaxRecordSize) fail(kErrMaxRecordSize);
  return out;
}

}  // namespace quoldex::tables
