#include "catalogue/class_header_reader.h"

#include <utility>

#include "text/ascii.h"
#include "platform/text_file.h"

namespace quoldex::catalogue {
namespace {

std::string_view TrimControls(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
  return s;
}

}  // namespace

ClassHeaderReader::ClassHeaderReader(ui::Ui& ui, ParentWriter writer)
    : ui_(ui), writer_(std::move(writer)) {}

void ClassHeaderReader::ReadClassHeader(const std::string& file_name, int32_t object_id) {
  ui::ShowStatus(ui_, "Examining " + file_name);
  if (!lines_) lines_ = std::make_unique<std::vector<std::string>>();
  platform::LoadTextLines(file_name, *lines_);
  const std::vector<std::string>& lines = *lines_;
  for (size_t i = 0; i + 1 < lines.size(); ++i)
    if (CheckHeaderLine(lines[i], lines[i + 1], object_id)) break;
}

bool ClassHeaderReader::CheckHeaderLine(std::string_view line, std::string_view next_line,
                                        int32_t object_id) {
  const std::string text = quoldex::text::AsciiLowerCase(TrimControls(line));
  if (text.empty() || text.starts_with("//") || !text.starts_with("class")) return false;
  std::string declaration = text;
  declaration += ' ';
  declaration += next_line;
  return StoreParentName(declaration, object_id);
}

bool ClassHeaderReader::StoreParentName(std::string_view declaration, int32_t object_id) {
  static constexpr std::string_view kExtends = "extends ";
  static constexpr std::string_view kExpands = "expands ";
  std::string_view keyword = kExtends;
  size_t at = declaration.find(kExtends);
  if (at == std::string_view::npos) {
    keyword = kExpands;
    at = declaration.find(kExpands);
  }
  std::string_view name = "<none>";
  bool terminated = false;
  if (at != std::string_view::npos) {
    name = declaration.substr(at + keyword.size(), 255);
    const size_t end = name.find_first_of(std::string_view("\b\t /;", 5));
    if (end != std::string_view::npos) {
      name = name.substr(0, end);
      terminated = true;
    }
  }
  if (name.empty()) return terminated;
  writer_(object_id, text::AsciiLowerCase(name));
  return true;
}

}  // namespace quoldex::catalogue
