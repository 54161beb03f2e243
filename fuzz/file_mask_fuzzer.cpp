// The file mask list and matcher. The input up to its first NUL byte is a
// FileMask value, the rest a file name. The parsed list must keep its
// promises (never empty, sorted as the language sorts, lower case, trimmed, each entry holding a
// "*" or a "."), and a name the linear matcher accepts must also match by
// the plain backtracking reading of the mask ("*" any run, "?" one byte or,
// past the end of the name, none); a mask without wildcards matches only
// itself, and "*" everything.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "search/file_mask.h"
#include "search/file_search.h"
#include "text/western.h"

namespace {

using namespace quoldex;

bool Backtracking(std::string_view name, std::string_view mask) {
  if (mask.empty()) return name.empty();
  if (mask[0] == '*') {
    for (size_t skip = 0; skip <= name.size(); ++skip)
      if (Backtracking(name.substr(skip), mask.substr(1))) return true;
    return false;
  }
  if (mask[0] == '?') {
    if (name.empty()) return Backtracking(name, mask.substr(1));
    return Backtracking(name.substr(1), mask.substr(1));
  }
  return !name.empty() && name[0] == mask[0] && Backtracking(name.substr(1), mask.substr(1));
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(text::ToLower(static_cast<uint8_t>(c)));
  return out;
}

void Fail(const char* what, std::string_view mask, std::string_view name) {
  std::fprintf(stderr, "%s: mask '%.*s' name '%.*s'\n", what, static_cast<int>(mask.size()),
               mask.data(), static_cast<int>(name.size()), name.data());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);
  const size_t nul = input.find('\0');
  const std::string_view value = input.substr(0, nul);
  const std::string name =
      Lower(nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1));

  const std::vector<std::string> masks = search::ParseFileMask(value);
  if (masks.empty()) Fail("empty mask list", value, name);
  if (!std::is_sorted(masks.begin(), masks.end(), [](const std::string& a, const std::string& b) {
        return text::CompareLanguage(a, b, true) < 0;
      }))
    Fail("mask list not sorted", value, name);
  bool any = false;
  for (const std::string& mask : masks) {
    if (mask != Lower(mask)) Fail("mask not lower case", mask, name);
    if (mask.find_first_of("*.") == std::string::npos) Fail("mask without * or .", mask, name);
    if (!mask.empty() &&
        (static_cast<uint8_t>(mask.front()) <= 32 || static_cast<uint8_t>(mask.back()) <= 32))
      Fail("mask not trimmed", mask, name);
    const bool matches = search::MatchMask(name, mask);
    any = any || matches;
    if (matches && !Backtracking(name, mask)) Fail("matches only the linear way", mask, name);
    if (mask == "*" && !matches) Fail("* refused", mask, name);
    if (mask.find_first_of("*?") == std::string::npos && matches != (name == mask))
      Fail("plain mask", mask, name);
  }
  search::TFileSearch search;
  search.SetFileMask(std::string(value));
  if (!name.empty() && search.MatchesMask(name) != any) Fail("search disagrees", value, name);
  return 0;
}
