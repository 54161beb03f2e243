// Data sources and data links: how views and dialogs follow a data set.
//
// A TDataSource binds to one data set; any number of TDataLink objects (a
// record-view dialog, a grid, a look-up box) bind to one data source and are
// told, while the source is enabled:
//   StateChanged    the data set opened, closed, or entered or left edit or
//                   insert state (also when the link, the source or the
//                   data set is attached, detached or re-enabled);
//   RecordChanged   the current row moved to another row or was reloaded
//                   (also the first row after opening, a posted or
//                   cancelled row, and a new row once OnNewRecord ran);
//   DataChanged     a field of the row being edited or inserted was assigned.
// Each side detaches itself from the others when destroyed, so any of them
// may be destroyed first. A link may detach itself while being notified.
#pragma once

#include <vector>

#include "tables/components/db_dataset.h"

namespace quoldex::tables {

class TDataLink;
class TField;

class TDataSource {
 public:
  TDataSource() = default;
  explicit TDataSource(TDataSet* data_set) { SetDataSet(data_set); }
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  TDataSet* DataSet() const { return data_set_; }
  void SetDataSet(TDataSet* data_set);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // Whether Edit starts editing (default true).
  bool AutoEdit() const { return auto_edit_; }
  void SetAutoEdit(bool auto_edit) { auto_edit_ = auto_edit; }

  // The data set's state; inactive without a data set or while disabled.
  DataSetState State() const;
  // What a view calls before it changes a value: with AutoEdit, a data set
  // in browse state starts editing (on an empty one: a new row).
  void Edit();

 private:
  friend class TDataSet;
  friend class TDataLink;

  // Calls `notify` for each link (only while enabled, unless told).
  template <typename F>
  void ForEachLink(F notify, bool even_disabled = false);
  void NotifyState();
  void NotifyRecord();
  void NotifyData(const TField& field);

  TDataSet* data_set_ = nullptr;
  bool enabled_ = true;
  bool auto_edit_ = true;
  std::vector<TDataLink*> links_;
};

class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* source);
  // The source's data set, or null.
  TDataSet* DataSet() const { return source_ ? source_->DataSet() : nullptr; }
  // True when the source is enabled and its data set open.
  bool Active() const { return source_ && source_->State() != DataSetState::kInactive; }

 protected:
  virtual void StateChanged() {}
  virtual void RecordChanged() {}
  virtual void DataChanged(const TField& /*field*/) {}

 private:
  friend class TDataSource;
  TDataSource* source_ = nullptr;
};

}  // namespace quoldex::tables
