#include "tables/query/db_query_exec.h"

#include <utility>

#include "tables/base/engine_error.h"
#include "tables/cursor/table_cursor.h"

namespace quoldex::tables {
namespace {

QueryExecutor& InstalledExecutor() {
  static QueryExecutor executor;
  return executor;
}

}  // namespace

QueryExecutor SetQueryExecutor(QueryExecutor executor) {
  return std::exchange(InstalledExecutor(), std::move(executor));
}

std::unique_ptr<QueryResult> ExecuteQuery(const QueryRequest& request) {
  const QueryExecutor& executor = InstalledExecutor();
  if (!executor) throw EDatabaseError("Query execution is not available");
  std::unique_ptr<QueryResult> result = executor(request);
  if (!result || !result->Cursor().IsOpen()) throw EDatabaseError("Error creating table handle.");
  return result;
}

}  // namespace quoldex::tables
