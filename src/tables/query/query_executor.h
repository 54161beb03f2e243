// The statement executor of the query component: runs a one-table SELECT of
// the query language and returns its result as a private, read-only
// snapshot table (query_result_table.h) for TDbQuery to navigate.
//
// Steps: parse the statement ("?" markers), open the source table named in
// FROM in the request's database folder (names matched without regard to
// case, "Objects" is objects.dat; a name with a folder names its table
// directly) shared and read-only with the request's lock settings, resolve
// the statement against its columns, create the result table
// (query_result_layout.h), visit the source rows that may satisfy WHERE
// (query_source_access.h: an index range where WHERE fixes an index's first
// field, else every record in slot order; in one scan of the source under
// one read lock, so that they all come from one state of the table) and
// keep those for which
// it holds, writing each kept row unless a GROUP BY or DISTINCT lookup finds
// an equal row already written. The result cursor stands on the first row of
// its primary index.
//
// Errors are EDbEngineError: kErrSql for the statement's own errors, the
// engine's codes for the tables. Nothing stays open or behind after an error.
#pragma once

#include <memory>

#include "tables/query/db_query_exec.h"

namespace quoldex::tables {

// The executor: a QueryExecutor (db_query_exec.h).
std::unique_ptr<QueryResult> RunSelectQuery(const QueryRequest& request);

}  // namespace quoldex::tables
