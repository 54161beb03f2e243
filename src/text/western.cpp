#include "text/western.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quoldex::text {
namespace {

struct Tables {
  std::array<uint8_t, 256> lower{};
  std::array<uint8_t, 256> upper{};
  // Primary weight: class (symbol 0, digit 1, letter 2) in the high bits,
  // then the base letter or the byte itself.
  std::array<uint16_t, 256> primary{};
  // The primary weight as one byte: its rank among the distinct weights,
  // from 1, so that order is kept and zero is left for padding.
  std::array<uint8_t, 256> primary_rank{};

  Tables() {
    for (int c = 0; c < 256; ++c) lower[c] = upper[c] = static_cast<uint8_t>(c);
    auto pair = [this](int up, int low) {
      lower[up] = static_cast<uint8_t>(low);
      upper[low] = static_cast<uint8_t>(up);
    };
    for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 32);
    for (int c = 0xC0; c <= 0xDE; ++c)
      if (c != 0xD7) pair(c, c + 32);
    pair(0x8A, 0x9A);  // Š š
    pair(0x8C, 0x9C);  // Œ œ
    pair(0x8E, 0x9E);  // Ž ž
    pair(0x9F, 0xFF);  // Ÿ ÿ

    // Base letters of the accented lower-case letters 0xE0..0xFF.
    static const char kBase[] = "aaaaaaaceeeeiiiidnooooo/ouuuuyty";
    for (int c = 0; c < 256; ++c) {
      int l = lower[c];
      int base = -1;
      if (l >= 'a' && l <= 'z')
        base = l;
      else if (l >= 0xE0 && l != 0xF7)
        base = kBase[l - 0xE0];
      else if (l == 0xDF)
        base = 's';  // ß
      else if (l == 0x9A)
        base = 's';
      else if (l == 0x9C)
        base = 'o';
      else if (l == 0x9E)
        base = 'z';
      if (base >= 0) {
        primary[c] =
            static_cast<uint16_t>(0x200 + base * 2 + (l == 0xE6 || l == 0x9C || l == 0xDF));
      } else if (c >= '0' && c <= '9') {
        primary[c] = static_cast<uint16_t>(0x100 + c);
      } else {
        primary[c] = static_cast<uint16_t>(c);
      }
    }
    std::array<uint16_t, 256> sorted = primary;
    std::sort(sorted.begin(), sorted.end());
    auto end = std::unique(sorted.begin(), sorted.end());
    // About 190 distinct weights: each rank fits one byte.
    for (int c = 0; c < 256; ++c)
      primary_rank[c] = static_cast<uint8_t>(std::lower_bound(sorted.begin(), end, primary[c]) -
                                             sorted.begin() + 1);
  }
};

const Tables& T() {
  static const Tables t;
  return t;
}

int Sign(int v) { return (v > 0) - (v < 0); }

}  // namespace

const uint8_t* LowerTable() { return T().lower.data(); }
uint8_t ToUpper(uint8_t c) { return T().upper[c]; }

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (auto& ch : r) ch = static_cast<char>(ToLower(static_cast<uint8_t>(ch)));
  return r;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ToLower(static_cast<uint8_t>(a[i])) != ToLower(static_cast<uint8_t>(b[i]))) return false;
  return true;
}

int CompareLanguage(std::string_view a, std::string_view b, bool ignore_case) {
  const Tables& t = T();
  size_t n = a.size() < b.size() ? a.size() : b.size();
  auto ua = [&](size_t i) { return static_cast<uint8_t>(a[i]); };
  auto ub = [&](size_t i) { return static_cast<uint8_t>(b[i]); };
  for (size_t i = 0; i < n; ++i) {
    if (int d = t.primary[ua(i)] - t.primary[ub(i)]) return Sign(d);
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < n; ++i) {  // accents
    if (int d = t.lower[ua(i)] - t.lower[ub(i)]) return Sign(d);
  }
  if (ignore_case) return 0;
  for (size_t i = 0; i < n; ++i) {  // case: lower before upper
    bool la = t.lower[ua(i)] == ua(i), lb = t.lower[ub(i)] == ub(i);
    if (la != lb) return la ? -1 : 1;
  }
  return 0;
}

size_t SortKeyLength(size_t chars, bool ignore_case) {
  return 2 * chars + (ignore_case ? 0 : (chars + 7) / 8);
}

void SortKey(std::string_view s, size_t chars, bool ignore_case, uint8_t* out) {
  const Tables& t = T();
  size_t n = std::min(s.size(), chars);
  std::memset(out, 0, SortKeyLength(chars, ignore_case));
  uint8_t* accents = out + chars;
  uint8_t* cases = accents + chars;
  for (size_t i = 0; i < n; ++i) {
    uint8_t c = static_cast<uint8_t>(s[i]);
    out[i] = t.primary_rank[c];
    accents[i] = t.lower[c];
    if (!ignore_case && t.lower[c] != c) cases[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  }
}

}  // namespace quoldex::text
