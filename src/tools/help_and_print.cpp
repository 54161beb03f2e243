#include "tools/help_and_print.h"

#include "tools/log_viewer.h"
#include "tools/tool_error.h"
#include "tools/tool_paths.h"

namespace quoldex::tools {

void actHelpExecute(ui::Ui& ui, platform::Platform& platform) {
  const std::string folder = AddBackslash(platform.ExecutableDir());
  if (folder.empty()) return;
  const std::string readme = platform.MatchFileName(folder + kReadmeFile);
  if (platform.FileExists(readme)) ShowLogFile(ui, "UCC Log", readme);
}

void PrintFile(platform::Platform& platform, const std::string& file) {
  if (!platform.ShellPrint(file)) {
    throw EToolError("Cannot print \"" + file + "\": no print command could be started.");
  }
}

}  // namespace quoldex::tools
