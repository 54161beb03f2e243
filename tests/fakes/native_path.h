// Paths written in tests with "/" as the program itself writes them.
#pragma once

#include <algorithm>
#include <string>

#include "text/path_separator.h"

namespace quoldex::testing {

// `path` with each "/" written as the system's separator, as the program
// writes the paths it finds ("a/b.uc" stays so on POSIX systems and is
// "a\b.uc" on Windows).
inline std::string NativePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', text::kPathSeparator);
  return path;
}

}  // namespace quoldex::testing
