#include "search/file_mask.h"

#include <algorithm>

#include "text/western.h"

namespace quoldex::search {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<uint8_t>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<uint8_t>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

std::string Decorate(std::string entry) {
  const bool star = entry.find('*') != std::string::npos;
  const bool dot = entry.find('.') != std::string::npos;
  if (!star && !dot) return "*" + entry + "*";
  if (star && !dot && entry.back() != '*') entry += '*';
  return entry;
}

}  // namespace

std::vector<std::string> ParseFileMask(std::string_view value) {
  if (value.empty()) return {"*"};
  std::string list(value);
  std::replace(list.begin(), list.end(), ',', ';');
  if (list.back() != ';') list += ';';
  std::vector<std::string> masks;
  std::string_view rest = list;
  for (size_t semi; (semi = rest.find(';')) != std::string_view::npos;
       rest.remove_prefix(semi + 1)) {
    masks.push_back(Decorate(text::LowerCase(Trim(rest.substr(0, semi)))));
  }
  std::stable_sort(masks.begin(), masks.end(), [](const std::string& a, const std::string& b) {
    return text::CompareLanguage(a, b, true) < 0;
  });
  return masks;
}

bool MatchMask(std::string_view name, std::string_view mask) {
  if (mask == "*") return true;
  if (mask == "*.*" && name.find('.') != std::string_view::npos) return true;
  if (mask.find_first_of("*?") == std::string_view::npos) return name == mask;

  // Tokens, left to right: "*", "?", or a maximal run of other bytes. `pos`
  // is the 0-based position in the name and may run past its end after "?".
  size_t pos = 0;
  bool star_pending = false;
  for (size_t i = 0; i < mask.size();) {
    if (mask[i] == '*') {
      star_pending = true;
      ++i;
    } else if (mask[i] == '?') {
      ++pos;
      ++i;
    } else {
      const size_t end = std::min(mask.find_first_of("*?", i), mask.size());
      const std::string_view literal = mask.substr(i, end - i);
      i = end;
      if (star_pending) {
        const size_t at = pos <= name.size() ? name.find(literal, pos) : std::string_view::npos;
        if (at == std::string_view::npos) return false;
        pos = at + literal.size();
        star_pending = false;
      } else {
        if (pos > name.size() || name.substr(pos, literal.size()) != literal) return false;
        pos += literal.size();
      }
    }
  }
  return star_pending || pos == name.size();
}

}  // namespace quoldex::search
