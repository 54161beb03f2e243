// IndexTree: the B+tree of one index inside the index file.
//
// Interior entries carry the number of leaf entries under their child, so
// ranks and ordinal positions need no scan. Every interior key equals the
// first key of its child (kept so on insert and delete); a file whose
// interior key is lower than its child's first key but above the previous
// child's keys is still searched correctly. Keys are distinct within an
// index (unique indexes by definition, the others through the record-ID
// suffix), so a key names one entry.
//
// Insert: descend to the greatest interior key <= the key (the first entry
// when below all), add 1 to each count passed, store the entry, refresh the
// parents' keys when it became a page's first entry, and split an overfull
// page keeping the first ceil(n/2) entries (a split root gets a new root
// above it). Delete: subtract 1 on the way down, remove the entry, and bring
// a page below half capacity back: with the previous page under the same
// parent, or the next one when the page is its parent's first entry, merge
// when both together hold fewer entries than a page's capacity, else share
// their entries evenly. An interior root left with one entry gives way to
// its child; an emptied root leaf is freed (root 0). A page that is the only
// child of its parent has no such neighbour: it is kept as it is and removed
// once empty.
//
// Pages come from the index's own free chain (through the next link) or from
// the end of the file; freed pages go to the head of that chain with entry
// count 0. Before an insert changes anything, the pages a split could need are
// known to be available (else kErrFileFull), so a refused insert leaves the
// tree as it was; so does a duplicate key (kErrDuplicateKey) or a missing key
// on delete (kErrKeyNotFound). Damaged pages raise kErrIndexPagesCorrupt.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "tables/base/table_defs.h"
#include "tables/index_file/page_cache.h"

namespace quoldex::tables {

// File-wide services a tree needs besides its own pages.
class PageSpace {
 public:
  virtual ~PageSpace() = default;
  // Takes a new page at the end of the file; kErrFileFull when the file is
  // full.
  virtual int32_t GrowFile() = 0;
  // How many pages GrowFile can still supply.
  virtual int64_t PagesLeft() const = 0;
  // Marks the header as needing a write (root, free chain or length moved).
  virtual void HeaderChanged() = 0;
};

class IndexTree {
 public:
  // A leaf entry: leaf page offset and entry index; leaf 0 is "past the end"
  // (or before the start, by context). Valid until the tree changes.
  struct Position {
    int32_t leaf = 0;
    int slot = 0;
    bool AtEnd() const { return leaf == 0; }
  };

  // `index` (root, free chain) and the other references must outlive the
  // tree; `name` is the index's name in messages.
  IndexTree(TPageCache& cache, IndexDesc& index, PageSpace& space, std::string name);

  size_t KeyLength() const { return cache_.KeyLength(); }
  const std::string& Name() const { return name_; }
  // Bumped by every change and by Invalidate(): a Position taken under
  // another version must not be used.
  uint64_t Version() const { return version_; }
  void Invalidate() { ++version_; }

  int64_t EntryCount();
  Position First();
  Position Last();
  // First entry whose first `length` key bytes are >= key (LowerBound) or
  // > key (UpperBound).
  Position LowerBound(const uint8_t* key, size_t length);
  Position UpperBound(const uint8_t* key, size_t length);
  // The entry after / before `at` in key order (past the end / before the
  // start: AtEnd()).
  Position Next(Position at);
  Position Prev(Position at);
  // Copies the entry's key (KeyLength() bytes) and returns its record number.
  int32_t Read(Position at, uint8_t* key);
  // Next(at) followed by Read of that entry (when there is one), looking at
  // `at`'s leaf only once.
  Position ReadNext(Position at, uint8_t* key, int32_t* record);
  // Number of entries whose first `length` key bytes are < key, or <= key
  // with `inclusive`.
  int64_t Rank(const uint8_t* key, size_t length, bool inclusive);
  // Hands `visit` the leaves from `at` on in key order (each with the slot to
  // start at), until it returns false or the index ends. kErrIndexPagesCorrupt
  // when a leaf does not start above the keys before it (a damaged chain would
  // never end).
  void WalkLeaves(Position at, const std::function<bool(const TPage& leaf, int from)>& visit);
  // The same entry by entry: visit(key, record) until it returns false.
  template <typename Visit>
  void Walk(Position at, Visit&& visit) {
    WalkLeaves(at, [&visit](const TPage& leaf, int from) {
      for (int i = from, n = leaf.Count(); i < n; ++i) {
        if (!visit(leaf.Key(i), leaf.Record(i))) return false;
      }
      return true;
    });
  }
  // The entry at 0-based ordinal `ordinal`; AtEnd() when out of range.
  Position AtOrdinal(int64_t ordinal);
  // How many entries after `at` in its leaf continue its record numbers in
  // steps of exactly 1 (at most `limit`).
  int SequentialRun(Position at, int limit);

  // The descent of a search for a whole key is remembered until the tree
  // changes, so that an insert or delete of the key just looked up (the
  // duplicate check before an insert) starts from it.
  bool Contains(const uint8_t* key);
  // Inserts (key, record); kErrDuplicateKey naming the index when the key is
  // present, kErrFileFull when the file cannot grow by the pages a split may
  // need.
  void Insert(const uint8_t* key, int32_t record);
  // One entry for Build.
  struct Entry {
    const uint8_t* key;
    int32_t record;
  };
  // Fills an empty tree with `entries`, given in ascending key order: the
  // entries that inserting them one by one holds, in fuller pages. The leaves
  // are filled evenly from the left and each level above is built over the one
  // below (a single page is a root leaf). kErrFileFull when the file cannot
  // grow by the pages needed; std::invalid_argument when the tree is not empty
  // or the keys do not strictly ascend. Nothing changes when it fails.
  void Build(std::span<const Entry> entries);
  // Removes the entry with `key`; kErrKeyNotFound naming the index when absent.
  void Delete(const uint8_t* key);
  // Fails with kErrFileFull unless `pages` new pages can be had (free chain or
  // file growth).
  void EnsureRoom(int pages);
  // Number of levels (0 for an empty tree).
  int Depth();

  // Structural check: appends a line to `problems` for every fault found
  // (page types, counts within capacity, subtree counts equal to subtree
  // sizes, keys ascending within and across pages, interior keys equal to
  // their child's first key, sibling links, free pages with count 0).
  // Every page reached (tree or free chain) is recorded in `owners` with
  // `owner_id`; a page already recorded there is a fault.
  void Verify(std::vector<std::string>& problems, std::unordered_map<int32_t, int>& owners,
              int owner_id);

 private:
  struct Step {
    int32_t page;
    int slot;  // interior: entry descended into; leaf: entry position
    int count;
    int capacity;
  };
  // How Descend chooses: kBefore goes into the greatest interior key < key
  // and stops at the first leaf entry >= key; kAfter into the greatest key
  // <= key, stopping at the first leaf entry > key; kExact into the greatest
  // key <= key, stopping at the first leaf entry >= key. The first entry
  // is taken when no key qualifies.
  enum class Mode { kBefore, kAfter, kExact };
  struct VerifyState;
  static constexpr int kMaxDepth = 32;

  const std::string& ErrorName() const { return cache_.ErrorName(); }
  PageRef FetchTreePage(int32_t offset, int depth);
  PageRef FetchLeaf(int32_t offset);
  // Descends from the root (which must exist) to a leaf, filling `path`
  // root first. Returns true when the leaf entry found equals `key` on
  // `length` bytes.
  bool Descend(const uint8_t* key, size_t length, Mode mode, std::vector<Step>& path);
  // Descend(key, KeyLength(), kExact, path_), or the remembered result of
  // the last such descent when it was for the same key in this version.
  bool DescendExact(const uint8_t* key);
  // The leaf position a descent ended at, moved to the next leaf when it
  // is past the leaf's last entry.
  Position Settle(const Step& leaf);
  void Unlink(const TPage& page);
  PageRef Allocate();
  void Free(PageRef& page);
  void SetKeyUpward(const std::vector<Step>& path, int level, int slot, const uint8_t* key);
  void Split(const std::vector<Step>& path, int level);
  void Rebalance(const std::vector<Step>& path, int level);
  void FixRoot();
  int64_t VerifyPage(int32_t offset, int depth, VerifyState& state);
  [[noreturn]] void Corrupt() const;

  TPageCache& cache_;
  IndexDesc& index_;
  PageSpace& space_;
  std::string name_;
  uint64_t version_ = 0;
  std::vector<Step> path_;  // scratch for Insert/Delete
  // What path_ holds after DescendExact: the key, the version it is valid
  // for and whether the key was found; path_version_ 0 when path_ holds
  // anything else.
  std::vector<uint8_t> path_key_;
  uint64_t path_version_ = 0;
  bool path_found_ = false;
};

}  // namespace quoldex::tables
