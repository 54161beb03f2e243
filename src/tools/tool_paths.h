// Path helpers of the game tools. Paths are native: the separator is "/".
#pragma once

#include <string>
#include <string_view>

namespace quoldex::tools {

// `path` ending in exactly one separator (surplus trailing separators are
// dropped, so "/" stays "/"); "" stays "".
std::string AddBackslash(std::string_view path);

// `path` up to and including its last separator; "" when it has none.
// (For a System folder stored without a trailing separator, the game's
// base folder.)
std::string FolderOf(std::string_view path);

// `path` after its last separator: the file name with its extension.
std::string FileNameOf(std::string_view path);

}  // namespace quoldex::tools
