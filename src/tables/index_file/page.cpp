#include "tables/index_file/page.h"

#include <cstring>

#include "tables/base/coding.h"
#include "tables/base/engine_error.h"

namespace quoldex::tables {

TPage::TPage(size_t key_length, const std::string* error_name)
    : key_length_(key_length), error_name_(error_name) {}

void TPage::Corrupt() const { throw EDbEngineError(kErrIndexPagesCorrupt, *error_name_); }

int TPage::Count() const { return GetLE<uint16_t>(buf_.data() + 1); }
int32_t TPage::Prev() const { return GetLE<int32_t>(buf_.data() + 3); }
int32_t TPage::Next() const { return GetLE<int32_t>(buf_.data() + 7); }

void TPage::Reset(Type type) {
  std::memset(buf_.data(), 0, kSize);
  buf_[0] = type;
}

void TPage::SetCount(int n) { PutLE(buf_.data() + 1, static_cast<uint16_t>(n)); }
void TPage::SetPrev(int32_t offset) { PutLE(buf_.data() + 3, offset); }
void TPage::SetNext(int32_t offset) { PutLE(buf_.data() + 7, offset); }

int32_t TPage::Record(int i) const { return GetLE<int32_t>(Entry(i) + key_length_); }
int32_t TPage::Child(int i) const { return GetLE<int32_t>(Entry(i) + key_length_); }
int32_t TPage::SubtreeCount(int i) const { return GetLE<int32_t>(Entry(i) + key_length_ + 4); }

int64_t TPage::SubtreeSize() const {
  int n = Count();
  if (IsLeaf()) return n;
  int64_t sum = 0;
  for (int i = 0; i < n; ++i) sum += SubtreeCount(i);
  return sum;
}

void TPage::SetKey(int i, const uint8_t* key) { std::memmove(Entry(i), key, key_length_); }

void TPage::SetSubtreeCount(int i, int64_t count) {
  if (count < 0 || count > kMaxSubtreeCount) Corrupt();
  PutLE(Entry(i) + key_length_ + 4, static_cast<int32_t>(count));
}

void TPage::InsertEntry(int i, const uint8_t* key, int32_t value, int64_t subtree_count) {
  int n = Count();
  if (n + 1 > Room() || i < 0 || i > n) Corrupt();
  size_t size = EntrySize();
  uint8_t* at = Entry(i);
  std::memmove(at + size, at, size_t(n - i) * size);
  std::memmove(at, key, key_length_);
  PutLE(at + key_length_, value);
  SetCount(n + 1);
  if (!IsLeaf()) SetSubtreeCount(i, subtree_count);
}

void TPage::RemoveEntry(int i) {
  int n = Count();
  if (i < 0 || i >= n) Corrupt();
  size_t size = EntrySize();
  uint8_t* at = Entry(i);
  std::memmove(at, at + size, size_t(n - i - 1) * size);
  std::memset(Entry(n - 1), 0, size);
  SetCount(n - 1);
}

void TPage::MoveEntries(TPage& src, int from, int n, TPage& dst, int at) {
  int src_count = src.Count();
  int dst_count = dst.Count();
  if (&src == &dst || src.IsLeaf() != dst.IsLeaf() || src.key_length_ != dst.key_length_ || n < 0 ||
      from < 0 || from + n > src_count || at < 0 || at > dst_count || dst_count + n > dst.Room()) {
    src.Corrupt();
  }
  if (n == 0) return;
  size_t size = src.EntrySize();
  uint8_t* d = dst.Entry(at);
  std::memmove(d + size_t(n) * size, d, size_t(dst_count - at) * size);
  std::memcpy(d, src.Entry(from), size_t(n) * size);
  dst.SetCount(dst_count + n);
  uint8_t* s = src.Entry(from);
  std::memmove(s, s + size_t(n) * size, size_t(src_count - from - n) * size);
  std::memset(src.Entry(src_count - n), 0, size_t(n) * size);
  src.SetCount(src_count - n);
}

int TPage::LowerBound(const uint8_t* key, size_t length, bool descending) const {
  int lo = 0, hi = Count();
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (CompareKeys(Entry(mid), key, length, descending) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

int TPage::UpperBound(const uint8_t* key, size_t length, bool descending) const {
  int lo = 0, hi = Count();
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (CompareKeys(Entry(mid), key, length, descending) <= 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

bool TPage::IsSane(int32_t limit) const {
  int32_t own_offset = offset_;
  if (buf_[0] > kRootLeaf || Count() > Capacity()) return false;
  auto link_ok = [&](int32_t link) {
    return link == 0 || (link != own_offset && ValidOffset(link, limit));
  };
  if (!link_ok(Prev()) || !link_ok(Next())) return false;
  if (!IsLeaf()) {
    for (int i = 0, n = Count(); i < n; ++i) {
      int32_t child = Child(i);
      int32_t count = SubtreeCount(i);
      if (child == own_offset || !ValidOffset(child, limit) || count < 1 ||
          count > kMaxSubtreeCount) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace quoldex::tables
