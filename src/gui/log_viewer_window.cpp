#include "gui/log_viewer_window.h"

#include <QAction>
#include <QGuiApplication>
#include <QLayout>
#include <QPlainTextEdit>
#include <QScreen>
#include <QToolBar>

#include "gui/image_list.h"

namespace quoldex::gui {

LogViewerWindow::LogViewerWindow(const QString& caption, const QString& file_name,
                                 const QString& text, QWidget* parent)
    : QMainWindow(parent, Qt::Window), memo_(new QPlainTextEdit(this)), file_name_(file_name) {
  setObjectName("frmLogViewer");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(caption);
  setWindowIcon(AppIcon());

  auto* tools = new QToolBar(this);
  tools->setObjectName("ToolBar1");
  tools->setMovable(false);
  tools->setFloatable(false);
  tools->setToolButtonStyle(Qt::ToolButtonIconOnly);
  QAction* empty = tools->addAction(QString());
  empty->setEnabled(false);
  QAction* print = tools->addAction(Image(5), "Print File");
  print->setObjectName("actPrint");
  print->setToolTip("Print Class");
  print->setStatusTip("Print Class");
  print->setEnabled(false);
  tools->addSeparator();
  QAction* close_action = tools->addAction(Image(15), "Close");
  close_action->setObjectName("actClose");
  close_action->setToolTip("Close Program");
  close_action->setStatusTip("Close Program");
  connect(close_action, &QAction::triggered, this, &QWidget::close);
  addToolBar(tools);

  memo_->setObjectName("Memo1");
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo_->setPlainText(text);
  setCentralWidget(memo_);

  // A fixed border: the text area keeps its designed size.
  memo_->setFixedSize(kClientWidth, kClientHeight - tools->sizeHint().height());
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    const QSize size = sizeHint();
    move(area.center() - QPoint(size.width() / 2, size.height() / 2));
  }
}

LogViewerWindow* LogViewerWindow::Open(const QString& caption, const QString& file_name,
                                       const QString& text, QWidget* parent) {
  auto* window = new LogViewerWindow(caption, file_name, text, parent);
  window->show();
  return window;
}

}  // namespace quoldex::gui
