// Each dialog's OK path through the window: what the person picks or types
// reaches the model exactly as the model stores it, and a command that ends
// in a window (Compile's log) opens it.
#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "fakes/fake_compiler.h"
#include "gui/class_tree_view.h"
#include "gui/folder_dialog.h"
#include "gui/log_viewer_window.h"
#include "gui/record_view_dialog.h"
#include "gui/tree_item_model.h"
#include "gui_fixture.h"

namespace quoldex::gui {
namespace {

using app::ActionId;

// Picks `names` in `folder` in an open-file dialog and presses Open.
void ChooseIn(QWidget* dialog, const QString& folder, const QStringList& names) {
  auto* files = qobject_cast<QFileDialog*>(dialog);
  ASSERT_NE(files, nullptr) << "not an open-file dialog";
  files->setDirectory(folder);
  auto* name_box = files->findChild<QLineEdit*>("fileNameEdit");
  ASSERT_NE(name_box, nullptr);
  name_box->setText(names.size() == 1 ? names[0] : '"' + names.join("\" \"") + '"');
  auto* buttons = files->findChild<QDialogButtonBox*>("buttonBox");
  ASSERT_NE(buttons, nullptr);
  ASSERT_TRUE(buttons->button(QDialogButtonBox::Open)->isEnabled());
  buttons->button(QDialogButtonBox::Open)->click();
}

class DialogsTest : public GuiTest {
 protected:
  // A game folder beside the System folder, with two maps in Maps/.
  void MakeGameFolders() {
    QDir().mkpath(QString::fromStdString(SystemFolder()));
    QDir().mkpath(QString::fromStdString(temp_.Path("UT/Maps")));
    temp_.Write("UT/Maps/DM-Deck16.unr", "map");
    temp_.Write("UT/Maps/CTF-Face.unr", "map");
  }
  QString MapsFolder() const { return QString::fromStdString(temp_.Path("UT/Maps")); }
};

TEST_F(DialogsTest, PreferencesBrowseButtonsStoreTheChosenFolderAndMap) {
  MakeGameFolders();
  QString picker_caption, picker_title;
  const QString map = QString::fromStdString(temp_.Path("UT/Maps/CTF-Face.unr"));
  script_.Then([map](QWidget* dialog) {
    QTest::mouseClick(dialog->findChild<QToolButton*>("SystemDirButton"), Qt::LeftButton);
    QTest::mouseClick(dialog->findChild<QToolButton*>("TestMapButton"), Qt::LeftButton);
    // The rows show what the model now holds.
    EXPECT_EQ(dialog->findChild<QLineEdit*>("TestMap")->text(), map);
    PressOk(dialog);
  });
  script_.Then([&](QWidget* dialog) {
    auto* picker = qobject_cast<FolderDialog*>(dialog);
    ASSERT_NE(picker, nullptr);
    picker_caption = picker->windowTitle();
    picker_title = picker->findChild<QLabel*>("title")->text();
    picker->SetCurrentFolder(QString::fromStdString(SystemFolder()));
    PressOk(dialog);
  });
  script_.Then([&](QWidget* dialog) { ChooseIn(dialog, MapsFolder(), {"CTF-Face.unr"}); });
  auto window = Open();
  EXPECT_EQ(picker_caption, "Quoldex");
  EXPECT_EQ(picker_title, "Find Unreal System Directory");
  const data::PrefRecord& prefs = window->Browser().Prefs();
  EXPECT_EQ(prefs.Text("SystemDir"), SystemFolder());
  EXPECT_EQ(prefs.Text("TestMap"), map.toStdString());
}

TEST_F(DialogsTest, ScanPickerOpensOnTheLastFolderAndCancelScansNothing) {
  auto window = OpenConfigured();
  ScanThroughMenu(*window, SampleScripts());
  const int rows = window->Browser().Data().dtblObjects.RecordCount();
  ASSERT_GT(rows, 0);
  QString shown, title;
  script_.Then([&](QWidget* dialog) {
    auto* picker = qobject_cast<FolderDialog*>(dialog);
    ASSERT_NE(picker, nullptr);
    shown = picker->CurrentFolder();
    title = picker->findChild<QLabel*>("title")->text();
    PressCancel(dialog);
  });
  window->ExecuteAction(ActionId::actScanDirectories);
  EXPECT_EQ(shown, QDir::cleanPath(QString::fromStdString(SampleScripts())));
  EXPECT_EQ(title, "Find Unreal Base Directory");
  EXPECT_EQ(window->Browser().Data().dtblObjects.RecordCount(), rows);
  EXPECT_EQ(window->StatusText(), "Done.");
}

TEST_F(DialogsTest, AddMapTakesSeveralFilesAndDeleteMapLeavesNothingSelected) {
  MakeGameFolders();
  auto window = OpenConfigured();
  QFileDialog::FileMode mode{};
  QString start_folder;
  QStringList filters;
  script_.Then([&](QWidget* dialog) {
    auto* files = qobject_cast<QFileDialog*>(dialog);
    ASSERT_NE(files, nullptr);
    mode = files->fileMode();
    start_folder = files->directory().absolutePath();
    filters = files->nameFilters();
    ChooseIn(dialog, MapsFolder(), {"DM-Deck16.unr", "CTF-Face.unr"});
  });
  window->ExecuteAction(ActionId::actAddMap);
  EXPECT_EQ(mode, QFileDialog::ExistingFiles);
  EXPECT_EQ(start_folder, QString::fromStdString(temp_.Path("UT")));
  EXPECT_EQ(filters, (QStringList{"Unreal Map (*.unr)", "All Files (*)"}));
  const QModelIndex maps = Find(*window, "Maps");
  EXPECT_EQ(RowTexts(*window, maps), (QStringList{"CTF-Face.unr", "DM-Deck16.unr"}));
  const tree::TreeNode* face = TreeItemModel::Node(Find(*window, "Maps/CTF-Face.unr"));
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(face->NodeData(), temp_.Path("UT/Maps/CTF-Face.unr"));

  // The selected map goes; the tree model then selects nothing, and the
  // view does not pick a neighbour of its own.
  ClickRow(*window, Find(*window, "Maps/CTF-Face.unr"));
  window->ExecuteAction(ActionId::actDeleteMap);
  EXPECT_EQ(RowTexts(*window, Find(*window, "Maps")), QStringList{"DM-Deck16.unr"});
  EXPECT_EQ(window->Browser().Tree().TreeView1().Selected(), nullptr);
  EXPECT_FALSE(window->Tree()->currentIndex().isValid());
}

TEST_F(DialogsTest, CompileRunsTheCompilerAndOpensItsLogInAWindow) {
  MakeGameFolders();
  testing::InstallFakeUcc(SystemFolder() + "/");
  temp_.Write("UT/System/mymod.u", "old build");
  auto window = OpenConfigured();
  data::PrefRecord& prefs = window->Browser().Prefs();
  prefs.Edit();
  prefs.SetText("DefaultCompilePackage", "MyMod");
  prefs.SetBoolean("WarnBeforeCompiling", true);
  prefs.Post();
  ClickRow(*window, Find(*window, "Maps"));  // the commands follow the new default
  ASSERT_TRUE(window->ActionFor(ActionId::actCompile)->isEnabled());
  QString question;
  script_.Then([&](QWidget* box) {
    question = box->findChild<QLabel*>("qt_msgbox_label")->text();
    PressButton(box, "&Yes");
  });
  window->ExecuteAction(ActionId::actCompile);
  EXPECT_EQ(question, "Compile package 'MyMod'?");
  EXPECT_EQ(temp_.Read("UT/System/mymod.u"), "compiled mymod.u\n");
  EXPECT_NE(testing::FakeUccCalls(SystemFolder() + "/").find("make"), std::string::npos);

  const QList<LogViewerWindow*> logs = window->findChildren<LogViewerWindow*>();
  ASSERT_EQ(logs.size(), 1);
  EXPECT_EQ(logs[0]->windowTitle(), "UCC Log");
  EXPECT_TRUE(logs[0]->isVisible());
  EXPECT_FALSE(logs[0]->isModal());
  EXPECT_TRUE(logs[0]->Memo()->toPlainText().contains("Success - 0 error(s)"))
      << logs[0]->Memo()->toPlainText().toStdString();
  EXPECT_EQ(window->StatusText(), "Compiled 'MyMod.u'.");
}

}  // namespace
}  // namespace quoldex::gui
