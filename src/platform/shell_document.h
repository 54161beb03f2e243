// Handing a document to the desktop: opening it with the handler for its
// type, or printing it, and saying so when that cannot be done.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/platform.h"

namespace quoldex::platform {

// The desktop could not take a document; the text names the file.
class EShellError : public std::runtime_error {
 public:
  explicit EShellError(const std::string& message) : std::runtime_error(message) {}
};

// The shell's "open" of `file` without parameters. Raises EShellError
// "Cannot open "<file>": no program to open it could be started." when no
// handler could be started. What the handler then does is not reported.
void OpenDocument(Platform& platform, const std::string& file);

// The shell's "print" of `file`. Raises EShellError "Cannot print
// "<file>": no print command could be started." when none could.
void PrintDocument(Platform& platform, const std::string& file);

}  // namespace quoldex::platform
