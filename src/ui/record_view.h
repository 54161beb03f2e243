// RecordView: what a record-view dialog shows and edits, in plain C++.
//
// A record view is a modal dialog of labelled rows, one per field of one
// record, each edited by a text box, a text box with a button, or a check
// box (the Preferences dialog), or shown read-only (Class Properties). The
// model that owns the record fills the rows, passes the view to
// Ui::ShowRecordView, and reads the edited values back from `rows` when the
// dialog ends. The hooks let the model act while the dialog is open: start
// editing its record at the first change, run a row's button, and decide
// what closing the dialog means.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quoldex::ui {

enum class DialogResult { kOk, kCancel };

enum class RowControl {
  kTextBox,
  kTextWithButton,  // accepts typed text; its button runs RecordRow::on_button
  kCheckBox,        // value "True" when checked, "False" when cleared
};

struct RecordView;

struct RecordRow {
  std::string field_name;  // the field the row edits, e.g. "SystemDir"
  std::string label;       // shown at the row's left
  int edit_width = 0;      // width of the edit control, in characters
  RowControl control = RowControl::kTextBox;
  std::string hint;
  bool read_only = false;
  std::string value;  // current text of the control
  // The button of a kTextWithButton row was pressed; the handler may change
  // any row's value.
  std::function<void(RecordView& view, size_t row)> on_button;
};

struct RecordView {
  std::string caption;
  // False for a view without OK and Cancel buttons: only the close box ends
  // it, as kCancel.
  bool ok_cancel_buttons = true;
  std::vector<RecordRow> rows;
  // The user changed the value of `row` (typing or toggling); runs after
  // the new value is in place. The model may update other rows.
  std::function<void(RecordView& view, size_t row)> on_change;
  // The user asked to end the dialog with `requested` (OK, Cancel or the
  // close box). Returns how the dialog ends, or nothing to keep it open.
  // Unset: the dialog ends as requested.
  std::function<std::optional<DialogResult>(RecordView& view, DialogResult requested)> on_close;

  // The row editing `field_name`, or null.
  RecordRow* FindRow(std::string_view field_name);
  const RecordRow* FindRow(std::string_view field_name) const;
};

// The texts a check box row holds.
inline constexpr std::string_view kCheckedText = "True";
inline constexpr std::string_view kClearedText = "False";

}  // namespace quoldex::ui
