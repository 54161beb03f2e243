// MainWindow: the main window TfrmQuoldexBrowser on screen. It owns the
// browser model with the screen seam (QtUi) and the platform it runs on,
// draws the model's toolbar, main menu, tree pop-up menu, tree and status
// bar, and hands every input to the model: commands, clicks, expansion,
// selection, shortcut keys, moves and resizes. After each input it shows
// the actions' enabled states and the pop-up items' visibility exactly as
// the model left them.
//
// Life: construction runs FormCreate (tables, tree roots); Start runs
// FormShow (Preferences on a first start, enabling, stored position) and
// shows the window with the tree focused; closing (the Close command, the
// close box) runs FormClose once and closes the log viewers with it.
//
// Bounds: left and top are the frame's position, width and height the
// window's inner size, so what is saved is what is restored.
#pragma once

#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/quoldex_browser.h"
#include "gui/keyboard.h"
#include "gui/qt_ui.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace quoldex::gui {

class ClassTreeView;
class GrepDialogView;
class TreeItemModel;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // `data_folder` as for TfrmQuoldexBrowser: the folder beside the
  // executable unless given.
  explicit MainWindow(std::optional<std::string> data_folder = std::nullopt);
  ~MainWindow() override;

  // FormShow, then shows the window where the model places it, the tree
  // focused.
  void Start();

  app::TfrmQuoldexBrowser& Browser() { return *browser_; }
  ClassTreeView* Tree() const { return tree_view_; }
  TreeItemModel* TreeModel() const { return tree_model_; }
  QToolBar* ToolBar() const { return tool_bar_; }
  // The action's toolbar button and main-menu entry.
  QAction* ActionFor(app::ActionId id) const { return actions_[static_cast<size_t>(id)]; }
  QMenu* PopupMenu() const { return popup_menu_; }
  GrepDialogView* GrepDialog() const { return grep_dialog_; }
  // The pop-up menu's item for `id`, or null when it has none.
  QAction* PopupItem(app::ActionId id) const;
  // The status text: what the status bar shows, or the newer text it
  // shows within QtUi::kStatusInterval.
  QString StatusText() const;
  // The text the status bar shows now.
  QString ShownStatusText() const;

  // Runs the action's command as a menu choice does.
  void ExecuteAction(app::ActionId id);
  // Opens the tree's pop-up menu at `global_pos` (the model first
  // recomputes what it offers).
  void ShowPopup(const QPoint& global_pos);
  // Shows the model's enabled states and pop-up visibility.
  void SyncActions();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  // Shortcut keys of this window's controls, decided by the model.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // An entry of a menu that shows `id` with its own caption or
  // visibility; SyncActions keeps it in step.
  struct MenuEntry {
    QAction* action;
    app::ActionId id;
    bool follows_visibility;  // a pop-up item: hidden when disabled
  };

  void BuildActions();
  void BuildMenus();
  void BuildToolBar();
  void BuildTree();
  // A QAction showing the model's action `id`, with `caption` if given.
  QAction* MakeAction(app::ActionId id, const std::string& caption);
  void FillMenu(QMenu* menu, const std::vector<app::MenuItem>& items, bool popup);
  void ReportBounds();
  // Follows the view's expansion into the model.
  void ViewExpanded(const QModelIndex& index);
  void ViewCollapsed(const QModelIndex& index);
  // The view opens a node that is not loaded: the model expands it first.
  void FetchNode(const QModelIndex& index);

  KeyboardState keyboard_;
  GuiPlatform platform_;
  QtUi ui_;
  std::unique_ptr<app::TfrmQuoldexBrowser> browser_;
  std::vector<QAction*> actions_;  // by ActionId
  std::vector<MenuEntry> entries_;
  QMenu* popup_menu_ = nullptr;
  QToolBar* tool_bar_ = nullptr;
  ClassTreeView* tree_view_ = nullptr;
  TreeItemModel* tree_model_ = nullptr;
  QLabel* status_label_ = nullptr;
  GrepDialogView* grep_dialog_ = nullptr;
  // Set while the view is made to follow the model, so that the view's
  // signals are not sent back.
  bool following_model_ = false;
  // The node the view last had expanded through FetchNode.
  const tree::TreeNode* fetched_ = nullptr;
  // The node FetchNode is expanding right now.
  const tree::TreeNode* fetching_ = nullptr;
};

}  // namespace quoldex::gui
