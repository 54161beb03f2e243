// LogViewerWindow: one log viewer (a ui::LogWindow, e.g. TfrmLogViewer) on
// screen: an independent window with the model's caption, a fixed size
// centred on the screen when first shown, the model's tool bar and an
// editable text area. Edits go to the model's text and are never written
// back to a file. Closing (the close button or the close box) goes through
// the model; the window then frees itself and lets go of the model.
#pragma once

#include <QMainWindow>
#include <memory>

#include "ui/log_window.h"

class QPlainTextEdit;

namespace quoldex::gui {

class LogViewerWindow : public QMainWindow, private ui::LogWindowObserver {
  Q_OBJECT
 public:
  // A window not yet shown; `parent` only ties it to the application's
  // main window (it closes with it); it is still a window of its own.
  LogViewerWindow(std::shared_ptr<ui::LogWindow> model, QWidget* parent);
  ~LogViewerWindow() override;

  // Creates such a window and shows it without waiting.
  static LogViewerWindow* Open(std::shared_ptr<ui::LogWindow> model, QWidget* parent);

  QPlainTextEdit* Memo() const { return memo_; }
  ui::LogWindow& Model() const { return *model_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void LogWindowClosed() override;

  std::shared_ptr<ui::LogWindow> model_;
  QPlainTextEdit* memo_;
};

}  // namespace quoldex::gui
