// Paths are UTF-8 text throughout the program; std::filesystem reads a
// narrow string in the system's code page instead (the ANSI code page on
// Windows), so every path crosses into and out of it through these.
#pragma once

#include <filesystem>
#include <string>

namespace quoldex::cli {

// The path the UTF-8 text `utf8` names.
inline std::filesystem::path Utf8Path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// `path` as UTF-8 text.
inline std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace quoldex::cli
