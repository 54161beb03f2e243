// OpenDialog: the settings of one open-file dialog. The owner keeps the
// object for its whole life, so that settings such as the initial folder
// carry over from one run to the next.
#pragma once

#include <string>

namespace quoldex::ui {

struct OpenDialog {
  std::string title;
  // Pairs of description and pattern list, all separated by "|", e.g.
  // "Unrealscript File (*.uc)|*.uc|All Files (*.*)|*.*". The first pair is
  // the one in force when the dialog opens.
  std::string filter;
  std::string default_extension;  // without the dot, e.g. "uc"
  bool multi_select = false;
  std::string initial_dir;  // empty: the view's own choice
};

}  // namespace quoldex::ui
