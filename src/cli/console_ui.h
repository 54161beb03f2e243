// ConsoleUi: the screen seam of the command-line program. There is no
// window and nobody to ask, so:
//   - status texts are kept (StatusText) and, when verbose, written to the
//     error stream one a line;
//   - a message box writes its text to the error stream (an error always;
//     information and warnings always; a question, with the answer given,
//     when answered No or Cancel, or when verbose) and answers by itself:
//     a question answers No (or Cancel where there is no No) unless `yes`,
//     then Yes (or OK);
//   - every dialog that would let the user choose (folder picker, open
//     dialog, record view, search dialog) ends as cancelled at once. A
//     record view is closed through its own close hook, as the close box
//     would close it;
//   - a log viewer writes its text to the output stream (each CR LF line
//     end as a line feed) and, when verbose, its caption to the error
//     stream; the window is then closed.
// The number of error boxes shown tells the program whether it failed.
#pragma once

#include <ostream>
#include <string>

#include "ui/ui.h"

namespace quoldex::cli {

class ConsoleUi : public ui::Ui {
 public:
  // `out` and `err` must outlive the object.
  ConsoleUi(std::ostream& out, std::ostream& err, bool verbose, bool yes)
      : out_(out), err_(err), verbose_(verbose), yes_(yes) {}

  void SetStatusText(std::string_view text) override;
  std::string StatusText() const override { return status_; }
  void ProcessMessages() override {}

  ui::Answer ShowMessage(const ui::Message& message) override;
  std::optional<std::string> BrowseForFolder(const ui::FolderRequest& request) override;
  std::optional<std::vector<std::string>> ShowOpenDialog(const ui::OpenDialog& dialog) override;
  ui::DialogResult ShowRecordView(ui::RecordView& view) override;
  std::optional<size_t> ShowSearchDialog(ui::SearchDialog& dialog) override;
  void ShowLogViewer(std::shared_ptr<ui::LogWindow> window) override;

  // How many error boxes were shown so far.
  int ErrorsShown() const { return errors_shown_; }
  // The error stream, and whether status texts go to it; for commands that
  // report progress of their own.
  std::ostream& Err() const { return err_; }
  bool Verbose() const { return verbose_; }

 private:
  // Notes, when verbose, that a dialog was not shown.
  void NoteCancelled(std::string_view what);

  std::ostream& out_;
  std::ostream& err_;
  const bool verbose_;
  const bool yes_;
  std::string status_;
  int errors_shown_ = 0;
};

// The answer a console gives to a box with `buttons`: the affirmative
// button when `yes`, else No, Cancel or OK, the first the box offers.
ui::Answer ConsoleAnswer(ui::MessageButtons buttons, bool yes);

}  // namespace quoldex::cli
