#include "tables/data_file/record_cache.h"

#include <algorithm>
#include <cstring>

#include "tables/base/engine_error.h"

namespace quoldex::tables {
namespace {

constexpr size_t kGrowth = 1024;
// Buffers of the first slab; each later slab doubles what there is, up to
// the capacity, so that a table that holds a few records never pays for
// the buffers (and their map) of a full cache.
constexpr size_t kFirstSlab = 32;

size_t InitialCapacity(uint16_t record_size) {
  size_t n = 131070 / record_size;
  return std::max<size_t>(1, std::min<size_t>(n, 65535));
}

}  // namespace

RecordCache::RecordCache(TFileHandler& file, uint16_t record_size, uint64_t region_start,
                         size_t shelf_bytes)
    : file_(file),
      record_size_(record_size),
      region_start_(region_start),
      capacity_(InitialCapacity(record_size)) {
  if (shelf_bytes != 0) {
    shelf_ = std::make_unique<Shelf<std::unique_ptr<uint8_t[]>>>(shelf_bytes / record_size);
  }
}

void RecordCache::Fail(int code) const { throw EDbEngineError(code, file_.ErrorName()); }

uint64_t RecordCache::SlotOffset(int32_t record_number) const {
  return region_start_ + static_cast<uint64_t>(record_number - 1) * record_size_;
}

void RecordCache::Unlink(TRecord* r) {
  (r->prev_ ? r->prev_->next_ : head_) = r->next_;
  (r->next_ ? r->next_->prev_ : tail_) = r->prev_;
  r->prev_ = r->next_ = nullptr;
}

void RecordCache::LinkFront(TRecord* r) {
  r->prev_ = nullptr;
  r->next_ = head_;
  (head_ ? head_->prev_ : tail_) = r;
  head_ = r;
}

void RecordCache::LinkAfter(TRecord* before, TRecord* r) {
  r->prev_ = before;
  r->next_ = before->next_;
  (before->next_ ? before->next_->prev_ : tail_) = r;
  before->next_ = r;
}

void RecordCache::Release(TRecord* r) {
  Detach(r);
  Unlink(r);
  r->next_ = nullptr;
  r->prev_ = tail_;
  (tail_ ? tail_->next_ : head_) = r;
  tail_ = r;
}

TRecord* RecordCache::NewBuffer() {
  if (slab_free_ == 0) {
    const size_t count =
        std::min(std::max(kFirstSlab, records_.size()), capacity_ - records_.size());
    slabs_.push_back(std::make_unique_for_overwrite<uint8_t[]>(count * record_size_));
    slab_free_ = count;
  }
  map_.Reserve(records_.size() + 1);
  uint8_t* data = slabs_.back().get() + (--slab_free_) * record_size_;
  TRecord* r = &records_.emplace_back(TRecord(this, data));
  LinkFront(r);
  return r;
}

bool RecordCache::Spare(const TRecord* r) {
  // A buffer dropped by Discard while pinned may still carry a dirty flag;
  // it holds no record, so nothing needs writing.
  return r->pins_ == 0 && (!r->dirty_ || r->record_number_ == 0);
}

TRecord* RecordCache::FindVictim() const {
  for (TRecord* r = tail_; r; r = r->prev_)
    if (Spare(r)) return r;
  return nullptr;
}

uint8_t* RecordCache::Scratch(size_t bytes) {
  if (scratch_size_ < bytes) {
    scratch_ = std::make_unique_for_overwrite<uint8_t[]>(bytes);
    scratch_size_ = bytes;
  }
  return scratch_.get();
}

void RecordCache::Shelve(int32_t record_number, const uint8_t* image) {
  std::unique_ptr<uint8_t[]>& kept = shelf_->Place(record_number);
  if (!kept) kept = std::make_unique<uint8_t[]>(record_size_);
  std::memcpy(kept.get(), image, record_size_);
}

void RecordCache::Detach(TRecord* r) {
  if (r->record_number_ != 0) {
    // A clean slot leaving the cache is what the file holds.
    if (shelf_ && r->keep_ && !r->dirty_ && !shelf_->Contains(r->record_number_)) {
      Shelve(r->record_number_, r->data_);
    }
    map_.Erase(r->record_number_);
  }
  r->record_number_ = 0;
  r->dirty_ = false;
}

TRecord* RecordCache::TakeBuffer() {
  if (records_.size() < capacity_) return NewBuffer();
  TRecord* victim = FindVictim();
  if (!victim) {
    WriteDirtyBuffers(true);
    victim = FindVictim();
  }
  if (!victim) {
    if (!grow_when_full_) Fail(kErrRecordBuffersCorrupt);
    capacity_ += kGrowth;
    return NewBuffer();
  }
  Detach(victim);
  return victim;
}

void RecordCache::Pin(TRecord* r) {
  if (r->pins_ >= kMaxPins) Fail(kErrRecordBuffersCorrupt);
  ++r->pins_;
}

void RecordCache::Unpin(TRecord* r) {
  if (r->pins_ <= 0) Fail(kErrRecordBuffersCorrupt);
  --r->pins_;
}

bool RecordCache::FillFromShelf(TRecord* r, int32_t first, int32_t count) {
  if (!shelf_) return false;
  for (int32_t i = 0; i < count; ++i)
    if (!shelf_->Contains(first + i)) return false;
  if (!shelf_->Usable()) return false;
  std::memcpy(r->data_, shelf_->Find(first)->get(), record_size_);
  if (count == 1) return true;
  uint8_t* images = Scratch(size_t{record_size_} * count);
  for (int32_t i = 1; i < count; ++i) {
    std::memcpy(images + size_t{record_size_} * i, shelf_->Find(first + i)->get(), record_size_);
  }
  return true;
}

TRecord* RecordCache::Fetch(int32_t record_number, int32_t end, const ReadAhead& ahead) {
  if (TRecord** hit = map_.Find(record_number)) {
    TRecord* r = *hit;
    Pin(r);
    r->keep_ = r->keep_ || r->used_;  // asked for again
    r->used_ = true;
    if (r != head_) {
      Unlink(r);
      LinkFront(r);
    }
    return r;
  }

  // Slots to read: the requested one and the run that follows it.
  int64_t limit = std::min<int64_t>(kReadAheadBytes / record_size_, int64_t{end} - record_number);
  int32_t count = 1;
  if (ahead.order == ReadAhead::Order::kPhysical) {
    count = static_cast<int32_t>(std::max<int64_t>(1, limit));
  } else if (ahead.order == ReadAhead::Order::kIndex) {
    for (int32_t next : ahead.upcoming) {
      if (count >= limit || int64_t{next} != int64_t{record_number} + count) break;
      ++count;
    }
  }
  for (int32_t i = 1; i < count; ++i) {
    if (map_.Find(record_number + i)) {
      count = i;
      break;
    }
  }

  TRecord* r = TakeBuffer();
  try {
    if (!FillFromShelf(r, record_number, count)) {
      if (count == 1) {
        file_.Read(SlotOffset(record_number), r->data_, record_size_);
      } else {
        uint8_t* images = Scratch(size_t{record_size_} * count);
        file_.Read(SlotOffset(record_number), images, size_t{record_size_} * count);
        std::memcpy(r->data_, images, record_size_);
      }
    }
  } catch (...) {
    Release(r);
    throw;
  }
  r->record_number_ = record_number;
  r->pins_ = 1;
  // A slot read alone is worth keeping once it leaves; slots read in a run
  // belong to a scan, which would only push everything else off the shelf.
  r->keep_ = count == 1;
  r->used_ = true;
  map_.Insert(record_number, r);
  Unlink(r);
  LinkFront(r);
  PlaceReadAhead(r, record_number, count, scratch_.get());
  return r;
}

void RecordCache::PlaceReadAhead(TRecord* r, int32_t first, int32_t count, const uint8_t* images) {
  // Read-ahead slots go right behind the requested one, in ascending order.
  // They only take free or clean buffers, never those of this batch: the
  // least recently used first, found in one pass up from the end of the
  // list (what a buffer taken skips stays where it is).
  TRecord* last = r;
  TRecord* scan = tail_;
  for (int32_t i = 1; i < count; ++i) {
    TRecord* b = nullptr;
    if (records_.size() < capacity_) {
      b = NewBuffer();
    } else {
      while (scan && !Spare(scan)) scan = scan->prev_;
      b = scan;
      if (b) scan = b->prev_;
    }
    if (!b || (b->record_number_ > first && b->record_number_ < first + count)) break;
    Detach(b);
    std::memcpy(b->data_, images + size_t{record_size_} * i, record_size_);
    b->record_number_ = first + i;
    b->keep_ = false;
    b->used_ = false;
    map_.Insert(b->record_number_, b);
    Unlink(b);
    LinkAfter(last, b);
    last = b;
  }
}

size_t RecordCache::Adopt(std::span<const int32_t> numbers,
                          std::span<const uint8_t* const> images) {
  // The buffers placed form a chain from the front of the list; victims are
  // sought from the end towards it, so reaching the chain means no buffer
  // is left to spare.
  TRecord* last = nullptr;
  TRecord* scan = nullptr;
  bool scanning = false;
  size_t placed = 0;
  for (size_t i = 0; i < numbers.size() && i < images.size(); ++i) {
    if (map_.Find(numbers[i])) continue;
    TRecord* b = nullptr;
    if (records_.size() < capacity_) {
      b = NewBuffer();
    } else {
      if (!scanning) {
        scan = tail_;
        scanning = true;
      }
      while (scan && scan != last && !Spare(scan)) scan = scan->prev_;
      if (!scan || scan == last) break;
      b = scan;
      scan = b->prev_;
    }
    Detach(b);
    std::memcpy(b->data_, images[i], record_size_);
    b->record_number_ = numbers[i];
    b->keep_ = false;
    b->used_ = false;
    map_.Insert(b->record_number_, b);
    Unlink(b);
    if (last) {
      LinkAfter(last, b);
    } else {
      LinkFront(b);
    }
    last = b;
    ++placed;
  }
  return placed;
}

const uint8_t* RecordCache::Lookup(int32_t record_number) {
  if (records_.empty() && (!shelf_ || shelf_->Size() == 0)) return nullptr;  // holds nothing
  if (TRecord** hit = map_.Find(record_number)) return (*hit)->data_;
  if (shelf_ && shelf_->Contains(record_number) && shelf_->Usable()) {
    return shelf_->Find(record_number)->get();
  }
  return nullptr;
}

TRecord* RecordCache::Create(int32_t record_number) {
  if (shelf_) shelf_->Erase(record_number);  // the file has no such slot yet
  TRecord** found = map_.Find(record_number);
  TRecord* r = found ? *found : nullptr;
  if (r) {
    Pin(r);
    Unlink(r);
  } else {
    r = TakeBuffer();
    Unlink(r);
    r->record_number_ = record_number;
    r->pins_ = 1;
    map_.Insert(record_number, r);
  }
  LinkFront(r);
  std::memset(r->data_, 0, record_size_);
  r->keep_ = true;
  r->used_ = true;
  r->MarkDirty();
  return r;
}

void RecordCache::WriteDirtyBuffers(bool unpinned_only) {
  work_.clear();
  size_t keep = 0;
  for (TRecord* r : dirty_) {
    if (!r->dirty_ || r->record_number_ == 0) {
      r->queued_ = false;
      continue;
    }
    dirty_[keep++] = r;
    if (!unpinned_only || r->pins_ == 0) work_.push_back(r);
  }
  dirty_.resize(keep);
  std::sort(work_.begin(), work_.end(), [](const TRecord* a, const TRecord* b) {
    return a->record_number_ < b->record_number_;
  });
  for (size_t begin = 0; begin < work_.size();) {
    size_t end = begin + 1;
    while (end < work_.size() && work_[end]->record_number_ == work_[end - 1]->record_number_ + 1)
      ++end;
    size_t n = end - begin;
    // The shelf's images of these slots are out of date; the buffers go back
    // on it when they are reused.
    if (shelf_) {
      for (size_t i = begin; i < end; ++i) shelf_->Erase(work_[i]->record_number_);
    }
    if (n == 1) {
      file_.Write(SlotOffset(work_[begin]->record_number_), work_[begin]->data_, record_size_);
    } else {
      uint8_t* run = Scratch(size_t{record_size_} * n);
      for (size_t i = 0; i < n; ++i)
        std::memcpy(run + i * record_size_, work_[begin + i]->data_, record_size_);
      file_.Write(SlotOffset(work_[begin]->record_number_), run, size_t{record_size_} * n);
    }
    for (size_t i = begin; i < end; ++i) work_[i]->dirty_ = false;
    begin = end;
  }
}

void RecordCache::Discard() {
  map_.Clear();
  if (shelf_) shelf_->Clear();
  for (TRecord& r : records_) {
    r.record_number_ = 0;
    r.dirty_ = false;
    r.queued_ = false;
  }
  dirty_.clear();
}

}  // namespace quoldex::tables
