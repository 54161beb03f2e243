// Lower-casing of the letters A-Z only. Class headers, package paths and
// the inheritance path are folded this way, whatever other bytes they hold
// (unlike the Western folding of western.h, which also folds accented
// letters).
#pragma once

#include <string>
#include <string_view>

namespace quoldex::text {

inline std::string AsciiLowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace quoldex::text
