// FolderPicker: the main window's one folder-browsing dialog, shared by its
// callers, each of which sets its own title. It remembers its selection
// while the program runs: a run that ends with OK leaves the chosen folder
// selected, so the next run starts there; a cancelled run clears it, and
// with no selection the dialog starts at the top of the folder tree.
#pragma once

#include <string>
#include <utility>

#include "ui/ui.h"

namespace quoldex::ui {

class FolderPicker {
 public:
  static constexpr const char* kCaption = "Quoldex";

  void SetTitle(std::string title) { title_ = std::move(title); }
  const std::string& Title() const { return title_; }
  void SetSelection(std::string folder) { selection_ = std::move(folder); }
  const std::string& Selection() const { return selection_; }

  // Runs the dialog. True with the chosen folder in Selection() on OK;
  // false, with the selection cleared, on cancel.
  bool Execute(Ui& ui);

 private:
  std::string title_;
  std::string selection_;
};

}  // namespace quoldex::ui
