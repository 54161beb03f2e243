// Times the desktop program's main window on large catalogues: from
// creating the window to its first painted tree (the tree's roots only
// loaded), expanding a class with 9,000 subclasses, and expanding the
// "Packages" root with 300 packages, each to the next painted tree.
//
// Usage: gui_start_tool [CLASSES...]   (default: 10000 100000)
//
// For each size, builds a catalogue in a temporary folder (one root class
// "Object" with 99 more root classes beside it, "Big" under Object with
// 9,000 subclasses, the rest spread under 1,000 middle classes; 300
// packages) as script files and scans them, then prints the median of 7 runs of each step in
// milliseconds. Runs on the offscreen platform unless QT_QPA_PLATFORM says
// otherwise.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gui/class_tree_view.h"
#include "gui/main_window.h"
#include "gui/qt_ui.h"
#include "gui/tree_item_model.h"
#include "platform/posix_platform.h"

namespace {

using quoldex::gui::MainWindow;

constexpr int kRuns = 7;
constexpr int kBigChildren = 9000;
constexpr int kPackages = 300;
constexpr int kMiddles = 1000;
constexpr int kRoots = 100;

std::string Name(const char* prefix, int i) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%06d", prefix, i);
  return text;
}

// Writes the script tree of `classes` classes under `scripts` and
// catalogues it into a fresh data folder with a System folder set.
void BuildCatalogue(const std::string& scripts, const std::string& folder, int classes) {
  int added = 0;
  auto add = [&](const std::string& name, const std::string& parent) {
    const std::string dir = scripts + "/" + Name("Pkg", added % kPackages) + "/Classes/";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + name + ".uc") << "// generated\nclass " << name
                                      << (parent.empty() ? "" : " extends " + parent)
                                      << "\n\tabstract;\n";
    ++added;
  };
  add("Object", "");
  for (int i = 1; i < kRoots; ++i) add(Name("Root", i), "");
  add("Big", "Object");
  for (int i = 0; i < kBigChildren && added < classes; ++i) add(Name("Kid", i), "Big");
  for (int i = 0; i < kMiddles && added < classes; ++i) add(Name("Mid", i), "Object");
  for (int i = 0; added < classes; ++i) add(Name("Leaf", i), Name("Mid", i % kMiddles));

  quoldex::gui::QtUi ui;
  quoldex::platform::PosixPlatform platform;
  quoldex::app::TfrmQuoldexBrowser browser(ui, platform, folder);
  browser.FormCreate();
  browser.Catalogue().ScanFolder(scripts);
  browser.Prefs().Edit();
  browser.Prefs().SetText("SystemDir", "/ut/System");
  browser.Prefs().Post();
  browser.FormClose();
}

// Runs the event loop until the tree has painted once more.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget* target) : target_(target) { target->installEventFilter(this); }
  // False when no paint came within ten seconds.
  bool WaitForPaint() {
    painted_ = false;
    QElapsedTimer limit;
    limit.start();
    while (!painted_ && limit.elapsed() < 10000) {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return painted_;
  }
  // Handles what is pending, painting included.
  static void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == target_ && event->type() == QEvent::Paint) painted_ = true;
    return false;
  }

 private:
  QWidget* target_;
  bool painted_ = false;
};

QModelIndex Row(QAbstractItemModel* model, const QModelIndex& parent, const QString& text) {
  for (int row = 0; row < model->rowCount(parent); ++row) {
    if (model->index(row, 0, parent).data().toString() == text) return model->index(row, 0, parent);
  }
  return {};
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::exit(1);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Measure(int classes) {
  QTemporaryDir temp;
  const std::string folder = temp.filePath("Data").toStdString();
  const std::string scripts = temp.filePath("Scripts").toStdString();
  QElapsedTimer build_timer;
  build_timer.start();
  BuildCatalogue(scripts, folder, classes);
  std::printf("catalogue of %d classes built in %.1f s\n", classes,
              build_timer.elapsed() / 1000.0);

  std::vector<double> start, expand_class, expand_packages;
  for (int run = 0; run < kRuns; ++run) {
    QElapsedTimer timer;
    timer.start();
    auto window = std::make_unique<MainWindow>(folder);
    PaintWatch watch(window->Tree()->viewport());
    window->Start();
    if (!watch.WaitForPaint()) Fail("no first paint");
    start.push_back(timer.nsecsElapsed() / 1e6);

    QAbstractItemModel* model = window->Tree()->model();
    const QModelIndex object = Row(model, Row(model, {}, "Classes"), "Object");
    window->Tree()->expand(object);
    const QModelIndex big = Row(model, object, "Big");
    window->Tree()->scrollTo(big, QAbstractItemView::PositionAtTop);
    PaintWatch::Settle();
    timer.restart();
    if (std::getenv("GUI_BENCH_SPLIT")) {
      window->Browser().Tree().ExpandNode(*quoldex::gui::TreeItemModel::Node(big));
      std::printf("  model load %.1f ms\n", timer.nsecsElapsed() / 1e6);
    }
    window->Tree()->expand(big);
    if (!watch.WaitForPaint()) Fail("no paint after expanding Big");
    expand_class.push_back(timer.nsecsElapsed() / 1e6);
    if (model->rowCount(big) != std::min(kBigChildren, classes - kRoots - 1)) {
      std::fprintf(stderr, "Big shows %d rows\n", model->rowCount(big));
      std::exit(1);
    }

    window->Tree()->collapse(big);
    window->Tree()->collapse(object);
    const QModelIndex packages = Row(model, {}, "Packages");
    window->Tree()->scrollTo(packages, QAbstractItemView::PositionAtTop);
    PaintWatch::Settle();
    timer.restart();
    window->Tree()->expand(packages);
    if (!watch.WaitForPaint()) Fail("no paint after expanding Packages");
    expand_packages.push_back(timer.nsecsElapsed() / 1e6);
    if (model->rowCount(packages) != kPackages) {
      std::fprintf(stderr, "Packages shows %d rows\n", model->rowCount(packages));
      std::exit(1);
    }
    window->close();
  }
  std::printf("%d classes: start to first paint %.1f ms, expand class of %d %.1f ms, "
              "expand Packages (%d) %.1f ms (medians of %d)\n",
              classes, Median(start), std::min(kBigChildren, classes - kRoots - 1),
              Median(expand_class), kPackages,
              Median(expand_packages), kRuns);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {10000, 100000};
  for (int classes : sizes) Measure(classes);
  return 0;
}
