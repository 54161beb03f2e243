// Lower-casing of the letters A-Z only, the folding parent and package
// names are stored with: a node's text folded this way matches them.
#pragma once

#include <string>
#include <string_view>

namespace quoldex::tree {

inline std::string AsciiLowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace quoldex::tree
