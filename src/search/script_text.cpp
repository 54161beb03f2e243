#include "search/script_text.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quoldex::search {
namespace {

// Writes `code_point` as UTF-8 at `out`; returns the byte count (1 to 4).
size_t AppendUtf8(uint32_t code_point, char* out) {
  auto byte = [](uint32_t value) { return static_cast<char>(static_cast<unsigned char>(value)); };
  if (code_point < 0x80) {
    out[0] = byte(code_point);
    return 1;
  }
  if (code_point < 0x800) {
    out[0] = byte(0xC0 | (code_point >> 6));
    out[1] = byte(0x80 | (code_point & 0x3F));
    return 2;
  }
  if (code_point < 0x10000) {
    out[0] = byte(0xE0 | (code_point >> 12));
    out[1] = byte(0x80 | ((code_point >> 6) & 0x3F));
    out[2] = byte(0x80 | (code_point & 0x3F));
    return 3;
  }
  out[0] = byte(0xF0 | (code_point >> 18));
  out[1] = byte(0x80 | ((code_point >> 12) & 0x3F));
  out[2] = byte(0x80 | ((code_point >> 6) & 0x3F));
  out[3] = byte(0x80 | (code_point & 0x3F));
  return 4;
}

constexpr uint32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

ScriptText::OpenResult ScriptText::Open(int dir_fd, const char* name) {
  Close();
  const int fd = openat(dir_fd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENXIO ? OpenResult::kNotRegularFile : OpenResult::kCannotOpen;
  if (fstat(fd, &status_) != 0) {
    close(fd);
    return OpenResult::kCannotOpen;
  }
  if (!S_ISREG(status_.st_mode)) {
    close(fd);
    return OpenResult::kNotRegularFile;
  }
  fd_ = fd;
  raw_left_ = static_cast<uint64_t>(status_.st_size);
  encoding_ = Encoding::kBytes;
  sniffed_ = false;
  carried_byte_ = -1;
  high_surrogate_ = 0;
  return OpenResult::kOpened;
}

void ScriptText::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  raw_left_ = 0;
}

uint64_t ScriptText::RemainingBound() const {
  // Before the first read the file may still turn out to be UTF-16.
  if (sniffed_ && encoding_ == Encoding::kBytes) return raw_left_;
  return (raw_left_ + 1) / 2 * 3 + 3;
}

ssize_t ScriptText::ReadRaw(char* out, size_t size) {
  size = static_cast<size_t>(std::min<uint64_t>(size, raw_left_));
  size_t done = 0;
  while (done < size) {
    const ssize_t n = read(fd_, out + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      raw_left_ = 0;
      return -1;
    }
    if (n == 0) {  // the file shrank since it was opened
      raw_left_ = 0;
      return static_cast<ssize_t>(done);
    }
    done += static_cast<size_t>(n);
  }
  raw_left_ -= done;
  return static_cast<ssize_t>(done);
}

ssize_t ScriptText::Read(char* out, size_t capacity) {
  if (fd_ < 0 || capacity < kMinReadSize) return fd_ < 0 ? 0 : -1;
  if (!sniffed_) return ReadFirst(out, capacity);
  if (encoding_ == Encoding::kBytes) return ReadRaw(out, capacity);
  return ReadUtf16(out, capacity);
}

ssize_t ScriptText::ReadFirst(char* out, size_t capacity) {
  // The mark is looked for in the bytes of the first read, which any text
  // needs anyway, rather than by a read of its own.
  sniffed_ = true;
  const ssize_t got = ReadRaw(out, capacity);
  if (got <= 0) return got;
  const auto n = static_cast<size_t>(got);
  const auto* head = reinterpret_cast<const unsigned char*>(out);
  if (n >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
    std::memmove(out, out + 3, n - 3);
    if (n > 3 || raw_left_ == 0) return static_cast<ssize_t>(n - 3);
    return ReadRaw(out, capacity);
  }
  const bool little = n >= 2 && head[0] == 0xFF && head[1] == 0xFE;
  const bool big = n >= 2 && head[0] == 0xFE && head[1] == 0xFF;
  if (!little && !big) return got;
  // A UTF-16 script (rare) is read again from behind its mark and decoded.
  encoding_ = little ? Encoding::kUtf16LittleEndian : Encoding::kUtf16BigEndian;
  constexpr off_t kMark = 2;
  if (lseek(fd_, kMark, SEEK_SET) != kMark) {
    Close();
    return -1;
  }
  raw_left_ += n - kMark;
  return ReadUtf16(out, capacity);
}

ssize_t ScriptText::ReadUtf16(char* out, size_t capacity) {
  size_t produced = 0;
  while (produced == 0) {
    if (raw_left_ == 0) {
      carried_byte_ = -1;  // a last odd byte is no character
      if (high_surrogate_ != 0) {
        high_surrogate_ = 0;
        produced += AppendUtf8(kReplacement, out);
      }
      return static_cast<ssize_t>(produced);
    }
    // A unit gives at most three bytes; a high surrogate left waiting by the
    // last read may turn out unpaired and give three more.
    const size_t units = (capacity - 3) / 3;
    const size_t start = carried_byte_ >= 0 ? 1 : 0;
    const size_t want = units * 2 - start;
    if (raw_capacity_ < want + start) {
      raw_ = std::make_unique_for_overwrite<char[]>(want + start);
      raw_capacity_ = want + start;
    }
    if (start == 1) raw_[0] = static_cast<char>(carried_byte_);
    carried_byte_ = -1;
    const ssize_t got = ReadRaw(raw_.get() + start, want);
    if (got < 0) return -1;
    size_t have = start + static_cast<size_t>(got);
    if (have % 2 == 1) carried_byte_ = static_cast<unsigned char>(raw_[--have]);
    const auto* bytes = reinterpret_cast<const unsigned char*>(raw_.get());
    const bool little = encoding_ == Encoding::kUtf16LittleEndian;
    for (size_t i = 0; i < have; i += 2) {
      uint32_t unit = little ? (bytes[i] | (bytes[i + 1] << 8)) : ((bytes[i] << 8) | bytes[i + 1]);
      if (high_surrogate_ != 0) {
        const uint32_t high = high_surrogate_;
        high_surrogate_ = 0;
        if (IsLowSurrogate(unit)) {
          produced +=
              AppendUtf8(0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00), out + produced);
          continue;
        }
        produced += AppendUtf8(kReplacement, out + produced);
      }
      if (IsHighSurrogate(unit)) {
        high_surrogate_ = unit;
        continue;
      }
      if (IsLowSurrogate(unit)) unit = kReplacement;
      produced += AppendUtf8(unit, out + produced);
    }
  }
  return static_cast<ssize_t>(produced);
}

}  // namespace quoldex::search
