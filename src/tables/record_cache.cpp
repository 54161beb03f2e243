#include "tables/record_cache.h"

#include <algorithm>
#include <cstring>

#include "tables/engine_error.h"

namespace quoldex::tables {
namespace {

constexpr size_t kGrowth = 1024;

size_t InitialCapacity(uint16_t record_size) {
  size_t n = 131070 / record_size;
  return std::max<size_t>(1, std::min<size_t>(n, 65535));
}

}  // namespace

// ---- RecordMap ----

void RecordCache::RecordMap::Reserve(size_t count) {
  size_t want = 16;
  int bits = 4;
  while (want < 2 * count) want <<= 1, ++bits;
  if (want <= slots_.size()) return;
  std::vector<std::pair<int32_t, TRecord*>> old;
  old.swap(slots_);
  slots_.assign(want, {0, nullptr});
  mask_ = want - 1;
  shift_ = 32 - bits;
  for (auto& [key, value] : old)
    if (key != 0) Insert(key, value);
}

size_t RecordCache::RecordMap::Home(int32_t key) const {
  return (static_cast<uint32_t>(key) * 2654435769u) >> shift_;
}

TRecord* RecordCache::RecordMap::Find(int32_t key) const {
  if (slots_.empty()) return nullptr;
  for (size_t i = Home(key);; i = (i + 1) & mask_) {
    if (slots_[i].first == key) return slots_[i].second;
    if (slots_[i].first == 0) return nullptr;
  }
}

void RecordCache::RecordMap::Insert(int32_t key, TRecord* value) {
  size_t i = Home(key);
  while (slots_[i].first != 0) i = (i + 1) & mask_;
  slots_[i] = {key, value};
}

void RecordCache::RecordMap::Erase(int32_t key) {
  size_t i = Home(key);
  while (slots_[i].first != key) {
    if (slots_[i].first == 0) return;
    i = (i + 1) & mask_;
  }
  // Backward-shift deletion keeps every later key reachable from its home.
  for (size_t j = i;;) {
    j = (j + 1) & mask_;
    if (slots_[j].first == 0) break;
    size_t home = Home(slots_[j].first);
    bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (stays) continue;
    slots_[i] = slots_[j];
    i = j;
  }
  slots_[i] = {0, nullptr};
}

void RecordCache::RecordMap::Clear() {
  std::fill(slots_.begin(), slots_.end(), std::pair<int32_t, TRecord*>{0, nullptr});
}

// ---- RecordCache ----

RecordCache::RecordCache(TFileHandler& file, uint16_t record_size, uint64_t region_start)
    : file_(file),
      record_size_(record_size),
      region_start_(region_start),
      capacity_(InitialCapacity(record_size)) {
  map_.Reserve(capacity_);
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
    size_t count = slabs_.empty() ? capacity_ : kGrowth;
    slabs_.push_back(std::make_unique<uint8_t[]>(count * record_size_));
    slab_free_ = count;
  }
  uint8_t* data = slabs_.back().get() + (--slab_free_) * record_size_;
  TRecord* r = &records_.emplace_back(TRecord(this, data));
  LinkFront(r);
  return r;
}

TRecord* RecordCache::FindVictim() const {
  // A buffer dropped by Discard while pinned may still carry a dirty flag;
  // it holds no record, so nothing needs writing.
  for (TRecord* r = tail_; r; r = r->prev_)
    if (r->pins_ == 0 && (!r->dirty_ || r->record_number_ == 0)) return r;
  return nullptr;
}

void RecordCache::Detach(TRecord* r) {
  if (r->record_number_ != 0) map_.Erase(r->record_number_);
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
    map_.Reserve(capacity_);
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

TRecord* RecordCache::Fetch(int32_t record_number, int32_t end, const ReadAhead& ahead) {
  if (TRecord* hit = map_.Find(record_number)) {
    Pin(hit);
    if (hit != head_) {
      Unlink(hit);
      LinkFront(hit);
    }
    return hit;
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
    if (count == 1) {
      file_.Read(SlotOffset(record_number), r->data_, record_size_);
    } else {
      scratch_.resize(size_t{record_size_} * count);
      file_.Read(SlotOffset(record_number), scratch_.data(), scratch_.size());
      std::memcpy(r->data_, scratch_.data(), record_size_);
    }
  } catch (...) {
    Release(r);
    throw;
  }
  r->record_number_ = record_number;
  r->pins_ = 1;
  map_.Insert(record_number, r);
  Unlink(r);
  LinkFront(r);

  // Read-ahead slots go right behind the requested one, in ascending order.
  // They only take free or clean buffers, never those of this batch.
  TRecord* last = r;
  for (int32_t i = 1; i < count; ++i) {
    TRecord* b = records_.size() < capacity_ ? NewBuffer() : FindVictim();
    if (!b || (b->record_number_ > record_number && b->record_number_ < record_number + count))
      break;
    Detach(b);
    std::memcpy(b->data_, scratch_.data() + size_t{record_size_} * i, record_size_);
    b->record_number_ = record_number + i;
    map_.Insert(b->record_number_, b);
    Unlink(b);
    LinkAfter(last, b);
    last = b;
  }
  return r;
}

TRecord* RecordCache::Create(int32_t record_number) {
  TRecord* r = map_.Find(record_number);
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
    if (n == 1) {
      file_.Write(SlotOffset(work_[begin]->record_number_), work_[begin]->data_, record_size_);
    } else {
      scratch_.resize(size_t{record_size_} * n);
      for (size_t i = 0; i < n; ++i)
        std::memcpy(scratch_.data() + i * record_size_, work_[begin + i]->data_, record_size_);
      file_.Write(SlotOffset(work_[begin]->record_number_), scratch_.data(), scratch_.size());
    }
    for (size_t i = begin; i < end; ++i) work_[i]->dirty_ = false;
    begin = end;
  }
}

void RecordCache::Discard() {
  map_.Clear();
  for (TRecord& r : records_) {
    r.record_number_ = 0;
    r.dirty_ = false;
    r.queued_ = false;
  }
  dirty_.clear();
}

}  // namespace quoldex::tables
