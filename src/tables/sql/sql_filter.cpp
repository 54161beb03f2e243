#include "tables/sql/sql_filter.h"

#include "tables/sql/sql_error.h"

namespace quoldex::tables {
namespace {

constexpr SqlClause kFilterClause{"filter expression", false,
                                  "Filter expression must be a boolean condition"};

void ApplyOptions(SqlNode& n, FilterOptions options) {
  if (n.kind == SqlNodeKind::kCompare) {
    n.ignore_case = options.case_insensitive;
    n.prefix_match = !options.no_partial_compare;
  }
  for (SqlNode* child : {n.left.get(), n.right.get()}) {
    if (child != nullptr) ApplyOptions(*child, options);
  }
}

}  // namespace

RecordFilter RecordFilter::Parse(std::string_view text, FilterOptions options) {
  RecordFilter filter;
  TExpressionParser parser(text);
  if (parser.Next().kind == SqlTokenKind::kEnd) return filter;
  int parameters = 0;
  filter.condition_ = ParseCondition(parser, kFilterClause, &parameters);
  if (parser.Current().kind != SqlTokenKind::kEnd) {
    ThrowSqlError("End of filter expression expected, instead found '" + parser.Current().text +
                  "'");
  }
  ApplyOptions(*filter.condition_, options);
  return filter;
}

void RecordFilter::Resolve(const SqlColumns& columns, std::string_view table_name) {
  if (condition_) ResolveCondition(*condition_, columns, table_name, kFilterClause);
}

bool RecordFilter::Passes(const SqlRow& row) const {
  return condition_ == nullptr || ConditionHolds(*condition_, row, {});
}

SourcePrefilter RecordFilter::Prefilter(const std::vector<FieldDesc>& fields) const {
  return PrefilterFor(condition_.get(), {}, fields);
}

}  // namespace quoldex::tables
