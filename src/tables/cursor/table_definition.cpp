#include "tables/cursor/table_definition.h"

#include <algorithm>

#include "tables/base/engine_error.h"
#include "tables/cursor/table_files.h"
#include "tables/index_file/index_file_defs.h"
#include "tables/storage/storage.h"

namespace quoldex::tables {
namespace {

bool SameField(const FieldDesc& a, const FieldDesc& b) {
  return a.number == b.number && a.name == b.name && a.description == b.description &&
         a.type == b.type && a.subtype == b.subtype && a.size == b.size &&
         a.decimals == b.decimals && a.physical_size == b.physical_size && a.offset == b.offset &&
         a.required == b.required && a.computed == b.computed && a.min_text == b.min_text &&
         a.max_text == b.max_text && a.default_text == b.default_text;
}

bool SameIndex(const IndexDesc& a, const IndexDesc& b, bool primary) {
  if (a.fields != b.fields || a.key_length != b.key_length || a.descending != b.descending ||
      a.case_insensitive != b.case_insensitive) {
    return false;
  }
  if (!primary && (a.name != b.name || a.unique != b.unique)) return false;
  return std::equal(a.field_descending.begin(), a.field_descending.begin() + a.fields.size(),
                    b.field_descending.begin());
}

}  // namespace

StoredDefinition NormalizeDefinition(const TableDefinition& definition,
                                     std::string_view error_name) {
  StoredDefinition out;
  out.options.description = definition.description;
  out.options.blob_block_size = definition.blob_block_size;
  out.fields = ValidateDataFileDefinition(error_name, definition.fields, out.options);
  if (!definition.indexes.empty()) {
    out.primary = definition.indexes[0];
    out.secondaries.assign(definition.indexes.begin() + 1, definition.indexes.end());
  }
  CheckIndexDefinitions(out.primary, out.secondaries, out.fields, error_name);
  return out;
}

bool SameDataLayout(const StoredDefinition& definition, const TDataFile& data) {
  const DataFileHeader& h = data.Header();
  uint32_t blob_block = h.BlobBlockSize() == 0 ? 512 : h.BlobBlockSize();
  if (h.Encrypted() != definition.options.encrypted ||
      blob_block != definition.options.blob_block_size ||
      h.LanguageId() != definition.options.language_id ||
      h.SortId() != definition.options.sort_id ||
      data.Fields().size() != definition.fields.size()) {
    return false;
  }
  for (size_t i = 0; i < definition.fields.size(); ++i) {
    if (!SameField(definition.fields[i], data.Fields()[i])) return false;
  }
  return true;
}

bool SameIndexes(const StoredDefinition& definition, const TIndexFile& index) {
  if (index.SecondaryCount() != static_cast<int>(definition.secondaries.size())) return false;
  if (!SameIndex(definition.primary, index.Descriptor(TIndexFile::kPrimaryIndex), true)) {
    return false;
  }
  for (size_t i = 0; i < definition.secondaries.size(); ++i) {
    if (!SameIndex(definition.secondaries[i], index.Descriptor(static_cast<int>(i + 1)), false)) {
      return false;
    }
  }
  return true;
}

void AddIndexDefinitions(const StoredDefinition& definition, TIndexFile& index) {
  index.AddPrimaryIndex(definition.primary);
  for (const IndexDesc& secondary : definition.secondaries) index.AddSecondaryIndex(secondary);
}

// Makes what was written to the closed file `name` durable.
void FlushClosedFile(const std::string& name, const std::string& data_name) {
  TFileHandler file(name, data_name);
  file.Open(true, false, false);
  file.Flush();
}

void FlushFolderOrFail(const std::string& data_name) {
  if (int err = DiskStorage().FlushFolder(data_name); err != 0) {
    throw EDbEngineError::WithOsReason(kErrWrite, data_name, err);
  }
}

namespace {

// Writes a new table's data file `data_name` and index file `index_name`,
// replacing files of those names; errors name `error_name`. When anything
// fails, the files begun are removed and the error is raised.
void WriteTableFiles(const std::string& data_name, const std::string& index_name,
                     const std::string& error_name, const StoredDefinition& stored,
                     const TableDefinition& definition, bool in_memory) {
  TDataFile data(data_name, error_name);
  data.SetInMemory(in_memory);
  data.Create(definition.fields, stored.options);
  TIndexFile index(index_name, error_name, data.Fields());
  index.SetInMemory(in_memory);
  bool index_created = false;
  try {
    index.Create(false);
    index_created = true;
    AddIndexDefinitions(stored, index);
    index.Close();
    data.Close();
  } catch (...) {
    // An index file that could not be created may belong to someone else.
    try {
      if (index_created) index.Delete();
    } catch (...) {
      // The first error is the one worth reporting.
    }
    try {
      data.Delete();
    } catch (...) {
    }
    throw;
  }
}

// Raises 11013 when another handle has the file `name` open (nothing when
// there is no such file), as creating over it would.
void CheckNotInUse(const std::string& name, const std::string& error_name) {
  if (!TFileHandler::FileExists(name)) return;
  TFileHandler file(name, error_name);
  file.Open(true, false, false);
}

void RenameOrFail(const std::string& from, const std::string& to, const std::string& error_name) {
  if (int err = DiskStorage().Rename(from, to); err != 0) {
    throw EDbEngineError::WithOsReason(kErrCannotDelete, error_name, err);
  }
}

}  // namespace

void CreateTableFiles(const std::string& data_file_name, const TableDefinition& definition,
                      bool in_memory) {
  const StoredDefinition stored = NormalizeDefinition(definition, data_file_name);
  const std::string index_name = IndexFileNameFor(data_file_name, in_memory);
  if (in_memory) {
    // Nothing in memory outlives the process: no cut to guard against.
    WriteTableFiles(data_file_name, index_name, data_file_name, stored, definition, true);
    return;
  }
  // Both files are built whole under staging names beside their own and
  // made durable before either moves into place. The index file moves
  // first and the data file last: the table exists (its data file does)
  // only once both are whole, so a cut at any step leaves no table or the
  // new one. A staging file a cut left behind is replaced by the next
  // creation of the table.
  const std::string staged_data = data_file_name + kStagedSuffix;
  const std::string staged_index = index_name + kStagedSuffix;
  WriteTableFiles(staged_data, staged_index, data_file_name, stored, definition, false);
  try {
    FlushClosedFile(staged_data, data_file_name);
    FlushClosedFile(staged_index, data_file_name);
    CheckNotInUse(data_file_name, data_file_name);
    CheckNotInUse(index_name, data_file_name);
    // An old table goes first, so that its data file never meets the new
    // index file.
    if (int err = DiskStorage().Delete(data_file_name); err != 0 && err != ENOENT) {
      throw EDbEngineError::WithOsReason(kErrCannotDelete, data_file_name, err);
    }
    RenameOrFail(staged_index, index_name, data_file_name);
    RenameOrFail(staged_data, data_file_name, data_file_name);
  } catch (...) {
    DiskStorage().Delete(staged_data);
    DiskStorage().Delete(staged_index);
    throw;
  }
  FlushFolderOrFail(data_file_name);
}

}  // namespace quoldex::tables
