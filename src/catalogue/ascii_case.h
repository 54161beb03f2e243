// Lower-casing of the letters A-Z only: class headers and package paths are
// folded this way, whatever other bytes they hold.
#pragma once

#include <string>
#include <string_view>

namespace quoldex::catalogue {

inline std::string AsciiLowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace quoldex::catalogue
