// TDbTable: the table component. Its settings name a table of the engine
// and how to open it; opening gives a data set (db_dataset.h) over the
// table's rows in the order of its current index, which can be searched,
// restricted to a range, filtered and changed.
//
// Settings that choose the table or how it is opened (DatabaseName,
// TableName, EngineVersion, Exclusive, ReadOnly, LockRetryCount,
// LockWaitTime, ForceBufferFlush, StrictChangeDetection) change only while
// the table is closed ("Cannot perform this operation on an open
// database."). The current index (IndexName or IndexFieldNames) and the
// filter (Filter, Filtered, FilterOptions) change at any time and take
// effect at once; the field and index definitions are read only by
// CreateTable.
//
// Engine failures arrive as EDbEngineError (db_dataset.h for the rest).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tables/components/db_dataset.h"
#include "tables/components/db_field.h"
#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_restructure.h"
#include "tables/sql/sql_filter.h"
#include "text/western.h"

namespace quoldex::tables {

// Index options: ixUnique, ixCaseInsensitive, ixDescending. The primary
// index is unique by construction.
struct IndexOptions {
  bool unique = false;
  bool case_insensitive = false;
  bool descending = false;
};

// A column to create: its number is its position in the list; size only
// for strings. (Members carry default initializers so that designated
// initializers may leave any of them out.)
struct TFieldDef {
  static constexpr bool kNamesField = true;
  std::string name{};
  FieldKind kind = FieldKind::kString;
  int size = 0;
  bool required = false;
};

// An index to create: the first definition is the primary index (its name
// is not stored), the others are secondary indexes in their order. Fields
// are column names separated by ";".
struct TIndexDef {
  static constexpr bool kNamesField = false;
  std::string name{};
  std::string fields{};
  IndexOptions options{};
};

// A column of a restructured table, with the limits and the default value
// the engine checks and fills in, as texts ("" = none).
struct TRestructureFieldDef {
  static constexpr bool kNamesField = true;
  std::string name{};
  FieldKind kind = FieldKind::kString;
  int number = 0;             // 1-based position
  std::string description{};  // free text
  std::string max_value{};
  std::string min_value{};
  std::string default_value{};
  bool required = false;
  int size = 0;
};

struct TRestructureIndexDef {
  static constexpr bool kNamesField = false;
  std::string name{};
  std::string fields{};  // column names separated by ";"
  uint8_t compression = 0;
  IndexOptions options{};
};

// Raises the layer's error for a definition name: field definitions need a
// name ("Field name missing") and may not repeat one ("Duplicate field name
// 'X'"); index definitions may not repeat a name ("Duplicate index name
// 'X'"), though several may have none. Names compare ignoring case.
void CheckDefinitionName(std::string_view name, bool names_field, bool exists);

// An ordered list of definitions whose names Add checks.
template <typename Def>
class DefinitionList {
 public:
  Def& Add(Def def) {
    CheckDefinitionName(def.name, Def::kNamesField, !def.name.empty() && Find(def.name));
    defs_.push_back(std::move(def));
    return defs_.back();
  }
  void Clear() { defs_.clear(); }
  size_t Count() const { return defs_.size(); }
  const Def& operator[](size_t index) const { return defs_.at(index); }
  auto begin() const { return defs_.begin(); }
  auto end() const { return defs_.end(); }
  // By name ignoring case, or null.
  const Def* Find(std::string_view name) const {
    for (const Def& def : defs_) {
      if (text::SameText(def.name, name)) return &def;
    }
    return nullptr;
  }

 private:
  std::vector<Def> defs_;
};

using TFieldDefs = DefinitionList<TFieldDef>;
using TIndexDefs = DefinitionList<TIndexDef>;
using TRestructureFieldDefs = DefinitionList<TRestructureFieldDef>;
using TRestructureIndexDefs = DefinitionList<TRestructureIndexDef>;

class TDbTable : public TDataSet {
 public:
  TDbTable() = default;
  ~TDbTable() override;  // closes; errors are lost

  // ---- Settings (closed table only) ----
  // The folder of the table files, with or without a final separator.
  const std::string& DatabaseName() const { return database_name_; }
  void SetDatabaseName(std::string name);
  // The table's file name; its extension is replaced by the engine's and
  // the name is matched without regard to case.
  const std::string& TableName() const { return table_name_; }
  void SetTableName(std::string name);
  // The engine version text; recorded, the engine has only "1.21".
  const std::string& EngineVersion() const { return engine_version_; }
  void SetEngineVersion(std::string version);
  bool Exclusive() const { return settings_.exclusive; }
  void SetExclusive(bool exclusive);
  bool ReadOnly() const { return settings_.read_only; }
  void SetReadOnly(bool read_only);
  int LockRetryCount() const { return settings_.lock_retry_count; }
  void SetLockRetryCount(int count);
  int LockWaitTime() const { return settings_.lock_wait_time; }  // milliseconds
  void SetLockWaitTime(int milliseconds);
  bool ForceBufferFlush() const { return settings_.force_buffer_flush; }
  void SetForceBufferFlush(bool force);
  bool StrictChangeDetection() const { return settings_.strict_change_detection; }
  void SetStrictChangeDetection(bool strict);

  // ---- Current index (at any time; a pending change is posted first) ----
  // By name (empty: the primary index); an unknown name raises kErrIndexName.
  // By field list "A;B": the first index whose leading fields are exactly
  // those, else EDatabaseError "No index for fields 'A;B'". Setting one
  // clears the other; the current row stays current.
  const std::string& IndexName() const { return index_name_; }
  void SetIndexName(std::string name);
  const std::string& IndexFieldNames() const { return index_field_names_; }
  void SetIndexFieldNames(std::string field_list);

  // ---- Filter (at any time; a pending change is posted first) ----
  // The filter text is parsed when it is set (its error is raised then and
  // the old text is kept) and bound to the columns when the table opens or
  // filtering starts (an unknown column raises then). While Filtered,
  // navigation skips rows that fail it. Switching it on or off, or
  // changing the text or options while it is on, moves to the first row
  // that passes.
  const std::string& Filter() const { return filter_text_; }
  void SetFilter(std::string text);
  bool Filtered() const { return filtered_; }
  void SetFiltered(bool filtered);
  const FilterOptions& GetFilterOptions() const { return filter_options_; }
  void SetFilterOptions(FilterOptions options);

  // ---- Definitions used by CreateTable ----
  TFieldDefs& FieldDefs() { return field_defs_; }
  TIndexDefs& IndexDefs() { return index_defs_; }

  // ---- Operations on the table's files ----
  // True when the table is open or its data file exists; false without a
  // table name.
  bool Exists() const;
  // Creates the table from FieldDefs and IndexDefs, replacing existing
  // files (closed table only). An index naming a column that is not
  // defined raises "Field 'X' not found"; nothing is created then.
  void CreateTable();
  // Creates the table in one step from the full definitions that
  // Restructure takes (numbered columns with their limits and default
  // texts, indexes, the description), replacing existing files (closed
  // table only; errors as for Restructure). Unlike CreateTable followed by
  // Restructure, no table of a part definition ever exists in between.
  void CreateTable(const TRestructureFieldDefs& fields, const TRestructureIndexDefs& indexes,
                   const std::string& description);
  // Rewrites the closed table to the given definitions and description
  // (kErrInUse while this table is open; the engine's errors otherwise). Index
  // fields name restructured columns ("Field 'X' not found" otherwise).
  RestructureOutcome Restructure(const TRestructureFieldDefs& fields,
                                 const TRestructureIndexDefs& indexes,
                                 const std::string& description);
  // Removes every row: through the open table (which must be exclusive, else
  // kErrNotExclusive), or, when closed, by opening it exclusively for the time.
  void EmptyTable();

  // ---- State of the open table's files ----
  // What opening the table recovered (TableCursor::Recovered); empty when
  // closed or when nothing needed it.
  const std::vector<std::string>& Recovered() const;
  // True when the open table's files could not be opened for writing (a
  // read-only folder or mount, files of another user): the table reads, and
  // every change fails with kErrAccessDenied.
  bool ReadOnlyByAccess() const;

  // ---- Searching the current index (open table) ----
  // Values for the index's leading fields (strings are converted to the
  // columns' kinds). Found: stands on the first match; else stays.
  bool FindKey(std::span<const FieldValue> values);
  // Restricts the rows to the keys between the bounds, both included (a
  // bound may give fewer values than the index has fields), and moves to
  // the first row of the range.
  void SetRange(std::span<const FieldValue> start, std::span<const FieldValue> end);
  void CancelRange();

 protected:
  TableCursor& OpenCursor() override;
  void CloseCursor() override;

 private:
  TableSettings Settings() const;
  // Applies IndexName / IndexFieldNames to the open cursor.
  void SelectIndex(TableCursor& cursor) const;
  // Installs the filter described by the arguments on `cursor` (removes it
  // when not `filtered`); raises before changing anything when the text
  // names an unknown column.
  void InstallFilter(TableCursor& cursor, const std::string& text, bool filtered,
                     FilterOptions options) const;
  // Takes the new filter settings, installing them first on an open table.
  void ChangeFilter(std::string text, bool filtered, FilterOptions options);
  // The table name without folder and extension, which qualifies columns in
  // a filter.
  std::string TableStem() const;
  std::vector<FieldValue> KeyValues(std::span<const FieldValue> values);

  std::string database_name_;
  std::string table_name_;
  std::string engine_version_ = "1.21";
  TableSettings settings_;
  std::string index_name_;
  std::string index_field_names_;
  std::string filter_text_;
  bool filtered_ = false;
  FilterOptions filter_options_;
  TFieldDefs field_defs_;
  TIndexDefs index_defs_;
  std::unique_ptr<TableCursor> cursor_;
};

}  // namespace quoldex::tables
