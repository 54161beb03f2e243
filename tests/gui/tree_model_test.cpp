// The tree's item model under Qt's model checker while the window is used:
// scans rebuild the tree, the checker walks (and fetches) every level.
#include <QAbstractItemModelTester>
#include <QLoggingCategory>
#include <QTest>

#include "gui/class_tree_view.h"
#include "gui/tree_item_model.h"
#include "gui_fixture.h"

namespace quoldex::gui {
namespace {

// Collects the checker's complaints (it reports them as warnings in its
// own category; the offscreen platform's notes are not complaints).
class CheckerLog {
 public:
  CheckerLog() {
    instance_ = this;
    previous_ = qInstallMessageHandler(&CheckerLog::Handle);
  }
  ~CheckerLog() {
    qInstallMessageHandler(previous_);
    instance_ = nullptr;
  }
  const QStringList& Complaints() const { return complaints_; }

 private:
  static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtDebugMsg && instance_ != nullptr &&
        QLatin1String(context.category) == QLatin1String("qt.modeltest")) {
      instance_->complaints_ << QString("%1: %2").arg(context.category, text);
    }
  }
  static inline CheckerLog* instance_ = nullptr;
  QtMessageHandler previous_ = nullptr;
  QStringList complaints_;
};

TEST_F(GuiTest, TreeModelKeepsTheItemModelContractAcrossTwoScans) {
  CheckerLog log;
  auto window = OpenConfigured();
  QAbstractItemModelTester checker(window->Tree()->model(),
                                   QAbstractItemModelTester::FailureReportingMode::Warning);
  ScanThroughMenu(*window, SampleScripts());
  ExpandByKey(*window, Find(*window, "Classes/Object"));
  ExpandByKey(*window, Find(*window, "Packages/engine"));
  ScanThroughMenu(*window, SampleScripts());
  EXPECT_EQ(window->StatusText(), "Done.");
  EXPECT_TRUE(Find(*window, "Classes/Object").isValid());
  EXPECT_TRUE(log.Complaints().isEmpty()) << log.Complaints().join("\n").toStdString();
}

}  // namespace
}  // namespace quoldex::gui
