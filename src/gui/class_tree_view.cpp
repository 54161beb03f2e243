#include "gui/class_tree_view.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QToolTip>

#include "gui/tree_item_model.h"

namespace quoldex::gui {
namespace {

tree::MouseButton ButtonOf(Qt::MouseButton button) {
  switch (button) {
    case Qt::RightButton:
      return tree::MouseButton::kRight;
    case Qt::MiddleButton:
      return tree::MouseButton::kMiddle;
    default:
      return tree::MouseButton::kLeft;
  }
}

}  // namespace

ClassTreeView::ClassTreeView(QWidget* parent) : QTreeView(parent) {
  setObjectName("TreeView1");
  setHeaderHidden(true);
  setIndentation(19);
  setRootIsDecorated(true);
  setUniformRowHeights(true);  // rows are never measured one by one
  setSortingEnabled(false);
  setEditTriggers(NoEditTriggers);
  setSelectionMode(SingleSelection);
  setExpandsOnDoubleClick(true);
  setTextElideMode(Qt::ElideRight);
  header()->setStretchLastSection(true);
  // The selection is not shown while the tree does not have the focus.
  QPalette colours = palette();
  colours.setColor(QPalette::Inactive, QPalette::Highlight,
                   colours.color(QPalette::Inactive, QPalette::Base));
  colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   colours.color(QPalette::Inactive, QPalette::Text));
  setPalette(colours);
}

void ClassTreeView::mouseReleaseEvent(QMouseEvent* event) {
  QTreeView::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) emit Clicked();
}

void ClassTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
  tree::TreeNode* node = TreeItemModel::Node(indexAt(event->position().toPoint()));
  QTreeView::mouseDoubleClickEvent(event);
  emit DoubleClicked(node, ButtonOf(event->button()));
}

void ClassTreeView::contextMenuEvent(QContextMenuEvent* event) {
  QPoint at = event->globalPos();
  if (event->reason() == QContextMenuEvent::Mouse) {
    const QModelIndex hit = indexAt(event->pos());
    if (hit.isValid()) setCurrentIndex(hit);
  } else if (currentIndex().isValid()) {
    at = viewport()->mapToGlobal(visualRect(currentIndex()).bottomLeft());
  }
  emit PopupRequested(at);
  event->accept();
}

void ClassTreeView::focusInEvent(QFocusEvent* event) {
  QTreeView::focusInEvent(event);
  emit FocusChanged(true);
}

void ClassTreeView::focusOutEvent(QFocusEvent* event) {
  QTreeView::focusOutEvent(event);
  emit FocusChanged(false);
}

bool ClassTreeView::TextIsCut(const QModelIndex& index) const {
  const QRect place = visualRect(index);
  QFont font = this->font();
  const QVariant own_font = index.data(Qt::FontRole);
  if (own_font.canConvert<QFont>()) font = own_font.value<QFont>();
  const int text_width = QFontMetrics(font).horizontalAdvance(index.data().toString());
  // Room taken by the picture and the margins around picture and text.
  const int decoration = iconSize().width() > 0 ? iconSize().width() : 16;
  const int margins = 4 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 8;
  const int visible_right = qMin(place.right(), viewport()->width());
  return place.left() + decoration + margins + text_width > visible_right;
}

bool ClassTreeView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex hit = indexAt(help->pos());
    if (hit.isValid() && TextIsCut(hit)) {
      QToolTip::showText(help->globalPos(), hit.data().toString(), viewport(),
                         visualRect(hit));
    } else {
      QToolTip::hideText();
    }
    return true;
  }
  return QTreeView::viewportEvent(event);
}

}  // namespace quoldex::gui
