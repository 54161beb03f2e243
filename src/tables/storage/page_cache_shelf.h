// A second level behind the page and record caches of one open file: a
// bounded store of clean images (index pages or record slots) exactly as the
// file holds them, so that a miss in the first-level cache that finds its
// image here needs no read.
//
// The shelf only ever holds what the file holds: an image enters when it was
// read from the file or has just been written to it, and leaves before a
// write that could fail halfway. Whoever discards the first-level caches
// (another user's change was seen) clears the shelf with them, so an image
// never outlives the state of the file it was taken from.
//
// Images kept while a handle holds no lock may be stale by the time they are
// wanted: another user may have changed the file since. A gate, when set,
// must agree (Usable) before kept images serve a miss; when it refuses, the
// caller reads the file as on any miss (which takes the lock and notices the
// change).
//
// Least recently used images give way when the shelf is full. Keys are
// positive (page offsets, record numbers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace quoldex::tables {

// Positive int32 key -> value, open addressing with linear probing; key 0
// marks an empty slot.
template <typename V>
class KeyMap {
 public:
  // Makes room for `count` keys without growing later.
  void Reserve(size_t count) {
    size_t want = 16;
    int bits = 4;
    while (want < 2 * count) want <<= 1, ++bits;
    if (want <= slots_.size()) return;
    std::vector<std::pair<int32_t, V>> old;
    old.swap(slots_);
    slots_.assign(want, {0, V{}});
    mask_ = want - 1;
    shift_ = 32 - bits;
    for (auto& [key, value] : old)
      if (key != 0) Insert(key, value);
  }
  // Pointer to the value of `key`, nullptr when absent.
  V* Find(int32_t key) {
    if (slots_.empty()) return nullptr;
    for (size_t i = Home(key);; i = (i + 1) & mask_) {
      if (slots_[i].first == key) return &slots_[i].second;
      if (slots_[i].first == 0) return nullptr;
    }
  }
  const V* Find(int32_t key) const { return const_cast<KeyMap*>(this)->Find(key); }
  // `key` must be absent and the map reserved for one more key.
  void Insert(int32_t key, V value) {
    size_t i = Home(key);
    while (slots_[i].first != 0) i = (i + 1) & mask_;
    slots_[i] = {key, value};
  }
  void Erase(int32_t key) {
    if (slots_.empty()) return;
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
    slots_[i] = {0, V{}};
  }
  void Clear() {
    for (auto& slot : slots_) slot = {0, V{}};
  }

 private:
  size_t Home(int32_t key) const { return (static_cast<uint32_t>(key) * 2654435769u) >> shift_; }

  std::vector<std::pair<int32_t, V>> slots_;
  size_t mask_ = 0;
  int shift_ = 0;
};

// Asked before a kept image is handed out (see above).
class ShelfGate {
 public:
  virtual ~ShelfGate() = default;
  // False when kept images may no longer match the file.
  virtual bool ShelfUsable() = 0;
};

// Keeps items (an image each: a page object, a slot buffer) under keys.
// Items belong to the shelf's slots: a slot that lost its key (Erase, Clear,
// or the least recently used one when Place needs room) keeps its item for
// the next Place to reuse, so that a warm shelf allocates nothing.
template <typename Item>
class Shelf {
 public:
  // At most `capacity` keys (at least one).
  explicit Shelf(size_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}
  Shelf(const Shelf&) = delete;
  Shelf& operator=(const Shelf&) = delete;

  size_t Capacity() const { return capacity_; }
  size_t Size() const { return size_; }

  // The gate asked by Usable; nullptr (the default) always agrees. It must
  // outlive the shelf or be reset first.
  void SetGate(ShelfGate* gate) { gate_ = gate; }
  // True when kept images may serve a miss now (the gate agrees).
  bool Usable() { return gate_ == nullptr || gate_->ShelfUsable(); }

  bool Contains(int32_t key) const { return map_.Find(key) != nullptr; }
  // The item kept under `key`, made the most recently used; nullptr when
  // none. Ask Usable first. Valid until the next change to the shelf.
  Item* Find(int32_t key) {
    const uint32_t* slot = map_.Find(key);
    if (slot == nullptr) return nullptr;
    Touch(*slot);
    return &items_[*slot];
  }
  // The item under `key`, made the most recently used; when `key` was not
  // kept, a slot is given to it (the least recently used key gives way when
  // the shelf is full) and its item is whatever that slot held before,
  // possibly empty: the caller fills it with the image of `key`.
  Item& Place(int32_t key) {
    if (uint32_t* kept = map_.Find(key)) {
      Touch(*kept);
      return items_[*kept];
    }
    uint32_t slot = FreeSlot();
    map_.Reserve(size_ + 1);
    map_.Insert(key, slot);
    entries_[slot].key = key;
    ++size_;
    LinkFront(slot);
    return items_[slot];
  }
  // Removes `key` and hands its item over (empty when `key` was not kept).
  Item Take(int32_t key) {
    uint32_t* kept = map_.Find(key);
    if (kept == nullptr) return Item{};
    uint32_t slot = *kept;
    Drop(slot);
    return std::move(items_[slot]);
  }
  void Erase(int32_t key) {
    if (uint32_t* kept = map_.Find(key)) Drop(*kept);
  }
  void Clear() {
    if (size_ == 0) return;
    for (uint32_t slot = head_; slot != kNone;) {
      uint32_t next = entries_[slot].next;
      entries_[slot] = Entry{};
      free_.push_back(slot);
      slot = next;
    }
    map_.Clear();
    head_ = tail_ = kNone;
    size_ = 0;
  }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  struct Entry {
    int32_t key = 0;  // 0: free
    uint32_t prev = kNone;
    uint32_t next = kNone;
  };

  void Unlink(uint32_t slot) {
    Entry& e = entries_[slot];
    (e.prev != kNone ? entries_[e.prev].next : head_) = e.next;
    (e.next != kNone ? entries_[e.next].prev : tail_) = e.prev;
    e.prev = e.next = kNone;
  }
  void LinkFront(uint32_t slot) {
    Entry& e = entries_[slot];
    e.prev = kNone;
    e.next = head_;
    (head_ != kNone ? entries_[head_].prev : tail_) = slot;
    head_ = slot;
  }
  void Touch(uint32_t slot) {
    if (slot == head_) return;
    Unlink(slot);
    LinkFront(slot);
  }
  void Drop(uint32_t slot) {
    map_.Erase(entries_[slot].key);
    Unlink(slot);
    entries_[slot].key = 0;
    free_.push_back(slot);
    --size_;
  }
  uint32_t FreeSlot() {
    if (!free_.empty()) {
      uint32_t slot = free_.back();
      free_.pop_back();
      return slot;
    }
    if (entries_.size() < capacity_) {
      entries_.emplace_back();
      items_.emplace_back();
      return static_cast<uint32_t>(entries_.size() - 1);
    }
    uint32_t victim = tail_;
    Drop(victim);
    free_.pop_back();
    return victim;
  }

  const size_t capacity_;
  ShelfGate* gate_ = nullptr;
  size_t size_ = 0;
  std::vector<Entry> entries_;
  std::vector<Item> items_;
  std::vector<uint32_t> free_;
  uint32_t head_ = kNone;  // most recently used
  uint32_t tail_ = kNone;
  KeyMap<uint32_t> map_;
};

}  // namespace quoldex::tables
