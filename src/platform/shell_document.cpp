#include "platform/shell_document.h"

namespace quoldex::platform {

void OpenDocument(Platform& platform, const std::string& file) {
  if (!platform.ShellOpen(file, {})) {
    throw EShellError("Cannot open \"" + file + "\": no program to open it could be started.");
  }
}

void PrintDocument(Platform& platform, const std::string& file) {
  if (!platform.ShellPrint(file)) {
    throw EShellError("Cannot print \"" + file + "\": no print command could be started.");
  }
}

}  // namespace quoldex::platform
