// Checks of index definitions against a table's fields, made before any
// index is stored (at creation, at restructure and when an index is added).
// Nothing here touches a file.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tables/base/table_defs.h"

namespace quoldex::tables {

// The name an index goes by in messages: "Primary" for the primary index.
std::string IndexDisplayName(const IndexDesc& index, bool primary);

// Checks one definition and normalises it in place: the field list ends at
// the first field number 0, the key length is computed (the sum of
// KeyPartLength over the key fields, plus 4 for a non-unique secondary index),
// root and free chain are cleared; the primary index loses its name, a
// secondary index name is trimmed of surrounding blanks and cut to 30
// characters. `fields` holds field n at fields[n - 1].
//
// Errors (EDbEngineError naming `error_name`), in the order checked:
//   kErrIndexField       a field number that names no field (among the
//                        first 16)
//   kErrKeySize          key length above 1036, or 0 for anything but a
//                        field-less primary
//   primary:   kErrPrimaryExists one already defined (`primary_exists`),
//              kErrIndexLimits more than 16 fields, kErrIndexFieldType a blob
//              field
//   secondary: kErrIndexLimits already 30 secondary indexes or more than 16
//              fields, kErrIndexNameMissing no name, kErrIndexName a name
//              not starting with A-Z, a-z or a character 129-254,
//              kErrIndexExists a name equal without regard to case to one in
//              `existing_names`, kErrIndexFieldType a blob field
void CheckIndexDefinition(IndexDesc& index, bool primary, std::span<const FieldDesc> fields,
                          bool primary_exists, const std::vector<std::string>& existing_names,
                          std::string_view error_name);

// Checks the definitions of a new table: `primary` and then each secondary
// in order (each against the names before it). Normalises them in place.
void CheckIndexDefinitions(IndexDesc& primary, std::vector<IndexDesc>& secondaries,
                           std::span<const FieldDesc> fields, std::string_view error_name);

}  // namespace quoldex::tables
