#include "tables/cursor/table_definition.h"

#include <algorithm>

#include "tables/cursor/table_files.h"
#include "tables/index_file/index_file_defs.h"

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

void CreateTableFiles(const std::string& data_file_name, const TableDefinition& definition,
                      bool in_memory) {
  StoredDefinition stored = NormalizeDefinition(definition, data_file_name);
  TDataFile data(data_file_name);
  data.SetInMemory(in_memory);
  data.Create(definition.fields, stored.options);
  TIndexFile index(IndexFileNameFor(data_file_name, in_memory), data_file_name, data.Fields());
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

}  // namespace quoldex::tables
