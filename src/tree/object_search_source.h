// ObjectSearchSource: the rows of the Find Class search dialog, read live
// from an open table in the order of its current index (dtblObjects by
// "ByName": ObjectName ignoring case).
//
// The grid's columns are the table's visible field objects in their order,
// titled by their display names; a cell is the field's text. Reading a row
// or searching moves the table's current record; the dialog's owner moves
// it to the highlighted row (MoveTo) before acting on it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tables/components/db_table.h"
#include "ui/search_dialog.h"

namespace quoldex::tree {

class ObjectSearchSource : public ui::SearchSource {
 public:
  // `table` must be open while the source is used, and outlive it.
  explicit ObjectSearchSource(tables::TDbTable& table) : table_(table) {}

  std::vector<std::string> ColumnTitles() override;
  size_t RowCount() override;
  std::vector<std::string> RowCells(size_t row) override;
  // The first row whose key is at or after `text` under the index's own
  // comparison (a prefix comes before the names it starts), or the last
  // row when every key is before it.
  size_t NearestRow(std::string_view text) override;

  // Makes row `row` (< RowCount()) the table's current record.
  void MoveTo(size_t row);
  // The row of the table's current record (0 when it has none).
  size_t CurrentRow();

 private:
  tables::TDbTable& table_;
};

}  // namespace quoldex::tree
