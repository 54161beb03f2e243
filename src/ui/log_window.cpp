#include "ui/log_window.h"

#include <utility>

namespace quoldex::ui {
namespace {

constexpr int kPrintImage = 5;
constexpr int kCloseImage = 15;

LogWindow::ToolButton Button(int image, std::string hint, bool enabled) {
  LogWindow::ToolButton button;
  button.image = image;
  button.hint = std::move(hint);
  button.enabled = enabled;
  button.closes = enabled;  // the close button is the only one that does anything
  return button;
}

LogWindow::ToolButton Separator() {
  LogWindow::ToolButton separator;
  separator.kind = LogWindow::ToolButton::Kind::kSeparator;
  return separator;
}

}  // namespace

LogWindow::LogWindow()
    : tool_bar_{Button(-1, "", false), Button(kPrintImage, "Print Class", false), Separator(),
                Button(kCloseImage, "Close Program", true)} {}

void LogWindow::actCloseExecute() {
  if (closed_) return;
  closed_ = true;
  if (observer_ != nullptr) observer_->LogWindowClosed();
}

}  // namespace quoldex::ui
