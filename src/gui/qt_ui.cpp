#include "gui/qt_ui.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "gui/folder_dialog.h"
#include "gui/log_viewer_window.h"
#include "gui/open_file_dialog.h"
#include "gui/record_view_dialog.h"
#include "gui/search_dialog_view.h"

namespace quoldex::gui {
namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::Icon IconOf(ui::MessageKind kind) {
  switch (kind) {
    case ui::MessageKind::kWarning:
      return QMessageBox::Warning;
    case ui::MessageKind::kError:
      return QMessageBox::Critical;
    case ui::MessageKind::kConfirmation:
      return QMessageBox::Question;
    case ui::MessageKind::kInformation:
      break;
  }
  return QMessageBox::Information;
}

QMessageBox::StandardButtons ButtonsOf(ui::MessageButtons buttons) {
  switch (buttons) {
    case ui::MessageButtons::kOkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case ui::MessageButtons::kYesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case ui::MessageButtons::kYesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case ui::MessageButtons::kOk:
      break;
  }
  return QMessageBox::Ok;
}

QMessageBox::StandardButton ButtonOf(ui::Answer answer) {
  switch (answer) {
    case ui::Answer::kCancel:
      return QMessageBox::Cancel;
    case ui::Answer::kYes:
      return QMessageBox::Yes;
    case ui::Answer::kNo:
      return QMessageBox::No;
    case ui::Answer::kOk:
      break;
  }
  return QMessageBox::Ok;
}

}  // namespace

ui::Answer EscapeAnswer(ui::MessageButtons buttons) {
  switch (buttons) {
    case ui::MessageButtons::kOkCancel:
    case ui::MessageButtons::kYesNoCancel:
      return ui::Answer::kCancel;
    case ui::MessageButtons::kYesNo:
      return ui::Answer::kNo;
    case ui::MessageButtons::kOk:
      break;
  }
  return ui::Answer::kOk;
}

QtUi::QtUi() {
  status_pending_.setSingleShot(true);
  status_pending_.callOnTimeout([this] { ShowStatusNow(); });
}

void QtUi::Attach(QWidget* window, QLabel* status) {
  window_ = window;
  status_ = status;
  if (status_) status_->setText(Text(status_text_));
}

void QtUi::SetStatusText(std::string_view text) {
  status_text_ = std::string(text);
  if (!status_) return;
  const auto since =
      std::chrono::milliseconds(status_shown_.isValid() ? status_shown_.elapsed() : 0);
  if (!status_shown_.isValid() || since >= kStatusInterval) {
    ShowStatusNow();
  } else if (!status_pending_.isActive()) {
    status_pending_.start(kStatusInterval - since);
  }
}

void QtUi::ShowStatusNow() {
  status_pending_.stop();
  if (!status_) return;
  status_->setText(Text(status_text_));
  if (status_->isVisible()) status_->repaint();
  status_shown_.restart();
}

void QtUi::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

QWidget* QtUi::DialogParent() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return window_.data();
}

ui::Answer QtUi::ShowMessage(const ui::Message& message) {
  QMessageBox box(IconOf(message.kind),
                  message.caption.empty() ? QStringLiteral("Quoldex") : Text(message.caption),
                  Text(message.text), ButtonsOf(message.buttons), DialogParent());
  box.setObjectName("messageBox");
  const ui::Answer escape = EscapeAnswer(message.buttons);
  box.setEscapeButton(ButtonOf(escape));
  switch (box.exec()) {
    case QMessageBox::Ok:
      return ui::Answer::kOk;
    case QMessageBox::Cancel:
      return ui::Answer::kCancel;
    case QMessageBox::Yes:
      return ui::Answer::kYes;
    case QMessageBox::No:
      return ui::Answer::kNo;
    default:
      return escape;
  }
}

std::optional<std::string> QtUi::BrowseForFolder(const ui::FolderRequest& request) {
  return FolderDialog::Choose(request, DialogParent());
}

std::optional<std::vector<std::string>> QtUi::ShowOpenDialog(const ui::OpenDialog& dialog) {
  return ChooseFiles(dialog, DialogParent());
}

ui::DialogResult QtUi::ShowRecordView(ui::RecordView& view) {
  return RecordViewDialog::Run(view, DialogParent());
}

std::optional<size_t> QtUi::ShowSearchDialog(ui::SearchDialog& dialog) {
  if (dialog.source == nullptr) return std::nullopt;
  return SearchDialogView::Run(dialog, DialogParent());
}

void QtUi::ShowLogViewer(std::shared_ptr<ui::LogWindow> window) {
  LogViewerWindow::Open(std::move(window), window_.data());
}

}  // namespace quoldex::gui
