#include "cli/console_ui.h"

namespace quoldex::cli {
namespace {

const char* AnswerText(ui::Answer answer) {
  switch (answer) {
    case ui::Answer::kOk:
      return "OK";
    case ui::Answer::kCancel:
      return "Cancel";
    case ui::Answer::kYes:
      return "Yes";
    case ui::Answer::kNo:
      return "No";
  }
  return "";
}

}  // namespace

ui::Answer ConsoleAnswer(ui::MessageButtons buttons, bool yes) {
  switch (buttons) {
    case ui::MessageButtons::kOk:
      return ui::Answer::kOk;
    case ui::MessageButtons::kOkCancel:
      return yes ? ui::Answer::kOk : ui::Answer::kCancel;
    case ui::MessageButtons::kYesNo:
    case ui::MessageButtons::kYesNoCancel:
      return yes ? ui::Answer::kYes : ui::Answer::kNo;
  }
  return ui::Answer::kCancel;
}

void ConsoleUi::SetStatusText(std::string_view text) {
  status_ = std::string(text);
  if (verbose_) err_ << status_ << '\n' << std::flush;
}

ui::Answer ConsoleUi::ShowMessage(const ui::Message& message) {
  const ui::Answer answer = ConsoleAnswer(message.buttons, yes_);
  switch (message.kind) {
    case ui::MessageKind::kError:
      ++errors_shown_;
      err_ << message.text << '\n';
      break;
    case ui::MessageKind::kInformation:
    case ui::MessageKind::kWarning:
      err_ << message.text << '\n';
      break;
    case ui::MessageKind::kConfirmation:
      // A No says why a command did nothing; a Yes is only news when asked for.
      if (verbose_ || answer == ui::Answer::kNo || answer == ui::Answer::kCancel) {
        err_ << message.text << " [" << AnswerText(answer) << "]\n";
      }
      break;
  }
  err_ << std::flush;
  return answer;
}

void ConsoleUi::NoteCancelled(std::string_view what) {
  if (verbose_) err_ << what << ": cancelled (no dialogs here)\n" << std::flush;
}

std::optional<std::string> ConsoleUi::BrowseForFolder(const ui::FolderRequest& request) {
  NoteCancelled(request.title);
  return std::nullopt;
}

std::optional<std::vector<std::string>> ConsoleUi::ShowOpenDialog(const ui::OpenDialog& dialog) {
  NoteCancelled(dialog.title);
  return std::nullopt;
}

ui::DialogResult ConsoleUi::ShowRecordView(ui::RecordView& view) {
  NoteCancelled(view.caption);
  if (!view.on_close) return ui::DialogResult::kCancel;
  // Nothing was changed, so the view's owner has nothing to ask; should it
  // want to stay open all the same, there is nobody to keep it open for.
  return view.on_close(view, ui::DialogResult::kCancel).value_or(ui::DialogResult::kCancel);
}

std::optional<size_t> ConsoleUi::ShowSearchDialog(ui::SearchDialog& dialog) {
  NoteCancelled(dialog.caption);
  return std::nullopt;
}

void ConsoleUi::ShowLogViewer(std::shared_ptr<ui::LogWindow> window) {
  if (verbose_) err_ << window->Caption() << '\n' << std::flush;
  std::string_view text = window->Text();
  while (!text.empty()) {
    const size_t end = text.find("\r\n");
    out_ << text.substr(0, end) << '\n';
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 2);
  }
  out_ << std::flush;
  window->actCloseExecute();
}

}  // namespace quoldex::cli
