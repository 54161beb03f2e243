// The log viewer window: what it loads, what it shows, how it closes.
#include "tools/log_viewer.h"

#include <gmock/gmock.h>

#include "fakes/fake_ui.h"
#include "fakes/temp_dir.h"
#include "platform/text_file.h"

namespace quoldex::tools {
namespace {

using ::testing::IsEmpty;

class ClosedCounter : public ui::LogWindowObserver {
 public:
  void LogWindowClosed() override { ++closed; }
  int closed = 0;
};

TEST(LogViewer, LineEndsBecomeCrLfAndANulEndsTheText) {
  testing::TempDir dir;
  testing::FakeUi ui;
  const struct {
    std::string bytes;
    std::string text;
  } cases[] = {
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\r\nb", "a\r\nb\r\n"},
      {"a\rb\r\rc", "a\r\nb\r\n\r\nc\r\n"},
      {"head\nbody\0tail\n", "head\r\nbody\r\n"},
      {std::string("x\0y", 3), "x\r\n"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::string file = dir.Write("ucc.log", c.bytes);
    ShowLogFile(ui, "UCC Log", file);
    EXPECT_EQ(ui.log_viewers().back()->Text(), c.text);
  }
}

TEST(LogViewer, EachCallOpensANewIndependentWindowWithTheCallersCaption) {
  testing::TempDir dir;
  testing::FakeUi ui;
  const std::string first = dir.Write("first.log", "one\n");
  const std::string second = dir.Write("second.log", "two\n");
  std::shared_ptr<TfrmLogViewer> a = ShowLogFile(ui, "UCC Log", first);
  std::shared_ptr<TfrmLogViewer> b = ShowLogFile(ui, "Read me", second);
  ASSERT_EQ(ui.log_viewers().size(), 2u);
  EXPECT_EQ(ui.log_viewers()[0], a);
  EXPECT_EQ(a->Caption(), "UCC Log");
  EXPECT_EQ(b->Caption(), "Read me");
  EXPECT_EQ(a->Text(), "one\r\n");
  EXPECT_EQ(b->Text(), "two\r\n");

  // Closing one tells its view and leaves the other open.
  ClosedCounter observer;
  a->SetObserver(&observer);
  a->actCloseExecute();
  a->actCloseExecute();
  EXPECT_TRUE(a->Closed());
  EXPECT_EQ(observer.closed, 1);
  EXPECT_FALSE(b->Closed());
}

TEST(LogViewer, EditsStayInTheWindowAndNeverReachTheFile) {
  testing::TempDir dir;
  testing::FakeUi ui;
  const std::string file = dir.Write("ucc.log", "original\n");
  std::shared_ptr<TfrmLogViewer> viewer = ShowLogFile(ui, "UCC Log", file);
  viewer->SetText("changed by the user");
  viewer->actCloseExecute();
  EXPECT_EQ(viewer->Text(), "changed by the user");
  EXPECT_EQ(dir.Read("ucc.log"), "original\n");
}

TEST(LogViewer, TheDesignedWindowAndToolBar) {
  TfrmLogViewer viewer;
  EXPECT_EQ(viewer.Caption(), "UCC Log");
  const auto& bar = viewer.ToolBar();
  ASSERT_EQ(bar.size(), 4u);
  EXPECT_FALSE(bar[0].enabled);
  EXPECT_EQ(bar[1].hint, "Print Class");
  EXPECT_FALSE(bar[1].enabled);
  EXPECT_FALSE(bar[1].closes);
  EXPECT_EQ(bar[2].kind, ui::LogWindow::ToolButton::Kind::kSeparator);
  EXPECT_EQ(bar[3].hint, "Close Program");
  EXPECT_TRUE(bar[3].enabled);
  EXPECT_TRUE(bar[3].closes);
}

TEST(LogViewer, AFileThatCannotBeOpenedIsAnErrorAndNoWindowIsShown) {
  testing::TempDir dir;
  testing::FakeUi ui;
  for (const std::string& path : {dir.Path("missing.log"), dir.path()}) {
    try {
      ShowLogFile(ui, "UCC Log", path);
      ADD_FAILURE() << "no error for " << path;
    } catch (const platform::EFOpenError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot open file " + path);
    }
  }
  EXPECT_THAT(ui.log_viewers(), IsEmpty());
}

}  // namespace
}  // namespace quoldex::tools
