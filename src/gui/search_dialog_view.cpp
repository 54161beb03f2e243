#include "gui/search_dialog_view.h"

#include <QAbstractTableModel>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <string>
#include <vector>

namespace quoldex::gui {

// The source's records as a table; cells are read when the grid draws them
// and a bounded number of rows is kept.
class SearchGridModel : public QAbstractTableModel {
 public:
  SearchGridModel(ui::SearchSource& source, QObject* parent)
      : QAbstractTableModel(parent), source_(source), rows_(source.RowCount()) {
    for (const std::string& title : source.ColumnTitles()) {
      titles_ << QString::fromStdString(title);
    }
  }

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_);
  }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(titles_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    const std::vector<std::string>& cells = Cells(static_cast<size_t>(index.row()));
    const auto column = static_cast<size_t>(index.column());
    return column < cells.size() ? QString::fromStdString(cells[column]) : QString();
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation == Qt::Horizontal) {
      if (role == Qt::DisplayRole && section < titles_.size()) return titles_[section];
      if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
      return {};
    }
    // The record indicator.
    if (role == Qt::DisplayRole) return section == current_row_ ? QStringLiteral("\u25B6") : QString();
    return {};
  }

  void SetCurrentRow(int row) {
    const int was = current_row_;
    current_row_ = row;
    if (was >= 0) emit headerDataChanged(Qt::Vertical, was, was);
    if (row >= 0) emit headerDataChanged(Qt::Vertical, row, row);
  }

 private:
  const std::vector<std::string>& Cells(size_t row) const {
    auto found = cells_.find(row);
    if (found != cells_.end()) return *found;
    if (cells_.size() > 1024) cells_.clear();
    return *cells_.insert(row, source_.RowCells(row));
  }

  ui::SearchSource& source_;
  const size_t rows_;
  QStringList titles_;
  mutable QHash<size_t, std::vector<std::string>> cells_;
  int current_row_ = -1;
};

SearchDialogView::SearchDialogView(ui::SearchDialog& dialog, QWidget* parent)
    : QDialog(parent),
      dialog_(dialog),
      model_(new SearchGridModel(*dialog.source, this)),
      search_box_(new QLineEdit(this)),
      grid_(new QTableView(this)),
      user_button_(new QPushButton(QString::fromStdString(dialog.user_button_caption), this)) {
  setObjectName("SearchObject");
  setWindowTitle(QString::fromStdString(dialog.caption));
  auto* label = new QLabel(QString::fromStdString(dialog.search_label), this);
  label->setBuddy(search_box_);
  search_box_->setObjectName("searchBox");
  search_box_->setToolTip(QString::fromStdString(dialog.search_hint));
  search_box_->setStatusTip(QString::fromStdString(dialog.search_hint));

  grid_->setObjectName("grid");
  grid_->setModel(model_);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setShowGrid(true);
  grid_->setWordWrap(false);
  grid_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  grid_->horizontalHeader()->setStretchLastSection(true);
  grid_->setColumnWidth(0, 150);
  grid_->setColumnWidth(1, 120);
  grid_->setColumnWidth(2, 100);
  QPalette colours = grid_->palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, Qt::black);
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
    colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
  }
  grid_->setPalette(colours);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  user_button_->setObjectName("userButton");
  buttons->addButton(user_button_, QDialogButtonBox::ActionRole);
  user_button_->setAutoDefault(false);

  auto* search_row = new QHBoxLayout;
  search_row->addWidget(label);
  search_row->addWidget(search_box_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(search_row);
  layout->addWidget(grid_, 1);
  layout->addWidget(buttons);
  setMaximumHeight(209);
  resize(640, 209);

  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(user_button_, &QPushButton::clicked, this, [this] {
    if (std::optional<size_t> row = CurrentRow(); row && dialog_.on_user_button) {
      dialog_.on_user_button(*row);
    }
  });
  connect(search_box_, &QLineEdit::textEdited, this, &SearchDialogView::SearchTextEdited);
  connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { model_->SetCurrentRow(current.row()); });
  connect(grid_, &QTableView::doubleClicked, this, &QDialog::accept);

  if (model_->rowCount({}) > 0) MoveTo(dialog.initial_row);
  user_button_->setEnabled(model_->rowCount({}) > 0);
  search_box_->setFocus();
}

std::optional<size_t> SearchDialogView::CurrentRow() const {
  const QModelIndex current = grid_->currentIndex();
  if (!current.isValid()) return std::nullopt;
  return static_cast<size_t>(current.row());
}

void SearchDialogView::MoveTo(size_t row) {
  const int rows = model_->rowCount({});
  if (rows == 0) return;
  const int target = std::min(static_cast<int>(row), rows - 1);
  const QModelIndex index = model_->index(target, 0);
  grid_->setCurrentIndex(index);
  grid_->selectRow(target);
  grid_->scrollTo(index);
}

void SearchDialogView::SearchTextEdited(const QString& text) {
  if (model_->rowCount({}) == 0) return;
  MoveTo(dialog_.source->NearestRow(text.toStdString()));
}

std::optional<size_t> SearchDialogView::Run(ui::SearchDialog& dialog, QWidget* parent) {
  SearchDialogView view(dialog, parent);
  if (view.exec() != QDialog::Accepted) return std::nullopt;
  return view.CurrentRow();
}

}  // namespace quoldex::gui
