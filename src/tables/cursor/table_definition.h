// A table's definition in the form its files store it: checking a new
// definition, comparing it with an existing table, and writing the files of
// a new table.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tables/base/table_defs.h"
#include "tables/cursor/table_cursor.h"
#include "tables/data_file/data_file.h"
#include "tables/data_file/data_file_validation.h"
#include "tables/index_file/index_file.h"

namespace quoldex::tables {

struct StoredDefinition {
  std::vector<FieldDesc> fields;  // numbered, trimmed, with physical sizes and offsets
  IndexDesc primary;              // no fields: the table has no primary index
  std::vector<IndexDesc> secondaries;
  DataFileOptions options;
};

// Checks every field (ValidateDataFileDefinition) and then every index
// (CheckIndexDefinitions) of `definition`, naming `error_name` in errors,
// and returns them as stored. indexes[0] is the primary index; an empty
// index list means a table without one. Touches no file.
StoredDefinition NormalizeDefinition(const TableDefinition& definition,
                                     std::string_view error_name);

// True when the open data file was created with exactly these fields and
// options (blob block size, language, sort order, encryption).
bool SameDataLayout(const StoredDefinition& definition, const TDataFile& data);
// True when the open index file holds exactly these index definitions (key
// compression is never stored, so it is not compared).
bool SameIndexes(const StoredDefinition& definition, const TIndexFile& index);

// Stores the primary and secondary definitions in a freshly created index
// file (open exclusively).
void AddIndexDefinitions(const StoredDefinition& definition, TIndexFile& index);

// Creates the data file `data_file_name` and its index file, replacing
// files of those names (11013 when another handle has one open).
// Everything is validated first; when anything fails, the files begun are
// removed and the error is raised. On disk the creation is all or nothing,
// also across a power cut: both files are written whole under their names
// with kStagedSuffix added, made durable, and then moved into place, the
// index file first and the data file last (an old data file is removed
// before), so that at every moment the table either does not exist or is
// whole. A staging file left by a cut is replaced at the next creation.
void CreateTableFiles(const std::string& data_file_name, const TableDefinition& definition,
                      bool in_memory = false);

// Added to a file's name for the new file that is to replace it.
inline constexpr const char* kStagedSuffix = ".NEW";

// Makes what was written to the closed file `name` durable (errors name
// `data_name`).
void FlushClosedFile(const std::string& name, const std::string& data_name);

// Makes the renames done beside the table `data_name` durable; raises
// kErrWrite with the system's reason when the folder cannot be flushed.
void FlushFolderOrFail(const std::string& data_name);

}  // namespace quoldex::tables
