#include "tools/ucc.h"

#include <algorithm>

#include "tools/tool_error.h"
#include "tools/tool_paths.h"

namespace quoldex::tools {
namespace {

// Messages are handled this often while the compiler runs, in ms, so that
// its end is noticed soon and the window stays responsive.
constexpr uint32_t kPollMs = 50;

}  // namespace

std::string CheckUcc(platform::Platform& platform, const std::string& system_dir) {
  const platform::Platform::CompilerChoice choice = platform.FindCompiler(AddBackslash(system_dir));
  if (!choice.problem.empty()) {
    throw EToolError("Cannot start the compiler \"" + choice.program + "\": " + choice.problem +
                     ".");
  }
  return choice.program;
}

platform::ProgramHandle StartUcc(platform::Platform& platform, const std::string& system_dir,
                                 const std::vector<std::string>& arguments) {
  const std::string program = CheckUcc(platform, system_dir);
  std::optional<platform::ProgramHandle> handle = platform.StartProgram(program, arguments);
  if (!handle) throw EToolError("Cannot start the compiler \"" + program + "\".");
  return *handle;
}

bool WaitForUcc(ui::Ui& ui, platform::Platform& platform, platform::ProgramHandle handle,
                uint32_t seconds) {
  const uint32_t start = platform.TickCount();
  const uint32_t limit = (seconds + 2) * 1000u;
  uint32_t dots = 0;
  // One dot per whole second waited; capped at the deadline, so a coarse
  // system clock that wakes a moment early still shows every second.
  const auto show_dots = [&](uint32_t elapsed) {
    for (const uint32_t waited = std::min(elapsed, limit) / 1000u; dots < waited; ++dots) {
      ui::ShowStatus(ui, ui.StatusText() + ".");
    }
  };
  while (platform.IsProgramRunning(handle)) {
    const uint32_t elapsed = platform.TickCount() - start;
    if (elapsed >= limit) {
      show_dots(limit);
      ui::ShowStatus(ui, ui.StatusText() + kStillRunningNote);
      return false;
    }
    ui.ProcessMessages();
    platform.Sleep(std::min(kPollMs, limit - elapsed));
    show_dots(platform.TickCount() - start);
  }
  platform.WaitForProgram(handle);
  return true;
}

}  // namespace quoldex::tools
