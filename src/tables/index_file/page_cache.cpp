#include "tables/index_file/page_cache.h"

#include <algorithm>
#include <cstring>

#include "tables/base/engine_error.h"

namespace quoldex::tables {

PageRef& PageRef::operator=(PageRef&& other) noexcept {
  if (this != &other) {
    Release();
    cache_ = other.cache_;
    slot_ = other.slot_;
    other.cache_ = nullptr;
  }
  return *this;
}

TPage& PageRef::Edit() {
  TPage& page = *cache_->slots_[slot_].page;
  page.SetDirty(true);
  return page;
}

const TPage& PageRef::operator*() const { return *cache_->slots_[slot_].page; }

int32_t PageRef::Offset() const { return cache_->slots_[slot_].page->Offset(); }

void PageRef::Release() {
  if (cache_ != nullptr) --cache_->slots_[slot_].pins;
  cache_ = nullptr;
}

TPageCache::TPageCache(TFileHandler& file, size_t key_length, const int32_t* page_limit,
                       PageShelf* shelf)
    : file_(file), key_length_(key_length), page_limit_(page_limit), shelf_(shelf) {
  slots_.reserve(kCapacity);
}

void TPageCache::Corrupt() const { throw EDbEngineError(kErrIndexPagesCorrupt, file_.ErrorName()); }

int TPageCache::FindSlot(int32_t offset) {
  // Walks ask for the page they asked for last, again and again.
  if (offsets_[last_found_] == offset) return last_found_;
  for (int i = 0; i < static_cast<int>(offsets_.size()); ++i) {
    if (offsets_[i] == offset) return last_found_ = i;
  }
  return -1;
}

PageRef TPageCache::Pin(int slot) {
  Slot& s = slots_[slot];
  if (s.pins >= kMaxPins) Corrupt();
  ++s.pins;
  s.last_use = ++clock_;
  return PageRef(this, slot);
}

int TPageCache::Victim() const {
  // Mostly the least recently used unpinned page is clean (always so while
  // only reading): found by the slots alone, it costs one look at a page.
  int oldest = -1;
  uint64_t oldest_use = UINT64_MAX;
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].pins != 0) continue;
    if (offsets_[i] == 0) return static_cast<int>(i);
    if (slots_[i].last_use < oldest_use) {
      oldest = static_cast<int>(i);
      oldest_use = slots_[i].last_use;
    }
  }
  if (oldest < 0 || !slots_[oldest].page->IsDirty()) return oldest;
  int best = -1;
  uint64_t best_use = UINT64_MAX;
  for (size_t i = 0; i < slots_.size(); ++i) {
    const Slot& s = slots_[i];
    if (s.pins != 0) continue;
    if (offsets_[i] == 0) return static_cast<int>(i);
    // Only a page that would be chosen is looked at for its dirty flag.
    if (s.last_use < best_use && !s.page->IsDirty()) {
      best = static_cast<int>(i);
      best_use = s.last_use;
    }
  }
  return best;
}

void TPageCache::WriteUnpinnedDirty() {
  std::vector<TPage*> dirty;
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].pins == 0 && offsets_[i] != 0 && slots_[i].page->IsDirty()) {
      dirty.push_back(slots_[i].page.get());
    }
  }
  WritePages(file_, dirty, shelf_);
}

std::unique_ptr<TPage> TPageCache::NewPage() {
  if (!spares_.empty()) {
    std::unique_ptr<TPage> page = std::move(spares_.back());
    spares_.pop_back();
    return page;
  }
  return std::make_unique<TPage>(key_length_, &file_.ErrorName());
}

void TPageCache::Spare(std::unique_ptr<TPage> page) {
  if (page && page->KeyLength() == key_length_ && spares_.size() < kMaxSpares) {
    spares_.push_back(std::move(page));
  }
}

void TPageCache::Shelve(int slot) {
  const int32_t offset = offsets_[slot];
  if (shelf_ == nullptr || offset == 0 || shelf_->Contains(offset)) return;
  // The page object moves to the shelf; the slot gets what the shelf's slot
  // held (another page leaving it, or nothing).
  std::unique_ptr<TPage>& kept = shelf_->Place(offset);
  kept.swap(slots_[slot].page);
  std::unique_ptr<TPage> left = std::move(slots_[slot].page);
  slots_[slot].page = left && left->KeyLength() == key_length_ ? std::move(left) : NewPage();
}

int TPageCache::Oldest() const {
  int best = -1;
  uint64_t best_use = UINT64_MAX;
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].pins == 0 && slots_[i].last_use < best_use) {
      best = static_cast<int>(i);
      best_use = slots_[i].last_use;
    }
  }
  return best;
}

bool TPageCache::CanHold() const {
  // Writing a page of a file in memory is a copy: holding it saves nothing.
  return shelf_ != nullptr && shelf_->HeldCapacity() != 0 && file_.IsExclusive() &&
         !file_.IsInMemory();
}

int TPageCache::TakeSlot() {
  if (slots_.size() < static_cast<size_t>(kCapacity)) {
    slots_.push_back(Slot{NewPage()});
    return static_cast<int>(slots_.size() - 1);
  }
  int victim = Victim();
  if (victim < 0 && CanHold()) {
    // Every unpinned page is dirty: the oldest is held instead of writing
    // them all.
    victim = Oldest();
    if (victim < 0) Corrupt();
    std::unique_ptr<TPage> replacement = NewPage();
    shelf_->Hold(file_, slots_[victim].page);
    slots_[victim].page = std::move(replacement);
    offsets_[victim] = 0;
  } else if (victim < 0) {
    WriteUnpinnedDirty();
    victim = Victim();
    if (victim < 0) Corrupt();
  }
  Shelve(victim);  // a page leaving the list clean is what the file holds
  offsets_[victim] = 0;
  slots_[victim].page->SetOffset(0);
  slots_[victim].page->SetDirty(false);
  return victim;
}

PageRef TPageCache::Fetch(int32_t offset) {
  if (!TPage::ValidOffset(offset, *page_limit_)) Corrupt();
  int slot = FindSlot(offset);
  if (slot >= 0) return Pin(slot);
  slot = TakeSlot();
  std::unique_ptr<TPage> kept;
  bool changed = false;  // a held page: newer than the file
  if (shelf_ != nullptr) {
    if (shelf_->HeldCount() != 0) {
      kept = shelf_->TakeHeld(offset, key_length_);
      changed = kept != nullptr;
    }
    if (!kept && shelf_->Contains(offset) && shelf_->Usable()) kept = shelf_->Take(offset);
  }
  if (kept && kept->KeyLength() == key_length_) {
    // Checked when it was read, or changed in a list of this length.
    kept.swap(slots_[slot].page);
    Spare(std::move(kept));
  } else {
    TPage& page = *slots_[slot].page;
    file_.Read(static_cast<uint64_t>(offset), page.Data(), TPage::kSize);
    page.SetOffset(offset);
    if (!page.IsSane(*page_limit_)) {
      page.SetOffset(0);
      Corrupt();
    }
  }
  TPage& page = *slots_[slot].page;
  page.SetOffset(offset);
  page.SetDirty(changed);
  offsets_[slot] = offset;
  return Pin(slot);
}

PageRef TPageCache::Fresh(int32_t offset) {
  int slot = FindSlot(offset);
  if (slot >= 0 && slots_[slot].pins != 0) Corrupt();
  if (slot < 0) slot = TakeSlot();
  if (shelf_ != nullptr) {  // not in the file yet; a held image is superseded
    shelf_->Erase(offset);
    shelf_->DropHeld(offset);
  }
  TPage& page = *slots_[slot].page;
  page.Reset(TPage::kLeaf);
  page.SetOffset(offset);
  page.SetDirty(true);
  offsets_[slot] = offset;
  return Pin(slot);
}

void TPageCache::CollectDirty(std::vector<TPage*>& out) {
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (offsets_[i] != 0 && slots_[i].page->IsDirty()) out.push_back(slots_[i].page.get());
  }
}

void TPageCache::Discard() {
  for (size_t i = 0; i < slots_.size(); ++i) {
    offsets_[i] = 0;
    slots_[i].page->SetOffset(0);
    slots_[i].page->SetDirty(false);
  }
}

void TPageCache::WritePages(TFileHandler& file, std::vector<TPage*>& pages, PageShelf* shelf) {
  std::sort(pages.begin(), pages.end(),
            [](const TPage* a, const TPage* b) { return a->Offset() < b->Offset(); });
  std::unique_ptr<uint8_t[]> run;  // pages of a run side by side, not zero-filled
  size_t run_pages = 0;
  for (size_t i = 0; i < pages.size();) {
    size_t j = i + 1;
    while (j < pages.size() &&
           pages[j]->Offset() == pages[j - 1]->Offset() + static_cast<int32_t>(TPage::kSize)) {
      ++j;
    }
    uint64_t offset = static_cast<uint64_t>(pages[i]->Offset());
    // The shelf's images of these pages are out of date; the pages go back
    // on it when they leave their list.
    if (shelf != nullptr) {
      for (size_t k = i; k < j; ++k) shelf->Erase(pages[k]->Offset());
    }
    if (j - i == 1) {
      file.Write(offset, pages[i]->Data(), TPage::kSize);
    } else {
      if (run_pages < j - i) {
        run_pages = j - i;
        run = std::make_unique_for_overwrite<uint8_t[]>(run_pages * TPage::kSize);
      }
      for (size_t k = i; k < j; ++k) {
        std::memcpy(run.get() + (k - i) * TPage::kSize, pages[k]->Data(), TPage::kSize);
      }
      file.Write(offset, run.get(), (j - i) * TPage::kSize);
    }
    for (size_t k = i; k < j; ++k) pages[k]->SetDirty(false);
    i = j;
  }
}

// ---- PageShelf --------------------------------------------------------------

void PageShelf::CollectHeld(std::vector<TPage*>& out) {
  for (const std::unique_ptr<TPage>& page : held_) out.push_back(page.get());
}

void PageShelf::ShelveHeld() {
  size_t kept = 0;
  for (size_t i = 0; i < held_.size(); ++i) {
    std::unique_ptr<TPage>& page = held_[i];
    const int32_t offset = page->Offset();
    if (page->IsDirty()) {
      if (kept != i) held_[kept] = std::move(page);
      *held_map_.Find(offset) = static_cast<uint32_t>(kept++);
      continue;
    }
    held_map_.Erase(offset);
    // The slot's previous item (a page object or nothing) is dropped.
    Place(offset).swap(page);
  }
  held_.resize(kept);
}

void PageShelf::Clear() {
  Base::Clear();
  held_.clear();
  held_map_.Clear();
}

void PageShelf::Hold(TFileHandler& file, std::unique_ptr<TPage>& page) {
  if (held_.size() >= held_capacity_) {
    std::vector<TPage*> pages;
    pages.reserve(held_.size());
    CollectHeld(pages);
    TPageCache::WritePages(file, pages, this);
    ShelveHeld();
  }
  if (held_.capacity() < held_capacity_) {
    held_.reserve(held_capacity_);
    held_map_.Reserve(held_capacity_);
  }
  const int32_t offset = page->Offset();
  Erase(offset);
  if (uint32_t* at = held_map_.Find(offset)) {
    // Held already from a list of another key length (a damaged file, two
    // trees sharing a page): the later change wins, as its write would.
    held_[*at] = std::move(page);
    return;
  }
  held_map_.Insert(offset, static_cast<uint32_t>(held_.size()));
  held_.push_back(std::move(page));
}

std::unique_ptr<TPage> PageShelf::TakeHeld(int32_t offset, size_t key_length) {
  uint32_t* at = held_map_.Find(offset);
  if (at == nullptr || held_[*at]->KeyLength() != key_length) return nullptr;
  const uint32_t i = *at;
  std::unique_ptr<TPage> page = std::move(held_[i]);
  held_map_.Erase(offset);
  if (i + 1 != held_.size()) {
    held_[i] = std::move(held_.back());
    *held_map_.Find(held_[i]->Offset()) = i;
  }
  held_.pop_back();
  return page;
}

void PageShelf::DropHeld(int32_t offset) {
  if (held_.empty() || !Holds(offset)) return;
  // Taken with its own key length, so it always comes out.
  TakeHeld(offset, held_[*held_map_.Find(offset)]->KeyLength());
}

}  // namespace quoldex::tables
