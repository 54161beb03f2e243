// quoldex-screenshots: starts the desktop program's main window on a
// fresh data folder, works it as a person would (first-start
// Preferences, Scan Directories on a script tree, expanding, Find Class) and saves a picture of each window as it is on screen.
//
//   quoldex-screenshots SCRIPT_FOLDER OUTPUT_FOLDER
//
// Run it on a real display or under Xvfb (scripts/screenshots).
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "gui/class_tree_view.h"
#include "gui/dialog_script.h"
#include "gui/folder_dialog.h"
#include "gui/grep_dialog_view.h"
#include "gui/log_viewer_window.h"
#include "gui/main_window.h"
#include "gui/search_dialog_view.h"
#include "gui/tree_item_model.h"
#include "tools/log_viewer.h"

namespace {

using quoldex::app::ActionId;
using namespace quoldex::gui;

// Lets the windows settle and paint.
void Settle() {
  if (QWidget* active = QApplication::activeModalWidget()) active->activateWindow();
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
    QTest::qWait(20);
  }
}

void Save(QWidget* window, const QString& folder, const QString& name) {
  Settle();
  const QString path = folder + "/" + name + ".png";
  if (!window->grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  std::printf("%s\n", qPrintable(path));
}

void Type(QWidget* dialog, const char* field, const QString& text) {
  auto* edit = dialog->findChild<QLineEdit*>(field);
  if (edit == nullptr) return;
  edit->setFocus();
  QTest::keyClicks(edit, text);
}

void PressButtonBox(QWidget* dialog, bool ok) {
  if (ok) {
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
  } else {
    QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
  }
}

// The row under `parent` whose text is `text`.
QModelIndex Row(QAbstractItemModel* model, const QModelIndex& parent, const QString& text) {
  for (int row = 0; row < model->rowCount(parent); ++row) {
    const QModelIndex index = model->index(row, 0, parent);
    if (index.data().toString() == text) return index;
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s SCRIPT_FOLDER OUTPUT_FOLDER [LOG_FILE]\n", argv[0]);
    return 2;
  }
  const QString scripts = QDir(argv[1]).absolutePath();
  const QString out = QDir(argv[2]).absolutePath();
  QDir().mkpath(out);
  QTemporaryDir data;
  DialogScript script;

  script.Then([&](QWidget* dialog) {
    Type(dialog, "SystemDir", QDir::homePath() + "/UnrealTournament/System");
    Type(dialog, "DefaultCompilePackage", "engine");
    Save(dialog, out, "preferences");
    PressButtonBox(dialog, true);
  });
  MainWindow window(data.filePath("Data").toStdString());
  window.Start();
  window.resize(320, 520);

  script.Then([&](QWidget* dialog) {
    if (auto* picker = qobject_cast<FolderDialog*>(dialog)) picker->SetCurrentFolder(scripts);
    PressButtonBox(dialog, true);
  });
  window.ExecuteAction(ActionId::actScanDirectories);

  ClassTreeView* tree = window.Tree();
  QAbstractItemModel* model = tree->model();
  const QModelIndex classes = Row(model, {}, "Classes");
  tree->expand(classes);
  const QModelIndex object = Row(model, classes, "Object");
  tree->expand(object);
  const QModelIndex actor = Row(model, object, "Actor");
  tree->expand(actor);
  const QModelIndex pawn = Row(model, actor, "Pawn");
  tree->expand(pawn);
  tree->expand(Row(model, {}, "Packages"));
  tree->expand(Row(model, Row(model, {}, "Packages"), "engine"));
  tree->setCurrentIndex(pawn);
  window.activateWindow();
  tree->setFocus();
  window.Browser().TreeView1Click();
  window.SyncActions();
  Save(&window, out, "main-window");

  script.Then([&](QWidget* dialog) {
    if (auto* search = qobject_cast<SearchDialogView*>(dialog)) {
      QTest::keyClicks(search->SearchBox(), "Inv");
    }
    Save(dialog, out, "find-class");
    PressButtonBox(dialog, false);
  });
  window.ExecuteAction(ActionId::actFind);

  // Grep (modeless by default): a search over every class.
  window.ExecuteAction(ActionId::actGrep);
  GrepDialogView* grep = window.GrepDialog();
  QTest::keyClicks(grep->SearchFor(), "pawn");
  grep->GoButton()->click();
  Save(grep, out, "grep");
  grep->CloseButton()->click();

  if (argc == 4) {
    window.Browser().Run([&] { quoldex::tools::ShowLogFile(window.Browser().GetUi(), "UCC Log", argv[3]); });
    for (LogViewerWindow* log : window.findChildren<LogViewerWindow*>()) Save(log, out, "log-window");
  }

  window.close();
  return 0;
}
