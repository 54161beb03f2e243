// The plain byte-at-a-time window search that TTISearch's results must equal
// (tests) and that its scan is measured against (benchmarks).
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "text/western.h"

namespace quoldex::search::testing {

// The byte-at-a-time window search the component's results must equal: a
// right-to-left window compare moved by a bad-character table of the last
// occurrence of each folded byte. Returns each match's (position, window end).
inline std::vector<std::pair<int64_t, int64_t>> PlainWindowSearch(std::string_view pattern,
                                                                  std::string_view text) {
  const uint8_t* lower = text::LowerTable();
  auto l = [&](std::string_view s, int64_t i) { return lower[static_cast<uint8_t>(s[i - 1])]; };
  const auto m = static_cast<int64_t>(pattern.size()), n = static_cast<int64_t>(text.size());
  std::vector<std::pair<int64_t, int64_t>> found;
  if (n < m) return found;
  int64_t shift[256];
  for (int64_t& v : shift) v = m + 1;
  for (int64_t i = 1; i <= m; ++i) shift[l(pattern, i)] = m + 1 - i;
  auto reference = [&](int64_t i) { return i <= n ? l(text, i) : 0; };  // 0 ends the text
  int64_t window_end = 0;
  while (true) {
    window_end += m;
    bool matched = false;
    while (window_end <= n) {
      if (l(text, window_end) != l(pattern, m)) {
        window_end += shift[reference(window_end + 1)];
        continue;
      }
      int64_t j = m - 1;
      while (j >= 1 && l(pattern, j) == l(text, window_end - (m - j))) --j;
      if (j == 0) {
        matched = true;
        break;
      }
      window_end += shift[reference(window_end - (m - j) + 1)];
    }
    if (!matched) return found;
    found.emplace_back(window_end - m + 1, window_end);
  }
}

}  // namespace quoldex::search::testing
