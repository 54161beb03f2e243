// SearchDialogView: a search dialog (ui::SearchDialog) on screen: the
// search box with its label, a grid of the source's records read as they
// come into sight, OK, Cancel and the extra button. Typing moves the grid
// to the nearest record; the grid selects whole rows, keeps its selection
// visible without the focus, and marks the current row in its indicator
// column. A double click on a row is OK.
#pragma once

#include <QDialog>
#include <optional>

#include "ui/search_dialog.h"

class QLineEdit;
class QTableView;
class QPushButton;

namespace quoldex::gui {

class SearchGridModel;

class SearchDialogView : public QDialog {
  Q_OBJECT
 public:
  SearchDialogView(ui::SearchDialog& dialog, QWidget* parent);

  // Runs the dialog: the highlighted row on OK, nothing when cancelled.
  static std::optional<size_t> Run(ui::SearchDialog& dialog, QWidget* parent);

  // The highlighted row, or nothing when the grid is empty.
  std::optional<size_t> CurrentRow() const;
  QLineEdit* SearchBox() const { return search_box_; }
  QTableView* Grid() const { return grid_; }
  QPushButton* UserButton() const { return user_button_; }

 private:
  void MoveTo(size_t row);
  void SearchTextEdited(const QString& text);

  ui::SearchDialog& dialog_;
  SearchGridModel* model_;
  QLineEdit* search_box_;
  QTableView* grid_;
  QPushButton* user_button_;
};

}  // namespace quoldex::gui
