#include "app/command_handler.h"

#include "tree/tree_errors.h"

namespace quoldex::app {

void ShowException(ui::Ui& ui, const std::exception& error) {
  ui.ShowMessage({.text = error.what(),
                  .caption = "Quoldex",
                  .kind = ui::MessageKind::kError,
                  .buttons = ui::MessageButtons::kOk});
}

CommandOutcome HandleCommand(ui::Ui& ui, const std::function<void()>& command) {
  try {
    command();
    return CommandOutcome::kCompleted;
  } catch (const tree::ESilentAbort&) {
    return CommandOutcome::kAborted;
  } catch (const std::exception& error) {
    ShowException(ui, error);
    return CommandOutcome::kFailed;
  }
}

}  // namespace quoldex::app
