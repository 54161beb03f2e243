// The application's top-level error handler: the one place where a
// command's error is shown to the user.
//
// A command that cannot go on raises an error carrying its message (the
// table engine's EDbEngineError, the data-set layer's EDatabaseError,
// "Cannot open file %s", a command's own message, ...); the handler shows
// its text in an error message box captioned "Quoldex" and the command
// ends with whatever it had already done. A command that found nothing to
// act on ends with tree::ESilentAbort, which the handler swallows without
// a word.
#pragma once

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

#include "ui/ui.h"

namespace quoldex::app {

enum class CommandOutcome {
  kCompleted,  // the command ran to its end
  kAborted,    // it ended silently, having found nothing to act on
  kFailed,     // it raised an error, which was shown
  kDisabled,   // it was not run: its action is disabled
};

// An error of the main window's own commands.
class ECommandError : public std::runtime_error {
 public:
  explicit ECommandError(const std::string& message) : std::runtime_error(message) {}
};

// Shows `error`'s text in the error message box.
void ShowException(ui::Ui& ui, const std::exception& error);

// Runs `command` under the top-level handler (above).
CommandOutcome HandleCommand(ui::Ui& ui, const std::function<void()>& command);

}  // namespace quoldex::app
