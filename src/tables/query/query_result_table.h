// QueryResultTable: the private table that holds one query result.
//
// Its files live in the process's memory (memory_files.h), never on disk:
// a result costs no disk writes, appears in no folder (not the process's
// current folder, which may be the user's project folder or not writable,
// nor any other), and cannot outlive the process, however it ends. The
// data file is named, within the system's temporary folder, after the first
// five digits of the current thread's id, a counter from 0 and ".DAT": the
// first such name whose data and index files are both absent, claimed at
// once so that no other thread can take it meanwhile. The table is created
// in the language order (kLanguageWestern) and opened exclusively for
// reading and writing; right after the open both names are removed, so the
// open handles alone hold the result and it is freed when they close.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tables/base/table_defs.h"
#include "tables/cursor/table_cursor.h"

namespace quoldex::tables {

// The folder result tables are created in, ending with a separator.
std::string ResultTableFolder();

class QueryResultTable {
 public:
  // Creates and opens the table: `fields` in order (numbered from 1),
  // indexes[0] the primary index, the rest secondary. Raises the engine's
  // errors; nothing is left behind when it fails.
  QueryResultTable(const std::vector<FieldDesc>& fields, const std::vector<IndexDesc>& indexes);
  // Closes the cursor (errors are lost), which frees the files.
  ~QueryResultTable();
  QueryResultTable(const QueryResultTable&) = delete;
  QueryResultTable& operator=(const QueryResultTable&) = delete;

  TableCursor& Cursor() { return *cursor_; }
  // The data file's full name as created (no longer known once the table
  // is open).
  const std::string& FileName() const { return data_file_; }

 private:
  void RemoveFiles();

  std::string data_file_;
  std::string index_file_;
  std::unique_ptr<TableCursor> cursor_;
};

}  // namespace quoldex::tables
