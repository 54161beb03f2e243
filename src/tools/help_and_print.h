// The Help and Print File commands of the main window.
#pragma once

#include <string>

#include "platform/platform.h"
#include "ui/ui.h"

namespace quoldex::tools {

// The read-me's file name, beside the executable.
inline constexpr const char* kReadmeFile = "readme.txt";

// Help: when readme.txt (any letter case) is beside the executable, shows
// it in a new log viewer captioned "UCC Log"; otherwise does nothing and
// says nothing.
void actHelpExecute(ui::Ui& ui, platform::Platform& platform);

// Print File's last step: hands `file`, a class's script file, to the
// system's print command. Raises EToolError naming the file when no print
// command could be started.
void PrintFile(platform::Platform& platform, const std::string& file);

}  // namespace quoldex::tools
