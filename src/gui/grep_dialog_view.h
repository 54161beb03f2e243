// GrepDialogView: the grep dialog "Grep Scripts" on screen over its model
// (grep::TdlgGrep). A fixed dialog: the search text and the "Search In"
// scopes with their inputs beside them in a frame at the top left, Go,
// Cancel and Close at the top right, the result list below with Edit and
// Browse beside it, the status line at the bottom. Go is the default button
// (Enter); Escape presses Cancel while it is enabled.
//
// It draws what the model holds whenever the model reports a change, and
// sends every input to the model's handlers, each under the main window's
// error handler. The model decides when the dialog shows, hides, is modal
// and stays on top; a modal showing runs its own event loop until the
// model hides the dialog.
#pragma once

#include <QDialog>
#include <functional>

#include "grep/grep_dialog.h"
#include "grep/grep_window.h"

class QButtonGroup;
class QComboBox;
class QEventLoop;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QToolButton;

namespace quoldex::gui {

class LookupComboBox;

class GrepDialogView : public QDialog, public grep::GrepWindow {
  Q_OBJECT
 public:
  // Runs a handler of the model under the main window's error handler.
  using Runner = std::function<void(const std::function<void()>& handler)>;

  // Attaches itself to `model`, which must outlive it; `main_window` is
  // brought to the front when the model asks.
  GrepDialogView(grep::TdlgGrep& model, Runner run, QWidget* main_window);
  ~GrepDialogView() override;

  // grep::GrepWindow
  void GrepChanged(uint32_t what) override;
  void RunModal() override;
  void BringMainWindowToFront() override;

  QLineEdit* SearchFor() const { return search_for_; }
  QPushButton* GoButton() const { return go_; }
  QPushButton* CancelButton() const { return cancel_; }
  QPushButton* CloseButton() const { return close_; }
  QPushButton* EditButton() const { return edit_; }
  QPushButton* BrowseButton() const { return browse_; }
  QTreeWidget* Results() const { return results_; }
  QLabel* StatusLine() const { return status_line_; }
  QButtonGroup* Scopes() const { return scopes_; }

 protected:
  // Escape: Cancel, when it is enabled.
  void reject() override;
  // The close box: the model hides the dialog.
  void closeEvent(QCloseEvent* event) override;

 private:
  void ShowInputs();
  void ShowEnabling();
  void ShowResults();
  void ShowWindow();
  void Run(const std::function<void()>& handler) { run_(handler); }

  grep::TdlgGrep& model_;
  Runner run_;
  QWidget* main_window_;
  QLineEdit* search_for_;
  QButtonGroup* scopes_;
  LookupComboBox* ancestor_of_;
  QLineEdit* directory_;
  QToolButton* directory_button_;
  QComboBox* mask_;
  LookupComboBox* package_;
  QTreeWidget* results_;
  QPushButton* go_;
  QPushButton* cancel_;
  QPushButton* close_;
  QPushButton* edit_;
  QPushButton* browse_;
  QLabel* status_line_;
  QEventLoop* modal_loop_ = nullptr;
  // Set while the view shows the model, so that its own signals are not
  // taken for the user's input.
  bool showing_ = false;
};

}  // namespace quoldex::gui
