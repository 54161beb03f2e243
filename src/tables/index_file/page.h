// TPage: one 4096-byte page of an index B+tree, as cached in memory.
//
// Layout (little-endian): a 13-byte header
//   0 u8  type: 0 root (interior), 1 interior, 2 leaf, 3 root that is a leaf
//   1 u16 entry count (0 on a free page)
//   3 i32 previous page on the same level, 0 for none
//   7 i32 next page on the same level (on a free page: next free page)
//  11 u16 bytes used by compressed leaf entries (always 0 here)
// then packed entries in ascending key order:
//   leaf:     key, record number (i32)
//   interior: key, child page offset (i32), leaf entries under that child (i32)
// Capacities follow the file format's formulas, 4083 / (key length + 6) for
// leaves and 4083 / (key length + 10) for interior pages.
//
// The buffer has room for one entry beyond capacity, so an insert may overfill
// a page before it is split. Entry indexes passed to accessors must be below
// Count() (the callers' contract); operations that add entries check the room
// and raise kErrIndexPagesCorrupt rather than write past the buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "tables/index_file/key_codec.h"

namespace quoldex::tables {

class TPage {
 public:
  static constexpr size_t kSize = 4096;
  static constexpr size_t kHeaderSize = 13;
  static constexpr size_t kAreaSize = kSize - kHeaderSize;
  // Bound on a subtree count read from a file (keeps arithmetic in range).
  static constexpr int32_t kMaxSubtreeCount = 2000000000;

  enum Type : uint8_t { kRoot = 0, kInterior = 1, kLeaf = 2, kRootLeaf = 3 };

  static int LeafCapacity(size_t key_length) {
    return static_cast<int>(kAreaSize / (key_length + 6));
  }
  static int InteriorCapacity(size_t key_length) {
    return static_cast<int>(kAreaSize / (key_length + 10));
  }
  // True for a page offset that can name a page: a positive multiple of
  // 4096 below `limit` (the file's next page offset).
  static bool ValidOffset(int64_t offset, int64_t limit) {
    return offset >= static_cast<int64_t>(kSize) && offset % kSize == 0 && offset < limit;
  }

  // `error_name` (the data file name for kErrIndexPagesCorrupt) must outlive
  // the page.
  TPage(size_t key_length, const std::string* error_name);

  // Where the page lives in the file (0: nowhere yet) and whether memory
  // holds changes the file lacks. Kept by the page cache.
  int32_t Offset() const { return offset_; }
  void SetOffset(int32_t offset) { offset_ = offset; }
  bool IsDirty() const { return dirty_; }
  void SetDirty(bool dirty) { dirty_ = dirty; }

  uint8_t* Data() { return buf_.data(); }
  const uint8_t* Data() const { return buf_.data(); }
  size_t KeyLength() const { return key_length_; }

  Type PageType() const { return static_cast<Type>(buf_[0]); }
  bool IsLeaf() const { return buf_[0] >= kLeaf; }
  bool IsRoot() const { return buf_[0] == kRoot || buf_[0] == kRootLeaf; }
  int Count() const;
  int32_t Prev() const;
  int32_t Next() const;
  int Capacity() const {
    return IsLeaf() ? LeafCapacity(key_length_) : InteriorCapacity(key_length_);
  }

  // Clears the whole page and gives it `type` (no entries, no links).
  void Reset(Type type);
  void SetType(Type type) { buf_[0] = type; }
  void SetPrev(int32_t offset);
  void SetNext(int32_t offset);

  const uint8_t* Key(int i) const { return Entry(i); }
  int32_t Record(int i) const;        // leaf entries
  int32_t Child(int i) const;         // interior entries
  int32_t SubtreeCount(int i) const;  // interior entries
  // Leaf entries in this page's subtree: the count of a leaf, the sum of the
  // subtree counts of an interior page.
  int64_t SubtreeSize() const;

  void SetKey(int i, const uint8_t* key);
  void SetSubtreeCount(int i, int64_t count);
  // Inserts an entry at `i`: a leaf takes (key, record); an interior page
  // (key, child, subtree count).
  void InsertEntry(int i, const uint8_t* key, int32_t value, int64_t subtree_count = 0);
  void RemoveEntry(int i);
  // Moves `n` entries starting at `from` of `src` into `dst` before entry
  // `at`; both pages are of the same kind (leaf or interior).
  static void MoveEntries(TPage& src, int from, int n, TPage& dst, int at);

  // First entry whose first `length` key bytes are >= key (> key for
  // UpperBound); Count() when none.
  int LowerBound(const uint8_t* key, size_t length, bool descending) const;
  int UpperBound(const uint8_t* key, size_t length, bool descending) const;

  // Checks a page just read from disk so that using it can never reach past
  // the buffer: a known type, a count within capacity, sibling links and
  // child offsets that name pages below `limit`, subtree counts in range.
  bool IsSane(int32_t limit) const;

 private:
  // Room for capacity + 1 entries of the largest key.
  static constexpr size_t kBufferSize = kSize + kMaxKeyLength + 8;

  size_t EntrySize() const { return key_length_ + (IsLeaf() ? 4 : 8); }
  int Room() const { return static_cast<int>((kBufferSize - kHeaderSize) / EntrySize()); }
  uint8_t* Entry(int i) { return buf_.data() + kHeaderSize + size_t(i) * EntrySize(); }
  const uint8_t* Entry(int i) const { return buf_.data() + kHeaderSize + size_t(i) * EntrySize(); }
  void SetCount(int n);
  [[noreturn]] void Corrupt() const;

  size_t key_length_;
  const std::string* error_name_;
  int32_t offset_ = 0;
  bool dirty_ = false;
  alignas(64) std::array<uint8_t, kBufferSize> buf_{};
};

}  // namespace quoldex::tables
