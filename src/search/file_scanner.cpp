#include "search/file_scanner.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace quoldex::search {
namespace {

// Reads up to `size` bytes, stopping early only at end of file. Returns the
// count read, or -1 on error.
ssize_t ReadFully(int fd, char* out, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = read(fd, out + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

int64_t FileScanner::FirstMatch(int fd, uint64_t length, TTISearch& searcher) {
  const auto overlap = static_cast<size_t>(std::max<int64_t>(searcher.PatternLength() - 1, 0));
  const size_t needed = static_cast<size_t>(std::min<uint64_t>(length, chunk_size_)) + overlap;
  if (capacity_ < needed) {
    buffer_ = std::make_unique_for_overwrite<char[]>(needed);
    capacity_ = needed;
  }

  uint64_t remaining = length;
  uint64_t base = 0;  // file position of buffer_[0], relative to the start
  size_t kept = 0;    // bytes carried over from the previous chunk
  while (remaining > 0) {
    const auto want = static_cast<size_t>(std::min<uint64_t>(remaining, chunk_size_));
    const ssize_t got = ReadFully(fd, buffer_.get() + kept, want);
    if (got < 0) return 0;
    const size_t filled = kept + static_cast<size_t>(got);
    if (const int64_t pos = searcher.Find(std::string_view(buffer_.get(), filled)); pos > 0)
      return static_cast<int64_t>(base) + pos;
    if (static_cast<size_t>(got) < want) break;  // the file ended early
    remaining -= want;
    kept = std::min(overlap, filled);
    std::memmove(buffer_.get(), buffer_.get() + filled - kept, kept);
    base += filled - kept;
  }
  return 0;
}

}  // namespace quoldex::search
