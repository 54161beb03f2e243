#include "ui/ui.h"

#include <utility>

namespace quoldex::ui {

void ShowStatus(Ui& ui, std::string_view text) {
  ui.SetStatusText(text);
  ui.ProcessMessages();
}

Answer Ask(Ui& ui, std::string text, MessageButtons buttons) {
  return ui.ShowMessage({std::move(text), "Confirm", MessageKind::kConfirmation, buttons});
}

}  // namespace quoldex::ui
