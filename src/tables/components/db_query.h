// TDbQuery: the query component. Its SQL text (a list of lines) is a SELECT
// statement of the query language with named parameters (":Ancestor");
// opening runs it with the current parameter values and gives a read-only
// data set (db_dataset.h) over the result rows, standing on the first.
// Closing removes the result; opening again runs the statement again.
//
// The statement is run by the executor installed through db_query_exec.h;
// without one, Open raises "Query execution is not available".
//
// DatabaseName, EngineVersion, LockRetryCount and LockWaitTime change only
// while the query is closed ("Cannot perform this operation on an open
// database."). Setting SQL closes an open query.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/components/db_dataset.h"
#include "tables/query/db_query_exec.h"
#include "tables/sql/sql_params.h"

namespace quoldex::tables {

// One input parameter of a query: a name and a text value, or none yet.
class TParam {
 public:
  explicit TParam(std::string name) : name_(std::move(name)) {}

  const std::string& Name() const { return name_; }
  bool IsNull() const { return !value_; }
  // "" while it has no value.
  std::string AsString() const { return value_.value_or(std::string()); }
  void SetAsString(std::string value) { value_ = std::move(value); }
  void Clear() { value_.reset(); }

 private:
  std::string name_;
  std::optional<std::string> value_;
};

// The parameters of a statement: one per marker, in the order of the
// markers (a name used twice gives two parameters; values bind by
// position).
class TParams {
 public:
  int Count() const { return static_cast<int>(params_.size()); }
  TParam& operator[](int index) { return params_.at(index); }
  const TParam& operator[](int index) const { return params_.at(index); }
  // The first parameter of that name, ignoring case; FindParam returns null
  // when none, ParamByName raises "Parameter 'X' not found".
  TParam* FindParam(std::string_view name);
  TParam& ParamByName(std::string_view name);

 private:
  friend class TDbQuery;
  std::vector<TParam> params_;
};

class TDbQuery : public TDataSet {
 public:
  TDbQuery() = default;
  ~TDbQuery() override;

  // ---- Settings (closed query only) ----
  const std::string& DatabaseName() const { return database_name_; }
  void SetDatabaseName(std::string name);
  const std::string& EngineVersion() const { return engine_version_; }
  void SetEngineVersion(std::string version);
  int LockRetryCount() const { return lock_retry_count_; }
  void SetLockRetryCount(int count);
  int LockWaitTime() const { return lock_wait_time_; }  // milliseconds
  void SetLockWaitTime(int milliseconds);

  // ---- Statement ----
  const std::vector<std::string>& SQL() const { return sql_; }
  // Closes an open query, takes the lines and lists the parameters anew;
  // a parameter keeps the value of the old parameter of the same name.
  void SetSQL(std::vector<std::string> lines);
  // The lines joined with line breaks ("\n").
  std::string SQLText() const;

  TParams& Params() { return params_; }
  const TParams& Params() const { return params_; }
  TParam& ParamByName(std::string_view name) { return params_.ParamByName(name); }

 protected:
  // Raises "No value for parameter 'X'" for a parameter without a value,
  // then runs the statement.
  TableCursor& OpenCursor() override;
  void CloseCursor() override;
  // "Cannot modify a read-only dataset".
  void CheckCanModify() const override;

 private:
  std::string database_name_;
  std::string engine_version_ = "1.21";
  int lock_retry_count_ = 15;
  int lock_wait_time_ = 100;
  std::vector<std::string> sql_;
  ParameterizedSql statement_;
  TParams params_;
  std::unique_ptr<QueryResult> result_;
};

}  // namespace quoldex::tables
