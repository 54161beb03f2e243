// ClassTreeView: the tree control TreeView1 on screen. It draws a
// TreeItemModel and reports the user's input as signals; the main window
// passes them to the browser model, which decides everything.
//
// As a control it: indents 19 pixels, draws expand buttons, hides the
// selection while it lacks the focus, shows a node's full text as a tool
// tip where the text is cut, selects the node under the mouse on a right
// click before asking for the pop-up menu, and opens the pop-up menu from
// the keyboard (menu key, Shift+F10) at the current node.
#pragma once

#include <QTreeView>

#include "tree/class_tree.h"

namespace quoldex::gui {

class ClassTreeView : public QTreeView {
  Q_OBJECT
 public:
  explicit ClassTreeView(QWidget* parent = nullptr);

 signals:
  // A left click anywhere on the tree, after the view selected the node
  // under the mouse.
  void Clicked();
  // A double click; `node` is the node hit, or null.
  void DoubleClicked(tree::TreeNode* node, tree::MouseButton button);
  // The pop-up menu should open at `global_pos`.
  void PopupRequested(const QPoint& global_pos);
  void FocusChanged(bool focused);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  // True when the text of `index` does not fit in its place.
  bool TextIsCut(const QModelIndex& index) const;
};

}  // namespace quoldex::gui
