// The shape of a SELECT statement's result table: its columns and the
// indexes that give its order and find equal rows.
//
// Columns: the result columns in order, each with the type and size of the
// source column it copies (an auto-increment source column becomes a plain
// integer holding the source value), named by ResultName() (a name already
// taken gets "_1", "_2", ... so that every name is distinct), never
// required; then the reserved column "Row___No", an auto-increment row
// number in the order rows are written.
//
// Primary index, which decides the order rows are read in:
//   ORDER BY: its items, each in its direction, ignoring case under NOCASE,
//             then Row___No so that rows comparing equal keep the order in
//             which they were written;
//   else GROUP BY: the group items ascending;
//   else DISTINCT: every result column ascending;
//   else Row___No (the order rows are written in).
// Lookups, which find a row equal to a candidate: GROUP BY items ("GroupBy")
// and, under DISTINCT, every result column ("Distinct"), both ascending and
// with regard to case. A lookup is served by the primary index when that
// holds exactly its columns in that form, else by a unique secondary index
// of its name.
//
// The result table is created in the language order (kLanguageWestern), so
// strings in these indexes compare as text::CompareLanguage does.
#pragma once

#include <string>
#include <vector>

#include "tables/base/table_defs.h"
#include "tables/sql/sql_statement.h"

namespace quoldex::tables {

inline constexpr const char* kGroupByIndexName = "GroupBy";
inline constexpr const char* kDistinctIndexName = "Distinct";

struct ResultLookup {
  int index = 0;             // index number in the result table (0 = primary)
  std::vector<int> columns;  // 0-based result columns, in the index's field order
};

struct ResultLayout {
  std::vector<FieldDesc> fields;      // result columns, then Row___No; numbered from 1
  std::vector<int> source_fields;     // per result column: its source field number (1-based)
  std::vector<IndexDesc> indexes;     // [0] primary, then the lookup indexes
  std::vector<ResultLookup> lookups;  // GroupBy first, then Distinct
};

// The layout of the result of `query` (resolved against `source_fields`,
// the source table's fields in stored order).
ResultLayout PlanResultLayout(const TDataQuery& query, const std::vector<FieldDesc>& source_fields);

}  // namespace quoldex::tables
