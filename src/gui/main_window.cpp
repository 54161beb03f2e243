#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "gui/class_tree_view.h"
#include "gui/grep_dialog_view.h"
#include "gui/image_list.h"
#include "gui/log_viewer_window.h"
#include "gui/tree_item_model.h"

namespace quoldex::gui {
namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// A menu heading's caption with its first letter as the access key.
QString HeadingCaption(const std::string& caption) { return "&" + Text(caption); }

}  // namespace

MainWindow::MainWindow(std::optional<std::string> data_folder)
    : platform_(keyboard_),
      browser_(std::make_unique<app::TfrmQuoldexBrowser>(ui_, platform_, std::move(data_folder))) {
  setObjectName("frmQuoldexBrowser");
  setWindowTitle(app::TfrmQuoldexBrowser::kCaption);
  setWindowIcon(AppIcon());
  setMinimumSize(app::WindowPlacement::kMinWidth, app::WindowPlacement::kMinHeight);
  const app::WindowBounds& designed = browser_->Placement().Bounds();
  resize(designed.width, designed.height);
  qApp->installEventFilter(&keyboard_);
  qApp->installEventFilter(this);

  status_label_ = new QLabel(this);
  status_label_->setObjectName("StatusBar1Text");
  statusBar()->setObjectName("StatusBar1");
  statusBar()->setSizeGripEnabled(true);
  statusBar()->addWidget(status_label_, 1);
  ui_.Attach(this, status_label_);
  browser_->SetOnClosed([this] { close(); });

  browser_->FormCreate();
  BuildActions();
  BuildMenus();
  BuildToolBar();
  BuildTree();
  grep_dialog_ = new GrepDialogView(
      browser_->dlgGrep(),
      [this](const std::function<void()>& handler) {
        browser_->Run(handler);
        SyncActions();
      },
      this);
  SyncActions();
}

MainWindow::~MainWindow() {
  // The views go before the models they show.
  delete grep_dialog_;
  delete tree_view_;
  delete tree_model_;
}

// ---- Building ----

QAction* MainWindow::MakeAction(app::ActionId id, const std::string& caption) {
  const app::TAction& model = browser_->Action(id);
  auto* action = new QAction(this);
  QString text = Text(caption.empty() ? model.caption : caption);
  action->setIconText(text);
  // The menus show the shortcut after a tab; the key itself is decided by
  // the model (eventFilter), never by Qt's shortcut map.
  if (!model.shortcut.empty()) text += "\t" + Text(model.shortcut);
  action->setText(text);
  action->setToolTip(Text(model.hint));
  action->setStatusTip(Text(model.hint));
  action->setIcon(Image(model.image_index));
  action->setIconVisibleInMenu(true);
  connect(action, &QAction::triggered, this, [this, id] { ExecuteAction(id); });
  return action;
}

void MainWindow::BuildActions() {
  const app::ActionList& list = browser_->Actions();
  actions_.resize(app::kActionCount);
  for (size_t i = 0; i < app::kActionCount; ++i) {
    const auto id = static_cast<app::ActionId>(i);
    actions_[i] = MakeAction(id, "");
    actions_[i]->setObjectName(Text(list[id].name));
  }
}

void MainWindow::FillMenu(QMenu* menu, const std::vector<app::MenuItem>& items, bool popup) {
  for (const app::MenuItem& item : items) {
    if (item.separator) {
      menu->addSeparator();
    } else if (!item.items.empty() || !item.action) {
      QMenu* sub = menu->addMenu(HeadingCaption(item.caption));
      sub->setIcon(Image(item.image_index));
      FillMenu(sub, item.items, popup);
    } else if (popup || !item.caption.empty()) {
      QAction* own = MakeAction(*item.action, item.caption);
      own->setObjectName(Text(item.name.empty() ? browser_->Action(*item.action).name : item.name));
      entries_.push_back({own, *item.action, popup});
      menu->addAction(own);
    } else {
      menu->addAction(ActionFor(*item.action));
    }
  }
}

void MainWindow::BuildMenus() {
  menuBar()->setObjectName("MainMenu1");
  for (const app::MenuItem& heading : browser_->MainMenu1()) {
    // Headings show their caption only: a menu bar draws either a picture
    // or a text.
    QMenu* menu = menuBar()->addMenu(HeadingCaption(heading.caption));
    menu->setObjectName("mnu" + Text(heading.caption));
    FillMenu(menu, heading.items, false);
  }
  popup_menu_ = new QMenu(this);
  popup_menu_->setObjectName("PopupMenu1");
  FillMenu(popup_menu_, browser_->PopupMenu1(), true);
}

void MainWindow::BuildToolBar() {
  tool_bar_ = addToolBar("ToolBar1");
  tool_bar_->setObjectName("ToolBar1");
  tool_bar_->setMovable(false);
  tool_bar_->setFloatable(false);
  tool_bar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  tool_bar_->setIconSize(QSize(16, 16));
  tool_bar_->setFixedHeight(29);
  for (const std::optional<app::ActionId>& button : browser_->ToolBar1()) {
    if (button) {
      tool_bar_->addAction(ActionFor(*button));
    } else {
      tool_bar_->addSeparator();
    }
  }
}

void MainWindow::BuildTree() {
  tree_model_ = new TreeItemModel(browser_->Tree());
  tree_view_ = new ClassTreeView(this);
  tree_view_->setModel(tree_model_);
  setCentralWidget(tree_view_);

  connect(tree_model_, &TreeItemModel::ExpansionChanged, this,
          [this](const QModelIndex& index, bool expanded) {
            if (!index.isValid() || tree_view_->isExpanded(index) == expanded) return;
            // The view is opening this node itself (FetchNode).
            if (fetching_ != nullptr && TreeItemModel::Node(index) == fetching_) return;
            following_model_ = true;
            tree_view_->setExpanded(index, expanded);
            following_model_ = false;
          });
  connect(tree_model_, &TreeItemModel::SelectRequested, this, [this](const QModelIndex& index) {
    following_model_ = true;
    if (index.isValid()) {
      tree_view_->setCurrentIndex(index);
    } else {
      tree_view_->selectionModel()->clear();
    }
    following_model_ = false;
  });
  connect(tree_model_, &TreeItemModel::ScrollRequested, this,
          [this](const QModelIndex& index) { tree_view_->scrollTo(index); });
  connect(tree_model_, &TreeItemModel::RepaintRequested, this,
          [this] { tree_view_->viewport()->update(); });

  connect(tree_model_, &TreeItemModel::FetchRequested, this, &MainWindow::FetchNode);
  connect(tree_view_, &QTreeView::expanded, this, &MainWindow::ViewExpanded);
  connect(tree_view_, &QTreeView::collapsed, this, &MainWindow::ViewCollapsed);
  connect(tree_view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            // The view moves its current row off a row being removed: the
            // tree model decides the selection itself.
            if (following_model_ || tree_model_->FollowingTree()) return;
            browser_->Tree().TreeView1().Select(TreeItemModel::Node(current));
          });
  connect(tree_view_, &ClassTreeView::Clicked, this, [this] {
    browser_->TreeView1Click();
    SyncActions();
  });
  connect(tree_view_, &ClassTreeView::DoubleClicked, this,
          [this](tree::TreeNode* node, tree::MouseButton button) {
            browser_->TreeView1DblClick(node, button);
            SyncActions();
          });
  connect(tree_view_, &ClassTreeView::PopupRequested, this, &MainWindow::ShowPopup);
  connect(tree_view_, &ClassTreeView::FocusChanged, this,
          [this](bool focused) { browser_->Tree().TreeView1().SetFocused(focused); });
}

// ---- Running ----

void MainWindow::Start() {
  browser_->FormShow();
  SyncActions();
  const app::WindowPlacement& placement = browser_->Placement();
  if (placement.OwnPlacement()) {
    const app::WindowBounds& bounds = placement.Bounds();
    move(bounds.left, bounds.top);
    resize(bounds.width, bounds.height);
  }
  show();
  activateWindow();
  tree_view_->setFocus(Qt::ActiveWindowFocusReason);
}

void MainWindow::ExecuteAction(app::ActionId id) {
  browser_->Execute(id);
  SyncActions();
}

void MainWindow::ShowPopup(const QPoint& global_pos) {
  browser_->PopupMenu1Popup();
  SyncActions();
  popup_menu_->popup(global_pos);
}

void MainWindow::SyncActions() {
  for (size_t i = 0; i < actions_.size(); ++i) {
    actions_[i]->setEnabled(browser_->Action(static_cast<app::ActionId>(i)).enabled);
  }
  // The pop-up items in model order, to take their visibility.
  std::vector<const app::MenuItem*> popup_items;
  for (const app::MenuItem& item : browser_->PopupMenu1()) {
    if (item.action) popup_items.push_back(&item);
  }
  size_t next_popup = 0;
  for (const MenuEntry& entry : entries_) {
    entry.action->setEnabled(browser_->Action(entry.id).enabled);
    if (entry.follows_visibility && next_popup < popup_items.size()) {
      entry.action->setVisible(popup_items[next_popup++]->visible);
    }
  }
}

QAction* MainWindow::PopupItem(app::ActionId id) const {
  for (const MenuEntry& entry : entries_) {
    if (entry.follows_visibility && entry.id == id) return entry.action;
  }
  return nullptr;
}

QString MainWindow::StatusText() const { return QString::fromStdString(ui_.StatusText()); }

QString MainWindow::ShownStatusText() const { return status_label_->text(); }

void MainWindow::FetchNode(const QModelIndex& index) {
  tree::TreeNode* node = TreeItemModel::Node(index);
  if (following_model_ || tree_model_->FollowingTree() || node == nullptr || node->Expanded())
    return;
  fetched_ = node;
  fetching_ = node;
  browser_->TreeView1Expand(*node);
  fetching_ = nullptr;
}

void MainWindow::ViewExpanded(const QModelIndex& index) {
  tree::TreeNode* node = TreeItemModel::Node(index);
  if (following_model_ || tree_model_->FollowingTree() || node == nullptr) return;
  const bool fetched = node == fetched_;
  fetched_ = nullptr;
  if (node->Expanded()) return;
  // A node loaded on the way has had its expansion already.
  if (!fetched) browser_->TreeView1Expand(*node);
  // The node may have lost its children (or refused): the view follows.
  if (!node->Expanded()) {
    following_model_ = true;
    tree_view_->collapse(index);
    following_model_ = false;
  }
  SyncActions();
}

void MainWindow::ViewCollapsed(const QModelIndex& index) {
  tree::TreeNode* node = TreeItemModel::Node(index);
  if (following_model_ || tree_model_->FollowingTree() || node == nullptr) return;
  browser_->Tree().TreeView1().Collapse(*node);
}

// ---- Window events ----

void MainWindow::closeEvent(QCloseEvent* event) {
  ReportBounds();
  browser_->FormClose();
  for (LogViewerWindow* viewer : findChildren<LogViewerWindow*>()) viewer->close();
  if (grep_dialog_) grep_dialog_->hide();
  event->accept();
}

void MainWindow::ReportBounds() { browser_->Placement().SetBounds({x(), y(), width(), height()}); }

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (isVisible()) ReportBounds();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (isVisible()) ReportBounds();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) {
    return QMainWindow::eventFilter(watched, event);
  }
  auto* widget = static_cast<QWidget*>(watched);
  // Only keys meant for this window's own controls (not a menu, a dialog
  // or a log viewer).
  if (widget->window() != this || QApplication::activePopupWidget() != nullptr) {
    return QMainWindow::eventFilter(watched, event);
  }
  const std::string key = ShortcutText(*static_cast<QKeyEvent*>(event));
  if (key.empty()) return QMainWindow::eventFilter(watched, event);
  const bool tree_focused = browser_->Tree().TreeView1().Focused();
  if (app::ItemForShortcut(key, tree_focused, browser_->PopupMenu1(), browser_->MainMenu1(),
                           browser_->Actions()) == nullptr) {
    return QMainWindow::eventFilter(watched, event);
  }
  browser_->PressShortcut(key);
  SyncActions();
  return true;
}

}  // namespace quoldex::gui
