// Conditions of the query language: the tree that a WHERE clause or a record
// filter is parsed into, name resolution against a table's columns, and
// evaluation on one row.
//
// Grammar (lowest precedence first):
//   condition  := conjunct { OR conjunct }
//   conjunct   := negation { AND negation }
//   negation   := NOT negation | comparison
//   comparison := operand [ ( "=" | "<>" | "<" | ">" | "<=" | ">=" ) operand ]
//   operand    := column | correlation "." column | string | [sign] number
//               | "?" | "(" condition ")"
// A column is a bare name (not a reserved word) or a bracketed name; a
// string is single- or double-quoted text.
//
// Evaluation uses three-valued logic: a comparison with a null operand is
// unknown, and a row passes only when the whole condition is true. A null
// string column reads as "" (the table stores "" as null, so treating them
// apart would make "= ''" unmatchable).
//
// String comparisons are exact by default: "=" and "<>" compare the whole
// values byte for byte, "<", ">" etc. use the language order with case as the
// tie-break. A comparison node may ignore case (record filters with the
// case-insensitive option) and may treat a string constant ending in "*" as a
// prefix for "=" and "<>" (record filters without no-partial-compare). A
// string compared with a number or boolean is converted to that kind first
// (parameters arrive as strings); if it does not convert, the comparison is
// unknown.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "tables/sql/sql_tokenizer.h"
#include "tables/sql/sql_value.h"

namespace quoldex::tables {

enum class SqlNodeKind { kField, kConstant, kParameter, kCompare, kAnd, kOr, kNot };
enum class SqlCompareOp { kEqual, kNotEqual, kLess, kGreater, kLessEqual, kGreaterEqual };

struct SqlNode {
  SqlNodeKind kind = SqlNodeKind::kConstant;

  // kField: the name as written; column_index and column_kind once resolved.
  std::string column_name;
  std::string correlation;  // qualifier as written, empty when none
  int column_index = -1;
  SqlValue::Kind column_kind = SqlValue::Kind::kString;

  // kConstant: a string (text), an integer or a float.
  SqlValue::Kind constant_kind = SqlValue::Kind::kString;
  std::string text;
  int64_t integer = 0;
  double number = 0;

  // kParameter: 0-based position among the statement's "?" markers.
  int parameter_index = 0;

  // kCompare: operator and string comparison options.
  SqlCompareOp op = SqlCompareOp::kEqual;
  bool ignore_case = false;
  bool prefix_match = false;  // a string constant ending in "*" is a prefix

  // kCompare: both operands; kAnd, kOr: both sides; kNot: left only.
  std::unique_ptr<SqlNode> left, right;
  int height = 1;  // nodes on the longest path down from here (parsing bounds it)

  // The constant's value; its text views this node.
  SqlValue ConstantValue() const;
};

// Which clause a condition belongs to: names it in messages and says whether
// "?" parameters may appear.
struct SqlClause {
  std::string_view name;  // "WHERE clause", "filter expression"
  bool parameters_allowed = false;
  std::string_view not_boolean_message;
};

inline constexpr SqlClause kWhereClause{"WHERE clause", true,
                                        "WHERE or JOIN clause must be a boolean expression"};

// Reserved words: never read as a bare column, table, correlation or alias
// name (a bracketed or quoted name may still spell one).
bool IsReservedWord(const SqlToken& token);

// Message for an unexpected token in an expression.
[[noreturn]] void ThrowUnexpectedSymbol(const SqlToken& token, std::string_view clause);

// Parses a condition starting at parser.Current() and leaves the parser on
// the first token after it. Each "?" gets the next number from
// *next_parameter. Nesting and tree height are bounded, so that any text is
// parsed, evaluated and freed within a small stack ("Expression too complex
// in ..." beyond that). Throws EDbEngineError (kErrSql).
std::unique_ptr<SqlNode> ParseCondition(TExpressionParser& parser, const SqlClause& clause,
                                        int* next_parameter);

// Binds every column of `condition` to `columns` (names ignoring case; a
// qualifier must equal `correlation` ignoring case) and checks that the
// condition, and each side of AND, OR and NOT, is boolean. May be called
// again with other columns. Throws EDbEngineError (kErrSql).
void ResolveCondition(SqlNode& condition, const SqlColumns& columns, std::string_view correlation,
                      const SqlClause& clause);

// True when the resolved condition is true for `row`; parameter i takes
// parameters[i] as a string (a missing value is null).
bool ConditionHolds(const SqlNode& condition, const SqlRow& row,
                    std::span<const std::string> parameters);

// The "Invalid column name ..." message shared by every clause.
std::string InvalidColumnMessage(std::string_view name, std::string_view correlation,
                                 std::string_view clause);

}  // namespace quoldex::tables
