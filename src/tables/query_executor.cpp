#include "tables/query_executor.h"

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "tables/db_record_row.h"
#include "tables/query_result_layout.h"
#include "tables/query_result_table.h"
#include "tables/query_source_access.h"
#include "tables/sql_statement.h"
#include "tables/table_cursor.h"

namespace quoldex::tables {
namespace {

class ResultHandle : public QueryResult {
 public:
  explicit ResultHandle(std::unique_ptr<QueryResultTable> table) : table_(std::move(table)) {}
  TableCursor& Cursor() override { return table_->Cursor(); }

 private:
  std::unique_ptr<QueryResultTable> table_;
};

TableSettings SourceSettings(const QueryRequest& request, const std::string& table_name) {
  TableSettings settings;
  settings.directory = request.database_name;
  if (!settings.directory.empty() && settings.directory.back() != '/') settings.directory += '/';
  settings.table_name = table_name;
  size_t slash = table_name.find_last_of('/');
  if (slash != std::string::npos) {
    std::string folder = table_name.substr(0, slash + 1);
    settings.directory = folder.front() == '/' ? folder : settings.directory + folder;
    settings.table_name = table_name.substr(slash + 1);
  }
  settings.read_only = true;
  settings.lock_retry_count = request.lock_retry_count;
  settings.lock_wait_time = request.lock_wait_time;
  return settings;
}

// The exact identity of a list of values: two lists with the same identity
// are equal under every result-index comparison.
std::string Identity(const std::vector<FieldValue>& values) {
  std::string id;
  for (const FieldValue& v : values) {
    id += static_cast<char>(v.kind);
    if (v.kind == FieldValue::Kind::kString) {
      id += std::to_string(v.text.size());
      id += ':';
      id += v.text;
    } else {
      char bytes[sizeof v.integer + sizeof v.number];
      std::memcpy(bytes, &v.integer, sizeof v.integer);
      std::memcpy(bytes + sizeof v.integer, &v.number, sizeof v.number);
      id.append(bytes, sizeof bytes);
    }
  }
  return id;
}

// Writes kept source rows into the result table, skipping a row when a
// lookup (GROUP BY, DISTINCT) finds an equal row already there.
class ResultWriter {
 public:
  ResultWriter(const TableCursor& source, TableCursor& result, const ResultLayout& layout)
      : source_(source), result_(result), layout_(layout), present_(layout.lookups.size()) {}

  // Writes `record`, a record of the source table, unless a lookup finds it.
  void Add(const uint8_t* record) {
    std::vector<FieldValue> values(layout_.source_fields.size());
    std::vector<bool> fetched(values.size(), false);
    auto value = [&](int column) -> const FieldValue& {
      if (!fetched[column]) {
        values[column] = source_.GetField(layout_.source_fields[column], record);
        fetched[column] = true;
      }
      return values[column];
    };
    std::vector<std::string> identities;
    for (size_t i = 0; i < layout_.lookups.size(); ++i) {
      const ResultLookup& lookup = layout_.lookups[i];
      std::vector<FieldValue> key;
      for (int column : lookup.columns) key.push_back(value(column));
      // Rows whose values are identical to a row already written are known
      // to be present without searching the index.
      std::string identity = Identity(key);
      if (present_[i].count(identity) != 0) return;
      result_.SetIndex(lookup.index);
      if (result_.FindKey(key)) {
        present_[i].insert(std::move(identity));
        return;
      }
      identities.push_back(std::move(identity));
    }
    result_.Append();
    for (size_t column = 0; column < values.size(); ++column) {
      result_.SetField(static_cast<int>(column + 1), value(static_cast<int>(column)));
    }
    result_.Post();
    for (size_t i = 0; i < identities.size(); ++i) present_[i].insert(std::move(identities[i]));
  }

 private:
  const TableCursor& source_;
  TableCursor& result_;
  const ResultLayout& layout_;
  std::vector<std::unordered_set<std::string>> present_;  // per lookup
};

}  // namespace

std::unique_ptr<QueryResult> RunSelectQuery(const QueryRequest& request) {
  TDataQuery query = TDataQuery::Parse(request.sql);
  TableCursor source(SourceSettings(request, query.source().table_name));
  source.Open();
  const std::vector<FieldDesc> fields = source.Fields();
  query.Resolve(SqlColumnsOf(fields));

  ResultLayout layout = PlanResultLayout(query, fields);
  auto table = std::make_unique<QueryResultTable>(layout.fields, layout.indexes);
  ResultWriter writer(source, table->Cursor(), layout);

  const std::vector<std::string>& parameters = request.parameter_values;
  SourceAccess access = ChooseSourceAccess(query.where(), parameters, fields, source.Indexes());
  source.SetIndex(access.index);
  if (access.ranged) {
    const FieldValue bound[] = {access.value};
    source.SetRange(bound, bound);
  }
  RecordSqlRow row(fields);
  source.Scan([&](const uint8_t* record) {
    if (!access.prefilter.Passes(record)) return;
    row.SetRecord(record);
    if (query.WhereHolds(row, parameters)) writer.Add(record);
  });
  source.Close();

  TableCursor& result = table->Cursor();
  result.SetIndex(0);
  result.First();
  return std::make_unique<ResultHandle>(std::move(table));
}

}  // namespace quoldex::tables
