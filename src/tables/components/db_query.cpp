#include "tables/components/db_query.h"

#include "tables/base/engine_error.h"
#include "tables/cursor/table_cursor.h"
#include "text/western.h"

namespace quoldex::tables {

TParam* TParams::FindParam(std::string_view name) {
  for (TParam& param : params_) {
    if (text::SameText(param.Name(), name)) return &param;
  }
  return nullptr;
}

TParam& TParams::ParamByName(std::string_view name) {
  TParam* param = FindParam(name);
  if (!param) throw EDatabaseError("Parameter '" + std::string(name) + "' not found");
  return *param;
}

TDbQuery::~TDbQuery() { CloseQuietly(); }

void TDbQuery::SetDatabaseName(std::string name) {
  CheckInactive();
  database_name_ = std::move(name);
}

void TDbQuery::SetEngineVersion(std::string version) {
  CheckInactive();
  engine_version_ = std::move(version);
}

void TDbQuery::SetLockRetryCount(int count) {
  CheckInactive();
  lock_retry_count_ = count;
}

void TDbQuery::SetLockWaitTime(int milliseconds) {
  CheckInactive();
  lock_wait_time_ = milliseconds;
}

void TDbQuery::SetSQL(std::vector<std::string> lines) {
  Close();
  sql_ = std::move(lines);
  statement_ = ExtractParameters(SQLText());
  TParams params;
  for (const std::string& name : statement_.names) {
    TParam& param = params.params_.emplace_back(name);
    if (const TParam* old = params_.FindParam(name); old && !old->IsNull()) {
      param.SetAsString(old->AsString());
    }
  }
  params_ = std::move(params);
}

std::string TDbQuery::SQLText() const {
  std::string text;
  for (size_t i = 0; i < sql_.size(); ++i) {
    if (i > 0) text += '\n';
    text += sql_[i];
  }
  return text;
}

TableCursor& TDbQuery::OpenCursor() {
  QueryRequest request;
  request.database_name = database_name_;
  request.sql = statement_.text;
  request.lock_retry_count = lock_retry_count_;
  request.lock_wait_time = lock_wait_time_;
  for (const TParam& param : params_.params_) {
    if (param.IsNull()) throw EDatabaseError("No value for parameter '" + param.Name() + "'");
    request.parameter_names.push_back(EngineParameterName(param.Name()));
    request.parameter_values.push_back(param.AsString());
  }
  result_ = ExecuteQuery(request);
  return result_->Cursor();
}

void TDbQuery::CloseCursor() { result_.reset(); }

void TDbQuery::CheckCanModify() const { throw EDatabaseError("Cannot modify a read-only dataset"); }

}  // namespace quoldex::tables
