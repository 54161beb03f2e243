#include "tables/query/query_result_table.h"

#include "tables/base/engine_error.h"
#include "tables/data_file/data_file.h"
#include "tables/data_file/data_file_validation.h"
#include "tables/index_file/index_file.h"
#include "tables/storage/memory_files.h"
#include "tables/storage/storage.h"

namespace quoldex::tables {
namespace {

// Names tried before giving up: far more than one thread ever holds open.
constexpr int kMaxNameTries = 100000;

std::string ThreadIdDigits() {
  return std::to_string(DiskStorage().CurrentThreadId()).substr(0, 5);
}

// The first "<thread digits><counter>.DAT" in `folder` whose data and index
// files are both absent from memory, claimed by creating the data file.
std::string ClaimDataFileName(const std::string& folder) {
  const std::string prefix = folder + ThreadIdDigits();
  for (int counter = 0; counter < kMaxNameTries; ++counter) {
    const std::string base = prefix + std::to_string(counter);
    if (memory_files::CreateNew(base + ".DAT", base + ".IDX")) return base + ".DAT";
  }
  throw EDbEngineError(kErrTooManyFiles, prefix + ".DAT");
}

}  // namespace

std::string ResultTableFolder() { return DiskStorage().TemporaryFolder(); }

QueryResultTable::QueryResultTable(const std::vector<FieldDesc>& fields,
                                   const std::vector<IndexDesc>& indexes) {
  const std::string folder = ResultTableFolder();
  data_file_ = ClaimDataFileName(folder);
  index_file_ = data_file_.substr(0, data_file_.size() - 4) + ".IDX";
  try {
    {
      DataFileOptions options;
      options.language_id = kLanguageWestern;
      TDataFile data(data_file_);
      data.SetInMemory(true);
      data.Create(fields, options);
      TIndexFile index(index_file_, data_file_, data.Fields());
      index.SetInMemory(true);
      index.Create(false);
      index.AddPrimaryIndex(indexes.at(0));
      for (size_t i = 1; i < indexes.size(); ++i) index.AddSecondaryIndex(indexes[i]);
      index.Close();
      data.Close();
    }
    TableSettings settings;
    settings.directory = folder;
    settings.table_name = data_file_.substr(folder.size());
    settings.exclusive = true;
    settings.in_memory = true;
    cursor_ = std::make_unique<TableCursor>(settings);
    cursor_->Open();
  } catch (...) {
    cursor_.reset();
    RemoveFiles();
    throw;
  }
  RemoveFiles();
}

QueryResultTable::~QueryResultTable() {
  try {
    cursor_->CloseDiscarding();  // the files go with the table: nothing to write
  } catch (...) {
    // A destructor cannot report; the files are closed regardless.
  }
}

void QueryResultTable::RemoveFiles() {
  memory_files::Remove(data_file_);
  memory_files::Remove(index_file_);
}

}  // namespace quoldex::tables
