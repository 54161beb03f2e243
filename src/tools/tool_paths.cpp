#include "tools/tool_paths.h"

#include "text/path_separator.h"

namespace quoldex::tools {

std::string AddBackslash(std::string_view path) {
  if (path.empty()) return {};
  const size_t last = path.find_last_not_of(text::kPathSeparators);
  if (last == std::string_view::npos) return std::string(1, text::kPathSeparator);
  return std::string(path.substr(0, last + 1)) + text::kPathSeparator;
}

std::string FolderOf(std::string_view path) {
  const size_t slash = path.find_last_of(text::kPathSeparators);
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string FileNameOf(std::string_view path) {
  const size_t slash = path.find_last_of(text::kPathSeparators);
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace quoldex::tools
