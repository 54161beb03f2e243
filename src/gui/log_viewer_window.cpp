#include "gui/log_viewer_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QPlainTextEdit>
#include <QScreen>
#include <QToolBar>
#include <string>

#include "gui/image_list.h"

namespace quoldex::gui {
namespace {

// The model keeps every line ended by CR LF; the text area by LF.
QString ForDisplay(const std::string& text) {
  return QString::fromStdString(text).replace("\r\n", "\n");
}

std::string ForModel(const QString& text) {
  QString lines = text;
  return lines.replace("\n", "\r\n").toStdString();
}

}  // namespace

LogViewerWindow::LogViewerWindow(std::shared_ptr<ui::LogWindow> model, QWidget* parent)
    : QMainWindow(parent, Qt::Window), model_(std::move(model)), memo_(new QPlainTextEdit(this)) {
  setObjectName("frmLogViewer");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromStdString(model_->Caption()));
  setWindowIcon(AppIcon());

  auto* tools = new QToolBar(this);
  tools->setObjectName("ToolBar1");
  tools->setMovable(false);
  tools->setFloatable(false);
  tools->setToolButtonStyle(Qt::ToolButtonIconOnly);
  tools->setIconSize(QSize(16, 16));
  tools->setFixedHeight(ui::LogWindow::kToolBarHeight);
  for (const ui::LogWindow::ToolButton& button : model_->ToolBar()) {
    if (button.kind == ui::LogWindow::ToolButton::Kind::kSeparator) {
      tools->addSeparator();
      continue;
    }
    QAction* action = tools->addAction(Image(button.image), QString());
    action->setToolTip(QString::fromStdString(button.hint));
    action->setStatusTip(QString::fromStdString(button.hint));
    action->setEnabled(button.enabled);
    if (button.closes) {
      action->setObjectName("actClose");
      connect(action, &QAction::triggered, this, [this] { model_->actCloseExecute(); });
    }
  }
  addToolBar(tools);

  memo_->setObjectName("Memo1");
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->setPlainText(ForDisplay(model_->Text()));
  connect(memo_, &QPlainTextEdit::textChanged, this,
          [this] { model_->SetText(ForModel(memo_->toPlainText())); });
  setCentralWidget(memo_);

  // A fixed border at the designed client size.
  memo_->setFixedSize(ui::LogWindow::kClientWidth,
                      ui::LogWindow::kClientHeight - ui::LogWindow::kToolBarHeight);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize size = sizeHint();
    move(screen->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2));
  }
  model_->SetObserver(this);
}

LogViewerWindow::~LogViewerWindow() { model_->SetObserver(nullptr); }

LogViewerWindow* LogViewerWindow::Open(std::shared_ptr<ui::LogWindow> model, QWidget* parent) {
  auto* window = new LogViewerWindow(std::move(model), parent);
  window->show();
  return window;
}

void LogViewerWindow::closeEvent(QCloseEvent* event) {
  model_->actCloseExecute();  // tells LogWindowClosed once
  event->accept();
}

void LogViewerWindow::LogWindowClosed() {
  // The close button: the window goes (freed on close). From the close
  // box, Qt is closing it already.
  if (isVisible()) close();
}

}  // namespace quoldex::gui
