// The seam between the query component (TDbQuery, db_query.h) and the
// statement engine that runs a SELECT and builds its result table.
//
// TDbQuery::Open hands a QueryRequest to the executor installed with
// SetQueryExecutor and shows the rows of the QueryResult it returns; Close
// destroys the result. Until an executor is installed, opening a query
// raises EDatabaseError "Query execution is not available".
//
// Contract of an executor:
//   in   the database folder (TDbQuery's DatabaseName as set, which may lack
//        a final separator), the statement text with every parameter marker
//        replaced by "?", one value per "?" in order (every parameter has
//        a value: the component refuses to open otherwise), and the lock
//        settings to open the source table with;
//   out  a QueryResult whose cursor is open over the result table, ordered
//        as the statement asks, and not in edit or insert state. The
//        component only reads and navigates it. The result table is the
//        executor's private snapshot: not created in the process's current
//        folder, and removed when the QueryResult is destroyed;
//   errors  EDbEngineError (code kErrSql for the statement's own errors, the
//        engine's codes for the tables); nothing is left open or behind.
// Executors are called on the thread that opens the query.
//
// Installing: the statement engine offers a function that calls
// SetQueryExecutor with its executor, and the program calls it once at
// start-up, before the first query opens. (A registrar object inside the
// engine's own source file would not do: the linker drops unreferenced
// objects of a static library.)
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quoldex::tables {

class TableCursor;

struct QueryRequest {
  std::string database_name;
  std::string sql;                            // "?" markers for the parameters
  std::vector<std::string> parameter_names;   // one per "?", as the engine knows them
  std::vector<std::string> parameter_values;  // one per "?", in order
  int lock_retry_count = 15;
  int lock_wait_time = 100;  // milliseconds
};

class QueryResult {
 public:
  virtual ~QueryResult() = default;  // closes the cursor and removes the result table
  virtual TableCursor& Cursor() = 0;
};

using QueryExecutor = std::function<std::unique_ptr<QueryResult>(const QueryRequest&)>;

// Installs the executor that every query opened from now on uses (an empty
// function removes it) and returns the one installed before.
QueryExecutor SetQueryExecutor(QueryExecutor executor);

// Runs `request` through the installed executor. Raises "Query execution is
// not available" without one and "Error creating table handle." when the
// executor returns no result or one whose cursor is not open.
std::unique_ptr<QueryResult> ExecuteQuery(const QueryRequest& request);

}  // namespace quoldex::tables
