#include "tables/index_file/index_file_tree.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

#include "tables/base/engine_error.h"
#include "tables/index_file/key_codec.h"

namespace quoldex::tables {

IndexTree::IndexTree(TPageCache& cache, IndexDesc& index, PageSpace& space, std::string name)
    : cache_(cache), index_(index), space_(space), name_(std::move(name)) {}

void IndexTree::Corrupt() const { throw EDbEngineError(kErrIndexPagesCorrupt, ErrorName()); }

PageRef IndexTree::FetchTreePage(int32_t offset, int depth) {
  if (depth >= kMaxDepth) Corrupt();
  PageRef page = cache_.Fetch(offset);
  if (page->Count() == 0 || page->IsRoot() != (depth == 0)) Corrupt();
  return page;
}

PageRef IndexTree::FetchLeaf(int32_t offset) {
  PageRef page = cache_.Fetch(offset);
  if (!page->IsLeaf() || page->Count() == 0) Corrupt();
  return page;
}

bool IndexTree::DescendExact(const uint8_t* key) {
  const size_t length = KeyLength();
  if (path_version_ == version_ + 1 && std::memcmp(path_key_.data(), key, length) == 0) {
    return path_found_;
  }
  path_found_ = Descend(key, length, Mode::kExact, path_);
  path_key_.assign(key, key + length);
  path_version_ = version_ + 1;
  return path_found_;
}

bool IndexTree::Descend(const uint8_t* key, size_t length, Mode mode, std::vector<Step>& path) {
  if (&path == &path_) path_version_ = 0;
  path.clear();
  const bool descending = index_.descending;
  int32_t offset = index_.root;
  for (int depth = 0;; ++depth) {
    PageRef page = FetchTreePage(offset, depth);
    const TPage& p = *page;
    if (p.IsLeaf()) {
      int pos = mode == Mode::kAfter ? p.UpperBound(key, length, descending)
                                     : p.LowerBound(key, length, descending);
      path.push_back({offset, pos, p.Count(), p.Capacity()});
      return pos < p.Count() && CompareKeys(p.Key(pos), key, length, false) == 0;
    }
    int bound = mode == Mode::kBefore ? p.LowerBound(key, length, descending)
                                      : p.UpperBound(key, length, descending);
    int i = std::max(bound - 1, 0);
    path.push_back({offset, i, p.Count(), p.Capacity()});
    offset = p.Child(i);
  }
}

IndexTree::Position IndexTree::Settle(const Step& leaf) {
  if (leaf.slot < leaf.count) return {leaf.page, leaf.slot};
  int32_t next = cache_.Fetch(leaf.page)->Next();
  if (next == 0) return {};
  FetchLeaf(next);
  return {next, 0};
}

int64_t IndexTree::EntryCount() {
  if (index_.root == 0) return 0;
  return FetchTreePage(index_.root, 0)->SubtreeSize();
}

IndexTree::Position IndexTree::First() {
  int32_t offset = index_.root;
  for (int depth = 0; offset != 0; ++depth) {
    PageRef page = FetchTreePage(offset, depth);
    if (page->IsLeaf()) return {offset, 0};
    offset = page->Child(0);
  }
  return {};
}

IndexTree::Position IndexTree::Last() {
  int32_t offset = index_.root;
  for (int depth = 0; offset != 0; ++depth) {
    PageRef page = FetchTreePage(offset, depth);
    if (page->IsLeaf()) return {offset, page->Count() - 1};
    offset = page->Child(page->Count() - 1);
  }
  return {};
}

IndexTree::Position IndexTree::LowerBound(const uint8_t* key, size_t length) {
  if (index_.root == 0) return {};
  Descend(key, length, Mode::kBefore, path_);
  return Settle(path_.back());
}

IndexTree::Position IndexTree::UpperBound(const uint8_t* key, size_t length) {
  if (index_.root == 0) return {};
  Descend(key, length, Mode::kAfter, path_);
  return Settle(path_.back());
}

IndexTree::Position IndexTree::Next(Position at) {
  PageRef leaf = FetchLeaf(at.leaf);
  if (at.slot < 0 || at.slot >= leaf->Count()) Corrupt();
  if (at.slot + 1 < leaf->Count()) return {at.leaf, at.slot + 1};
  int32_t next = leaf->Next();
  if (next == 0) return {};
  FetchLeaf(next);
  return {next, 0};
}

IndexTree::Position IndexTree::Prev(Position at) {
  PageRef leaf = FetchLeaf(at.leaf);
  if (at.slot < 0 || at.slot >= leaf->Count()) Corrupt();
  if (at.slot > 0) return {at.leaf, at.slot - 1};
  int32_t prev = leaf->Prev();
  if (prev == 0) return {};
  PageRef before = FetchLeaf(prev);
  return {prev, before->Count() - 1};
}

int32_t IndexTree::Read(Position at, uint8_t* key) {
  PageRef leaf = FetchLeaf(at.leaf);
  if (at.slot < 0 || at.slot >= leaf->Count()) Corrupt();
  std::memcpy(key, leaf->Key(at.slot), KeyLength());
  return leaf->Record(at.slot);
}

IndexTree::Position IndexTree::ReadNext(Position at, uint8_t* key, int32_t* record) {
  Position next;
  {
    PageRef leaf = FetchLeaf(at.leaf);
    const TPage& p = *leaf;
    if (at.slot < 0 || at.slot >= p.Count()) Corrupt();
    if (at.slot + 1 < p.Count()) {
      std::memcpy(key, p.Key(at.slot + 1), KeyLength());
      *record = p.Record(at.slot + 1);
      return {at.leaf, at.slot + 1};
    }
    next.leaf = p.Next();
  }
  if (next.AtEnd()) return next;
  PageRef leaf = FetchLeaf(next.leaf);
  std::memcpy(key, leaf->Key(0), KeyLength());
  *record = leaf->Record(0);
  return next;
}

void IndexTree::WalkLeaves(Position at,
                           const std::function<bool(const TPage& leaf, int from)>& visit) {
  const size_t length = KeyLength();
  uint8_t last[kMaxKeyLength];
  bool after_leaf = false;
  while (!at.AtEnd()) {
    PageRef leaf = FetchLeaf(at.leaf);
    const TPage& p = *leaf;
    const int count = p.Count();
    if (at.slot < 0 || at.slot >= count) Corrupt();
    if (after_leaf && CompareKeys(p.Key(at.slot), last, length, index_.descending) <= 0) Corrupt();
    if (!visit(p, at.slot)) return;
    std::memcpy(last, p.Key(count - 1), length);
    after_leaf = true;
    at = {p.Next(), 0};
  }
}

int64_t IndexTree::Rank(const uint8_t* key, size_t length, bool inclusive) {
  int64_t rank = 0;
  int32_t offset = index_.root;
  for (int depth = 0; offset != 0; ++depth) {
    PageRef page = FetchTreePage(offset, depth);
    const TPage& p = *page;
    int bound = inclusive ? p.UpperBound(key, length, index_.descending)
                          : p.LowerBound(key, length, index_.descending);
    if (p.IsLeaf()) return rank + bound;
    int i = std::max(bound - 1, 0);
    for (int j = 0; j < i; ++j) rank += p.SubtreeCount(j);
    offset = p.Child(i);
  }
  return rank;
}

IndexTree::Position IndexTree::AtOrdinal(int64_t ordinal) {
  int32_t offset = index_.root;
  if (ordinal < 0) return {};
  for (int depth = 0; offset != 0; ++depth) {
    PageRef page = FetchTreePage(offset, depth);
    const TPage& p = *page;
    int n = p.Count();
    if (p.IsLeaf()) {
      if (ordinal < n) return {offset, static_cast<int>(ordinal)};
      break;
    }
    int i = 0;
    for (; i < n && ordinal >= p.SubtreeCount(i); ++i) ordinal -= p.SubtreeCount(i);
    if (i == n) break;
    offset = p.Child(i);
  }
  // Past the end: fine at the root, a count that disagrees with the
  // subtree below it anywhere else.
  if (offset != index_.root) Corrupt();
  return {};
}

int IndexTree::SequentialRun(Position at, int limit) {
  PageRef leaf = FetchLeaf(at.leaf);
  const TPage& p = *leaf;
  if (at.slot < 0 || at.slot >= p.Count()) Corrupt();
  int run = 0;
  int64_t expected = int64_t{p.Record(at.slot)} + 1;
  for (int i = at.slot + 1; i < p.Count() && run < limit && p.Record(i) == expected; ++i) {
    ++run;
    ++expected;
  }
  return run;
}

bool IndexTree::Contains(const uint8_t* key) { return index_.root != 0 && DescendExact(key); }

int IndexTree::Depth() {
  int depth = 0;
  for (int32_t offset = index_.root; offset != 0; ++depth) {
    PageRef page = FetchTreePage(offset, depth);
    if (page->IsLeaf()) return depth + 1;
    offset = page->Child(0);
  }
  return depth;
}

void IndexTree::EnsureRoom(int pages) {
  int64_t have = space_.PagesLeft();
  for (int32_t offset = index_.free_head; offset != 0 && have < pages; ++have) {
    PageRef page = cache_.Fetch(offset);
    if (page->Count() != 0) Corrupt();
    offset = page->Next();
  }
  if (have < pages) throw EDbEngineError(kErrFileFull, ErrorName());
}

PageRef IndexTree::Allocate() {
  if (index_.free_head != 0) {
    PageRef page = cache_.Fetch(index_.free_head);
    if (page->Count() != 0) Corrupt();
    index_.free_head = page->Next();
    page.Edit().Reset(TPage::kLeaf);
    space_.HeaderChanged();
    return page;
  }
  return cache_.Fresh(space_.GrowFile());
}

void IndexTree::Free(PageRef& page) {
  TPage& p = page.Edit();
  p.Reset(TPage::kLeaf);
  p.SetNext(index_.free_head);
  index_.free_head = page.Offset();
  space_.HeaderChanged();
}

void IndexTree::Unlink(const TPage& page) {
  int32_t prev = page.Prev();
  int32_t next = page.Next();
  if (prev != 0) cache_.Fetch(prev).Edit().SetNext(next);
  if (next != 0) cache_.Fetch(next).Edit().SetPrev(prev);
}

void IndexTree::SetKeyUpward(const std::vector<Step>& path, int level, int slot,
                             const uint8_t* key) {
  for (int l = level; l >= 0; --l) {
    int s = l == level ? slot : path[l].slot;
    PageRef page = cache_.Fetch(path[l].page);
    if (s >= page->Count()) Corrupt();
    if (std::memcmp(page->Key(s), key, KeyLength()) == 0) return;
    page.Edit().SetKey(s, key);
    if (s != 0) return;
  }
}

void IndexTree::Insert(const uint8_t* key, int32_t record) {
  if (index_.root == 0) {
    EnsureRoom(1);
    PageRef page = Allocate();
    TPage& p = page.Edit();
    p.Reset(TPage::kRootLeaf);
    p.InsertEntry(0, key, record);
    index_.root = page.Offset();
    space_.HeaderChanged();
    ++version_;
    return;
  }
  std::vector<Step>& path = path_;
  if (DescendExact(key)) throw EDbEngineError(kErrDuplicateKey, ErrorName(), name_);
  // Pages a split could need: one per full page from the leaf upward, and
  // a new root when the root splits too.
  int need = 0;
  for (int l = static_cast<int>(path.size()) - 1; l >= 0 && path[l].count >= path[l].capacity;
       --l) {
    need += l == 0 ? 2 : 1;
  }
  EnsureRoom(need);

  ++version_;
  const int leaf_level = static_cast<int>(path.size()) - 1;
  for (int l = 0; l < leaf_level; ++l) {
    PageRef page = cache_.Fetch(path[l].page);
    TPage& p = page.Edit();
    p.SetSubtreeCount(path[l].slot, int64_t{p.SubtreeCount(path[l].slot)} + 1);
  }
  bool overfull;
  {
    PageRef leaf = cache_.Fetch(path[leaf_level].page);
    TPage& p = leaf.Edit();
    p.InsertEntry(path[leaf_level].slot, key, record);
    overfull = p.Count() > p.Capacity();
  }
  if (path[leaf_level].slot == 0 && leaf_level > 0) {
    SetKeyUpward(path, leaf_level - 1, path[leaf_level - 1].slot, key);
  }
  if (overfull) Split(path, leaf_level);
}

void IndexTree::Build(std::span<const Entry> entries) {
  if (index_.root != 0) throw std::invalid_argument("Build: the tree is not empty");
  if (entries.empty()) return;
  const size_t length = KeyLength();
  for (size_t i = 1; i < entries.size(); ++i) {
    if (CompareKeys(entries[i - 1].key, entries[i].key, length, index_.descending) >= 0) {
      throw std::invalid_argument("Build: keys do not ascend");
    }
  }
  // Pages per level, leaves first, each level spread evenly over as few
  // pages as hold it.
  auto pages_for = [](size_t n, int capacity) { return (n + capacity - 1) / capacity; };
  std::vector<size_t> level_pages{pages_for(entries.size(), TPage::LeafCapacity(length))};
  while (level_pages.back() > 1) {
    level_pages.push_back(pages_for(level_pages.back(), TPage::InteriorCapacity(length)));
  }
  size_t total = 0;
  for (size_t n : level_pages) total += n;
  if (total > static_cast<size_t>(INT32_MAX)) throw EDbEngineError(kErrFileFull, ErrorName());
  EnsureRoom(static_cast<int>(total));
  ++version_;

  // A level's pages from `items` entries, with the first key, offset and
  // entry count of each page for the level above.
  struct Made {
    std::vector<uint8_t> first_keys;
    std::vector<int32_t> offsets;
    std::vector<int64_t> sizes;
  };
  auto make_level = [&](size_t items, size_t pages, bool leaf, bool top, auto&& put) {
    Made made;
    made.first_keys.resize(pages * length);
    int32_t prev = 0;
    PageRef prev_page;
    for (size_t j = 0; j < pages; ++j) {
      const size_t from = j * items / pages, to = (j + 1) * items / pages;
      PageRef page = Allocate();
      TPage& p = page.Edit();
      p.Reset(top ? (leaf ? TPage::kRootLeaf : TPage::kRoot) : leaf ? TPage::kLeaf : TPage::kInterior);
      for (size_t i = from; i < to; ++i) put(p, static_cast<int>(i - from), i);
      p.SetPrev(prev);
      if (prev != 0) prev_page.Edit().SetNext(page.Offset());
      std::memcpy(made.first_keys.data() + j * length, p.Key(0), length);
      made.offsets.push_back(page.Offset());
      made.sizes.push_back(p.SubtreeSize());
      prev = page.Offset();
      prev_page = std::move(page);
    }
    return made;
  };
  Made below = make_level(entries.size(), level_pages[0], true, level_pages.size() == 1,
                          [&](TPage& p, int at, size_t i) {
                            p.InsertEntry(at, entries[i].key, entries[i].record);
                          });
  for (size_t level = 1; level < level_pages.size(); ++level) {
    below = make_level(below.offsets.size(), level_pages[level], false,
                       level + 1 == level_pages.size(), [&](TPage& p, int at, size_t i) {
                         p.InsertEntry(at, below.first_keys.data() + i * length,
                                       below.offsets[i], below.sizes[i]);
                       });
  }
  index_.root = below.offsets.front();
  space_.HeaderChanged();
}

void IndexTree::Split(const std::vector<Step>& path, int level) {
  bool parent_overfull;
  {
    PageRef page = cache_.Fetch(path[level].page);
    PageRef fresh = Allocate();
    TPage& p = page.Edit();
    TPage& n = fresh.Edit();
    n.Reset(p.IsLeaf() ? TPage::kLeaf : TPage::kInterior);
    int count = p.Count();
    int keep = (count + 1) / 2;
    TPage::MoveEntries(p, keep, count - keep, n, 0);
    int32_t next = p.Next();
    n.SetPrev(page.Offset());
    n.SetNext(next);
    if (next != 0) cache_.Fetch(next).Edit().SetPrev(fresh.Offset());
    p.SetNext(fresh.Offset());
    if (level == 0) {
      p.SetType(p.IsLeaf() ? TPage::kLeaf : TPage::kInterior);
      PageRef root = Allocate();
      TPage& r = root.Edit();
      r.Reset(TPage::kRoot);
      r.InsertEntry(0, p.Key(0), page.Offset(), p.SubtreeSize());
      r.InsertEntry(1, n.Key(0), fresh.Offset(), n.SubtreeSize());
      index_.root = root.Offset();
      space_.HeaderChanged();
      return;
    }
    PageRef parent = cache_.Fetch(path[level - 1].page);
    TPage& q = parent.Edit();
    int s = path[level - 1].slot;
    q.SetSubtreeCount(s, p.SubtreeSize());
    q.InsertEntry(s + 1, n.Key(0), fresh.Offset(), n.SubtreeSize());
    parent_overfull = q.Count() > q.Capacity();
  }
  if (parent_overfull) Split(path, level - 1);
}

void IndexTree::Delete(const uint8_t* key) {
  if (index_.root == 0 || !DescendExact(key)) {
    throw EDbEngineError(kErrKeyNotFound, ErrorName(), name_);
  }
  const std::vector<Step>& path = path_;
  ++version_;
  const int leaf_level = static_cast<int>(path.size()) - 1;
  for (int l = 0; l < leaf_level; ++l) {
    PageRef page = cache_.Fetch(path[l].page);
    TPage& p = page.Edit();
    p.SetSubtreeCount(path[l].slot, int64_t{p.SubtreeCount(path[l].slot)} - 1);
  }
  uint8_t first[kMaxKeyLength];
  bool first_changed;
  {
    PageRef leaf = cache_.Fetch(path[leaf_level].page);
    TPage& p = leaf.Edit();
    p.RemoveEntry(path[leaf_level].slot);
    first_changed = path[leaf_level].slot == 0 && p.Count() > 0;
    if (first_changed) std::memcpy(first, p.Key(0), KeyLength());
  }
  if (first_changed && leaf_level > 0) {
    SetKeyUpward(path, leaf_level - 1, path[leaf_level - 1].slot, first);
  }
  Rebalance(path, leaf_level);
}

void IndexTree::Rebalance(const std::vector<Step>& path, int level) {
  if (level == 0) {
    FixRoot();
    return;
  }
  uint8_t first[kMaxKeyLength];
  int left_slot;
  bool merged;
  {
    PageRef page = cache_.Fetch(path[level].page);
    const int count = page->Count();
    if (count >= page->Capacity() / 2) return;
    PageRef parent = cache_.Fetch(path[level - 1].page);
    const int s = path[level - 1].slot;
    if (s >= parent->Count()) Corrupt();
    if (parent->Count() == 1) {
      // No neighbour under the same parent: keep the page unless empty.
      if (count > 0) return;
      Unlink(*page);
      Free(page);
      parent.Edit().RemoveEntry(s);
      merged = true;
      left_slot = -1;
    } else {
      left_slot = s > 0 ? s - 1 : 0;
      PageRef left = cache_.Fetch(parent->Child(left_slot));
      PageRef right = cache_.Fetch(parent->Child(left_slot + 1));
      if (left.Offset() == right.Offset() || left->IsLeaf() != right->IsLeaf() || left->IsRoot() ||
          right->IsRoot()) {
        Corrupt();
      }
      TPage& l = left.Edit();
      TPage& r = right.Edit();
      TPage& q = parent.Edit();
      const int a = l.Count();
      const int b = r.Count();
      if (a + b < l.Capacity()) {
        TPage::MoveEntries(r, 0, b, l, a);
        int32_t next = r.Next();
        l.SetNext(next);
        if (next != 0) cache_.Fetch(next).Edit().SetPrev(left.Offset());
        Free(right);
        q.SetSubtreeCount(left_slot, l.SubtreeSize());
        q.RemoveEntry(left_slot + 1);
        merged = true;
      } else {
        const int want = (a + b + 1) / 2;
        if (a > want) TPage::MoveEntries(l, want, a - want, r, 0);
        if (a < want) TPage::MoveEntries(r, 0, want - a, l, a);
        q.SetSubtreeCount(left_slot, l.SubtreeSize());
        q.SetSubtreeCount(left_slot + 1, r.SubtreeSize());
        q.SetKey(left_slot + 1, r.Key(0));
        merged = false;
      }
      if (l.Count() == 0) Corrupt();
      std::memcpy(first, l.Key(0), KeyLength());
    }
  }
  if (left_slot >= 0) SetKeyUpward(path, level - 1, left_slot, first);
  if (merged) Rebalance(path, level - 1);
}

void IndexTree::FixRoot() {
  while (index_.root != 0) {
    PageRef root = cache_.Fetch(index_.root);
    if (!root->IsRoot()) Corrupt();
    const int count = root->Count();
    if (root->IsLeaf()) {
      if (count == 0) {
        Free(root);
        index_.root = 0;
        space_.HeaderChanged();
      }
      return;
    }
    if (count > 1) return;
    int32_t child = count == 1 ? root->Child(0) : 0;
    Free(root);
    index_.root = child;
    space_.HeaderChanged();
    if (child == 0) return;
    PageRef page = cache_.Fetch(child);
    TPage& p = page.Edit();
    p.SetType(p.IsLeaf() ? TPage::kRootLeaf : TPage::kRoot);
    p.SetPrev(0);
    p.SetNext(0);
  }
}

struct IndexTree::VerifyState {
  struct Summary {
    int32_t prev = 0;
    int32_t next = 0;
    std::vector<uint8_t> first_key;
    std::vector<uint8_t> last_key;
  };
  std::vector<std::string>& problems;
  std::unordered_map<int32_t, int>& owners;
  int owner_id;
  std::vector<std::vector<int32_t>> levels;
  std::unordered_map<int32_t, Summary> pages;
  int leaf_depth = -1;
};

void IndexTree::Verify(std::vector<std::string>& problems, std::unordered_map<int32_t, int>& owners,
                       int owner_id) {
  const std::string where = "index " + name_ + ": ";
  auto problem = [&](int32_t page, const std::string& what) {
    problems.push_back(where + "page " + std::to_string(page) + " " + what);
  };
  VerifyState state{problems, owners, owner_id, {}, {}, -1};
  if (index_.root != 0) {
    int64_t size = VerifyPage(index_.root, 0, state);
    if (size < 0) problems.push_back(where + "tree could not be walked completely");
  }
  const size_t klen = KeyLength();
  for (const std::vector<int32_t>& level : state.levels) {
    for (size_t j = 0; j < level.size(); ++j) {
      const VerifyState::Summary& s = state.pages[level[j]];
      int32_t want_prev = j > 0 ? level[j - 1] : 0;
      int32_t want_next = j + 1 < level.size() ? level[j + 1] : 0;
      if (s.prev != want_prev) problem(level[j], "has a wrong previous-page link");
      if (s.next != want_next) problem(level[j], "has a wrong next-page link");
      if (j + 1 < level.size()) {
        const VerifyState::Summary& t = state.pages[level[j + 1]];
        if (CompareKeys(s.last_key.data(), t.first_key.data(), klen, index_.descending) >= 0) {
          problem(level[j + 1], "starts with a key not above its left neighbour's keys");
        }
      }
    }
  }
  int32_t offset = index_.free_head;
  while (offset != 0) {
    if (owners.count(offset) != 0) {
      problem(offset, "on the free chain is reached twice");
      break;
    }
    owners[offset] = owner_id;
    try {
      PageRef page = cache_.Fetch(offset);
      if (page->Count() != 0) problem(offset, "on the free chain has entries");
      offset = page->Next();
    } catch (const EDbEngineError&) {
      problem(offset, "on the free chain is unreadable or damaged");
      break;
    }
  }
}

int64_t IndexTree::VerifyPage(int32_t offset, int depth, VerifyState& state) {
  auto problem = [&](const std::string& what) {
    state.problems.push_back("index " + name_ + ": page " + std::to_string(offset) + " " + what);
  };
  if (depth >= kMaxDepth) {
    problem("lies deeper than any tree may grow");
    return -1;
  }
  if (state.owners.count(offset) != 0) {
    problem("is reached twice");
    return -1;
  }
  state.owners[offset] = state.owner_id;
  const size_t klen = KeyLength();
  struct ChildEntry {
    int32_t child;
    int32_t count;
    std::vector<uint8_t> key;
  };
  std::vector<ChildEntry> children;
  int count;
  bool leaf;
  try {
    PageRef page = cache_.Fetch(offset);
    const TPage& p = *page;
    count = p.Count();
    leaf = p.IsLeaf();
    if (p.IsRoot() != (depth == 0)) problem("has the wrong page type for its place");
    if (count == 0) {
      problem("has no entries");
      return -1;
    }
    for (int i = 1; i < count; ++i) {
      if (CompareKeys(p.Key(i - 1), p.Key(i), klen, index_.descending) >= 0) {
        problem("has keys out of order");
        break;
      }
    }
    if (static_cast<size_t>(depth) >= state.levels.size()) state.levels.resize(depth + 1);
    state.levels[depth].push_back(offset);
    VerifyState::Summary& s = state.pages[offset];
    s.prev = p.Prev();
    s.next = p.Next();
    s.first_key.assign(p.Key(0), p.Key(0) + klen);
    s.last_key.assign(p.Key(count - 1), p.Key(count - 1) + klen);
    if (!leaf) {
      for (int i = 0; i < count; ++i) {
        children.push_back(
            {p.Child(i), p.SubtreeCount(i), std::vector<uint8_t>(p.Key(i), p.Key(i) + klen)});
      }
    }
  } catch (const EDbEngineError&) {
    problem("is unreadable or damaged");
    return -1;
  }
  if (leaf) {
    if (state.leaf_depth < 0) state.leaf_depth = depth;
    if (state.leaf_depth != depth) problem("is a leaf at a different depth than others");
    return count;
  }
  int64_t total = 0;
  bool complete = true;
  for (const ChildEntry& c : children) {
    int64_t size = VerifyPage(c.child, depth + 1, state);
    if (size < 0) {
      complete = false;
      continue;
    }
    total += size;
    if (size != c.count) {
      problem("counts " + std::to_string(c.count) + " entries under page " +
              std::to_string(c.child) + ", which holds " + std::to_string(size));
    }
    if (state.pages[c.child].first_key != c.key) {
      problem("has a key that differs from the first key of page " + std::to_string(c.child));
    }
  }
  return complete ? total : -1;
}

}  // namespace quoldex::tables
