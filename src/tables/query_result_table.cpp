#include "tables/query_result_table.h"

#include <fcntl.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "tables/data_file.h"
#include "tables/data_file_validation.h"
#include "tables/engine_error.h"
#include "tables/file_handler.h"
#include "tables/index_file.h"

namespace quoldex::tables {
namespace {

// Names tried before giving up: far more than one thread ever holds open.
constexpr int kMaxNameTries = 100000;

std::string ThreadIdDigits() {
#if defined(__linux__)
  const auto id = static_cast<long long>(::syscall(SYS_gettid));
#else
  const auto id = std::hash<std::thread::id>{}(std::this_thread::get_id());
#endif
  return std::to_string(id).substr(0, 5);
}

// The first unused "<thread digits><counter>.DAT" in `folder`, claimed by
// creating it exclusively (its index file must be absent too).
std::string ClaimDataFileName(const std::string& folder) {
  const std::string prefix = folder + ThreadIdDigits();
  for (int counter = 0; counter < kMaxNameTries; ++counter) {
    const std::string base = prefix + std::to_string(counter);
    if (TFileHandler::FileExists(base + ".IDX")) continue;
    const std::string name = base + ".DAT";
    int fd = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) throw EDbEngineError(EngineCodeForOpenErrno(errno), name);
  }
  throw EDbEngineError(kErrTooManyFiles, prefix + ".DAT");
}

}  // namespace

std::string ResultTableFolder() {
  std::error_code error;
  std::string folder = std::filesystem::temp_directory_path(error).string();
  if (error || folder.empty()) folder = "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

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
      data.Create(fields, options);
      TIndexFile index(index_file_, data_file_, data.Fields());
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
  cursor_.reset();  // closes; a destructor cannot report its errors
  if (!removed_) RemoveFiles();
}

void QueryResultTable::RemoveFiles() {
  // Both attempts run; the table counts as removed only when neither file
  // is left.
  bool data_gone = std::remove(data_file_.c_str()) == 0 || errno == ENOENT;
  bool index_gone = std::remove(index_file_.c_str()) == 0 || errno == ENOENT;
  removed_ = data_gone && index_gone;
}

}  // namespace quoldex::tables
