#include "catalogue/package_path.h"

#include "text/ascii.h"
#include "text/path_separator.h"

namespace quoldex::catalogue {

std::string PackageFromPath(std::string_view folder_path) {
  static constexpr std::string_view kClasses = "/classes/";
  std::string path = text::AsciiLowerCase(folder_path);
  for (char& c : path) {
    if (text::IsPathSeparator(c)) c = '/';
  }
  const size_t at = path.find(kClasses);
  if (at == std::string::npos) return "Unknown";
  const std::string head = path.substr(0, at);
  const std::string tail = path.substr(at + kClasses.size(), 255);
  if (tail.find(kClasses) != std::string::npos) return PackageFromPath(tail);
  const size_t slash = head.rfind('/');
  return slash == std::string::npos ? head : head.substr(slash + 1);
}

}  // namespace quoldex::catalogue
