// The main window driven as a person drives it: first start, scanning,
// expanding, finding, properties, enabling, shortcut keys, position.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>
#include <QTest>
#include <QToolBar>

#include "app/preferences_dialog.h"
#include "gui/class_tree_view.h"
#include "gui/record_view_dialog.h"
#include "gui/search_dialog_view.h"
#include "gui/tree_item_model.h"
#include "gui_fixture.h"

namespace quoldex::gui {
namespace {

using app::ActionId;

TEST_F(GuiTest, FirstStartOpensPreferencesAndItsOkStoresTheRecord) {
  QString caption;
  const QString system = QString::fromStdString(temp_.path() + "UT/System");
  script_.Then([&](QWidget* dialog) {
    caption = dialog->windowTitle();
    TypeInto(dialog, "SystemDir", system);
    TypeInto(dialog, "DefaultCompilePackage", "MyMod");
    auto* stay_on_top = dialog->findChild<QCheckBox*>("GrepStayOnTop");
    ASSERT_NE(stay_on_top, nullptr);
    QTest::mouseClick(stay_on_top, Qt::LeftButton);
    PressOk(dialog);
  });
  {
    auto window = Open();
    EXPECT_EQ(caption, "Preferences");
    data::PrefRecord& prefs = window->Browser().Prefs();
    EXPECT_EQ(prefs.Text("SystemDir"), system.toStdString());
    EXPECT_EQ(prefs.Text("DefaultCompilePackage"), "MyMod");
    EXPECT_TRUE(prefs.Boolean("GrepStayOnTop"));
    // A fresh record's own values stay as the model made them.
    EXPECT_TRUE(prefs.Boolean("CheckChildren"));
    EXPECT_FALSE(prefs.Boolean("SaveWindowPos"));
    EXPECT_EQ(window->StatusText(), "Built data tables.");
    EXPECT_TRUE(window->Tree()->hasFocus() || !window->isActiveWindow());
    window->close();
  }
  // The next start has a System folder: no dialog (the script is used up,
  // an unexpected dialog would hang unanswered).
  auto again = Open();
  EXPECT_EQ(script_.Answered(), 1);
  EXPECT_TRUE(again->isVisible());
}

TEST_F(GuiTest, PreferencesCancelledWithChangesAsksAndNoKeepsNothing) {
  QString question;
  script_.Then([](QWidget* dialog) {
    TypeInto(dialog, "DefaultCompilePackage", "Engine");
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  script_.Then([&](QWidget* box) {
    question = box->findChild<QLabel*>("qt_msgbox_label")->text();
    PressButton(box, "&No");
  });
  auto window = Open();
  EXPECT_EQ(question.toStdString(), app::PreferencesDialog::kSaveQuestion);
  EXPECT_TRUE(window->Browser().Prefs().IsNull("DefaultCompilePackage"));
}

TEST_F(GuiTest, ScanThroughTheMenuFillsTheTreeLevelByLevel) {
  auto window = OpenConfigured();
  window->Browser().Prefs().Edit();
  window->Browser().Prefs().SetText("DefaultCompilePackage", "engine");
  window->Browser().Prefs().Post();
  ScanThroughMenu(*window, SampleScripts());
  EXPECT_EQ(window->StatusText(), "Done.");
  // The bar draws the last text soon even when it drew another just before.
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->ShownStatusText() == "Done."; }, 1000))
      << window->ShownStatusText().toStdString();

  const QModelIndex classes = Find(*window, "Classes");
  ASSERT_TRUE(classes.isValid());
  EXPECT_EQ(RowTexts(*window, {}), (QStringList{"Classes", "Maps", "Packages"}));
  const QModelIndex object = Find(*window, "Classes/Object");
  ASSERT_TRUE(object.isValid());
  // Not loaded before it is opened: an expand button, no rows.
  EXPECT_TRUE(window->Tree()->model()->hasChildren(object));
  EXPECT_EQ(window->Tree()->model()->rowCount(object), 0);
  ExpandByKey(*window, object);
  EXPECT_TRUE(window->Tree()->isExpanded(object));
  EXPECT_TRUE(RowTexts(*window, object).contains("Actor"));
  ExpandByKey(*window, Find(*window, "Classes/Object/Actor"));
  EXPECT_TRUE(RowTexts(*window, Find(*window, "Classes/Object/Actor")).contains("Pawn"));

  // Packages: the placeholder is never a row, the classes come on opening.
  const QModelIndex engine = Find(*window, "Packages/engine");
  ASSERT_TRUE(engine.isValid());
  EXPECT_EQ(window->Tree()->model()->rowCount(engine), 0);
  EXPECT_TRUE(engine.data(Qt::FontRole).value<QFont>().bold());
  EXPECT_FALSE(Find(*window, "Packages/core").data(Qt::FontRole).value<QFont>().bold());
  ExpandByKey(*window, engine);
  EXPECT_TRUE(RowTexts(*window, engine).contains("Pawn"));
  EXPECT_FALSE(RowTexts(*window, engine).contains(""));
}

TEST_F(GuiTest, ExpandingAClassWithoutSubclassesLosesItsButton) {
  auto window = OpenConfigured();
  window->Browser().Prefs().Edit();
  window->Browser().Prefs().SetBoolean("CheckChildren", false);
  window->Browser().Prefs().Post();
  ScanThroughMenu(*window, SampleScripts());
  ExpandByKey(*window, Find(*window, "Classes/Object"));
  const QModelIndex commandlet = Find(*window, "Classes/Object/Commandlet");
  ASSERT_TRUE(commandlet.isValid());
  EXPECT_TRUE(window->Tree()->model()->hasChildren(commandlet));
  ExpandByKey(*window, commandlet);
  EXPECT_FALSE(window->Tree()->model()->hasChildren(commandlet));
  EXPECT_FALSE(window->Tree()->isExpanded(commandlet));
}

TEST_F(GuiTest, FindClassSelectsTheClassAndShowPropertiesIsReadOnly) {
  auto window = OpenConfigured();
  ScanThroughMenu(*window, SampleScripts());
  QStringList columns;
  script_.Then([&](QWidget* dialog) {
    auto* search = qobject_cast<SearchDialogView*>(dialog);
    ASSERT_NE(search, nullptr);
    for (int c = 0; c < search->Grid()->model()->columnCount(); ++c) {
      columns << search->Grid()->model()->headerData(c, Qt::Horizontal).toString();
    }
    QTest::keyClicks(search->SearchBox(), "paw");
    EXPECT_EQ(search->Grid()->currentIndex().data().toString(), "Pawn");
    PressOk(dialog);
  });
  window->Tree()->setFocus();
  QTest::keyClick(window->Tree(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(columns, (QStringList{"Name", "Inherits From", "Package", "Filename"}));
  const QModelIndex current = window->Tree()->currentIndex();
  EXPECT_EQ(TreeItemModel::Node(current)->Path(), "Classes/Object/Actor/Pawn");
  EXPECT_EQ(window->StatusText(), "Inheritance is object,actor,Pawn");
  EXPECT_TRUE(window->ActionFor(ActionId::actShwProperties)->isEnabled());

  bool all_read_only = true;
  QString name, caption;
  script_.Then([&](QWidget* dialog) {
    caption = dialog->windowTitle();
    for (auto* edit : dialog->findChildren<QLineEdit*>()) all_read_only &= edit->isReadOnly();
    name = dialog->findChild<QLineEdit*>("ObjectName")->text();
    EXPECT_TRUE(dialog->findChildren<QDialogButtonBox*>().isEmpty());
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  QTest::keyClick(window->Tree(), Qt::Key_F12);
  EXPECT_EQ(caption, "Class Properties");
  EXPECT_EQ(name, "Pawn");
  EXPECT_TRUE(all_read_only);
}

TEST_F(GuiTest, CommandsFollowTheSelectionAndThePopupHidesWhatDoesNotApply) {
  auto window = OpenConfigured();
  ScanThroughMenu(*window, SampleScripts());
  QAction* properties = window->ActionFor(ActionId::actShwProperties);
  QAction* compile = window->ActionFor(ActionId::actCompile);

  ClickRow(*window, Find(*window, "Classes"));
  EXPECT_FALSE(properties->isEnabled());
  EXPECT_FALSE(compile->isEnabled());  // no default package, no class
  EXPECT_TRUE(window->PopupItem(ActionId::actGrepAll)->isVisible());
  EXPECT_FALSE(window->PopupItem(ActionId::actShwProperties)->isVisible());
  EXPECT_TRUE(window->PopupItem(ActionId::actFind)->isVisible());

  // A right click selects the class first, then the pop-up opens.
  const QModelIndex object = Find(*window, "Classes/Object");
  ClickRow(*window, object, Qt::RightButton);
  const QPoint at = window->Tree()->visualRect(object).center();
  QContextMenuEvent menu_key(QContextMenuEvent::Mouse, at,
                             window->Tree()->viewport()->mapToGlobal(at));
  QApplication::sendEvent(window->Tree()->viewport(), &menu_key);
  EXPECT_EQ(window->Tree()->currentIndex(), object);
  ASSERT_TRUE(window->PopupMenu()->isVisible());
  window->PopupMenu()->close();
  EXPECT_TRUE(properties->isEnabled());
  EXPECT_TRUE(compile->isEnabled());
  EXPECT_TRUE(window->PopupItem(ActionId::actShwProperties)->isVisible());
  EXPECT_FALSE(window->PopupItem(ActionId::actGrepAll)->isVisible());
  EXPECT_FALSE(window->PopupItem(ActionId::actDeleteMap)->isVisible());

  // The toolbar shows the actions in the designed order.
  QStringList toolbar;
  for (QAction* button : window->ToolBar()->actions()) {
    toolbar << (button->isSeparator() ? "-" : button->iconText());
  }
  EXPECT_EQ(toolbar, (QStringList{"Scan Directories", "Add Files", "-", "Find Class",
                                  "Show Properties", "Edit File", "-", "Compile", "Grep",
                                  "Play Map", "-", "About", "Show Prefs", "-", "Close"}));
  EXPECT_EQ(properties->toolTip(), "Show Class Properties");
  EXPECT_EQ(properties->statusTip(), "Show Class Properties");
}

TEST_F(GuiTest, ShortcutKeysGoThroughTheModelsRule) {
  auto window = OpenConfigured();
  ScanThroughMenu(*window, SampleScripts());
  ClickRow(*window, Find(*window, "Maps"));
  // Ctrl+P is Print File, disabled without a class: nothing opens, and
  // Play Map is not run in its place.
  QTest::keyClick(window->Tree(), Qt::Key_P, Qt::ControlModifier);
  EXPECT_EQ(script_.Answered(), 2);
  // With a class selected, F12 opens its properties.
  ClickRow(*window, Find(*window, "Classes/Object"));
  bool opened = false;
  script_.Then([&](QWidget* dialog) {
    opened = qobject_cast<RecordViewDialog*>(dialog) != nullptr;
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  QTest::keyClick(window->Tree(), Qt::Key_F12);
  EXPECT_TRUE(opened);
}

TEST_F(GuiTest, WindowPositionSurvivesARestart) {
  {
    auto window = OpenConfigured();
    window->Browser().Prefs().Edit();
    window->Browser().Prefs().SetBoolean("SaveWindowPos", true);
    window->Browser().Prefs().Post();
    window->move(123, 77);
    window->resize(410, 520);
    QApplication::processEvents();
    window->ExecuteAction(ActionId::actClose);
    EXPECT_TRUE(window->Browser().Closed());
    EXPECT_FALSE(window->isVisible());
  }
  auto window = Open();
  EXPECT_EQ(window->pos(), QPoint(123, 77));
  EXPECT_EQ(window->size(), QSize(410, 520));
}

TEST_F(GuiTest, WithoutSavedPositionTheWindowHasItsDesignedSize) {
  auto window = OpenConfigured();
  EXPECT_EQ(window->size(), QSize(300, 480));
  EXPECT_EQ(window->minimumSize(), QSize(296, 100));
  EXPECT_EQ(window->windowTitle(), "Quoldex");
}

TEST_F(GuiTest, EscapeHeldDuringAScanEndsItWithTheRowsKept) {
  // Enough files that the scan is still running when Escape goes down.
  testing::TempDir scripts;
  for (int i = 0; i < 60; ++i) {
    const std::string name = "Class" + std::to_string(i);
    QDir().mkpath(QString::fromStdString(scripts.Path("Pkg/Classes")));
    scripts.Write("Pkg/Classes/" + name + ".uc", "class " + name + " extends Object;\n");
  }
  auto window = OpenConfigured();
  int turns = 0;
  QTimer presser;
  presser.setInterval(0);
  QObject::connect(&presser, &QTimer::timeout, [&] {
    if (++turns == 20) QTest::keyPress(window->Tree(), Qt::Key_Escape);
  });
  presser.start();
  ScanThroughMenu(*window, scripts.Path("Pkg"));
  presser.stop();
  QTest::keyRelease(window->Tree(), Qt::Key_Escape);

  EXPECT_EQ(window->StatusText(), "Done.");
  const int kept = window->Browser().Data().dtblObjects.RecordCount();
  EXPECT_GT(kept, 0);
  EXPECT_LT(kept, 60);
  // The tree was rebuilt with the rows kept.
  ExpandByKey(*window, Find(*window, "Packages/pkg"));
  EXPECT_EQ(RowTexts(*window, Find(*window, "Packages/pkg")).size(), kept);
}

TEST_F(GuiTest, AboutShowsTheVersionAndEscapeAnswersIt) {
  auto window = OpenConfigured();
  QString text, caption;
  script_.Then([&](QWidget* box) {
    caption = box->windowTitle();
    text = box->findChild<QLabel*>("qt_msgbox_label")->text();
    QTest::keyClick(box, Qt::Key_Escape);
  });
  window->ExecuteAction(ActionId::actAbout);
  EXPECT_EQ(caption, "Information");
  EXPECT_TRUE(text.startsWith("Quoldex.1.11\n"));
}

}  // namespace
}  // namespace quoldex::gui
