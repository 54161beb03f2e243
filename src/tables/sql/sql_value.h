// Values, columns and rows as the query language sees them, independent of
// how a table stores them.
//
// The caller describes a source table as a list of SqlColumn in stored order
// and presents each row through SqlRow, which hands out one column's value by
// its index in that list. Strings are handed out as views that must stay
// valid until the evaluation that asked for them returns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tables/base/table_defs.h"

namespace quoldex::tables {

// The reserved column name: "*" skips a source column of this name and a
// column list may not name it.
inline constexpr std::string_view kRowNumberColumn = "Row___No";

// One column of a source table.
struct SqlColumn {
  std::string name;
  uint8_t type = kTypeString;  // FieldTypeCode
  uint8_t size = 0;            // declared size of string, bytes and varbytes columns
};

using SqlColumns = std::vector<SqlColumn>;

// Index of the first column named `name` ignoring case, or -1.
int FindColumn(const SqlColumns& columns, std::string_view name);

struct SqlValue {
  enum class Kind : uint8_t { kNull, kString, kInteger, kFloat, kBoolean };

  Kind kind = Kind::kNull;
  std::string_view text;  // kString
  int64_t integer = 0;    // kInteger; kBoolean as 0 or 1
  double number = 0;      // kFloat

  static SqlValue Null() { return {}; }
  static SqlValue String(std::string_view s) { return {Kind::kString, s, 0, 0}; }
  static SqlValue Integer(int64_t v) { return {Kind::kInteger, {}, v, 0}; }
  static SqlValue Float(double v) { return {Kind::kFloat, {}, 0, v}; }
  static SqlValue Boolean(bool v) { return {Kind::kBoolean, {}, v ? 1 : 0, 0}; }

  bool IsNull() const { return kind == Kind::kNull; }
};

// Read access to the current row of a source table. Column(i) is the value
// of column i of the SqlColumns the statement or filter was resolved with.
// A string column reports an empty or all-blank value as null (that is how
// the table stores it); the evaluator reads a null string as "".
class SqlRow {
 public:
  virtual ~SqlRow() = default;
  virtual SqlValue Column(int index) const = 0;
};

// How values of a column type behave in expressions: string types (bytes
// too), integer types, floats (dates, times and timestamps as day counts
// with the time as the fraction), booleans.
SqlValue::Kind ValueKindOf(uint8_t type);

// Result-index order (ORDER BY, GROUP BY and DISTINCT keys): null first;
// strings in the language order (alphabetical first, case as the tie-break,
// case ignored when `ignore_case`); numbers and booleans by value. Values of
// different kinds that cannot be compared order by kind. Returns <0, 0, >0.
// Two strings compare equal with case regarded only when their bytes are
// equal, so equal keys mean one group or one distinct row.
int CompareForResultIndex(const SqlValue& a, const SqlValue& b, bool ignore_case);

}  // namespace quoldex::tables
