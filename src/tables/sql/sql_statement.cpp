#include "tables/sql/sql_statement.h"

#include <charconv>

#include "tables/sql/sql_error.h"
#include "text/western.h"

namespace quoldex::tables {
namespace {

constexpr std::string_view kSelectClause = "SELECT clause";
constexpr std::string_view kGroupByClause = "GROUP BY clause";
constexpr std::string_view kOrderByClause = "ORDER BY clause";

// Fails with `beginning` + the token's text + "'".
[[noreturn]] void ThrowExpected(std::string_view beginning, const SqlToken& token) {
  ThrowSqlError(std::string(beginning) + token.text + "'");
}

// A token usable as a name: quoted or bracketed, or a bare name that is not
// a reserved word.
bool IsName(const SqlToken& t) { return t.IsNameLike() && !IsReservedWord(t); }

}  // namespace

// Recursive-descent reader of one SELECT statement into a TDataQuery.
class SelectParser {
 public:
  explicit SelectParser(std::string_view sql) : parser_(sql) {}

  TDataQuery Parse() {
    const SqlToken& first = parser_.Next();
    for (std::string_view kind : {"INSERT", "UPDATE", "DELETE"}) {
      if (first.IsKeyword(kind)) {
        ThrowSqlError(std::string(kind) +
                      " statements are not supported, only SELECT statements can be executed");
      }
    }
    if (!first.IsKeyword("SELECT")) {
      ThrowExpected("SELECT, INSERT, UPDATE, or DELETE keyword expected, instead found '", first);
    }
    Next();
    if (Current().IsKeyword("DISTINCT")) {
      q_.distinct_ = true;
      Next();
    } else if (Current().IsKeyword("ALL")) {
      Next();
    }
    ColumnList();
    From();
    if (Current().IsKeyword("WHERE")) {
      Next();
      q_.where_ = ParseCondition(parser_, kWhereClause, &q_.parameter_count_);
    }
    if (Current().IsKeyword("GROUP")) GroupBy();
    if (Current().IsKeyword("ORDER")) OrderBy();
    if (Current().IsSymbol(';')) Next();
    if (Current().kind != SqlTokenKind::kEnd) {
      ThrowExpected("End of SELECT statement expected, instead found '", Current());
    }
    return std::move(q_);
  }

 private:
  const SqlToken& Current() const { return parser_.Current(); }
  const SqlToken& Next() { return parser_.Next(); }

  void ColumnList() {
    if (Current().IsSymbol('*')) {
      q_.select_all_ = true;
      Next();
      return;
    }
    for (;;) {
      q_.columns_.push_back(ResultColumn());
      if (!Current().IsSymbol(',')) return;
      Next();
    }
  }

  TResultDataField ResultColumn() {
    TResultDataField field;
    field.column_name = ColumnName();
    if (Next().IsSymbol('.')) {
      Next();
      field.correlation = std::move(field.column_name);
      field.column_name = ColumnName();
      Next();
    }
    if (Current().IsKeyword("AS")) {
      const SqlToken& alias = Next();
      if (!IsName(alias)) {
        ThrowExpected("Symbol or string expected after AS keyword, instead found '", alias);
      }
      field.alias = alias.text;
      Next();
    }
    return field;
  }

  // The current token as a column name of the column list.
  const std::string& ColumnName() {
    const SqlToken& t = Current();
    if (t.IsSymbol('?')) {
      ThrowSqlError("Parameters are not allowed in " + std::string(kSelectClause));
    }
    if (!IsName(t)) ThrowUnexpectedSymbol(t, kSelectClause);
    return t.text;
  }

  void From() {
    if (!Current().IsKeyword("FROM")) {
      ThrowExpected("FROM keyword expected, instead found '", Current());
    }
    const SqlToken& table = Next();
    if (!IsName(table)) {
      ThrowExpected("Table name expected after FROM keyword, instead found '", table);
    }
    q_.source_.table_name = table.text;
    q_.source_.number = 1;
    if (IsName(Next())) {
      q_.source_.correlation = Current().text;
      Next();
    }
  }

  void GroupBy() {
    const SqlToken& by = Next();
    if (!by.IsKeyword("BY")) {
      ThrowExpected("BY keyword expected after GROUP keyword, instead found '", by);
    }
    Next();
    for (;;) {
      q_.group_by_.push_back(Item(kGroupByClause));
      if (!Current().IsSymbol(',')) return;
      Next();
    }
  }

  void OrderBy() {
    const SqlToken& by = Next();
    if (!by.IsKeyword("BY")) {
      ThrowExpected("BY keyword expected after ORDER keyword, instead found '", by);
    }
    Next();
    for (;;) {
      TOrderByDataField item;
      static_cast<TGroupByDataField&>(item) = Item(kOrderByClause);
      if (Current().IsKeyword("DESC") || Current().IsKeyword("DESCENDING")) {
        item.descending = true;
        Next();
      } else if (Current().IsKeyword("ASC") || Current().IsKeyword("ASCENDING")) {
        Next();
      }
      q_.order_by_.push_back(std::move(item));
      if (!Current().IsSymbol(',')) break;
      Next();
    }
    if (Current().IsKeyword("NOCASE")) {
      q_.order_by_nocase_ = true;
      Next();
    }
  }

  // A GROUP BY or ORDER BY item; leaves the parser after it.
  TGroupByDataField Item(std::string_view clause) {
    std::string expected =
        "Column name or column number expected in " + std::string(clause) + ", instead found '";
    TGroupByDataField item;
    const SqlToken& t = Current();
    if (t.kind == SqlTokenKind::kInteger) {
      item.number_text = t.text;
      auto [p, ec] =
          std::from_chars(t.text.data(), t.text.data() + t.text.size(), item.column_number);
      // Too many digits: a number that no column list reaches.
      if (ec != std::errc()) item.column_number = INT64_MAX;
      Next();
      return item;
    }
    if (!IsName(t)) ThrowExpected(expected, t);
    item.column_name = t.text;
    if (Next().IsSymbol('.')) {
      const SqlToken& column = Next();
      if (!IsName(column)) ThrowExpected(expected, column);
      item.correlation = std::move(item.column_name);
      item.column_name = column.text;
      Next();
    }
    return item;
  }

  TExpressionParser parser_;
  TDataQuery q_;
};

TDataQuery TDataQuery::Parse(std::string_view sql) { return SelectParser(sql).Parse(); }

void TDataQuery::Resolve(const SqlColumns& columns) {
  ResolveColumns(columns);
  if (distinct_ && result_columns_.size() > kMaxDistinctColumns) {
    ThrowSqlError("Maximum number of columns (" + std::to_string(kMaxDistinctColumns) +
                  ") in DISTINCT clause exceeded");
  }
  if (where_) ResolveCondition(*where_, columns, source_.CorrelationName(), kWhereClause);
  for (auto& item : group_by_) ResolveItem(item, kGroupByClause);
  for (auto& item : order_by_) ResolveItem(item, kOrderByClause);
}

void TDataQuery::ResolveColumns(const SqlColumns& columns) {
  result_columns_.clear();
  auto bind = [&columns](TResultDataField& field, int index) {
    field.source_index = index;
    field.type = columns[index].type;
    field.size = columns[index].size;
  };
  if (select_all_) {
    for (size_t i = 0; i < columns.size(); ++i) {
      if (text::SameText(columns[i].name, kRowNumberColumn)) continue;
      TResultDataField field;
      field.column_name = columns[i].name;
      bind(field, static_cast<int>(i));
      result_columns_.push_back(std::move(field));
    }
    return;
  }
  for (const TResultDataField& written : columns_) {
    if (text::SameText(written.column_name, kRowNumberColumn)) {
      ThrowSqlError("The reserved column name '" + std::string(kRowNumberColumn) +
                    "' cannot be specified in " + std::string(kSelectClause));
    }
    int index = -1;
    if (written.correlation.empty() ||
        text::SameText(written.correlation, source_.CorrelationName())) {
      index = FindColumn(columns, written.column_name);
    }
    if (index < 0) {
      ThrowSqlError(InvalidColumnMessage(written.column_name, written.correlation, kSelectClause));
    }
    TResultDataField field = written;
    bind(field, index);
    result_columns_.push_back(std::move(field));
  }
}

void TDataQuery::ResolveItem(TGroupByDataField& item, std::string_view clause) const {
  item.result_index = -1;
  if (item.column_name.empty()) {
    if (item.column_number < 1 ||
        item.column_number > static_cast<int64_t>(result_columns_.size())) {
      ThrowSqlError("Invalid column number '" + item.number_text + "' specified in " +
                    std::string(clause));
    }
    item.result_index = static_cast<int>(item.column_number - 1);
    return;
  }
  if (item.correlation.empty() || text::SameText(item.correlation, source_.CorrelationName())) {
    // A result column's own name (its alias) first, then the source column
    // name it was written with.
    auto find = [this, &item](bool by_result_name) {
      for (size_t i = 0; i < result_columns_.size(); ++i) {
        const TResultDataField& f = result_columns_[i];
        if (text::SameText(by_result_name ? f.ResultName() : f.column_name, item.column_name)) {
          return static_cast<int>(i);
        }
      }
      return -1;
    };
    item.result_index = find(true);
    if (item.result_index < 0) item.result_index = find(false);
  }
  if (item.result_index < 0) {
    ThrowSqlError(InvalidColumnMessage(item.column_name, item.correlation, clause));
  }
}

bool TDataQuery::WhereHolds(const SqlRow& row,
                            std::span<const std::string> parameter_values) const {
  return where_ == nullptr || ConditionHolds(*where_, row, parameter_values);
}

}  // namespace quoldex::tables
