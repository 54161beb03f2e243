// Reading a whole file into memory, the one system call sequence that text
// files (LoadTextLines) need.
#pragma once

#include <optional>
#include <string>

namespace quoldex::platform {

// The bytes of the file `path`; empty when it cannot be opened or read (a
// folder, a missing file, no permission).
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace quoldex::platform
