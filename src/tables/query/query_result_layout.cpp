#include "tables/query/query_result_layout.h"

#include <algorithm>

#include "tables/sql/sql_value.h"
#include "text/western.h"

namespace quoldex::tables {
namespace {

constexpr size_t kMaxFieldName = 30;

bool NameTaken(const std::vector<FieldDesc>& fields, const std::string& name) {
  if (text::SameText(name, kRowNumberColumn)) return true;
  return std::any_of(fields.begin(), fields.end(),
                     [&](const FieldDesc& f) { return text::SameText(f.name, name); });
}

// `wanted` cut to a field name's length, with "_1", "_2", ... when taken.
std::string DistinctName(const std::vector<FieldDesc>& fields, const std::string& wanted) {
  std::string name = wanted.substr(0, kMaxFieldName);
  for (int n = 1; NameTaken(fields, name); ++n) {
    std::string suffix = "_" + std::to_string(n);
    name = wanted.substr(0, kMaxFieldName - suffix.size()) + suffix;
  }
  return name;
}

// An index over result columns (0-based), ascending unless `descending`
// says otherwise for an item.
IndexDesc IndexOver(const std::string& name, const std::vector<int>& columns,
                    const std::vector<bool>& descending, bool case_insensitive) {
  IndexDesc index;
  index.name = name;
  index.unique = true;
  index.case_insensitive = case_insensitive;
  for (size_t i = 0; i < columns.size(); ++i) {
    index.fields.push_back(static_cast<uint16_t>(columns[i] + 1));
    if (i < index.field_descending.size()) index.field_descending[i] = descending[i];
  }
  return index;
}

}  // namespace

ResultLayout PlanResultLayout(const TDataQuery& query,
                              const std::vector<FieldDesc>& source_fields) {
  ResultLayout layout;
  for (const TResultDataField& column : query.result_columns()) {
    const FieldDesc& source = source_fields.at(column.source_index);
    FieldDesc field;
    field.name = DistinctName(layout.fields, column.ResultName());
    field.type = source.type;
    field.subtype = source.IsAutoInc() ? 0 : source.subtype;
    field.size = source.size;
    field.decimals = source.decimals;
    layout.fields.push_back(std::move(field));
    layout.source_fields.push_back(column.source_index + 1);
  }
  const int row_number = static_cast<int>(layout.fields.size());
  FieldDesc row_field;
  row_field.name = std::string(kRowNumberColumn);
  row_field.type = kTypeInteger;
  row_field.subtype = kSubtypeAutoInc;
  layout.fields.push_back(std::move(row_field));
  for (size_t i = 0; i < layout.fields.size(); ++i) {
    layout.fields[i].number = static_cast<uint16_t>(i + 1);
  }

  // The lookups, each over its columns ascending and with regard to case.
  struct Lookup {
    const char* name;
    std::vector<int> columns;
  };
  std::vector<Lookup> lookups;
  if (!query.group_by().empty()) {
    Lookup group{kGroupByIndexName, {}};
    for (const TGroupByDataField& item : query.group_by())
      group.columns.push_back(item.result_index);
    lookups.push_back(std::move(group));
  }
  if (query.distinct()) {
    Lookup all{kDistinctIndexName, {}};
    for (int i = 0; i < row_number; ++i) all.columns.push_back(i);
    if (lookups.empty() || lookups[0].columns != all.columns) lookups.push_back(std::move(all));
  }

  // The primary index, and which lookup (if any) it serves as it stands.
  std::vector<int> order;
  std::vector<bool> descending;
  for (const TOrderByDataField& item : query.order_by()) {
    order.push_back(item.result_index);
    descending.push_back(item.descending);
  }
  const bool all_ascending =
      std::none_of(descending.begin(), descending.end(), [](bool d) { return d; });
  int served = -1;
  if (!order.empty()) {
    for (size_t i = 0; i < lookups.size() && served < 0; ++i) {
      if (lookups[i].columns == order && all_ascending && !query.order_by_nocase()) {
        served = static_cast<int>(i);
      }
    }
    if (served < 0) {
      order.push_back(row_number);
      descending.push_back(false);
    }
    layout.indexes.push_back(IndexOver("", order, descending, query.order_by_nocase()));
  } else if (!lookups.empty()) {
    served = 0;
    const std::vector<int>& columns = lookups[0].columns;
    layout.indexes.push_back(
        IndexOver("", columns, std::vector<bool>(columns.size(), false), false));
  } else {
    layout.indexes.push_back(IndexOver("", {row_number}, {false}, false));
  }

  for (size_t i = 0; i < lookups.size(); ++i) {
    ResultLookup lookup{0, lookups[i].columns};
    if (static_cast<int>(i) != served) {
      lookup.index = static_cast<int>(layout.indexes.size());
      layout.indexes.push_back(IndexOver(lookups[i].name, lookups[i].columns,
                                         std::vector<bool>(lookups[i].columns.size(), false),
                                         false));
    }
    layout.lookups.push_back(std::move(lookup));
  }
  return layout;
}

}  // namespace quoldex::tables
