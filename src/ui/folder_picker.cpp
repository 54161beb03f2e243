#include "ui/folder_picker.h"

namespace quoldex::ui {

bool FolderPicker::Execute(Ui& ui) {
  std::optional<std::string> chosen = ui.BrowseForFolder({kCaption, title_, selection_});
  selection_ = chosen.value_or(std::string());
  return chosen.has_value();
}

}  // namespace quoldex::ui
