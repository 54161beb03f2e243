#include "tables/components/db_dataset.h"

#include <exception>
#include <stdexcept>

#include "tables/base/engine_error.h"
#include "tables/components/db_datasource.h"
#include "tables/cursor/table_cursor.h"
#include "text/western.h"

namespace quoldex::tables {
namespace {

[[noreturn]] void Fail(const std::string& message) { throw EDatabaseError(message); }

bool IsBlank(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

}  // namespace

TDataSet::~TDataSet() {
  std::vector<TDataSource*> sources;
  sources.swap(sources_);
  for (TDataSource* source : sources) {
    source->data_set_ = nullptr;
    source->NotifyState();
  }
}

void TDataSet::SetActive(bool active) {
  if (active) {
    Open();
  } else {
    Close();
  }
}

void TDataSet::Open() {
  if (Active()) return;
  TableCursor& cursor = OpenCursor();
  try {
    BindFields(cursor);
    cursor_ = &cursor;
    bof_ = true;
    eof_ = !Settle();
  } catch (...) {
    cursor_ = nullptr;
    UnbindFields();
    try {
      CloseCursor();
    } catch (...) {
    }
    throw;
  }
  modified_ = false;
  SetState(DataSetState::kBrowse);
  NotifyRecord();
  if (after_open_) after_open_(*this);
}

void TDataSet::Close() {
  if (!Active()) return;
  // The data set ends inactive even when the engine reports an error while
  // writing what it had deferred; that error is raised afterwards.
  cursor_ = nullptr;
  UnbindFields();
  modified_ = false;
  bof_ = eof_ = true;
  std::exception_ptr error;
  try {
    CloseCursor();
  } catch (...) {
    error = std::current_exception();
  }
  SetState(DataSetState::kInactive);
  if (error) std::rethrow_exception(error);
}

void TDataSet::CloseQuietly() noexcept {
  try {
    Close();
  } catch (...) {
  }
}

// ---- Navigation ----

void TDataSet::First() {
  CheckBrowseMode();
  eof_ = !cursor_->First();
  bof_ = true;
  NotifyRecord();
}

void TDataSet::Last() {
  CheckBrowseMode();
  bof_ = !cursor_->Last();
  eof_ = true;
  NotifyRecord();
}

void TDataSet::Next() {
  CheckBrowseMode();
  if (cursor_->Next()) {
    bof_ = eof_ = false;
    NotifyRecord();
    return;
  }
  // Past the last row: stay on it.
  eof_ = true;
  if (!cursor_->Prior()) bof_ = true;
}

void TDataSet::Prior() {
  CheckBrowseMode();
  if (cursor_->Prior()) {
    bof_ = eof_ = false;
    NotifyRecord();
    return;
  }
  bof_ = true;
  if (!cursor_->Next()) eof_ = true;
}

bool TDataSet::IsEmpty() const {
  CheckActive();
  return state_ == DataSetState::kBrowse && !cursor_->HasRecord();
}

int64_t TDataSet::RecordCount() {
  CheckActive();
  return cursor_->RecordCount();
}

int64_t TDataSet::RecNo() {
  CheckActive();
  return cursor_->RecordNumber();
}

int TDataSet::LocateColumn(std::string_view name) const {
  const size_t first = name.find_first_not_of(' ');
  name = first == std::string_view::npos
             ? std::string_view{}
             : name.substr(first, name.find_last_not_of(' ') - first + 1);
  const int number = cursor_->FieldNumber(name);
  if (number == 0) Fail("Field '" + std::string(name) + "' not found");
  return number;
}

bool TDataSet::LocateAt(std::span<const int> numbers, std::span<const FieldValue> values,
                        LocateOptions options) {
  if (!cursor_->Locate(numbers, values, options.case_insensitive, options.partial_key)) {
    return false;
  }
  bof_ = eof_ = false;
  NotifyRecord();
  return true;
}

bool TDataSet::Locate(std::string_view key_fields, std::span<const FieldValue> values,
                      LocateOptions options) {
  CheckBrowseMode();
  if (values.size() == 1 && key_fields.find(';') == std::string_view::npos &&
      key_fields.find_first_not_of(' ') != std::string_view::npos) {
    // One column, the common case: no lists to build.
    const int number = LocateColumn(key_fields);
    FieldValue converted;
    const FieldValue& key = ValueForColumn(cursor_->Fields()[number - 1], values[0], converted);
    return LocateAt(std::span<const int>(&number, 1), std::span<const FieldValue>(&key, 1),
                    options);
  }
  std::vector<std::string> names = SplitFieldNames(key_fields);
  if (names.size() != values.size()) {
    throw std::invalid_argument("Locate needs one value for each of '" + std::string(key_fields) +
                                "'");
  }
  std::vector<int> numbers;
  std::vector<FieldValue> keys;
  for (size_t i = 0; i < names.size(); ++i) {
    numbers.push_back(LocateColumn(names[i]));
    keys.push_back(ValueForColumn(cursor_->Fields()[numbers.back() - 1], values[i]));
  }
  return LocateAt(numbers, keys, options);
}

bool TDataSet::Locate(std::string_view key_field, std::string_view value, LocateOptions options) {
  // The value's buffer is the data set's, kept from one locate to the next.
  locate_value_.kind = FieldValue::Kind::kString;
  locate_value_.text.assign(value);
  return Locate(key_field, std::span<const FieldValue>(&locate_value_, 1), options);
}

// ---- Field objects ----

void TDataSet::AdoptField(std::unique_ptr<TField> field) {
  CheckInactive();
  if (IsBlank(field->FieldName())) Fail("Field name missing");
  if (FindField(field->FieldName())) Fail("Duplicate field name '" + field->FieldName() + "'");
  field->data_set_ = this;
  fields_.push_back(std::move(field));
}

TField* TDataSet::FindField(std::string_view name) const {
  for (const auto& field : fields_) {
    if (text::SameText(field->FieldName(), name)) return field.get();
  }
  return nullptr;
}

TField& TDataSet::FieldByName(std::string_view name) const {
  TField* field = FindField(name);
  if (!field) Fail("Field '" + std::string(name) + "' not found");
  return *field;
}

void TDataSet::BindFields(const TableCursor& cursor) {
  const std::vector<FieldDesc>& columns = cursor.Fields();
  if (fields_.empty()) {
    for (const FieldDesc& column : columns) {
      std::unique_ptr<TField> field = MakeDefaultField(column);
      if (!field) continue;
      field->data_set_ = this;
      fields_.push_back(std::move(field));
    }
    default_fields_ = true;
  }
  for (const auto& field : fields_) {
    int number = cursor.FieldNumber(field->FieldName());
    if (number == 0) Fail("Field '" + field->FieldName() + "' not found");
    field->Bind(columns[number - 1], number);
  }
}

void TDataSet::UnbindFields() {
  if (default_fields_) {
    fields_.clear();
    default_fields_ = false;
    return;
  }
  for (const auto& field : fields_) field->Unbind();
}

FieldValue TDataSet::FieldData(const TField& field) const {
  CheckActive();
  return cursor_->GetField(field.FieldNo());
}

void TDataSet::SetFieldData(TField& field, const FieldValue& value) {
  CheckActive();
  if (state_ != DataSetState::kEdit && state_ != DataSetState::kInsert) {
    Fail("Dataset not in edit or insert mode");
  }
  if (field.ReadOnly()) Fail("Field '" + field.DisplayName() + "' cannot be modified");
  cursor_->SetField(field.FieldNo(), value);
  modified_ = true;
  for (size_t i = 0; i < sources_.size(); ++i) sources_[i]->NotifyData(field);
}

// ---- Changes ----

void TDataSet::Insert() { StartNewRow(); }

void TDataSet::Append() { StartNewRow(); }

void TDataSet::StartNewRow() {
  CheckBrowseMode();
  CheckCanModify();
  cursor_->Append();
  modified_ = false;
  SetState(DataSetState::kInsert);
  try {
    if (on_new_record_) on_new_record_(*this);
  } catch (...) {
    cursor_->Cancel();
    BackToBrowse();
    throw;
  }
  modified_ = false;
  NotifyRecord();
}

void TDataSet::Edit() {
  CheckActive();
  if (state_ != DataSetState::kBrowse) return;
  CheckCanModify();
  if (!cursor_->HasRecord()) {
    StartNewRow();
    return;
  }
  cursor_->Edit();
  modified_ = false;
  SetState(DataSetState::kEdit);
}

void TDataSet::Post() {
  CheckActive();
  if (state_ == DataSetState::kBrowse) Fail("Dataset not in edit or insert mode");
  for (const auto& field : fields_) {
    if (field->Required() && !field->ReadOnly() && field->IsNull()) {
      Fail("Field '" + field->DisplayName() + "' must have a value");
    }
  }
  cursor_->Post();
  modified_ = false;
  bof_ = eof_ = false;
  SetState(DataSetState::kBrowse);
  NotifyRecord();
}

void TDataSet::Cancel() {
  CheckActive();
  if (state_ == DataSetState::kBrowse) return;
  cursor_->Cancel();
  BackToBrowse();
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == DataSetState::kInsert) {
    Cancel();
    return;
  }
  CheckCanModify();
  if (state_ == DataSetState::kEdit) {
    cursor_->Cancel();
    modified_ = false;
    SetState(DataSetState::kBrowse);
  }
  if (!cursor_->HasRecord()) Fail("Cannot perform this operation on an empty dataset");
  cursor_->Delete();
  CursorMoved();
}

void TDataSet::BackToBrowse() {
  modified_ = false;
  bof_ = eof_ = !Settle();
  SetState(DataSetState::kBrowse);
  NotifyRecord();
}

// ---- For derived data sets ----

TableCursor& TDataSet::Cursor() const {
  CheckActive();
  return *cursor_;
}

void TDataSet::CheckActive() const {
  if (!Active()) Fail("Cannot perform this operation on a closed dataset");
}

void TDataSet::CheckInactive() const {
  if (Active()) Fail("Cannot perform this operation on an open database.");
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  if (state_ != DataSetState::kBrowse) Post();
}

void TDataSet::CursorMoved() {
  bof_ = eof_ = !Settle();
  NotifyRecord();
}

bool TDataSet::Settle() {
  if (cursor_->HasRecord()) return true;
  return cursor_->Prior() || cursor_->First();
}

// ---- Notifications ----

void TDataSet::SetState(DataSetState state) {
  if (state == state_) return;
  state_ = state;
  for (size_t i = 0; i < sources_.size(); ++i) sources_[i]->NotifyState();
}

void TDataSet::NotifyRecord() {
  for (size_t i = 0; i < sources_.size(); ++i) sources_[i]->NotifyRecord();
}

}  // namespace quoldex::tables
