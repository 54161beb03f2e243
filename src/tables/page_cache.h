// TPageCache: the cached pages of one index (one list per index, one more
// for the system index), at most 31 pages, most recently used first.
//
// A page in use is pinned through a PageRef (at most 64 pins on one page,
// more raise 8965). A miss reuses the least recently used page that is
// neither pinned nor dirty; when every unpinned page is dirty, those are
// written first (sorted by offset, one write per run of consecutive pages);
// when every page is pinned, the miss fails with 8965. Pages read from disk
// are checked (TPage::IsSane) and a damaged one raises 8965.
//
// Writes go through `file`; page offsets are checked against `*page_limit`
// (the file's next page offset), which the owner keeps current.
//
// The lists of one file may share a shelf of clean page images
// (page_cache_shelf.h): a miss takes its page from there when it is kept and
// the shelf is usable, else reads it. A clean page that leaves its list goes
// on the shelf; writing a page takes its old image off. The owner clears
// the shelf when it discards the lists.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "tables/file_handler.h"
#include "tables/page.h"
#include "tables/page_cache_shelf.h"

namespace quoldex::tables {

class TPageCache;

// Clean pages of one index file, kept behind its page caches.
using PageShelf = Shelf<std::unique_ptr<TPage>>;

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

  // The page at `offset`, read and checked on a miss. An offset that names
  // no page of the file raises 8965.
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
