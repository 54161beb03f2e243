#include "tables/components/db_table.h"

#include <stdexcept>

#include "tables/base/engine_error.h"
#include "tables/query/db_record_row.h"
#include "text/path_separator.h"

namespace quoldex::tables {
namespace {

[[noreturn]] void Fail(const std::string& message) { throw EDatabaseError(message); }

// The column of `columns` named `name` (ignoring case): its field number.
uint16_t ColumnNumber(const std::vector<FieldDesc>& columns, const std::string& name) {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (text::SameText(columns[i].name, name)) {
      return columns[i].number != 0 ? columns[i].number : static_cast<uint16_t>(i + 1);
    }
  }
  Fail("Field '" + name + "' not found");
}

IndexDesc MakeIndex(const std::string& name, const std::string& field_list,
                    const IndexOptions& options, uint8_t compression,
                    const std::vector<FieldDesc>& columns) {
  IndexDesc index;
  index.name = name;
  index.unique = options.unique;
  index.case_insensitive = options.case_insensitive;
  index.descending = options.descending;
  index.field_descending.fill(options.descending);
  index.compression = compression;
  for (const std::string& field : SplitFieldNames(field_list)) {
    index.fields.push_back(ColumnNumber(columns, field));
  }
  return index;
}

// The first index is the primary one, unique by construction; a definition
// without indexes gets a primary index without fields.
void FinishIndexes(std::vector<IndexDesc>& indexes) {
  if (indexes.empty()) indexes.emplace_back();
  if (!indexes[0].fields.empty()) indexes[0].unique = true;
}

FieldDesc MakeColumn(const std::string& name, FieldKind kind, int size, bool required) {
  FieldDesc column;
  column.name = name;
  SetColumnType(kind, &column);
  column.size = kind == FieldKind::kString ? static_cast<uint8_t>(size) : 0;
  column.required = required;
  return column;
}

// A table's definition from the definitions a restructure takes.
TableDefinition FullDefinition(const TRestructureFieldDefs& fields,
                               const TRestructureIndexDefs& indexes,
                               const std::string& description) {
  TableDefinition definition;
  definition.description = description;
  for (const TRestructureFieldDef& def : fields) {
    FieldDesc column = MakeColumn(def.name, def.kind, def.size, def.required);
    column.number = static_cast<uint16_t>(def.number);
    column.description = def.description;
    column.max_text = def.max_value;
    column.min_text = def.min_value;
    column.default_text = def.default_value;
    definition.fields.push_back(std::move(column));
  }
  for (const TRestructureIndexDef& def : indexes) {
    definition.indexes.push_back(
        MakeIndex(def.name, def.fields, def.options, def.compression, definition.fields));
  }
  FinishIndexes(definition.indexes);
  return definition;
}

}  // namespace

void CheckDefinitionName(std::string_view name, bool names_field, bool exists) {
  if (names_field && name.find_first_not_of(' ') == std::string_view::npos) {
    Fail("Field name missing");
  }
  if (exists) {
    Fail(std::string(names_field ? "Duplicate field name '" : "Duplicate index name '") +
         std::string(name) + "'");
  }
}

TDbTable::~TDbTable() { CloseQuietly(); }

// ---- Settings ----

void TDbTable::SetDatabaseName(std::string name) {
  CheckInactive();
  database_name_ = std::move(name);
}

void TDbTable::SetTableName(std::string name) {
  CheckInactive();
  table_name_ = std::move(name);
}

void TDbTable::SetEngineVersion(std::string version) {
  CheckInactive();
  engine_version_ = std::move(version);
}

void TDbTable::SetExclusive(bool exclusive) {
  CheckInactive();
  settings_.exclusive = exclusive;
}

void TDbTable::SetReadOnly(bool read_only) {
  CheckInactive();
  settings_.read_only = read_only;
}

void TDbTable::SetLockRetryCount(int count) {
  CheckInactive();
  settings_.lock_retry_count = count;
}

void TDbTable::SetLockWaitTime(int milliseconds) {
  CheckInactive();
  settings_.lock_wait_time = milliseconds;
}

void TDbTable::SetForceBufferFlush(bool force) {
  CheckInactive();
  settings_.force_buffer_flush = force;
}

void TDbTable::SetStrictChangeDetection(bool strict) {
  CheckInactive();
  settings_.strict_change_detection = strict;
}

TableSettings TDbTable::Settings() const {
  TableSettings settings = settings_;
  settings.directory = database_name_;
  if (!settings.directory.empty() && !text::IsPathSeparator(settings.directory.back())) {
    settings.directory += text::kPathSeparator;
  }
  settings.table_name = table_name_;
  return settings;
}

// ---- Current index ----

void TDbTable::SelectIndex(TableCursor& cursor) const {
  if (!index_field_names_.empty()) {
    if (!cursor.SetIndexByFields(index_field_names_)) {
      Fail("No index for fields '" + index_field_names_ + "'");
    }
    return;
  }
  if (!index_name_.empty()) {
    const std::vector<IndexDesc>& indexes = cursor.Indexes();
    bool known = false;
    for (size_t i = 1; i < indexes.size() && !known; ++i) {
      known = text::SameText(indexes[i].name, index_name_);
    }
    if (!known) throw EDbEngineError(kErrIndexName, cursor.FileName(), index_name_);
  }
  cursor.SetIndexByName(index_name_);
}

void TDbTable::SetIndexName(std::string name) {
  if (!Active()) {
    index_name_ = std::move(name);
    index_field_names_.clear();
    return;
  }
  CheckBrowseMode();
  std::string old_name = std::exchange(index_name_, std::move(name));
  std::string old_fields = std::exchange(index_field_names_, std::string());
  try {
    SelectIndex(Cursor());
  } catch (...) {
    index_name_ = std::move(old_name);
    index_field_names_ = std::move(old_fields);
    throw;
  }
  CursorMoved();
}

void TDbTable::SetIndexFieldNames(std::string field_list) {
  if (!Active()) {
    index_field_names_ = std::move(field_list);
    index_name_.clear();
    return;
  }
  CheckBrowseMode();
  std::string old_fields = std::exchange(index_field_names_, std::move(field_list));
  std::string old_name = std::exchange(index_name_, std::string());
  try {
    SelectIndex(Cursor());
  } catch (...) {
    index_field_names_ = std::move(old_fields);
    index_name_ = std::move(old_name);
    throw;
  }
  CursorMoved();
}

// ---- Filter ----

std::string TDbTable::TableStem() const {
  std::string_view name = table_name_;
  size_t slash = name.find_last_of(text::kPathSeparators);
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  size_t first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  name = name.substr(first, name.find_last_not_of(' ') - first + 1);
  return std::string(name.substr(0, name.find_last_of('.')));
}

void TDbTable::InstallFilter(TableCursor& cursor, const std::string& text, bool filtered,
                             FilterOptions options) const {
  if (!filtered) {
    cursor.SetFilter({});
    return;
  }
  auto filter = std::make_shared<RecordFilter>(RecordFilter::Parse(text, options));
  filter->Resolve(SqlColumnsOf(cursor.Fields()), TableStem());
  auto row = std::make_shared<RecordSqlRow>(cursor.Fields());
  cursor.SetFilter(
      [filter, row, prefilter = filter->Prefilter(cursor.Fields())](const uint8_t* record) {
        if (!prefilter.Passes(record)) return false;
        row->SetRecord(record);
        return filter->Passes(*row);
      });
}

void TDbTable::ChangeFilter(std::string text, bool filtered, FilterOptions options) {
  const bool refilter = Active() && (filtered || filtered_);
  if (Active()) {
    CheckBrowseMode();
    InstallFilter(Cursor(), text, filtered, options);
  }
  filter_text_ = std::move(text);
  filtered_ = filtered;
  filter_options_ = options;
  if (refilter) First();
}

void TDbTable::SetFilter(std::string text) {
  RecordFilter::Parse(text, filter_options_);  // raises for a text that cannot be parsed
  ChangeFilter(std::move(text), filtered_, filter_options_);
}

void TDbTable::SetFiltered(bool filtered) {
  if (filtered == filtered_) return;
  ChangeFilter(filter_text_, filtered, filter_options_);
}

void TDbTable::SetFilterOptions(FilterOptions options) {
  ChangeFilter(filter_text_, filtered_, options);
}

// ---- Opening ----

TableCursor& TDbTable::OpenCursor() {
  auto cursor = std::make_unique<TableCursor>(Settings());
  cursor->Open();
  SelectIndex(*cursor);
  InstallFilter(*cursor, filter_text_, filtered_, filter_options_);
  cursor_ = std::move(cursor);
  return *cursor_;
}

void TDbTable::CloseCursor() {
  std::unique_ptr<TableCursor> cursor = std::move(cursor_);
  cursor->Close();
}

// ---- Operations on the files ----

bool TDbTable::Exists() const { return Active() || TableCursor::Exists(Settings()); }

void TDbTable::CreateTable() {
  CheckInactive();
  TableDefinition definition;
  for (const TFieldDef& def : field_defs_) {
    definition.fields.push_back(MakeColumn(def.name, def.kind, def.size, def.required));
    definition.fields.back().number = static_cast<uint16_t>(definition.fields.size());
  }
  for (const TIndexDef& def : index_defs_) {
    definition.indexes.push_back(
        MakeIndex(def.name, def.fields, def.options, 0, definition.fields));
  }
  FinishIndexes(definition.indexes);
  TableCursor::Create(Settings(), definition);
}

void TDbTable::CreateTable(const TRestructureFieldDefs& fields,
                           const TRestructureIndexDefs& indexes, const std::string& description) {
  CheckInactive();
  TableCursor::Create(Settings(), FullDefinition(fields, indexes, description));
}

RestructureOutcome TDbTable::Restructure(const TRestructureFieldDefs& fields,
                                         const TRestructureIndexDefs& indexes,
                                         const std::string& description) {
  if (Active()) throw EDbEngineError(kErrInUse, Cursor().FileName());
  return RestructureTable(Settings(), FullDefinition(fields, indexes, description));
}

void TDbTable::EmptyTable() {
  if (Active()) {
    CheckBrowseMode();
    Cursor().EmptyTable();
    First();
    return;
  }
  TableSettings settings = Settings();
  settings.exclusive = true;
  TableCursor cursor(settings);
  cursor.Open();
  cursor.EmptyTable();
  cursor.Close();
}

// ---- Searching ----

std::vector<FieldValue> TDbTable::KeyValues(std::span<const FieldValue> values) {
  TableCursor& cursor = Cursor();
  const IndexDesc& index = cursor.Indexes().at(cursor.CurrentIndex());
  if (values.size() > index.fields.size()) {
    throw std::invalid_argument("More key values than fields in the current index");
  }
  std::vector<FieldValue> keys;
  for (size_t i = 0; i < values.size(); ++i) {
    keys.push_back(ValueForColumn(cursor.Fields().at(index.fields[i] - 1), values[i]));
  }
  return keys;
}

bool TDbTable::FindKey(std::span<const FieldValue> values) {
  CheckBrowseMode();
  if (!Cursor().FindKey(KeyValues(values))) return false;
  CursorMoved();
  return true;
}

void TDbTable::SetRange(std::span<const FieldValue> start, std::span<const FieldValue> end) {
  CheckBrowseMode();
  Cursor().SetRange(KeyValues(start), KeyValues(end));
  First();
}

void TDbTable::CancelRange() {
  CheckBrowseMode();
  Cursor().CancelRange();
  CursorMoved();
}

const std::vector<std::string>& TDbTable::Recovered() const {
  static const std::vector<std::string> kNothing;
  return Active() ? Cursor().Recovered() : kNothing;
}

bool TDbTable::ReadOnlyByAccess() const { return Active() && Cursor().ReadOnlyByAccess(); }

}  // namespace quoldex::tables
