// The separator of the system's paths: "/" on POSIX systems; "\" on
// Windows, which takes "/" as a separator too. Paths the program builds use
// kPathSeparator; paths it reads are split at any of kPathSeparators.
#pragma once

#include <string_view>

namespace quoldex::text {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr std::string_view kPathSeparators = "\\/";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr std::string_view kPathSeparators = "/";
#endif

inline constexpr bool IsPathSeparator(char c) {
  return kPathSeparators.find(c) != std::string_view::npos;
}

}  // namespace quoldex::text
