#include "gui/folder_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace quoldex::gui {

FolderDialog::FolderDialog(const ui::FolderRequest& request, QWidget* parent)
    : QDialog(parent),
      folders_(new QFileSystemModel(this)),
      tree_(new QTreeView(this)),
      status_line_(new QLabel(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
  setObjectName("BrowseDirectoryDlg1");
  setWindowTitle(QString::fromStdString(request.caption));
  auto* title = new QLabel(QString::fromStdString(request.title), this);
  title->setObjectName("title");
  title->setWordWrap(true);

  folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::Drives);
  folders_->setRootPath(QDir::rootPath());
  folders_->setReadOnly(true);
  tree_->setObjectName("folders");
  tree_->setModel(folders_);
  for (int column = 1; column < folders_->columnCount(); ++column) tree_->hideColumn(column);
  tree_->setHeaderHidden(true);
  tree_->setRootIndex(folders_->index(QDir::rootPath()).parent());
  tree_->setMinimumSize(300, 300);

  status_line_->setObjectName("statusLine");
  status_line_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_line_->setWordWrap(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title);
  layout->addWidget(tree_, 1);
  layout->addWidget(status_line_);
  layout->addWidget(buttons_);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &FolderDialog::CursorMoved);

  if (!request.selection.empty()) SetCurrentFolder(QString::fromStdString(request.selection));
  CursorMoved();
  tree_->setFocus();
}

QString FolderDialog::CurrentFolder() const {
  const QModelIndex current = tree_->currentIndex();
  return current.isValid() ? QDir::toNativeSeparators(folders_->filePath(current)) : QString();
}

void FolderDialog::SetCurrentFolder(const QString& folder) {
  const QModelIndex index = folders_->index(QDir::fromNativeSeparators(folder));
  if (!index.isValid()) return;
  tree_->setCurrentIndex(index);
  tree_->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void FolderDialog::CursorMoved() {
  const QString folder = CurrentFolder();
  status_line_->setText(folder);
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(!folder.isEmpty());
}

std::optional<std::string> FolderDialog::Choose(const ui::FolderRequest& request,
                                                QWidget* parent) {
  FolderDialog dialog(request, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QString folder = dialog.CurrentFolder();
  if (folder.isEmpty()) return std::nullopt;
  return folder.toStdString();
}

}  // namespace quoldex::gui
