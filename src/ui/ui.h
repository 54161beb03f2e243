// Ui: the screen seam. The models (main window, tree, tools, grep) show
// everything through it and never include a toolkit: the desktop front end
// implements it with windows, the command-line front end with standard
// error and fixed answers, and tests with a scripted fake.
//
// Every call comes from the one user-interface thread. Dialogs are modal:
// the call returns when the user has answered. Only the log viewer is
// modeless.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/log_window.h"
#include "ui/open_dialog.h"
#include "ui/record_view.h"
#include "ui/search_dialog.h"

namespace quoldex::ui {

enum class MessageKind { kInformation, kWarning, kError, kConfirmation };
enum class MessageButtons { kOk, kOkCancel, kYesNo, kYesNoCancel };
// Escape (or the close box) answers kCancel where there is a Cancel
// button, else kNo where there is a No button, else kOk.
enum class Answer { kOk, kCancel, kYes, kNo };

struct Message {
  std::string text;  // line breaks separate lines
  std::string caption;
  MessageKind kind = MessageKind::kInformation;
  MessageButtons buttons = MessageButtons::kOk;
};

// A request for the folder-browsing dialog.
struct FolderRequest {
  std::string caption;    // window caption
  std::string title;      // text above the folder tree
  std::string selection;  // folder to start at; empty: the top of the tree
};

class Ui {
 public:
  virtual ~Ui() = default;

  // The main window's status bar: sets its text and shows it at once.
  virtual void SetStatusText(std::string_view text) = 0;
  virtual std::string StatusText() const = 0;
  // Handles the window messages that are pending, then returns: this is
  // where the user's input is served during a long operation.
  virtual void ProcessMessages() = 0;

  // A modal message box; returns the button pressed.
  virtual Answer ShowMessage(const Message& message) = 0;
  // The folder-browsing dialog (directories only, the folder under the
  // cursor shown in a status line). The chosen folder, or nothing when
  // cancelled.
  virtual std::optional<std::string> BrowseForFolder(const FolderRequest& request) = 0;
  // The open-file dialog. The chosen files (full paths; exactly one unless
  // multi_select), or nothing when cancelled.
  virtual std::optional<std::vector<std::string>> ShowOpenDialog(const OpenDialog& dialog) = 0;
  // A record-view dialog; edits view.rows' values in place and returns how
  // it ended.
  virtual DialogResult ShowRecordView(RecordView& view) = 0;
  // A search dialog; the row highlighted when the user chose OK, or nothing
  // when cancelled.
  virtual std::optional<size_t> ShowSearchDialog(SearchDialog& dialog) = 0;
  // Shows `window`, a new and independent log viewer, and returns at once
  // (modeless). The front end keeps the window while it is open and lets go
  // of it when it is closed (LogWindow::Closed).
  virtual void ShowLogViewer(std::shared_ptr<LogWindow> window) = 0;
};

// Sets the status text and then handles pending messages, so that the text
// is seen and the user gets a turn.
void ShowStatus(Ui& ui, std::string_view text);

// A confirmation box with the caption "Confirm"; `buttons` is kYesNo or
// kYesNoCancel.
Answer Ask(Ui& ui, std::string text, MessageButtons buttons = MessageButtons::kYesNo);

}  // namespace quoldex::ui
