// FolderDialog: the folder picker on screen. A modal dialog with the
// caller's title line above a tree of the file system's folders (folders
// only, hidden ones included, starting at the top of the tree or at the
// requested selection), a status line with the full path of the folder
// under the cursor, and OK and Cancel. OK is possible only while a folder
// is selected.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "ui/ui.h"

class QFileSystemModel;
class QLabel;
class QTreeView;
class QDialogButtonBox;

namespace quoldex::gui {

class FolderDialog : public QDialog {
  Q_OBJECT
 public:
  FolderDialog(const ui::FolderRequest& request, QWidget* parent);

  // Runs the dialog: the chosen folder, or nothing when cancelled.
  static std::optional<std::string> Choose(const ui::FolderRequest& request, QWidget* parent);

  // The folder under the cursor ("" when none).
  QString CurrentFolder() const;
  // Moves the cursor to `folder` (as a person would by clicking it).
  void SetCurrentFolder(const QString& folder);

 private:
  void CursorMoved();

  QFileSystemModel* folders_;
  QTreeView* tree_;
  QLabel* status_line_;
  QDialogButtonBox* buttons_;
};

}  // namespace quoldex::gui
