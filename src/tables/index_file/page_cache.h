// TPageCache: the cached pages of one index (one list per index, one more
// for the system index), at most 31 pages, most recently used first.
//
// A page in use is pinned through a PageRef (at most 64 pins on one page, more
// raise kErrIndexPagesCorrupt). A miss reuses the least recently used page that
// is neither pinned nor dirty; when every unpinned page is dirty, those are
// written first (sorted by offset, one write per run of consecutive pages);
// when every page is pinned, the miss fails with kErrIndexPagesCorrupt. Pages
// read from disk are checked (TPage::IsSane) and a damaged one raises
// kErrIndexPagesCorrupt.
//
// Writes go through `file`; page offsets are checked against `*page_limit`
// (the file's next page offset), which the owner keeps current.
//
// The lists of one file may share a shelf of clean page images
// (page_cache_shelf.h): a miss takes its page from there when it is kept and
// the shelf is usable, else reads it. A clean page that leaves its list goes
// on the shelf; writing a page takes its old image off. The owner clears
// the shelf when it discards the lists.
//
// A shelf made with room for held pages also takes changed pages that must
// leave a list of a file open exclusively (on disk; writing a file in memory
// is a mere copy): instead of writing every unpinned dirty page of the list,
// the least recently used one is held, unwritten, and a later miss on it
// takes it back (still dirty) before the shelf or the file is asked. No
// other handle can read such a file before it is closed, and the owner
// writes held pages with the lists' dirty pages at a flush, so the file ends
// with the same bytes as if they had been written on the way. When the held
// pages reach their bound, they are all written (sorted, one write per run)
// and become clean images.
// A shared file never holds pages: each update ends with a flush.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "tables/index_file/page.h"
#include "tables/storage/file_handler.h"
#include "tables/storage/page_cache_shelf.h"

namespace quoldex::tables {

class TPageCache;

// Pages of one index file kept behind its page caches: clean images (the
// Shelf) and, with `held_capacity` above 0, changed pages held unwritten
// (see above). Clear() forgets both: held changes are lost exactly as the
// lists' dirty pages are when the owner discards them.
class PageShelf : public Shelf<std::unique_ptr<TPage>> {
 public:
  explicit PageShelf(size_t capacity, size_t held_capacity = 0)
      : Shelf(capacity), held_capacity_(held_capacity) {}

  size_t HeldCapacity() const { return held_capacity_; }
  size_t HeldCount() const { return held_.size(); }
  bool Holds(int32_t offset) const { return held_map_.Find(offset) != nullptr; }
  // Appends the held pages to `out`, for a write together with the lists'
  // dirty pages (TPageCache::WritePages with this shelf).
  void CollectHeld(std::vector<TPage*>& out);
  // Held pages that are clean now (written) leave the hold and become clean
  // images on the shelf; a page still dirty stays held.
  void ShelveHeld();
  void Clear();

 private:
  friend class TPageCache;
  using Base = Shelf<std::unique_ptr<TPage>>;

  // Holds the dirty page in `page` (moved from it only when held), writing
  // every held page first when the bound is reached. Its clean image, now
  // out of date, leaves the shelf.
  void Hold(TFileHandler& file, std::unique_ptr<TPage>& page);
  // The held page at `offset` when it has `key_length` (the owner's list
  // reads the file otherwise), removed from the hold; nullptr when none.
  std::unique_ptr<TPage> TakeHeld(int32_t offset, size_t key_length);
  void DropHeld(int32_t offset);

  const size_t held_capacity_;
  std::vector<std::unique_ptr<TPage>> held_;
  KeyMap<uint32_t> held_map_;  // offset -> index in held_
};

// A pinned page; unpins when destroyed. Move-only.
class PageRef {
 public:
  PageRef() = default;
  PageRef(PageRef&& other) noexcept : cache_(other.cache_), slot_(other.slot_) {
    other.cache_ = nullptr;
  }
  PageRef& operator=(PageRef&& other) noexcept;
  PageRef(const PageRef&) = delete;
  PageRef& operator=(const PageRef&) = delete;
  ~PageRef() { Release(); }

  // The page, marked dirty: use for every change.
  TPage& Edit();
  const TPage& operator*() const;
  const TPage* operator->() const { return &**this; }
  int32_t Offset() const;
  void Release();

 private:
  friend class TPageCache;
  PageRef(TPageCache* cache, int slot) : cache_(cache), slot_(slot) {}
  TPageCache* cache_ = nullptr;
  int slot_ = 0;
};

class TPageCache {
 public:
  static constexpr int kCapacity = 31;
  static constexpr int kMaxPins = 64;

  // `page_limit` and `shelf` (nullptr: none) must outlive the cache.
  TPageCache(TFileHandler& file, size_t key_length, const int32_t* page_limit,
             PageShelf* shelf = nullptr);

  size_t KeyLength() const { return key_length_; }
  const std::string& ErrorName() const { return file_.ErrorName(); }

  // The page at `offset`, read and checked on a miss. An offset that names no
  // page of the file raises kErrIndexPagesCorrupt.
  PageRef Fetch(int32_t offset);
  // A cleared page for `offset` without reading it (a page just taken at
  // the end of the file), marked dirty.
  PageRef Fresh(int32_t offset);

  // Appends this list's dirty pages to `out` (for a flush across lists).
  void CollectDirty(std::vector<TPage*>& out);
  // Forgets every page, dirty ones included. No page may be pinned.
  void Discard();

  // Writes `pages` sorted by offset, one write per run of consecutive
  // offsets, and marks them clean; their images leave `shelf` (nullptr:
  // none).
  static void WritePages(TFileHandler& file, std::vector<TPage*>& pages,
                         PageShelf* shelf = nullptr);

 private:
  friend class PageRef;
  struct Slot {
    std::unique_ptr<TPage> page;
    int pins = 0;
    uint64_t last_use = 0;
  };

  static constexpr size_t kMaxSpares = 4;

  int FindSlot(int32_t offset);
  // A slot for a new page: a new one while below capacity, else the least
  // recently used clean unpinned one (writing the dirty ones first when
  // there is none), its page moved to the shelf. Its page object is
  // unused and of this list's key length.
  int TakeSlot();
  // Moves the clean page of `slot` to the shelf unless kept there already,
  // leaving the slot an unused page object.
  void Shelve(int slot);
  std::unique_ptr<TPage> NewPage();
  void Spare(std::unique_ptr<TPage> page);
  PageRef Pin(int slot);
  int Victim() const;
  // The least recently used unpinned slot, dirty or not; -1 when none.
  int Oldest() const;
  // Whether dirty pages leaving this list may be held (see above).
  bool CanHold() const;
  void WriteUnpinnedDirty();
  [[noreturn]] void Corrupt() const;

  TFileHandler& file_;
  size_t key_length_;
  const int32_t* page_limit_;
  PageShelf* shelf_;
  std::vector<Slot> slots_;
  std::vector<std::unique_ptr<TPage>> spares_;  // unused page objects
  // offsets_[i] mirrors the offset of slots_[i]'s page (0: no page or no
  // slot yet), a compact array for lookups.
  std::array<int32_t, 32> offsets_{};
  int last_found_ = 0;  // the slot FindSlot found last
  uint64_t clock_ = 0;
};

}  // namespace quoldex::tables
