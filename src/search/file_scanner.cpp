#include "search/file_scanner.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace quoldex::search {

int64_t FileScanner::FirstMatch(ScriptText& text, TTISearch& searcher) {
  const auto overlap = static_cast<size_t>(std::max<int64_t>(searcher.PatternLength() - 1, 0));
  const size_t chunk = std::max(chunk_size_, ScriptText::kMinReadSize);
  // A short text is read whole in one go: its chunk need be no larger.
  const size_t first_read =
      std::max(static_cast<size_t>(std::min<uint64_t>(text.RemainingBound(), chunk)),
               ScriptText::kMinReadSize);
  const size_t needed = first_read + overlap;
  if (capacity_ < needed) {
    buffer_ = std::make_unique_for_overwrite<char[]>(needed);
    capacity_ = needed;
  }

  uint64_t base = 0;  // text position of buffer_[0]
  size_t kept = 0;    // bytes carried over from the previous chunk
  size_t want = first_read;
  for (;;) {
    const ssize_t got = text.Read(buffer_.get() + kept, want);
    if (got <= 0) return 0;
    const size_t filled = kept + static_cast<size_t>(got);
    if (const int64_t pos = searcher.Find(std::string_view(buffer_.get(), filled)); pos > 0)
      return static_cast<int64_t>(base) + pos;
    kept = std::min(overlap, filled);
    std::memmove(buffer_.get(), buffer_.get() + filled - kept, kept);
    base += filled - kept;
    // At least first_read (>= kMinReadSize) bytes stay free after `kept`.
    want = std::min(chunk, capacity_ - kept);
  }
}

}  // namespace quoldex::search
