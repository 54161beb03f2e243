#include "search/ti_search.h"

#include <array>
#include <cassert>
#include <cstring>
#include <utility>

#include "text/western.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace quoldex::search {
namespace {

// For each folded byte, the byte values that fold to it. The Western table
// pairs every letter with exactly one other case, so no class has more than
// two members; a class of one repeats its member.
struct FoldClasses {
  std::array<std::array<uint8_t, 2>, 256> members{};

  FoldClasses() {
    std::array<int, 256> count{};
    const uint8_t* lower = text::LowerTable();
    for (int c = 0; c < 256; ++c) {
      const uint8_t f = lower[c];
      assert(count[f] < 2);
      members[f][count[f]++] = static_cast<uint8_t>(c);
    }
    for (int f = 0; f < 256; ++f)
      if (count[f] == 1) members[f][1] = members[f][0];
  }
};

const FoldClasses& Classes() {
  static const FoldClasses classes;
  return classes;
}

// A rough guess at how often a byte occurs in script sources: white space and
// frequent letters high, punctuation and digits lower, control and high bytes
// rare. Only the order matters: it picks the pattern bytes the filter keys on.
int Commonness(uint8_t c) {
  static constexpr char kLetters[] = "etaoinsrhldcumfpgwybvkxjqz";  // most frequent first
  if (c == ' ' || c == '\t' || c == '\n' || c == '\r') return 1000;
  if (c >= 'a' && c <= 'z') return 400 - 12 * static_cast<int>(std::strchr(kLetters, c) - kLetters);
  if (c >= 'A' && c <= 'Z')
    return (400 - 12 * static_cast<int>(std::strchr(kLetters, c + 32) - kLetters)) / 4;
  if (c >= '0' && c <= '9') return 40;
  if (c != 0 && std::strchr(";().,=\"/_{}", c) != nullptr) return 60;
  if (c > ' ' && c < 0x7F) return 20;
  return 1;
}

int ClassCommonness(uint8_t folded) {
  const auto& m = Classes().members[folded];
  return Commonness(m[0]) + (m[1] != m[0] ? Commonness(m[1]) : 0);
}

#if defined(__x86_64__)
bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace

void TTISearch::SetPattern(std::string_view pattern) {
  pattern_ = pattern;
  folded_ = text::LowerCase(pattern);
  if (folded_.empty()) return;

  // Key the filter on the rarest byte and on the rarest other byte (at
  // another position, preferably with another value).
  auto byte = [this](size_t i) { return static_cast<uint8_t>(folded_[i]); };
  rare1_ = 0;
  for (size_t i = 1; i < folded_.size(); ++i)
    if (ClassCommonness(byte(i)) < ClassCommonness(byte(rare1_))) rare1_ = i;
  auto key = [&](size_t i) { return std::pair(byte(i) == byte(rare1_), ClassCommonness(byte(i))); };
  rare2_ = rare1_;
  for (size_t i = 0; i < folded_.size(); ++i)
    if (i != rare1_ && (rare2_ == rare1_ || key(i) < key(rare2_))) rare2_ = i;
  const auto& classes = Classes().members;
  rare1_a_ = classes[byte(rare1_)][0];
  rare1_b_ = classes[byte(rare1_)][1];
  rare2_a_ = classes[byte(rare2_)][0];
  rare2_b_ = classes[byte(rare2_)][1];
}

int64_t TTISearch::Find(std::string_view text) {
  text_ = text;
  found_ = false;
  found_pos_ = 0;
  match_count_ = 0;
  if (pattern_.empty() || TextLength() < PatternLength()) return 0;
  window_end_ = 0;
  return FindNext();
}

int64_t TTISearch::FindNext() {
  found_ = false;
  found_pos_ = 0;
  if (pattern_.empty()) return 0;
  const int64_t from = window_end_;
  window_end_ += PatternLength();
  const int64_t at = window_end_ <= TextLength() ? Scan(from) : -1;
  if (at < 0) {
    if (window_end_ <= TextLength()) window_end_ = TextLength() + 1;
    return 0;
  }
  window_end_ = at + PatternLength();
  found_ = true;
  ++match_count_;
  found_pos_ = at + 1;
  return found_pos_;
}

bool TTISearch::MatchesAt(const uint8_t* at) const {
  const uint8_t* lower = text::LowerTable();
  const auto* p = reinterpret_cast<const uint8_t*>(folded_.data());
  for (size_t j = 0; j < folded_.size(); ++j)
    if (lower[at[j]] != p[j]) return false;
  return true;
}

int64_t TTISearch::Scan(int64_t from) const {
  const auto* t = reinterpret_cast<const uint8_t*>(text_.data());
  const int64_t last = TextLength() - PatternLength();  // last possible start
#if defined(__x86_64__)
  if (HasAvx2()) return ScanAvx2(t, from, last);
  return ScanSse2(t, from, last);
#else
  return ScanScalar(t, from, last);
#endif
}

int64_t TTISearch::ScanScalar(const uint8_t* t, int64_t from, int64_t last) const {
  for (int64_t k = from; k <= last; ++k) {
    const uint8_t c1 = t[k + rare1_], c2 = t[k + rare2_];
    if ((c1 == rare1_a_ || c1 == rare1_b_) && (c2 == rare2_a_ || c2 == rare2_b_) &&
        MatchesAt(t + k))
      return k;
  }
  return -1;
}

#if defined(__x86_64__)

// Tests 16 candidate starts at once: a start survives when the text bytes
// under both rare positions belong to their fold classes; survivors are
// verified in full, leftmost first. Loads stay inside the text because every
// candidate in a block is at most `last`.
int64_t TTISearch::ScanSse2(const uint8_t* t, int64_t from, int64_t last) const {
  const __m128i a1 = _mm_set1_epi8(static_cast<char>(rare1_a_));
  const __m128i b1 = _mm_set1_epi8(static_cast<char>(rare1_b_));
  const __m128i a2 = _mm_set1_epi8(static_cast<char>(rare2_a_));
  const __m128i b2 = _mm_set1_epi8(static_cast<char>(rare2_b_));
  int64_t k = from;
  for (; k + 16 <= last + 1; k += 16) {
    const __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + k + rare1_));
    const __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + k + rare2_));
    const __m128i eq1 = _mm_or_si128(_mm_cmpeq_epi8(x1, a1), _mm_cmpeq_epi8(x1, b1));
    const __m128i eq2 = _mm_or_si128(_mm_cmpeq_epi8(x2, a2), _mm_cmpeq_epi8(x2, b2));
    for (auto mask = static_cast<uint32_t>(_mm_movemask_epi8(_mm_and_si128(eq1, eq2))); mask;
         mask &= mask - 1) {
      const int64_t at = k + __builtin_ctz(mask);
      if (MatchesAt(t + at)) return at;
    }
  }
  return ScanScalar(t, k, last);
}

// The same filter 32 starts at a time.
__attribute__((target("avx2"))) int64_t TTISearch::ScanAvx2(const uint8_t* t, int64_t from,
                                                            int64_t last) const {
  const __m256i a1 = _mm256_set1_epi8(static_cast<char>(rare1_a_));
  const __m256i b1 = _mm256_set1_epi8(static_cast<char>(rare1_b_));
  const __m256i a2 = _mm256_set1_epi8(static_cast<char>(rare2_a_));
  const __m256i b2 = _mm256_set1_epi8(static_cast<char>(rare2_b_));
  int64_t k = from;
  for (; k + 32 <= last + 1; k += 32) {
    const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + k + rare1_));
    const __m256i x2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + k + rare2_));
    const __m256i eq1 = _mm256_or_si256(_mm256_cmpeq_epi8(x1, a1), _mm256_cmpeq_epi8(x1, b1));
    const __m256i eq2 = _mm256_or_si256(_mm256_cmpeq_epi8(x2, a2), _mm256_cmpeq_epi8(x2, b2));
    for (auto mask = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(eq1, eq2))); mask;
         mask &= mask - 1) {
      const int64_t at = k + __builtin_ctz(mask);
      if (MatchesAt(t + at)) return at;
    }
  }
  return ScanSse2(t, k, last);
}

#endif

}  // namespace quoldex::search
