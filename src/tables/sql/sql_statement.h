// TDataQuery: a parsed and resolved SELECT statement of the query language.
//
// How the execution step uses it:
//   1. ExtractParameters (sql_params.h) turns the statement text into text
//      with "?" markers and the parameter names.
//   2. TDataQuery::Parse(text) checks the syntax; it needs no table.
//   3. Open the table named by source().table_name and call
//      Resolve(columns) with its columns in stored order. This expands "*",
//      binds every name, and checks ORDER BY / GROUP BY items and DISTINCT.
//      Resolve may be called again on each reopen.
//   4. Create the result table from result_columns() (names, types, sizes,
//      and the source column each one copies). Its primary index is, in this
//      order of preference: order_by() items (each with its direction,
//      case-insensitive when order_by_nocase()), else group_by() items
//      ascending, else all result columns ascending when distinct(). Each
//      item's result_index names the result column. Compare keys with
//      CompareForResultIndex (sql_value.h). With DISTINCT or GROUP BY and
//      ORDER BY together, a second index over the group (or all) columns
//      tests for equal rows.
//   5. For each source row, present it through SqlRow and keep it when
//      WhereHolds(row, parameter_values) is true; values bind to the "?"
//      markers by position (parameter_count() of them).
//   where() exposes the condition tree, so the execution step may use an
//   index of the source table for a condition such as "Column = ?" and still
//   apply WhereHolds to every row it finds.
//
// Every failure is EDbEngineError with code kErrSql and the query engine's
// message. INSERT, UPDATE and DELETE are recognised and refused.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tables/sql/sql_expression.h"
#include "tables/sql/sql_value.h"

namespace quoldex::tables {

// One column of the result: as written in the column list, and after
// Resolve the source column it copies.
struct TResultDataField {
  std::string column_name;     // as written; the stored spelling after "*" expansion
  std::string correlation;     // qualifier as written, empty when none
  std::string alias;           // after AS, empty when none
  int source_index = -1;       // index into the resolved columns
  uint8_t type = kTypeString;  // the source column's type and size
  uint8_t size = 0;

  // The result column's name: the alias when there is one.
  const std::string& ResultName() const { return alias.empty() ? column_name : alias; }
};

struct TSourceDataFile {
  std::string table_name;   // as written, without quotes or brackets
  std::string correlation;  // as written, empty when none
  int number = 1;           // running number of the table in the FROM list

  // The name by which columns are qualified: the correlation name, else the
  // table name.
  const std::string& CorrelationName() const {
    return correlation.empty() ? table_name : correlation;
  }
};

// A GROUP BY item: a column name (optionally qualified) or a 1-based column
// number; result_index is set by Resolve.
struct TGroupByDataField {
  std::string column_name;  // empty when given by number
  std::string correlation;
  int64_t column_number = 0;  // 1-based as written, 0 when given by name
  std::string number_text;    // the number as written, for messages
  int result_index = -1;
};

struct TOrderByDataField : TGroupByDataField {
  bool descending = false;
};

// At most this many result columns in a DISTINCT query.
inline constexpr size_t kMaxDistinctColumns = 16;

class TDataQuery {
 public:
  // Parses a statement whose parameters are already "?" markers.
  static TDataQuery Parse(std::string_view sql);

  // Binds the statement to the source table's columns (stored order).
  void Resolve(const SqlColumns& columns);

  bool distinct() const { return distinct_; }
  // True when the column list is "*"; columns() is then empty.
  bool select_all_columns() const { return select_all_; }
  // The column list as written.
  const std::vector<TResultDataField>& columns() const { return columns_; }
  // The result columns after Resolve ("*" expanded, sources bound).
  const std::vector<TResultDataField>& result_columns() const { return result_columns_; }
  const TSourceDataFile& source() const { return source_; }
  // The WHERE condition, or null when there is none.
  const SqlNode* where() const { return where_.get(); }
  int parameter_count() const { return parameter_count_; }
  const std::vector<TGroupByDataField>& group_by() const { return group_by_; }
  const std::vector<TOrderByDataField>& order_by() const { return order_by_; }
  bool order_by_nocase() const { return order_by_nocase_; }

  // True when the row satisfies the WHERE condition (always without one).
  // Requires Resolve. parameter_values[i] is bound to the i-th "?".
  bool WhereHolds(const SqlRow& row, std::span<const std::string> parameter_values) const;

 private:
  friend class SelectParser;

  void ResolveColumns(const SqlColumns& columns);
  void ResolveItem(TGroupByDataField& item, std::string_view clause) const;

  bool distinct_ = false;
  bool select_all_ = false;
  std::vector<TResultDataField> columns_;
  std::vector<TResultDataField> result_columns_;
  TSourceDataFile source_;
  std::unique_ptr<SqlNode> where_;
  int parameter_count_ = 0;
  std::vector<TGroupByDataField> group_by_;
  std::vector<TOrderByDataField> order_by_;
  bool order_by_nocase_ = false;
};

}  // namespace quoldex::tables
