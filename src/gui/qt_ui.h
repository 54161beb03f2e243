// QtUi: the screen seam of the desktop program. Message boxes, the folder
// picker, the open-file dialog, record views and search dialogs are modal
// Qt dialogs over the window that is active (a dialog over a dialog over
// the main window); log viewers are independent windows. The status text
// is the main window's status bar, repainted at once unless it showed a
// text less than kStatusInterval ago: then the newest text is drawn when
// that time is up (a scan sets a text per file, and drawing each would cost
// more than the scan). ProcessMessages runs Qt's event loop once over what
// is pending.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>

#include "ui/ui.h"

class QLabel;
class QWidget;

namespace quoldex::gui {

// Which button of a box Escape and the close box press: Cancel where there
// is one, else No, else OK.
ui::Answer EscapeAnswer(ui::MessageButtons buttons);

class QtUi : public ui::Ui {
 public:
  // At most 25 status texts a second reach the screen.
  static constexpr std::chrono::milliseconds kStatusInterval{40};

  QtUi();

  // `window` parents the dialogs when no other dialog is active; `status`
  // is the label that shows the status text (may be null until the window
  // has its status bar).
  void Attach(QWidget* window, QLabel* status);

  void SetStatusText(std::string_view text) override;
  std::string StatusText() const override { return status_text_; }
  void ProcessMessages() override;

  ui::Answer ShowMessage(const ui::Message& message) override;
  std::optional<std::string> BrowseForFolder(const ui::FolderRequest& request) override;
  std::optional<std::vector<std::string>> ShowOpenDialog(const ui::OpenDialog& dialog) override;
  ui::DialogResult ShowRecordView(ui::RecordView& view) override;
  std::optional<size_t> ShowSearchDialog(ui::SearchDialog& dialog) override;
  void ShowLogViewer(std::shared_ptr<ui::LogWindow> window) override;

  // The parent for a new modal dialog: the active modal dialog, else the
  // main window.
  QWidget* DialogParent() const;

 private:
  // Draws status_text_ on the status bar now.
  void ShowStatusNow();

  QPointer<QWidget> window_;
  QPointer<QLabel> status_;
  std::string status_text_;
  QElapsedTimer status_shown_;  // since the bar last drew a text
  QTimer status_pending_;       // runs while a newer text waits
};

}  // namespace quoldex::gui
