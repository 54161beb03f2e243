#include "tables/cursor/table_cursor.h"

#include <algorithm>
#include <string_view>

#include "tables/base/engine_error.h"
#include "tables/cursor/table_cursor_impl.h"
#include "tables/cursor/table_cursor_scopes.h"
#include "tables/cursor/table_definition.h"
#include "tables/cursor/table_integrity.h"

namespace quoldex::tables {
namespace {

std::string_view TrimBlanks(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

}  // namespace

std::string TableCursor::DataFileName(const TableSettings& settings) {
  if (TrimBlanks(settings.table_name).empty()) throw EDatabaseError("Missing table name.");
  return TDataFile::FileNameFor(settings.directory, settings.table_name, settings.in_memory);
}

bool TableCursor::Exists(const TableSettings& settings) {
  if (TrimBlanks(settings.table_name).empty()) return false;
  return TFileHandler::FileExists(DataFileName(settings), settings.in_memory);
}

void TableCursor::Create(const TableSettings& settings, const TableDefinition& definition) {
  CreateTableFiles(DataFileName(settings), definition, settings.in_memory);
}

TableCursor::TableCursor(TableSettings settings) : settings_(std::move(settings)) {}

TableCursor::~TableCursor() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; the files are closed regardless.
  }
}

void TableCursor::Open() {
  if (impl_) return;
  auto impl = std::make_unique<Impl>(settings_);
  impl->OpenFiles();
  impl_ = std::move(impl);
}

void TableCursor::Close() {
  if (!impl_) return;
  std::unique_ptr<Impl> impl = std::move(impl_);
  impl->CloseFiles();
}

void TableCursor::CloseDiscarding() {
  if (!impl_) return;
  std::unique_ptr<Impl> impl = std::move(impl_);
  if (impl->settings.in_memory) {
    impl->Cancel();
    impl->data->DiscardCache();
    impl->index->DiscardCache();
  }
  impl->CloseFiles();
}

bool TableCursor::IsOpen() const { return impl_ != nullptr; }

const std::vector<std::string>& TableCursor::Recovered() const { return Opened().recovered; }
bool TableCursor::IsReadOnly() const { return Opened().read_only; }
bool TableCursor::ReadOnlyByAccess() const { return Opened().read_only_by_access; }

TableCursor::Impl& TableCursor::Opened() const {
  if (!impl_) throw EDbEngineError(kErrHandle, settings_.directory + settings_.table_name);
  return *impl_;
}

const std::string& TableCursor::FileName() const {
  static const std::string kNone;
  return impl_ ? impl_->file_name : kNone;
}

const std::vector<FieldDesc>& TableCursor::Fields() const {
  static const std::vector<FieldDesc> kNone;
  return impl_ ? impl_->data->Fields() : kNone;
}

const std::vector<IndexDesc>& TableCursor::Indexes() const {
  static const std::vector<IndexDesc> kNone;
  return impl_ ? impl_->indexes : kNone;
}

bool TableCursor::HasPrimaryIndex() const { return Opened().index->HasPrimaryIndex(); }

int TableCursor::FieldNumber(std::string_view name) const {
  return Opened().data->FieldNumber(name);
}

void TableCursor::SetIndex(int index_number) {
  Impl& c = Opened();
  if (index_number < 0 || index_number > c.index->SecondaryCount()) {
    throw EDbEngineError(kErrIndexName, c.file_name, std::to_string(index_number));
  }
  c.SelectOrder(index_number);
}

void TableCursor::SetIndexByName(std::string_view name) {
  Impl& c = Opened();
  int found = TrimBlanks(name).empty() ? -1 : c.index->FindIndex(TrimBlanks(name));
  c.SelectOrder(found > 0 && found <= c.index->SecondaryCount() ? found : 0);
}

bool TableCursor::SetIndexByFields(std::string_view field_list) {
  Impl& c = Opened();
  std::vector<uint16_t> wanted;
  for (size_t start = 0; start <= field_list.size();) {
    size_t end = std::min(field_list.find(';', start), field_list.size());
    int number = c.data->FieldNumber(TrimBlanks(field_list.substr(start, end - start)));
    if (number == 0) return false;
    wanted.push_back(static_cast<uint16_t>(number));
    start = end + 1;
  }
  for (size_t i = 0; i < c.indexes.size(); ++i) {
    if (i == 0 && !c.index->HasPrimaryIndex()) continue;
    const std::vector<uint16_t>& have = c.indexes[i].fields;
    if (have.size() >= wanted.size() && std::equal(wanted.begin(), wanted.end(), have.begin())) {
      c.SelectOrder(static_cast<int>(i));
      return true;
    }
  }
  return false;
}

int TableCursor::CurrentIndex() const { return Opened().current_index; }

bool TableCursor::First() { return Opened().First(); }
bool TableCursor::Last() { return Opened().Last(); }
bool TableCursor::Next() { return Opened().Next(); }
bool TableCursor::Prior() { return Opened().Prior(); }
bool TableCursor::Bof() const { return Opened().where == Impl::Where::kBof; }
bool TableCursor::Eof() const { return Opened().where == Impl::Where::kEof; }
bool TableCursor::HasRecord() const { return Opened().where == Impl::Where::kOn; }
int64_t TableCursor::RecordCount() { return Opened().RecordCount(); }
int64_t TableCursor::RecordNumber() { return Opened().RecordNumber(); }
bool TableCursor::SetRecordNumber(int64_t ordinal) { return Opened().SetRecordNumber(ordinal); }

int32_t TableCursor::PhysicalRecordNumber() const {
  const Impl& c = Opened();
  return c.where == Impl::Where::kOn ? c.record_number : 0;
}

int32_t TableCursor::RecordId() const {
  const Impl& c = Opened();
  return c.where == Impl::Where::kOn ? Impl::IdOf(c.record.data()) : 0;
}

bool TableCursor::FindKey(std::span<const FieldValue> values) { return Opened().FindKey(values); }

void TableCursor::SetRange(std::span<const FieldValue> start, std::span<const FieldValue> end) {
  Opened().SetRange(start, end);
}

void TableCursor::CancelRange() { Opened().has_range = false; }

bool TableCursor::Locate(std::span<const int> field_numbers, std::span<const FieldValue> values,
                         bool case_insensitive, bool partial) {
  return Opened().Locate(field_numbers, values, case_insensitive, partial);
}

void TableCursor::SetFilter(RecordFilter filter) { Opened().filter = std::move(filter); }

FieldValue TableCursor::GetField(int number) const {
  const Impl& c = Opened();
  const std::vector<FieldDesc>& fields = c.data->Fields();
  if (number < 1 || static_cast<size_t>(number) > fields.size()) {
    throw EDbEngineError(kErrInvalidField, c.file_name, std::to_string(number));
  }
  if (c.state != CursorState::kBrowse) {
    // A new record has no record ID (and so no autoinc value) until posted.
    if (c.state == CursorState::kInsert && fields[number - 1].IsAutoInc()) {
      return FieldValue::Null();
    }
    return c.data->GetField(number, c.edit.data());
  }
  if (c.where != Impl::Where::kOn) return FieldValue::Null();
  return c.data->GetField(number, c.record.data());
}

FieldValue TableCursor::GetField(int number, const uint8_t* record) const {
  return Opened().data->GetField(number, record);
}

void TableCursor::Scan(const std::function<void(const uint8_t* record)>& visit,
                       const std::function<void(int64_t entries)>& expect) {
  Opened().Scan(visit, expect);
}

void TableCursor::ScanSlots(const std::function<void(const uint8_t* record)>& visit) {
  Opened().ScanSlots(visit);
}

const uint8_t* TableCursor::CurrentRecord() const {
  const Impl& c = Opened();
  return c.where == Impl::Where::kOn ? c.record.data() : nullptr;
}

CursorState TableCursor::State() const { return Opened().state; }
void TableCursor::Append() { Opened().Append(); }
void TableCursor::Edit() { Opened().Edit(); }

void TableCursor::SetField(int number, const FieldValue& value) {
  Impl& c = Opened();
  if (c.state == CursorState::kBrowse) throw EDatabaseError(Impl::kNotEditing);
  c.data->SetField(number, value, c.edit.data());
}

void TableCursor::AppendAll(std::vector<uint8_t> images, int order_index) {
  Opened().AppendAll(std::move(images), order_index);
}

std::vector<uint8_t> TableCursor::NewRecord() const {
  const Impl& c = Opened();
  std::vector<uint8_t> image(c.data->RecordSize());
  c.data->InitNewRecord(image.data());
  return image;
}

void TableCursor::SetField(int number, const FieldValue& value, uint8_t* image) const {
  Opened().data->SetField(number, value, image);
}

void TableCursor::CopyField(int number, const TableCursor& source, int source_number,
                            const uint8_t* source_record, uint8_t* image) const {
  Opened().data->CopyField(number, *source.Opened().data, source_number, source_record, image);
}

void TableCursor::CopyField(int number, const TableCursor& source, int source_number,
                            const uint8_t* source_record) {
  Impl& c = Opened();
  if (c.state == CursorState::kBrowse) throw EDatabaseError(Impl::kNotEditing);
  c.data->CopyField(number, *source.Opened().data, source_number, source_record, c.edit.data());
}

void TableCursor::Post() { Opened().Post(); }
void TableCursor::Cancel() { Opened().Cancel(); }
void TableCursor::Delete() { Opened().Delete(); }
void TableCursor::EmptyTable() { Opened().EmptyTable(); }

std::vector<std::string> TableCursor::CheckIntegrity() {
  Impl& c = Opened();
  if (!c.locks->Enabled() && !c.read_only) {
    // Deferred writes first, so that the files say what the handle knows.
    if (c.WritesAlone()) {
      c.FlushAlone();
    } else {
      c.data->FlushBuffers(false);
      c.index->FlushBuffers(false);
    }
  }
  Impl::LockScope lock(c, Impl::LockScope::kRead);
  return CheckTableIntegrity(*c.data, *c.index);
}

}  // namespace quoldex::tables
