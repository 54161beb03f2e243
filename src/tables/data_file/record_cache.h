// The record cache of a data file: `TRecord` buffers of one record slot
// each, most recently used first, found by record number in O(1).
//
// Capacity is min(131070 / record size, 65535) buffers. A buffer handed out is
// pinned; pinning one buffer more than 64 times fails with
// kErrRecordBuffersCorrupt. On a miss the cache reads ahead (ReadAhead) in one
// read call. To make room it reuses the least recently used buffer that is
// neither pinned nor dirty; when there is none it writes every dirty unpinned
// buffer (sorted by record number, one write call per run of consecutive record
// numbers) and looks again; when there is still none the request fails with
// kErrRecordBuffersCorrupt, unless the cache may grow (a transaction), when its
// capacity is raised by 1024.
//
// Behind the buffers there may be a shelf of clean slot images
// (page_cache_shelf.h): a miss whose slots are all kept there is served from
// it instead of the file, filling exactly the buffers the read would have
// filled. A clean buffer that is reused goes on the shelf when its slot was
// read alone, created here or asked for more than once, but not when it was
// read in a run and used once (a scan, which would push everything else off);
// writing a slot takes its old image off. Discard clears it.
//
// Buffers are made as the cache fills, in slabs that double (a table that
// holds a few records never pays for a full cache), and live as long as the
// cache; after warm-up a miss allocates nothing.
// Errors name the file's ErrorName().
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "tables/storage/file_handler.h"
#include "tables/storage/page_cache_shelf.h"

namespace quoldex::tables {

class RecordCache;

// One slot's bytes in the cache. Valid while pinned.
class TRecord {
 public:
  int32_t RecordNumber() const { return record_number_; }
  uint8_t* Data() { return data_; }
  const uint8_t* Data() const { return data_; }
  bool IsDirty() const { return dirty_; }
  // The buffer differs from the slot on disk and must be written.
  void MarkDirty();
  int PinCount() const { return pins_; }

 private:
  friend class RecordCache;
  TRecord(RecordCache* cache, uint8_t* data) : cache_(cache), data_(data) {}

  RecordCache* cache_;
  uint8_t* data_;
  int32_t record_number_ = 0;  // 0: holds no record
  int pins_ = 0;
  bool dirty_ = false;
  bool queued_ = false;      // in the cache's list of dirty buffers
  bool keep_ = true;         // goes on the shelf when it leaves clean
  bool used_ = true;         // handed out since it was filled
  TRecord* prev_ = nullptr;  // towards the most recently used
  TRecord* next_ = nullptr;
};

// How many slots a miss reads.
struct ReadAhead {
  enum class Order : uint8_t { kNone, kPhysical, kIndex };
  Order order = Order::kNone;
  // kIndex: the record numbers that the index entries after the requested
  // one name, in index order. Only the leading run that continues the
  // requested number by +1 each is read.
  std::span<const int32_t> upcoming;

  static ReadAhead None() { return {}; }
  static ReadAhead Physical() { return {Order::kPhysical, {}}; }
  static ReadAhead Index(std::span<const int32_t> next) { return {Order::kIndex, next}; }
};

class RecordCache {
 public:
  static constexpr int kMaxPins = 64;
  static constexpr int kReadAheadBytes = 32767;

  // Slot n of `file` lies at region_start + (n - 1) × record_size. The file
  // must outlive the cache. `shelf_bytes` bounds the shelf of slot images
  // behind the buffers (0: none).
  RecordCache(TFileHandler& file, uint16_t record_size, uint64_t region_start,
              size_t shelf_bytes = 0);
  RecordCache(const RecordCache&) = delete;
  RecordCache& operator=(const RecordCache&) = delete;

  size_t Capacity() const { return capacity_; }
  uint16_t RecordSize() const { return record_size_; }
  bool IsCached(int32_t record_number) const { return map_.Find(record_number) != nullptr; }
  // True when the shelf keeps an image of the slot (always false without one).
  bool IsShelved(int32_t record_number) const {
    return shelf_ != nullptr && shelf_->Contains(record_number);
  }
  // The gate the shelf asks before its images serve a miss (Shelf::Usable).
  void SetShelfGate(ShelfGate* gate) {
    if (shelf_) shelf_->SetGate(gate);
  }

  // The pinned buffer of slot `record_number`, 1 <= record_number < end
  // (end = the next record number). On a miss reads the slot and, per
  // `ahead`, the following slots up to min(32767 / record size, end -
  // record_number) slots in all, stopping before the first slot already
  // cached. Read-ahead never writes to make room; it stops instead.
  TRecord* Fetch(int32_t record_number, int32_t end, const ReadAhead& ahead);
  // The bytes the cache holds for slot `record_number`: its buffer when
  // cached, else its kept image when the shelf is usable; nullptr when
  // neither. Nothing is read, pinned or reordered but the shelf's use
  // order. Valid until the next call on the cache.
  const uint8_t* Lookup(int32_t record_number);
  // Places `images[i]`, the bytes of slot `numbers[i]`, into a buffer as
  // read-ahead for each slot the cache does not hold yet, in the order
  // given (the soonest needed first), as far as buffers can be had without
  // writing: new ones below capacity, else the least recently used clean,
  // unpinned ones, never one placed by this call. Returns how many were
  // placed; a slot left out is simply read when it is asked for.
  size_t Adopt(std::span<const int32_t> numbers, std::span<const uint8_t* const> images);
  // A pinned, zero-filled, dirty buffer for slot `record_number`, which
  // does not exist on disk yet (an append); nothing is read.
  TRecord* Create(int32_t record_number);
  // Drops one pin; kErrRecordBuffersCorrupt when the buffer is not pinned.
  void Unpin(TRecord* record);

  // Writes every dirty buffer, pinned or not, sorted by record number, one
  // write call per run of consecutive record numbers.
  void WriteDirty() { WriteDirtyBuffers(false); }
  // Forgets every cached record, dirty ones included, and clears the shelf
  // (another user changed the file). A buffer still pinned stays valid for
  // its holder but is no longer found; it is reused once unpinned.
  void Discard();
  // In a transaction the cache grows by 1024 buffers instead of failing.
  void SetGrowWhenFull(bool grow) { grow_when_full_ = grow; }

 private:
  uint64_t SlotOffset(int32_t record_number) const;
  // An unpinned buffer holding no record: a new one while below capacity, else
  // the least recently used clean one, after writing the dirty unpinned buffers
  // if needed; grows or throws kErrRecordBuffersCorrupt when there is none.
  TRecord* TakeBuffer();
  TRecord* NewBuffer();  // linked at the front
  TRecord* FindVictim() const;
  // May be reused without writing: unpinned, and clean or holding nothing.
  static bool Spare(const TRecord* record);
  // Fills `r` (and read-ahead buffers after it) with slots first..first +
  // count - 1 from the shelf; false when the shelf lacks any of them.
  bool FillFromShelf(TRecord* r, int32_t first, int32_t count);
  // Places slots first + 1 .. first + count - 1 of `images` behind `r`.
  void PlaceReadAhead(TRecord* r, int32_t first, int32_t count, const uint8_t* images);
  // Holds no record any more, not dirty; a clean record goes on the shelf.
  void Detach(TRecord* record);
  // A buffer of at least `bytes`, valid until the next call.
  uint8_t* Scratch(size_t bytes);
  // Keeps a copy of slot `record_number`'s image on the shelf.
  void Shelve(int32_t record_number, const uint8_t* image);
  void Pin(TRecord* record);
  void Unlink(TRecord* record);
  void LinkFront(TRecord* record);
  void LinkAfter(TRecord* before, TRecord* record);
  void Release(TRecord* record);  // back to holding nothing, at the LRU end
  void WriteDirtyBuffers(bool unpinned_only);
  [[noreturn]] void Fail(int code) const;

  friend class TRecord;
  TFileHandler& file_;
  const uint16_t record_size_;
  const uint64_t region_start_;
  size_t capacity_;
  bool grow_when_full_ = false;
  std::deque<TRecord> records_;
  std::vector<std::unique_ptr<uint8_t[]>> slabs_;
  size_t slab_free_ = 0;  // buffers left in the last slab
  KeyMap<TRecord*> map_;
  std::unique_ptr<Shelf<std::unique_ptr<uint8_t[]>>> shelf_;
  TRecord* head_ = nullptr;  // most recently used
  TRecord* tail_ = nullptr;
  std::vector<TRecord*> dirty_;  // every dirty buffer, possibly some clean ones
  std::vector<TRecord*> work_;
  std::unique_ptr<uint8_t[]> scratch_;  // reads and writes of runs, not zero-filled
  size_t scratch_size_ = 0;
};

inline void TRecord::MarkDirty() {
  dirty_ = true;
  if (!queued_) {
    queued_ = true;
    cache_->dirty_.push_back(this);
  }
}

}  // namespace quoldex::tables
