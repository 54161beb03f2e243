// QueryResultTable: the private table that holds one query result.
//
// It is created in the system's temporary folder (TMPDIR, else the
// platform's default; never the process's current folder, which may be the
// user's project folder or not writable) under the name made of the first
// five digits of the current thread's id, a counter from 0 and ".DAT": the
// first such name whose data and index files are both absent, claimed by
// creating the data file exclusively so that no other thread or process can
// take it meanwhile. The table is created in the language order
// (kLanguageWestern) and opened exclusively for reading and writing.
//
// Removal. Right after the open, both files are removed from the folder:
// the open handles keep their contents alive, the table disappears when the
// handles close, and nothing is left behind even when the process ends
// abnormally (killed, crashed). Where the platform refuses to remove an
// open file, the files are removed when the object is destroyed instead.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tables/table_cursor.h"
#include "tables/table_defs.h"

namespace quoldex::tables {

// The folder result tables are created in, ending with a separator.
std::string ResultTableFolder();

class QueryResultTable {
 public:
  // Creates and opens the table: `fields` in order (numbered from 1),
  // indexes[0] the primary index, the rest secondary. Raises the engine's
  // errors; nothing is left behind when it fails.
  QueryResultTable(const std::vector<FieldDesc>& fields, const std::vector<IndexDesc>& indexes);
  // Closes the cursor (errors are lost) and removes what is left of the files.
  ~QueryResultTable();
  QueryResultTable(const QueryResultTable&) = delete;
  QueryResultTable& operator=(const QueryResultTable&) = delete;

  TableCursor& Cursor() { return *cursor_; }
  // The data file's full name as created (no longer in the folder once
  // removed).
  const std::string& FileName() const { return data_file_; }

 private:
  void RemoveFiles();

  std::string data_file_;
  std::string index_file_;
  bool removed_ = false;
  std::unique_ptr<TableCursor> cursor_;
};

}  // namespace quoldex::tables
