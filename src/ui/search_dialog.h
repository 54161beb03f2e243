// SearchDialog: a modal dialog over a list of records in key order, with a
// text box for incremental search, a grid of the records, OK, Cancel and
// one extra button (e.g. "View") that acts on the highlighted record while
// the dialog stays open.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quoldex::ui {

// The records the grid shows, read by the view as it needs them.
class SearchSource {
 public:
  virtual ~SearchSource() = default;
  virtual std::vector<std::string> ColumnTitles() = 0;
  virtual size_t RowCount() = 0;
  // The cells of row `row` (< RowCount()), one per column.
  virtual std::vector<std::string> RowCells(size_t row) = 0;
  // The row the grid moves to when `text` has been typed into the search
  // box: the first row whose key is at or after `text` in key order (the
  // last row when there is none). Only called when RowCount() > 0.
  virtual size_t NearestRow(std::string_view text) = 0;
};

struct SearchDialog {
  std::string caption = "Search";
  std::string search_label;  // "&" marks the access key
  std::string search_hint;
  std::string user_button_caption;
  SearchSource* source = nullptr;
  // The row highlighted when the dialog opens (the source's current record).
  size_t initial_row = 0;
  // The extra button was pressed with `row` highlighted.
  std::function<void(size_t row)> on_user_button;
};

}  // namespace quoldex::ui
