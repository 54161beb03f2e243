// A scan through the desktop program's window beside the same scan by
// quoldex-cli: how often the window repaints while it scans, and how much
// slower than the console program the window's scan is.
//
// Usage: gui_scan_tool QUOLDEX_CLI TREE_DIR FILES [RUNS]
//   (bench/gui_scan_compare.sh makes the tree and runs it)
//
// Each round, in turns: quoldex-cli scans TREE_DIR into a fresh data
// folder (its tables made beforehand by an untimed run, so both sides time
// the scan alone plus, for the console program, its start); then the main
// window, shown with its tables made and a System folder set, runs the
// same Scan Directories on TREE_DIR in a fresh data folder as the menu
// does once the picker is answered. Both must catalogue FILES classes.
//
// A repaint is a burst of paint events of the window's widgets (paints
// less than a millisecond apart are one). Prints per round and as medians
// over RUNS rounds (default 5, after one untimed warm-up round): the two
// scan times and their ratio, the window's repaints per second and its
// longest time without a repaint. Runs on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise (xcb under Xvfb paints as a desktop does).
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gui/main_window.h"

namespace {

using quoldex::gui::MainWindow;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::exit(1);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs quoldex-cli with `arguments`; its standard output, or Fail.
std::string RunCli(const QString& cli, const QStringList& arguments) {
  QProcess process;
  process.start(cli, arguments);
  if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0) {
    Fail("quoldex-cli " + arguments.join(' ').toStdString() +
         " failed: " + process.readAllStandardError().toStdString());
  }
  return process.readAllStandardOutput().toStdString();
}

// Seconds quoldex-cli takes to scan `tree` into `folder` (tables made).
double CliScan(const QString& cli, const QString& folder, const QString& tree) {
  RunCli(cli, {"--data", folder, "prefs"});
  QElapsedTimer timer;
  timer.start();
  const std::string out = RunCli(cli, {"--data", folder, "scan", tree});
  const double seconds = timer.nsecsElapsed() / 1e9;
  if (out != "Done.\n") Fail("quoldex-cli scan wrote: " + out);
  return seconds;
}

// Notes when the widgets of one window paint.
class RepaintLog : public QObject {
 public:
  explicit RepaintLog(QWidget* window) : window_(window) {}
  void Start() {
    timer_.start();
    times_.clear();
  }
  // Repaint bursts so far, and the longest stretch without one from Start
  // to `end` seconds.
  size_t Repaints() const { return times_.size(); }
  double LongestGap(double end) const {
    double last = 0, longest = 0;
    for (double t : times_) {
      longest = std::max(longest, t - last);
      last = t;
    }
    return std::max(longest, end - last);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == window_ && timer_.isValid()) {
      const double now = timer_.nsecsElapsed() / 1e9;
      if (times_.empty() || now - last_paint_ > 0.001) times_.push_back(now);
      last_paint_ = now;
    }
    return false;
  }

 private:
  QWidget* window_;
  QElapsedTimer timer_;
  std::vector<double> times_;
  double last_paint_ = 0;
};

struct WindowScan {
  double seconds;
  double repaints_per_second;
  double longest_gap;
};

WindowScan ScanInWindow(const QString& folder, const QString& tree, int files) {
  MainWindow window(folder.toStdString());
  quoldex::app::TfrmQuoldexBrowser& browser = window.Browser();
  browser.Prefs().Edit();
  browser.Prefs().SetText("SystemDir", "/ut/System");
  browser.Prefs().Post();
  window.Start();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();

  RepaintLog log(&window);
  qApp->installEventFilter(&log);
  log.Start();
  QElapsedTimer timer;
  timer.start();
  // What Scan Directories does once the picker has given the folder.
  browser.Run([&] { browser.Catalogue().ScanFolder(tree.toStdString()); });
  window.SyncActions();
  const double seconds = timer.nsecsElapsed() / 1e9;
  qApp->removeEventFilter(&log);

  if (window.StatusText() != "Done.")
    Fail("window scan ended with " + window.StatusText().toStdString());
  const int rows = browser.Data().dtblObjects.RecordCount();
  if (rows != files) Fail("window scan catalogued " + std::to_string(rows) + " classes");
  window.close();
  return {seconds, log.Repaints() / seconds, log.LongestGap(seconds)};
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc < 4) Fail("usage: gui_scan_tool QUOLDEX_CLI TREE_DIR FILES [RUNS]");
  const QString cli = argv[1];
  const QString tree = argv[2];
  const int files = std::atoi(argv[3]);
  const int runs = argc > 4 ? std::atoi(argv[4]) : 5;

  std::vector<double> cli_times, window_times, ratios, rates, gaps;
  for (int round = 0; round <= runs; ++round) {
    QTemporaryDir work;
    const double cli_seconds = CliScan(cli, work.filePath("cli-Data"), tree);
    const WindowScan scan = ScanInWindow(work.filePath("window-Data"), tree, files);
    const char* label = round == 0 ? "warm-up" : "round";
    std::printf(
        "%s %d: quoldex-cli %.3f s, window %.3f s (ratio %.3f), %.1f repaints/s, "
        "longest without a repaint %.0f ms\n",
        label, round, cli_seconds, scan.seconds, scan.seconds / cli_seconds,
        scan.repaints_per_second, scan.longest_gap * 1000);
    if (round == 0) continue;
    cli_times.push_back(cli_seconds);
    window_times.push_back(scan.seconds);
    ratios.push_back(scan.seconds / cli_seconds);
    rates.push_back(scan.repaints_per_second);
    gaps.push_back(scan.longest_gap);
  }
  std::printf(
      "medians of %d rounds, %d files: quoldex-cli %.3f s, window %.3f s, "
      "ratio window/cli %.3f (goal <= 1.10)\n",
      runs, files, Median(cli_times), Median(window_times), Median(ratios));
  std::printf(
      "window repaints %.1f per second (goal >= 10), longest without a repaint "
      "%.0f ms (median), %.0f ms (worst)\n",
      Median(rates), Median(gaps) * 1000, *std::max_element(gaps.begin(), gaps.end()) * 1000);
  return 0;
}
