// The Help command of the main window.
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

}  // namespace quoldex::tools
