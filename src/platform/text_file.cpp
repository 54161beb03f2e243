#include "platform/text_file.h"

#include "platform/whole_file.h"

namespace quoldex::platform {

void SplitTextLines(std::string_view text, std::vector<std::string>& lines) {
  lines.clear();
  const size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
}

void LoadTextLines(const std::string& path, std::vector<std::string>& lines) {
  const std::optional<std::string> text = ReadWholeFile(path);
  if (!text) throw EFOpenError(path);
  SplitTextLines(*text, lines);
}

}  // namespace quoldex::platform
