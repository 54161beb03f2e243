#include "tools/help.h"

#include "tools/log_viewer.h"
#include "tools/tool_paths.h"

namespace quoldex::tools {

void actHelpExecute(ui::Ui& ui, platform::Platform& platform) {
  const std::string folder = AddBackslash(platform.ExecutableDir());
  if (folder.empty()) return;
  const std::string readme = platform.MatchFileName(folder + kReadmeFile);
  if (platform.FileExists(readme)) ShowLogFile(ui, "UCC Log", readme);
}

}  // namespace quoldex::tools
