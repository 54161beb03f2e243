// Rows and columns for the query-language tests: an in-memory row that hands
// out values through SqlRow, the objects.dat column list, and a matcher for
// the engine's SQL errors.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fakes/objects_table.h"
#include "tables/base/engine_error.h"
#include "tables/query/db_record_row.h"
#include "tables/sql/sql_value.h"

namespace quoldex::tables::testing {

// Values are held by the row, so a copied row hands out views of its own.
class TestRow : public SqlRow {
 public:
  TestRow& Str(std::string s) { return Add(SqlValue::String({}), std::move(s)); }
  TestRow& Int(int64_t v) { return Add(SqlValue::Integer(v)); }
  TestRow& Float(double v) { return Add(SqlValue::Float(v)); }
  TestRow& Bool(bool v) { return Add(SqlValue::Boolean(v)); }
  TestRow& Null() { return Add(SqlValue::Null()); }

  SqlValue Column(int index) const override {
    SqlValue v = values_.at(index);
    if (v.kind == SqlValue::Kind::kString) v.text = texts_.at(index);
    return v;
  }

 private:
  TestRow& Add(SqlValue v, std::string text = {}) {
    values_.push_back(v);
    texts_.push_back(std::move(text));
    return *this;
  }
  std::vector<SqlValue> values_;
  std::vector<std::string> texts_;
};

// objects.dat in stored order.
inline SqlColumns ObjectsColumns() { return SqlColumnsOf(::quoldex::testing::ObjectsFields()); }

// A class row of objects.dat; an empty package is stored as null.
inline TestRow ObjectRow(int64_t id, std::string name, std::string parent, std::string package) {
  TestRow row;
  row.Int(id).Str(std::move(name)).Str(std::move(parent)).Str("C:\\x.uc").Str("2001-01-01");
  if (package.empty()) {
    row.Null();
  } else {
    row.Str(std::move(package));
  }
  return row;
}

// The full message of an SQL error with `message` as its text.
inline std::string SqlMessage(const std::string& message) {
  return "Table Engine Error # 11949 SQL - " + message.substr(0, 121);
}

// Runs `f` and returns the message of the EDbEngineError it throws; fails the
// test when it throws nothing or something else, or the code is not kErrSql.
inline std::string SqlErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDbEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrSql);
    return e.what();
  }
  ADD_FAILURE() << "no EDbEngineError";
  return {};
}

}  // namespace quoldex::tables::testing
