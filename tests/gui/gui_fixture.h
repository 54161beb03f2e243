// Tests of the desktop program: the real main window over a data folder
// made fresh for each test, driven with Qt's test functions as a person
// would, and a scripted user who answers the modal dialogs as they open.
#pragma once

#include <gtest/gtest.h>

#include <QModelIndex>
#include <QString>
#include <memory>
#include <ostream>
#include <string>

#include "fakes/temp_dir.h"
#include "gui/dialog_script.h"
#include "gui/main_window.h"

class QLineEdit;

// Failure messages show Qt's strings as text.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace quoldex::gui {

// Presses the dialog's OK (or Yes) button.
void PressOk(QWidget* dialog);
// Presses the dialog's Cancel button.
void PressCancel(QWidget* dialog);
// Presses a message box's button with the given text ("&Yes", "&No", ...).
void PressButton(QWidget* dialog, const QString& text);
// Types `text` into the line edit named `name` inside `dialog`, replacing
// what it held.
void TypeInto(QWidget* dialog, const QString& name, const QString& text);

class GuiTest : public ::testing::Test {
 protected:
  ~GuiTest() override;

  // The data folder of this test (not created yet).
  std::string DataFolder() const { return temp_.Path("Data"); }
  // The System folder OpenConfigured gives (not created yet).
  std::string SystemFolder() const { return temp_.Path("UT/System"); }
  // A main window over the data folder, shown (FormShow answered by the
  // queued script).
  std::unique_ptr<MainWindow> Open();
  // Open, answering the first start's Preferences with a System folder.
  std::unique_ptr<MainWindow> OpenConfigured();
  // Runs Scan Directories through the File menu, the picker answered
  // with `folder`.
  void ScanThroughMenu(MainWindow& window, const std::string& folder);
  // The sample script tree that ships with the program.
  static std::string SampleScripts();

  // The tree's index whose texts from the top are `path`
  // ("Classes/Object/Actor"); expands nothing. Invalid when not shown.
  static QModelIndex Find(MainWindow& window, const QString& path);
  // The texts of the rows the view shows under `index`.
  static QStringList RowTexts(MainWindow& window, const QModelIndex& index);
  // Expands `index` as the user does (the tree's expand key).
  static void ExpandByKey(MainWindow& window, const QModelIndex& index);
  // Clicks the row of `index` with the left or right button.
  static void ClickRow(MainWindow& window, const QModelIndex& index,
                       Qt::MouseButton button = Qt::LeftButton);

  testing::TempDir temp_;
  DialogScript script_;
};

}  // namespace quoldex::gui
