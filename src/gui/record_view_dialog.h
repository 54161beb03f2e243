// RecordViewDialog: a record view (ui::RecordView) on screen. One row per
// record row, the label at the left and the control at the right, each
// control named after its field (objectName) and as wide as the row's
// width in characters: a text box, a text box with a "..." button, or a
// check box, read-only where the row says so. OK and Cancel when the view
// has them; Escape and the close box ask to cancel.
//
// Every edit goes to the view at once (value, then on_change), after which
// the other rows show what the view holds; ending goes through the view's
// on_close, which may keep the dialog open.
#pragma once

#include <QDialog>
#include <vector>

#include "ui/record_view.h"

class QWidget;

namespace quoldex::gui {

class RecordViewDialog : public QDialog {
  Q_OBJECT
 public:
  RecordViewDialog(ui::RecordView& view, QWidget* parent);

  // Runs the dialog modally and returns how it ended.
  static ui::DialogResult Run(ui::RecordView& view, QWidget* parent);

  // The control of the row editing `field_name`, or null.
  QWidget* Control(const QString& field_name) const;

  void done(int result) override;

 private:
  struct RowWidgets {
    QWidget* control = nullptr;  // QLineEdit or QCheckBox
  };
  // The user changed row `row` to `value`.
  void Changed(size_t row, const QString& value);
  void ButtonPressed(size_t row);
  // Shows every row's value, except row `except` (the one being typed in).
  void ShowValues(size_t except);

  ui::RecordView& view_;
  std::vector<RowWidgets> rows_;
};

}  // namespace quoldex::gui
