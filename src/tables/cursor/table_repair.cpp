// RepairTable: a user's repair of a table, when the table opens but
// the integrity check finds faults (which the recovery at open does not look
// for), or when it cannot be opened at all. The rebuilding itself is the
// recovery's (table_recovery.h).
#include "tables/cursor/table_repair.h"

#include "tables/base/engine_error.h"
#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_files.h"
#include "tables/cursor/table_recovery.h"

namespace quoldex::tables {
namespace {

bool IsDamage(int code) {
  return code == kErrHeaderCorrupt || code == kErrRecordBuffersCorrupt ||
         code == kErrIndexPagesCorrupt || code == kErrKeyNotFound || code == kErrRecordNotFound ||
         code == kErrRead;
}

}  // namespace

std::vector<std::string> RepairTable(const TableSettings& settings,
                                     const std::string& backup_directory) {
  const std::string name = TableCursor::DataFileName(settings);
  if (!TFileHandler::FileExists(name)) throw EDbEngineError(kErrPath, name);
  TableSettings checking = settings;
  checking.read_only = true;
  checking.in_memory = false;

  std::vector<std::string> report;
  try {
    TableCursor cursor(checking);
    cursor.Open();
    std::vector<std::string> findings = cursor.CheckIntegrity();
    // A table read as it is despite a dead writer's mark is repaired too.
    for (const std::string& line : cursor.Recovered()) findings.push_back(line);
    cursor.Close();
    if (findings.empty()) return {};
    for (std::string& f : findings) report.push_back("found: " + f);
  } catch (const EDbEngineError& e) {
    if (!IsDamage(e.ErrorCode())) throw;
    report.push_back(std::string("found: ") + e.what());
  }

  const std::string index_name = IndexFileNameFor(name);
  if (!backup_directory.empty()) {
    for (const std::string& file : {name, index_name}) {
      TFileHandler(file, name).Copy(backup_directory + file.substr(DirectoryOf(file).size()));
    }
  }
  for (std::string& m : RecoverTable(name, index_name, settings.lock_retry_count,
                                     settings.lock_wait_time, true)) {
    report.push_back("mended: " + m);
  }
  TableSettings writable = checking;
  writable.read_only = false;
  TableCursor cursor(writable);
  cursor.Open();
  for (std::string& left : cursor.CheckIntegrity()) report.push_back("not mended: " + left);
  cursor.Close();
  return report;
}

}  // namespace quoldex::tables
