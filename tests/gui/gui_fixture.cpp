#include "gui_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "gui/class_tree_view.h"
#include "gui/folder_dialog.h"
#include "gui/tree_item_model.h"

namespace quoldex::gui {

namespace {

QAbstractButton* StandardButton(QWidget* dialog, QDialogButtonBox::StandardButton which,
                                QMessageBox::StandardButton in_box) {
  if (auto* box = qobject_cast<QMessageBox*>(dialog)) return box->button(in_box);
  for (auto* buttons : dialog->findChildren<QDialogButtonBox*>()) {
    if (QAbstractButton* button = buttons->button(which)) return button;
  }
  return nullptr;
}

}  // namespace

void PressOk(QWidget* dialog) {
  QAbstractButton* button = StandardButton(dialog, QDialogButtonBox::Ok, QMessageBox::Ok);
  ASSERT_NE(button, nullptr) << "no OK button";
  button->click();
}

void PressCancel(QWidget* dialog) {
  QAbstractButton* button = StandardButton(dialog, QDialogButtonBox::Cancel, QMessageBox::Cancel);
  ASSERT_NE(button, nullptr) << "no Cancel button";
  button->click();
}

void PressButton(QWidget* dialog, const QString& text) {
  for (auto* button : dialog->findChildren<QAbstractButton*>()) {
    if (button->text() == text) {
      button->click();
      return;
    }
  }
  ADD_FAILURE() << "no button " << text.toStdString();
}

void TypeInto(QWidget* dialog, const QString& name, const QString& text) {
  auto* edit = dialog->findChild<QLineEdit*>(name);
  ASSERT_NE(edit, nullptr) << "no text box " << name.toStdString();
  edit->setFocus();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, text);
}

GuiTest::~GuiTest() {
  EXPECT_TRUE(script_.UsedUp()) << "a scripted dialog never opened";
  for (const std::string& dialog : script_.Unexpected()) {
    ADD_FAILURE() << "an unexpected dialog opened: " << dialog;
  }
}

std::unique_ptr<MainWindow> GuiTest::Open() {
  auto window = std::make_unique<MainWindow>(DataFolder());
  window->Start();
  return window;
}

std::unique_ptr<MainWindow> GuiTest::OpenConfigured() {
  const QString system = QString::fromStdString(temp_.path() + "UT/System");
  script_.Then([system](QWidget* dialog) {
    TypeInto(dialog, "SystemDir", system);
    PressOk(dialog);
  });
  return Open();
}

void GuiTest::ScanThroughMenu(MainWindow& window, const std::string& folder) {
  script_.Then([folder](QWidget* dialog) {
    auto* picker = qobject_cast<FolderDialog*>(dialog);
    ASSERT_NE(picker, nullptr) << "the folder picker did not open";
    picker->SetCurrentFolder(QString::fromStdString(folder));
    PressOk(dialog);
  });
  QMenu* file = window.menuBar()->findChild<QMenu*>("mnuFile");
  ASSERT_NE(file, nullptr);
  for (QAction* item : file->actions()) {
    if (item->iconText() == "Scan Directories") {
      item->trigger();
      return;
    }
  }
  ADD_FAILURE() << "File menu has no Scan Directories";
}

std::string GuiTest::SampleScripts() { return QUOLDEX_TEST_DATA "/../../samples/scripts"; }

QModelIndex GuiTest::Find(MainWindow& window, const QString& path) {
  QAbstractItemModel* model = window.Tree()->model();
  QModelIndex at;
  for (const QString& text : path.split('/')) {
    QModelIndex found;
    for (int row = 0; row < model->rowCount(at); ++row) {
      if (model->index(row, 0, at).data().toString() == text) {
        found = model->index(row, 0, at);
        break;
      }
    }
    if (!found.isValid()) return {};
    at = found;
  }
  return at;
}

QStringList GuiTest::RowTexts(MainWindow& window, const QModelIndex& index) {
  QAbstractItemModel* model = window.Tree()->model();
  QStringList texts;
  for (int row = 0; row < model->rowCount(index); ++row) {
    texts << model->index(row, 0, index).data().toString();
  }
  return texts;
}

void GuiTest::ExpandByKey(MainWindow& window, const QModelIndex& index) {
  window.Tree()->setCurrentIndex(index);
  QTest::keyClick(window.Tree(), Qt::Key_Right);
}

void GuiTest::ClickRow(MainWindow& window, const QModelIndex& index, Qt::MouseButton button) {
  ClassTreeView* tree = window.Tree();
  tree->scrollTo(index);
  const QPoint at = tree->visualRect(index).center();
  QTest::mouseClick(tree->viewport(), button, {}, at);
}

}  // namespace quoldex::gui
