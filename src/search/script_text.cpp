#include "search/script_text.h"

#include <algorithm>
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

ScriptText::OpenResult ScriptText::Start(uint64_t size) {
  size_ = size;
  raw_left_ = size;
  encoding_ = Encoding::kBytes;
  mark_pending_ = true;
  carried_byte_ = -1;
  high_surrogate_ = 0;
  return OpenResult::kOpened;
}

ssize_t ScriptText::ReadFirst(char* out, size_t capacity) {
  mark_pending_ = false;
  const ssize_t got = ReadRaw(out, capacity);
  if (got < 0) return got;
  const auto* head = reinterpret_cast<const unsigned char*>(out);
  if (got >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
    // The piece read whole what it could (capacity >= kMinReadSize): with
    // the mark gone, an empty rest is the end of the text.
    std::memmove(out, out + 3, static_cast<size_t>(got) - 3);
    return got - 3;
  }
  const bool little = got >= 2 && head[0] == 0xFF && head[1] == 0xFE;
  const bool big = got >= 2 && head[0] == 0xFE && head[1] == 0xFF;
  if (!little && !big) return got;
  // UTF-16 (rare): read it again from behind its mark.
  encoding_ = little ? Encoding::kUtf16LittleEndian : Encoding::kUtf16BigEndian;
  if (!SeekTo(2)) {
    raw_left_ = 0;
    return -1;
  }
  raw_left_ = size_ - std::min<uint64_t>(size_, 2);
  return ReadUtf16(out, capacity);
}

void ScriptText::Close() {
  if (file_ != kNoFile) CloseFile();
  file_ = kNoFile;
  raw_left_ = 0;
}

uint64_t ScriptText::RemainingBound() const {
  // Before the first read the file may yet turn out to be UTF-16.
  if (encoding_ == Encoding::kBytes && !mark_pending_) return raw_left_;
  return (raw_left_ + 1) / 2 * 3 + 3;
}

ssize_t ScriptText::ReadRaw(char* out, size_t size) {
  size = static_cast<size_t>(std::min<uint64_t>(size, raw_left_));
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ReadSome(out + done, size - done);
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
  if (file_ == kNoFile || capacity < kMinReadSize) return file_ == kNoFile ? 0 : -1;
  if (mark_pending_) return ReadFirst(out, capacity);
  if (encoding_ == Encoding::kBytes) return ReadRaw(out, capacity);
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
