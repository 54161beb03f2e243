// Validation of a new data file's definition, before anything is created.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tables/base/table_defs.h"

namespace quoldex::tables {

// The language identifier of the Western (code page 1252) language order. A
// table created with it keys its strings in that order (key_codec.h); the
// engine gives it only to query result tables. 0 means byte order; every
// other identifier is refused.
inline constexpr uint16_t kLanguageWestern = 1252;

// What a data file is created with besides its fields.
struct DataFileOptions {
  std::string description;  // at most 50 characters are kept
  uint32_t blob_block_size = 512;
  uint16_t language_id = 0;  // 0 or kLanguageWestern
  uint16_t sort_id = 0;
  bool encrypted = false;
  std::string password;
};

// Checks `fields` and `options` and returns the fields as the file stores
// them: number = position, name with surrounding blanks removed and cut to
// 30 characters, free text and limit texts cut to 50, declared size 0 for
// types without one, decimals 0, physical size and slot offset (a running
// offset from 9; 5 and no slot for autoinc) and language_order from the
// options. Raises, naming `error_name`:
//   kErrFieldLimits       no field, or more than 1024
//   kErrBlobFields        blob block size below 64, or more than 32 blob
//                         fields
//   kErrPassword          encrypted, and the trimmed password is not 1 to 15
//                         characters
//   kErrPasswordRequired  encrypted (enciphered tables are not supported)
//   kErrLanguage          a language identifier other than 0 and
//                         kLanguageWestern
//   kErrFieldName         a name that is empty, does not begin with A-Z, a-z
//                         or a character 129..254, or equals an earlier name
//                         ignoring case
//   kErrFieldDefinition   a field number other than 0 or its position; a
//                         type code that is 0 or unknown; a string, bytes or
//                         varbytes size outside 1..250; a blob, BCD, extended
//                         float or computed field (their storage is not
//                         supported)
//   kErrValidityCheck     a default, minimum or maximum text that does not
//                         convert to the field's type ("DATE", "TIME" and
//                         "NOW" are accepted for date, time and timestamp
//                         fields)
//   kErrMaxRecordSize     a record size above 65535
// The index limits (kErrIndexLimits and the rest) belong to the index file.
std::vector<FieldDesc> ValidateDataFileDefinition(std::string_view error_name,
                                                  const std::vector<FieldDesc>& fields,
                                                  const DataFileOptions& options);

}  // namespace quoldex::tables
