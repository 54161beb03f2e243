#include "tree/object_search_source.h"

#include <cstdint>

namespace quoldex::tree {

std::vector<std::string> ObjectSearchSource::ColumnTitles() {
  std::vector<std::string> titles;
  for (int i = 0; i < table_.FieldCount(); ++i) {
    if (table_.Field(i).Visible()) titles.push_back(table_.Field(i).DisplayName());
  }
  return titles;
}

size_t ObjectSearchSource::RowCount() { return static_cast<size_t>(table_.RecordCount()); }

std::vector<std::string> ObjectSearchSource::RowCells(size_t row) {
  MoveTo(row);
  std::vector<std::string> cells;
  for (int i = 0; i < table_.FieldCount(); ++i) {
    if (table_.Field(i).Visible()) cells.push_back(table_.Field(i).AsString());
  }
  return cells;
}

size_t ObjectSearchSource::NearestRow(std::string_view text) {
  const tables::FieldValue start[] = {tables::FieldValue::String(std::string(text))};
  table_.SetRange(start, {});
  const bool found = !table_.IsEmpty();
  table_.CancelRange();
  if (!found) table_.Last();
  return CurrentRow();
}

void ObjectSearchSource::MoveTo(size_t row) {
  const int64_t target = static_cast<int64_t>(row) + 1;
  int64_t at = table_.RecNo();
  if (at == 0) {
    table_.First();
    at = 1;
  }
  // Rows are reached by stepping: views read neighbouring rows.
  for (; at < target && !table_.Eof(); ++at) table_.Next();
  for (; at > target && !table_.Bof(); --at) table_.Prior();
}

size_t ObjectSearchSource::CurrentRow() {
  const int64_t at = table_.RecNo();
  return at > 0 ? static_cast<size_t>(at - 1) : 0;
}

}  // namespace quoldex::tree
