// The game's compiler as a child process: starting it from the System
// folder and waiting for it while the window stays responsive.
//
// The compiler is chosen by the Platform (on Linux the native "ucc-bin",
// then "ucc.exe" run directly or under wine). It starts in the program's
// current folder with an argument vector, and writes its log, ucc.log, in
// its own folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "ui/ui.h"

namespace quoldex::tools {

// How long Compile and Export Classes wait for the compiler, in seconds
// (the wait gives up two seconds later).
inline constexpr uint32_t kUccWaitSeconds = 60;

// Appended to the status text when the compiler outlived the wait.
inline constexpr const char* kStillRunningNote = "  The compiler is still running.";

// The compiler of `system_dir` (a System folder, with or without its
// trailing separator) and why it cannot start, as Platform::FindCompiler
// tells. Raises EToolError "Cannot start the compiler "<path>": <reason>."
// when it cannot.
std::string CheckUcc(platform::Platform& platform, const std::string& system_dir);

// Starts the compiler of `system_dir` with `arguments`. Raises EToolError
// as CheckUcc does, or "Cannot start the compiler "<path>"." when the start
// itself fails.
platform::ProgramHandle StartUcc(platform::Platform& platform, const std::string& system_dir,
                                 const std::vector<std::string>& arguments);

// Waits for the compiler started as `handle`. Returns true as soon as it
// has ended (its exit status collected). Meanwhile handles the window's
// messages a few times a second and, for each whole second waited, shows
// the current status text with one "." appended. After `seconds` + 2
// seconds it gives up: the compiler is left running, the status text gets
// kStillRunningNote appended, and the result is false.
bool WaitForUcc(ui::Ui& ui, platform::Platform& platform, platform::ProgramHandle handle,
                uint32_t seconds);

}  // namespace quoldex::tools
