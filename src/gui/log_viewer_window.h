// LogViewerWindow: one log viewer on screen (TfrmLogViewer): an independent
// window with the caller's caption, a fixed size, centred on the screen
// when first shown, a toolbar (an empty disabled button, a disabled print
// button, a separator and a close button) and an editable text area
// holding the file's text. Edits stay in the window: nothing is ever
// written back. The window frees itself when it is closed.
#pragma once

#include <QMainWindow>

class QPlainTextEdit;

namespace quoldex::gui {

class LogViewerWindow : public QMainWindow {
  Q_OBJECT
 public:
  static constexpr int kClientWidth = 632;
  static constexpr int kClientHeight = 343;

  // A window not yet shown; `parent` only keeps it on the application's
  // side (it closes with it), it is still a window of its own.
  LogViewerWindow(const QString& caption, const QString& file_name, const QString& text,
                  QWidget* parent);

  // Creates such a window and shows it without waiting.
  static LogViewerWindow* Open(const QString& caption, const QString& file_name,
                               const QString& text, QWidget* parent);

  QPlainTextEdit* Memo() const { return memo_; }
  const QString& FileName() const { return file_name_; }

 private:
  QPlainTextEdit* memo_;
  QString file_name_;
};

}  // namespace quoldex::gui
