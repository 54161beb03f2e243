#include "tables/query/query_executor.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "tables/cursor/table_cursor.h"
#include "tables/query/db_record_row.h"
#include "tables/query/query_result_layout.h"
#include "tables/query/query_result_table.h"
#include "tables/records/data_file_record.h"
#include "tables/sql/query_source_access.h"
#include "tables/sql/sql_statement.h"
#include "text/path_separator.h"

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
  if (!settings.directory.empty() && !text::IsPathSeparator(settings.directory.back())) {
    settings.directory += text::kPathSeparator;
  }
  settings.table_name = table_name;
  size_t slash = table_name.find_last_of(text::kPathSeparators);
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

// A set of short byte strings, hashed eight bytes at a time and kept in one
// open-addressed table.
class ByteStringSet {
 public:
  bool Contains(std::string_view s) const {
    if (slots_.empty()) return false;
    const uint64_t h = Hash(s);
    for (size_t i = h & mask_;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.item == kEmpty) return false;
      if (slot.hash == h && items_[slot.item] == s) return true;
    }
  }
  void Insert(std::string_view s) {
    if (Contains(s)) return;
    if (2 * (items_.size() + 1) > slots_.size()) Grow();
    items_.emplace_back(s);
    Place(Hash(s), static_cast<uint32_t>(items_.size() - 1));
  }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  struct Slot {
    uint64_t hash = 0;
    uint32_t item = kEmpty;
  };
  static uint64_t Hash(std::string_view s) {
    uint64_t h = s.size() * 0x9E3779B97F4A7C15ull;
    size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
      uint64_t word;
      std::memcpy(&word, s.data() + i, 8);
      h = (h ^ word) * 0xFF51AFD7ED558CCDull;
      h ^= h >> 32;
    }
    uint64_t tail = 0;
    std::memcpy(&tail, s.data() + i, s.size() - i);
    h = (h ^ tail) * 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 29);
  }
  void Place(uint64_t h, uint32_t item) {
    size_t i = h & mask_;
    while (slots_[i].item != kEmpty) i = (i + 1) & mask_;
    slots_[i] = {h, item};
  }
  void Grow() {
    slots_.assign(std::max<size_t>(16, 2 * slots_.size()), Slot{});
    mask_ = slots_.size() - 1;
    for (uint32_t item = 0; item < items_.size(); ++item) Place(Hash(items_[item]), item);
  }

  std::vector<Slot> slots_;  // a power of two, at most half full
  size_t mask_ = 0;
  std::vector<std::string> items_;
};

// Writes kept source rows into the result table, skipping a row when a
// lookup (GROUP BY, DISTINCT) finds an equal row already there. Without
// lookups no row needs to see the ones before it: the rows are gathered and
// stored together by Finish, which builds the result's indexes in key order.
class ResultWriter {
 public:
  ResultWriter(const TableCursor& source, TableCursor& result, const ResultLayout& layout)
      : source_(source),
        result_(result),
        layout_(layout),
        present_(layout.lookups.size()),
        present_bytes_(layout.lookups.size()),
        bytes_(layout.lookups.size()),
        slices_(layout.lookups.size()),
        values_(layout.source_fields.size()),
        fetched_(layout.source_fields.size()) {
    for (size_t i = 0; i < layout.lookups.size(); ++i) {
      for (int column : layout.lookups[i].columns) {
        const FieldDesc& f = source.Fields()[layout.source_fields[column] - 1];
        by_bytes_ = by_bytes_ && (f.IsAutoInc() || f.HasSlot());
        if (f.IsAutoInc()) {
          slices_[i].push_back({kRecordIdOffset, 4});
        } else {
          slices_[i].push_back({f.offset, 1 + size_t{f.physical_size}});
        }
      }
    }
  }

  // `rows` rows, or about as many, will be added: without lookups, room for
  // them is made at once, so that gathering them never copies what it
  // holds. Give a count that is near the truth: room far beyond what the
  // rows use is fresh memory from the system on every query.
  void Expect(size_t rows) {
    if (!layout_.lookups.empty()) return;
    if (blank_.empty()) blank_ = result_.NewRecord();
    gathered_.reserve(rows * blank_.size());
  }

  // Writes `record`, a record of the source table, unless a lookup finds
  // it; without lookups the row is gathered for Finish instead.
  void Add(const uint8_t* record) {
    if (layout_.lookups.empty()) {
      if (blank_.empty()) blank_ = result_.NewRecord();
      const size_t at = gathered_.size();
      gathered_.insert(gathered_.end(), blank_.begin(), blank_.end());
      for (size_t column = 0; column < values_.size(); ++column) {
        result_.CopyField(static_cast<int>(column + 1), source_, layout_.source_fields[column],
                          record, gathered_.data() + at);
      }
      return;
    }
    // A row whose lookup columns hold the very bytes of a row already known
    // to be present holds the same values: no need to decode them.
    for (size_t i = 0; by_bytes_ && i < layout_.lookups.size(); ++i) {
      LookupBytes(i, record, bytes_[i]);
      if (present_bytes_[i].Contains(bytes_[i])) return;
    }
    // Values are decoded only for the lookups; the columns are copied.
    std::fill(fetched_.begin(), fetched_.end(), false);
    auto value = [&](int column) -> const FieldValue& {
      if (!fetched_[column]) {
        values_[column] = source_.GetField(layout_.source_fields[column], record);
        fetched_[column] = true;
      }
      return values_[column];
    };
    std::vector<std::string> identities;
    for (size_t i = 0; i < layout_.lookups.size(); ++i) {
      const ResultLookup& lookup = layout_.lookups[i];
      std::vector<FieldValue> key;
      for (int column : lookup.columns) key.push_back(value(column));
      // Rows whose values are identical to a row already written are known
      // to be present without searching the index.
      std::string identity = Identity(key);
      if (present_[i].count(identity) != 0) {
        if (by_bytes_) present_bytes_[i].Insert(bytes_[i]);
        return;
      }
      result_.SetIndex(lookup.index);
      if (result_.FindKey(key)) {
        present_[i].insert(std::move(identity));
        if (by_bytes_) present_bytes_[i].Insert(bytes_[i]);
        return;
      }
      identities.push_back(std::move(identity));
    }
    result_.Append();
    for (size_t column = 0; column < values_.size(); ++column) {
      const int number = static_cast<int>(column + 1);
      if (fetched_[column]) {
        result_.SetField(number, values_[column]);
      } else {
        result_.CopyField(number, source_, layout_.source_fields[column], record);
      }
    }
    result_.Post();
    for (size_t i = 0; i < identities.size(); ++i) {
      present_[i].insert(std::move(identities[i]));
      if (by_bytes_) present_bytes_[i].Insert(bytes_[i]);
    }
  }

  // Stores the gathered rows (rows are written as they come when there are
  // lookups), in the order of the primary index, the order they are read in.
  void Finish() {
    if (!gathered_.empty()) result_.AppendAll(std::move(gathered_), 0);
    gathered_ = {};
  }

 private:
  // The stored bytes of lookup `i`'s columns in `record`, side by side.
  void LookupBytes(size_t i, const uint8_t* record, std::string& out) const {
    out.clear();
    for (const Slice& slice : slices_[i]) {
      out.append(reinterpret_cast<const char*>(record) + slice.offset, slice.size);
    }
  }

  struct Slice {
    size_t offset, size;  // of a column's stored bytes in a source record
  };

  const TableCursor& source_;
  TableCursor& result_;
  const ResultLayout& layout_;
  std::vector<std::unordered_set<std::string>> present_;  // per lookup, by value
  std::vector<ByteStringSet> present_bytes_;              // per lookup, by stored bytes
  std::vector<std::string> bytes_;                        // per lookup, the current row's
  std::vector<std::vector<Slice>> slices_;                // per lookup
  bool by_bytes_ = true;            // every lookup column has stored bytes (a slot or the ID)
  std::vector<FieldValue> values_;  // the current row's decoded columns
  std::vector<char> fetched_;       // per column: decoded into values_
  std::vector<uint8_t> blank_;      // a new result record, when rows are gathered
  std::vector<uint8_t> gathered_;   // rows not yet stored, side by side
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
  RecordSqlRow row(fields);
  const bool every_row = query.where() == nullptr;
  auto visit = [&](const uint8_t* record) {
    if (!every_row) {
      if (!access.prefilter.Passes(record)) return;
      if (!access.prefilter.Exact()) {
        row.SetRecord(record);
        if (!query.WhereHolds(row, parameters)) return;
      }
    }
    writer.Add(record);
  };
  // Without an index range every row is looked at: in slot order, which
  // reads no index page.
  if (access.ranged) {
    source.SetIndex(access.index);
    const FieldValue bound[] = {access.value};
    source.SetRange(bound, bound);
    source.Scan(visit, [&](int64_t entries) { writer.Expect(static_cast<size_t>(entries)); });
  } else {
    // A filter over every slot may keep a few rows of many: the gathered
    // rows then grow as they come.
    if (every_row) writer.Expect(static_cast<size_t>(source.RecordCount()));
    source.ScanSlots(visit);
  }
  source.Close();
  writer.Finish();

  TableCursor& result = table->Cursor();
  result.SetIndex(0);
  result.First();
  return std::make_unique<ResultHandle>(std::move(table));
}

}  // namespace quoldex::tables
