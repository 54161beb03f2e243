// TDataSet: what a table and a query have in common: a cursor over rows with
// a current row and a state, a list of field objects, the changes of the
// current row, and the data sources that views bind to.
//
// States: inactive (closed), browse, edit (the current row is being
// changed) and insert (a new row is being built). The data set stands on a
// row whenever it has one: Next on the last row leaves it there and sets
// Eof, Prior on the first leaves it there and sets Bof; First sets Bof and
// Last sets Eof; an empty data set has both. A pending edit or insert is
// posted before any navigation (First, Last, Next, Prior, Locate, and a
// table's index, range and filter changes) and discarded by Close.
//
// Changes. Insert and Append start a new row filled with the column
// defaults stored in the table, switch to insert state and then run
// OnNewRecord (its field assignments are part of the new row; if it fails
// the new row is cancelled). Edit puts the current row into edit state; on
// a data set without rows it starts a new row exactly as Insert does. Post
// first refuses the row when a field object that is required, not
// read-only and null is found ("Field 'X' must have a value", X the display
// name), then hands it to the engine; a refused post leaves the state and
// the row being built as they were. Cancel discards and returns to browse.
//
// Notifications go to every enabled data source bound to the data set
// (db_datasource.h): state changed, record changed (the current row moved,
// was reloaded, or the data set opened or closed), data changed (a field
// of the row being edited or inserted was assigned).
//
// Misuse raises EDatabaseError with the component layer's messages; engine
// failures arrive as EDbEngineError. Data sets are used on one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tables/components/db_field.h"
#include "tables/records/field_value.h"

namespace quoldex::tables {

class TableCursor;
class TDataSource;

enum class DataSetState { kInactive, kBrowse, kEdit, kInsert };

// Options of Locate: loCaseInsensitive and loPartialKey.
struct LocateOptions {
  bool case_insensitive = false;
  bool partial_key = false;  // the last value is a prefix of the column
};

// Event handlers (AfterOpen, OnNewRecord) receive the data set.
using DataSetEvent = std::function<void(class TDataSet&)>;

class TDataSet {
 public:
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  DataSetState State() const { return state_; }
  bool Active() const { return state_ != DataSetState::kInactive; }
  void SetActive(bool active);

  // Opens the rows (as the derived data set defines), binds the field
  // objects, stands on the first row, enters browse state and runs
  // AfterOpen. A failed open leaves the data set closed. Persistent field
  // objects whose column is missing raise "Field 'X' not found". Opening an
  // open data set does nothing.
  void Open();
  // Discards a pending edit or insert and closes; default field objects are
  // destroyed. Closing a closed data set does nothing.
  void Close();

  // ---- Navigation (open data set; a pending change is posted first) ----
  void First();
  void Last();
  void Next();
  void Prior();
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  // True when the data set has no row to stand on (in browse state).
  bool IsEmpty() const;
  // Number of rows of the current order and range; the filter is not applied.
  int64_t RecordCount();
  // 1-based position of the current row in the current order; 0 when none.
  int64_t RecNo();
  // Moves to the first row whose columns (names separated by ";") equal the
  // values; one value per column. Strings given for other kinds are
  // converted to the column's kind. Found: stands on it; not found: stays.
  bool Locate(std::string_view key_fields, std::span<const FieldValue> values,
              LocateOptions options);
  bool Locate(std::string_view key_field, std::string_view value, LocateOptions options);

  // ---- Field objects ----
  // Declares a persistent field object (closed data set only): "Field name
  // missing" for an empty name, "Duplicate field name 'X'" for a name
  // already declared (ignoring case). The data set owns it.
  template <typename F, typename... Args>
  F& AddField(Args&&... args) {
    auto field = std::make_unique<F>(std::forward<Args>(args)...);
    F& result = *field;
    AdoptField(std::move(field));
    return result;
  }
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Field(int index) const { return *fields_.at(index); }
  // By field name, ignoring case; FindField returns null when none,
  // FieldByName raises "Field 'X' not found".
  TField* FindField(std::string_view name) const;
  TField& FieldByName(std::string_view name) const;

  // ---- Changes ----
  void Insert();
  void Append();
  void Edit();
  void Post();
  void Cancel();
  // Removes the current row ("Cannot perform this operation on an empty
  // dataset" without one); cancels an insert instead of deleting.
  void Delete();
  // True once a field was assigned in the current edit or insert (the
  // assignments of OnNewRecord do not count).
  bool Modified() const { return modified_; }

  // ---- Events ----
  // After every successful open. An error it raises reaches the caller of
  // Open; the data set stays open.
  void SetAfterOpen(DataSetEvent handler) { after_open_ = std::move(handler); }
  // After a new row received its stored defaults, in insert state.
  void SetOnNewRecord(DataSetEvent handler) { on_new_record_ = std::move(handler); }

 protected:
  TDataSet() = default;

  // Opens the rows and returns the open cursor over them; it stays valid
  // until CloseCursor. May raise; then nothing is left open.
  virtual TableCursor& OpenCursor() = 0;
  // Closes the cursor OpenCursor returned. Deferred-write errors may be
  // raised after the cursor is released.
  virtual void CloseCursor() = 0;
  // Raises when rows may not be changed through this data set.
  virtual void CheckCanModify() const {}

  // The open cursor; raises when the data set is closed.
  TableCursor& Cursor() const;
  // "Cannot perform this operation on a closed dataset".
  void CheckActive() const;
  // "Cannot perform this operation on an open database." for settings that
  // may only change while the data set is closed.
  void CheckInactive() const;
  // Posts a pending edit or insert (after CheckActive).
  void CheckBrowseMode();
  // After the derived data set moved the cursor itself (FindKey, index
  // changes): settles on a row, sets Bof and Eof only when there is none,
  // and notifies.
  void CursorMoved();
  // For derived destructors: closes, losing errors as ~TableCursor does.
  void CloseQuietly() noexcept;

 private:
  // The number of column `name` (blanks around it ignored) for Locate;
  // fails with "Field '...' not found".
  int LocateColumn(std::string_view name) const;
  // Locate with the columns resolved and the values converted.
  bool LocateAt(std::span<const int> numbers, std::span<const FieldValue> values,
                LocateOptions options);

  friend class TField;
  friend class TDataSource;

  void AdoptField(std::unique_ptr<TField> field);
  void BindFields(const TableCursor& cursor);
  void UnbindFields();
  void StartNewRow();
  void BackToBrowse();
  // Puts the cursor back on a row when it stands before the first or after
  // the last; true when it stands on one.
  bool Settle();
  void SetState(DataSetState state);
  void NotifyRecord();

  FieldValue FieldData(const TField& field) const;
  void SetFieldData(TField& field, const FieldValue& value);

  DataSetState state_ = DataSetState::kInactive;
  bool bof_ = true;
  bool eof_ = true;
  bool modified_ = false;
  TableCursor* cursor_ = nullptr;
  std::vector<std::unique_ptr<TField>> fields_;
  bool default_fields_ = false;  // fields_ were made at open
  std::vector<TDataSource*> sources_;
  DataSetEvent after_open_;
  DataSetEvent on_new_record_;
  FieldValue locate_value_;  // the text Locate(field, text) looks for
};

}  // namespace quoldex::tables
