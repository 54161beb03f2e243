#include "gui/record_view_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>
#include <string_view>

namespace quoldex::gui {
namespace {

constexpr size_t kNoRow = std::numeric_limits<size_t>::max();

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

RecordViewDialog::RecordViewDialog(ui::RecordView& view, QWidget* parent)
    : QDialog(parent), view_(view) {
  setObjectName("recordView");
  setWindowTitle(Text(view.caption));
  auto* grid = new QGridLayout;
  const int char_width = fontMetrics().averageCharWidth();
  rows_.resize(view.rows.size());
  for (size_t i = 0; i < view.rows.size(); ++i) {
    const ui::RecordRow& row = view.rows[i];
    const int grid_row = static_cast<int>(i);
    auto* label = new QLabel(Text(row.label), this);
    grid->addWidget(label, grid_row, 0);
    if (row.control == ui::RowControl::kCheckBox) {
      auto* box = new QCheckBox(this);
      box->setObjectName(Text(row.field_name));
      box->setToolTip(Text(row.hint));
      box->setEnabled(!row.read_only);
      label->setBuddy(box);
      connect(box, &QCheckBox::clicked, this, [this, i](bool checked) {
        Changed(i, Text(checked ? ui::kCheckedText : ui::kClearedText));
      });
      rows_[i].control = box;
      grid->addWidget(box, grid_row, 1, Qt::AlignLeft);
      continue;
    }
    auto* edit = new QLineEdit(this);
    edit->setObjectName(Text(row.field_name));
    edit->setToolTip(Text(row.hint));
    edit->setReadOnly(row.read_only);
    edit->setFixedWidth(char_width * std::max(row.edit_width, 1) + 12);
    label->setBuddy(edit);
    connect(edit, &QLineEdit::textEdited, this, [this, i](const QString& text) { Changed(i, text); });
    rows_[i].control = edit;
    if (row.control == ui::RowControl::kTextWithButton) {
      auto* cell = new QHBoxLayout;
      cell->setSpacing(2);
      auto* button = new QToolButton(this);
      button->setObjectName(Text(row.field_name) + "Button");
      button->setText("...");
      button->setToolTip(Text(row.hint));
      button->setEnabled(!row.read_only);
      connect(button, &QToolButton::clicked, this, [this, i] { ButtonPressed(i); });
      cell->addWidget(edit);
      cell->addWidget(button);
      cell->addStretch(1);
      grid->addLayout(cell, grid_row, 1);
    } else {
      grid->addWidget(edit, grid_row, 1, Qt::AlignLeft);
    }
  }
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  if (view.ok_cancel_buttons) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
  }
  layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed dialog border
  ShowValues(kNoRow);
}

QWidget* RecordViewDialog::Control(const QString& field_name) const {
  for (size_t i = 0; i < view_.rows.size(); ++i) {
    if (Text(view_.rows[i].field_name) == field_name) return rows_[i].control;
  }
  return nullptr;
}

void RecordViewDialog::Changed(size_t row, const QString& value) {
  view_.rows[row].value = value.toStdString();
  if (view_.on_change) view_.on_change(view_, row);
  ShowValues(row);
}

void RecordViewDialog::ButtonPressed(size_t row) {
  if (view_.rows[row].on_button) view_.rows[row].on_button(view_, row);
  ShowValues(kNoRow);
}

void RecordViewDialog::ShowValues(size_t except) {
  for (size_t i = 0; i < view_.rows.size(); ++i) {
    if (i == except) continue;
    const QString value = Text(view_.rows[i].value);
    if (auto* box = qobject_cast<QCheckBox*>(rows_[i].control)) {
      box->setChecked(value == Text(ui::kCheckedText));
    } else if (auto* edit = qobject_cast<QLineEdit*>(rows_[i].control)) {
      if (edit->text() != value) edit->setText(value);
    }
  }
}

void RecordViewDialog::done(int result) {
  const ui::DialogResult requested =
      result == QDialog::Accepted ? ui::DialogResult::kOk : ui::DialogResult::kCancel;
  ui::DialogResult outcome = requested;
  if (view_.on_close) {
    std::optional<ui::DialogResult> decided = view_.on_close(view_, requested);
    if (!decided) {
      ShowValues(kNoRow);
      return;  // the model keeps the dialog open
    }
    outcome = *decided;
  }
  QDialog::done(outcome == ui::DialogResult::kOk ? QDialog::Accepted : QDialog::Rejected);
}

ui::DialogResult RecordViewDialog::Run(ui::RecordView& view, QWidget* parent) {
  RecordViewDialog dialog(view, parent);
  return dialog.exec() == QDialog::Accepted ? ui::DialogResult::kOk : ui::DialogResult::kCancel;
}

}  // namespace quoldex::gui
