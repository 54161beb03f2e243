// RecordFilter: a table's row filter, written in the condition language of
// WHERE clauses (sql_expression.h) without "?" parameters, for example
// "Package = 'botpack'".
//
// Options (the table's FilterOptions): with case_insensitive, string
// comparisons ignore case; without no_partial_compare, a string constant
// ending in "*" matches every value that begins with the text before the
// "*" (for "=" and "<>"); with it, "*" is an ordinary character and the
// whole value is compared.
//
// A blank filter text passes every row. A text that cannot be parsed, names
// an unknown column or is not a condition raises EDbEngineError with code
// kErrSql and a message naming the "filter expression".
//
// The table parses the filter when its text or options change, resolves it
// against its columns when it is opened, and asks Passes() for each row it
// visits while filtering is on.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "tables/sql/query_source_access.h"
#include "tables/sql/sql_expression.h"
#include "tables/sql/sql_value.h"

namespace quoldex::tables {

struct FilterOptions {
  bool case_insensitive = false;    // foCaseInsensitive
  bool no_partial_compare = false;  // foNoPartialCompare
};

class RecordFilter {
 public:
  static RecordFilter Parse(std::string_view text, FilterOptions options);

  // Binds column names to the table's columns (stored order); a qualifier
  // must be the table's name. May be called again after a reopen.
  void Resolve(const SqlColumns& columns, std::string_view table_name);

  // True when `row` passes. Requires Resolve.
  bool Passes(const SqlRow& row) const;
  // A test on a record's bytes that no passing record fails (built from the
  // equalities the filter implies), for a table with these fields (stored
  // order), so that most failing records are turned away without being
  // decoded. Requires Resolve.
  SourcePrefilter Prefilter(const std::vector<FieldDesc>& fields) const;

 private:
  std::unique_ptr<SqlNode> condition_;  // null for a blank text
};

}  // namespace quoldex::tables
