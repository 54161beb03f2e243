// TTISearch: finds a pattern in a text, ignoring case through the Western
// code page table (ASCII and accented Latin letters fold).
//
// Results are those of a left-to-right scan for non-overlapping matches:
// Find gives the leftmost match, each FindNext the leftmost match that starts
// after the previous one ended, in increasing order, then 0 for ever. The
// pattern is prepared once by SetPattern and reused for any number of texts.
//
// Positions are 1-based byte offsets and 64-bit, so texts of any size work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quoldex::search {

class TTISearch {
 public:
  TTISearch() = default;

  // Stores the pattern and prepares the scan. Does not reset the text or the
  // results: a caller that changes the pattern starts again with Find.
  void SetPattern(std::string_view pattern);

  // Starts a search of `text` and returns the 1-based position of its first
  // match, or 0. The text is not copied: it must stay alive and unchanged as
  // long as FindNext is called on it. Resets Found, FoundPos and MatchCount.
  // A text shorter than the pattern (or an empty pattern) gives 0 at once and
  // leaves WindowEnd alone.
  int64_t Find(std::string_view text);

  // The 1-based position of the next match not overlapping the last one
  // reported, or 0 once there is none.
  int64_t FindNext();

  // True when the last Find or FindNext found a match.
  bool Found() const { return found_; }
  // 1-based start of the last match, 0 when the last call found none.
  int64_t FoundPos() const { return found_pos_; }
  // Matches reported since the last Find.
  int64_t MatchCount() const { return match_count_; }
  // 1-based position of the last byte of the current window: after a match,
  // the match's last byte; once the text is exhausted, past its end.
  int64_t WindowEnd() const { return window_end_; }

  const std::string& Pattern() const { return pattern_; }
  int64_t PatternLength() const { return static_cast<int64_t>(pattern_.size()); }
  int64_t TextLength() const { return static_cast<int64_t>(text_.size()); }

 private:
  // 0-based start of the leftmost match starting at `from` or later, or -1.
  // Requires from + pattern length <= text length.
  int64_t Scan(int64_t from) const;
  int64_t ScanScalar(const uint8_t* text, int64_t from, int64_t last) const;
#if defined(__x86_64__)
  int64_t ScanSse2(const uint8_t* text, int64_t from, int64_t last) const;
  int64_t ScanAvx2(const uint8_t* text, int64_t from, int64_t last) const;
#endif
  bool MatchesAt(const uint8_t* at) const;

  std::string_view text_;
  std::string pattern_;
  std::string folded_;  // pattern_ through the lower-case table
  int64_t match_count_ = 0;
  int64_t window_end_ = 0;
  int64_t found_pos_ = 0;
  bool found_ = false;

  // Candidate filter: two pattern positions chosen for rare bytes, and for
  // each the (one or two) byte values that fold to the pattern's byte there.
  size_t rare1_ = 0, rare2_ = 0;
  uint8_t rare1_a_ = 0, rare1_b_ = 0, rare2_a_ = 0, rare2_b_ = 0;
};

}  // namespace quoldex::search
