// quoldex: the Quoldex class browser, the desktop program.
#include <QApplication>

#include "gui/image_list.h"
#include "gui/main_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Quoldex");
  QApplication::setWindowIcon(quoldex::gui::AppIcon());
  quoldex::gui::MainWindow window;
  window.Start();
  if (window.Browser().Closed()) return 0;
  return QApplication::exec();
}
