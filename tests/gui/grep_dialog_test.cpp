// The grep dialog on screen: opened from the main window's commands,
// searching, and Browse selecting the class behind it.
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "gui/class_tree_view.h"
#include "gui/grep_dialog_view.h"
#include "gui/tree_item_model.h"
#include "gui_fixture.h"

namespace quoldex::gui {
namespace {

using app::ActionId;

QStringList ResultNames(GrepDialogView& dialog) {
  QStringList names;
  for (int i = 0; i < dialog.Results()->topLevelItemCount(); ++i) {
    names << dialog.Results()->topLevelItem(i)->text(0);
  }
  return names;
}

TEST_F(GuiTest, ModelessGrepFindsTextAndBrowseSelectsTheClassInTheTree) {
  auto window = OpenConfigured();
  ScanThroughMenu(*window, SampleScripts());
  window->Tree()->setFocus();
  ClickRow(*window, Find(*window, "Maps"));
  // With the focus elsewhere Ctrl+G is Grep, which is always enabled.
  window->activateWindow();
  window->ExecuteAction(ActionId::actGrep);
  GrepDialogView& dialog = *window->GrepDialog();
  ASSERT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.windowTitle(), "Grep Scripts");
  EXPECT_FALSE(dialog.isModal());
  EXPECT_FALSE(dialog.GoButton()->isEnabled());  // no search text yet
  EXPECT_FALSE(dialog.CancelButton()->isEnabled());
  EXPECT_TRUE(dialog.GoButton()->isDefault());

  QTest::keyClicks(dialog.SearchFor(), "expands pawn");
  EXPECT_TRUE(dialog.GoButton()->isEnabled());
  QTest::keyClick(dialog.SearchFor(), Qt::Key_Return);  // Go is the default button
  EXPECT_TRUE(ResultNames(dialog).contains("ScriptedPawn"))
      << ResultNames(dialog).join(",").toStdString() << dialog.StatusLine()->text().toStdString();
  EXPECT_TRUE(dialog.StatusLine()->text().startsWith("Search Complete, ("));
  EXPECT_FALSE(dialog.Results()->topLevelItem(0)->text(2).isEmpty());  // a position

  const int row = static_cast<int>(ResultNames(dialog).indexOf("ScriptedPawn"));
  dialog.Results()->setCurrentItem(dialog.Results()->topLevelItem(row));
  ASSERT_TRUE(dialog.BrowseButton()->isEnabled());
  QTest::mouseClick(dialog.BrowseButton(), Qt::LeftButton);
  EXPECT_EQ(TreeItemModel::Node(window->Tree()->currentIndex())->Path(),
            "Classes/Object/Actor/Pawn/ScriptedPawn");
  EXPECT_TRUE(dialog.isVisible());  // modeless: it stays open

  QTest::mouseClick(dialog.CloseButton(), Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(window->Browser().dlgGrep().Visible());
}

TEST_F(GuiTest, ModalGrepRunsUntilClosedAndKeepsItsInputsBetweenShowings) {
  auto window = OpenConfigured();
  ScanThroughMenu(*window, SampleScripts());
  window->Browser().Prefs().Edit();
  window->Browser().Prefs().SetBoolean("GrepModal", true);
  window->Browser().Prefs().Post();
  ClickRow(*window, Find(*window, "Classes/Object"));
  QStringList names;
  script_.Then([&](QWidget* shown) {
    auto* dialog = qobject_cast<GrepDialogView*>(shown);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isModal());
    // Grep Ancestors of Object: the ancestors scope, the class preset.
    EXPECT_EQ(dialog->Scopes()->checkedId(), 1);
    dialog->Scopes()->button(0)->click();  // All Classes instead
    QTest::keyClicks(dialog->SearchFor(), "class");
    QTest::mouseClick(dialog->GoButton(), Qt::LeftButton);
    names = ResultNames(*dialog);
    QTest::mouseClick(dialog->CloseButton(), Qt::LeftButton);
  });
  window->Tree()->setFocus();
  window->ExecuteAction(ActionId::actGrepAncestor);
  EXPECT_EQ(names.size(), 14);  // every sample script holds "class"
  EXPECT_FALSE(window->GrepDialog()->isVisible());
  // Shown again, the search text and the rows are still there.
  script_.Then([&](QWidget* shown) {
    auto* dialog = qobject_cast<GrepDialogView*>(shown);
    EXPECT_EQ(dialog->SearchFor()->text(), "class");
    EXPECT_EQ(ResultNames(*dialog), names);
    QTest::keyClick(dialog, Qt::Key_Escape);  // Cancel is disabled: nothing
    EXPECT_TRUE(dialog->isVisible());
    QTest::mouseClick(dialog->CloseButton(), Qt::LeftButton);
  });
  window->ExecuteAction(ActionId::actGrep);
}

}  // namespace
}  // namespace quoldex::gui
