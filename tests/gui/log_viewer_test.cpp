// Log viewer windows on screen: one independent window per call, text
// editable but never written back, freed when closed.
#include <QApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QToolBar>

#include "gui/log_viewer_window.h"
#include "gui_fixture.h"
#include "tools/log_viewer.h"

namespace quoldex::gui {
namespace {

TEST_F(GuiTest, EachLogFileOpensItsOwnEditableWindowThatGoesWhenClosed) {
  auto window = OpenConfigured();
  const std::string first = temp_.Write("first.log", "one\r\ntwo\n");
  const std::string second = temp_.Write("second.log", "other");
  tools::ShowLogFile(window->Browser().GetUi(), "UCC Log", first);
  tools::ShowLogFile(window->Browser().GetUi(), "Read me", second);
  QList<LogViewerWindow*> viewers = window->findChildren<LogViewerWindow*>();
  ASSERT_EQ(viewers.size(), 2);
  LogViewerWindow* log = viewers[0]->windowTitle() == "UCC Log" ? viewers[0] : viewers[1];
  LogViewerWindow* other = log == viewers[0] ? viewers[1] : viewers[0];
  EXPECT_TRUE(log->isWindow());
  EXPECT_TRUE(log->isVisible());
  EXPECT_FALSE(log->isModal());
  EXPECT_EQ(log->Memo()->toPlainText(), "one\ntwo\n");
  EXPECT_EQ(other->Memo()->toPlainText(), "other\n");  // every line ends

  // Typing changes the window's text only.
  log->Memo()->moveCursor(QTextCursor::End);
  QTest::keyClicks(log->Memo(), "three");
  EXPECT_EQ(log->Model().Text(), "one\r\ntwo\r\nthree");
  EXPECT_EQ(temp_.Read("first.log"), "one\r\ntwo\n");

  // The close button closes that window alone, which is then freed.
  QPointer<LogViewerWindow> closed = log;
  QAction* close_button = log->findChild<QToolBar*>("ToolBar1")->findChild<QAction*>("actClose");
  ASSERT_NE(close_button, nullptr);
  close_button->trigger();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(closed.isNull());
  EXPECT_TRUE(other->isVisible());
  EXPECT_TRUE(window->isVisible());

  // Closing the main window closes the viewers with it.
  QPointer<LogViewerWindow> remaining = other;
  window->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(remaining.isNull());
}

}  // namespace
}  // namespace quoldex::gui
