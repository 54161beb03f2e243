#include "ui/record_view.h"

namespace quoldex::ui {

RecordRow* RecordView::FindRow(std::string_view field_name) {
  for (RecordRow& row : rows)
    if (row.field_name == field_name) return &row;
  return nullptr;
}

const RecordRow* RecordView::FindRow(std::string_view field_name) const {
  return const_cast<RecordView*>(this)->FindRow(field_name);
}

}  // namespace quoldex::ui
