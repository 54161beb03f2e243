// TableCursor::Impl, its position: orders, ranges, filters, stepping,
// finding keys and scans.

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "tables/base/engine_error.h"
#include "tables/cursor/table_cursor_impl.h"
#include "tables/cursor/table_cursor_scopes.h"
#include "tables/cursor/table_keys.h"
#include "tables/records/data_file_record.h"

namespace quoldex::tables {
namespace {

// The smallest byte string of the same length above `key`; false when
// `key` is all 0xFF.
bool Increment(std::vector<uint8_t>& key) {
  for (size_t i = key.size(); i-- > 0;) {
    if (key[i] != 0xFF) {
      ++key[i];
      return true;
    }
    key[i] = 0;
  }
  return false;
}

}  // namespace

void TableCursor::Impl::SelectOrder(int index_number) {
  current_index = index_number;
  if (HasIndexOrder()) {
    order = std::make_unique<IndexOrder>(*index, index_number);
  } else {
    order = std::make_unique<PhysicalOrder>(*data, *index);
  }
  has_range = false;
  if (where == Where::kOn) {
    key = OrderKey(record.data(), record_number);
  } else {
    where = Where::kBof;
  }
}

// The record cache's buffer of one slot, pinned for the scope.
class TableCursor::Impl::StoredRecord {
 public:
  StoredRecord(Impl& c, int32_t number, bool forward)
      : c_(c), record_(c.data->GetRecord(number, c.ReadAheadFor(number, forward))) {}
  ~StoredRecord() {
    try {
      c_.data->Unpin(record_);
    } catch (...) {
      // Pinned by this scope: unpinning cannot fail.
    }
  }
  StoredRecord(const StoredRecord&) = delete;
  StoredRecord& operator=(const StoredRecord&) = delete;
  const uint8_t* Data() const { return record_->Data(); }

 private:
  Impl& c_;
  TRecord* record_;
};

ReadAhead TableCursor::Impl::ReadAheadFor(int32_t number, bool forward) {
  // A hit reads nothing: the run ahead is only worth working out on a miss.
  if (!forward || data->IsCached(number)) return ReadAhead::None();
  int run = order->RunAhead(RecordCache::kReadAheadBytes / data->RecordSize());
  upcoming.clear();
  for (int i = 1; i <= run; ++i) upcoming.push_back(number + i);
  return HasIndexOrder() ? ReadAhead::Index(upcoming) : ReadAhead::Physical();
}

size_t TableCursor::Impl::ReadAheadLimit() const {
  return std::min(kIndexReadAhead, std::max<size_t>(1, data->CacheCapacity() / 2));
}

void TableCursor::Impl::ReadAheadInIndexOrder(int32_t number, int direction) {
  // A slot the cache holds, or keeps an image of that may serve now, needs
  // no read.
  if (data->HeldRecord(number) != nullptr) return;
  // The first read from disk of an unlocked step takes the read lock and
  // restarts the step when the counters moved; here it is taken before the
  // batch, which is then read, index pages and slots, under that one lock.
  BeforeRead();
  const size_t limit = ReadAheadLimit();
  index_ahead.clear();
  index_ahead.push_back(number);
  auto gather = [&](const uint8_t* k, int32_t n) {
    if ((direction > 0 ? AboveRange(k) : BelowRange(k)) || index_ahead.size() >= limit) {
      return false;
    }
    index_ahead.push_back(n);
    return true;
  };
  if (direction > 0) {
    index->WalkAhead(gather);
  } else {
    index->WalkBehind(gather);
  }
  data->ReadAheadSlots(index_ahead);
}

void TableCursor::Impl::ReadAheadBehindInPhysicalOrder(int32_t number) {
  const int32_t below = number - 1;
  if (below < 1 || data->HeldRecord(below) != nullptr) return;
  BeforeRead();
  const size_t limit = ReadAheadLimit();
  index_ahead.clear();
  for (int32_t n = below; n >= 1 && index_ahead.size() < limit; --n) index_ahead.push_back(n);
  data->ReadAheadSlots(index_ahead);
}

void TableCursor::Impl::ReadAheadInWalk(int32_t number, int direction) {
  if (HasIndexOrder()) {
    ReadAheadInIndexOrder(number, direction);
  } else if (direction < 0) {
    ReadAheadBehindInPhysicalOrder(number);
  }
}

void TableCursor::Impl::ReadStored(int32_t number, std::vector<uint8_t>& out, bool forward) {
  StoredRecord stored(*this, number, forward);
  out.assign(stored.Data(), stored.Data() + data->RecordSize());
}

bool TableCursor::Impl::BelowRange(const uint8_t* k) const {
  return has_range && range_lo_length != 0 && std::memcmp(k, range_lo.data(), range_lo_length) < 0;
}

bool TableCursor::Impl::AboveRange(const uint8_t* k) const {
  return has_range && range_hi_length != 0 && std::memcmp(k, range_hi.data(), range_hi_length) > 0;
}

const uint8_t* TableCursor::Impl::RecordToCompare(int32_t number) {
  // A filter is the caller's code: it gets a copy, whatever it does.
  if (!filter) {
    if (const uint8_t* held = data->HeldRecord(number)) return held;
  }
  ReadStored(number, scratch);
  return scratch.data();
}

void TableCursor::Impl::OrderKeyInto(const uint8_t* rec, int32_t number,
                                     std::vector<uint8_t>& out) const {
  if (!HasIndexOrder()) {
    out.resize(4);
    PutBE32(out.data(), static_cast<uint32_t>(number));
    return;
  }
  const KeyLayout& layout = index->Layout(current_index);
  out.resize(layout.KeyLength());
  layout.FromRecord({rec, data->RecordSize()}, out.data());
}

std::vector<uint8_t> TableCursor::Impl::OrderKey(const uint8_t* rec, int32_t number) const {
  std::vector<uint8_t> k;
  OrderKeyInto(rec, number, k);
  return k;
}

void TableCursor::Impl::StandOn(std::span<const uint8_t> k, int32_t number, const uint8_t* rec) {
  key.assign(k.begin(), k.end());
  record_number = number;
  record.assign(rec, rec + data->RecordSize());
  where = Where::kOn;
}

const uint8_t* TableCursor::Impl::SlotForFilter(int32_t number, int direction, int32_t ahead,
                                                MappedSlots& mapped) {
  if (const uint8_t* image = data->HeldRecord(number)) {
    scratch.assign(image, image + data->RecordSize());
    return scratch.data();
  }
  if (!mapped.tried) {
    BeforeRead();
    mapped.view = data->MapSlots();
    mapped.tried = true;
  }
  if (mapped.view) {
    if (const uint8_t* slot = data->SlotInView(mapped.view, number)) {
      // A filter touches a field or two of each record, too little for the
      // processor to see the stride and fetch ahead by itself.
      if (const uint8_t* next = ahead != 0 ? data->SlotInView(mapped.view, ahead) : nullptr) {
        for (size_t line = 0; line < data->RecordSize(); line += 64) {
          __builtin_prefetch(next + line);
        }
      }
      return slot;
    }
  }
  ReadAheadInWalk(number, direction);
  ReadStored(number, scratch, direction > 0);
  return scratch.data();
}

bool TableCursor::Impl::Settle(bool on_entry, int direction) {
  const size_t length = order->KeyLength();
  // Without a filter the slots are read in batches under the read lock, in
  // the walk's direction. A filter tests each slot once, as SlotForFilter
  // hands it out, so it never sees a slot that another instance is halfway
  // through writing; most slots it refuses are then never copied. Where it
  // passes most slots, those ahead are read in a batch as without a filter
  // once it passes one, so that the next steps take no lock.
  constexpr int kDenseRun = 4;  // a pass among this many tests: most pass
  MappedSlots mapped;
  int32_t previous = 0;
  int tested = 0;
  while (on_entry) {
    const uint8_t* k = order->Key();
    if (direction > 0 ? AboveRange(k) : BelowRange(k)) break;
    if (!(direction > 0 ? BelowRange(k) : AboveRange(k))) {
      const int32_t number = order->Record();
      std::optional<StoredRecord> stored;
      const uint8_t* rec = nullptr;
      if (filter) {
        const int32_t ahead = number == previous + direction ? number + 8 * direction : 0;
        previous = number;
        rec = SlotForFilter(number, direction, ahead, mapped);
        ++tested;
      } else {
        ReadAheadInWalk(number, direction);
        rec = stored.emplace(*this, number, direction > 0).Data();
      }
      if (RecordIsDeleted(rec)) throw EDbEngineError(kErrRecordNotFound, file_name);
      if (!filter || filter(rec)) {
        if (filter && tested <= kDenseRun) {
          ReadAheadInWalk(number, direction);
          stored.emplace(*this, number, direction > 0);
        }
        StandOn({order->Key(), length}, number, rec);
        return true;
      }
    }
    on_entry = direction > 0 ? order->Next() : order->Prior();
  }
  where = direction > 0 ? Where::kEof : Where::kBof;
  return false;
}

bool TableCursor::Impl::SeekAfterCurrent() {
  const size_t length = order->KeyLength();
  if (order->OnEntry() && std::memcmp(order->Key(), key.data(), length) == 0) {
    return order->Next();
  }
  bool on = order->FindNearest(key.data(), length);
  if (on && std::memcmp(order->Key(), key.data(), length) == 0) on = order->Next();
  return on;
}

bool TableCursor::Impl::SeekBeforeCurrent() {
  const size_t length = order->KeyLength();
  if (order->OnEntry() && std::memcmp(order->Key(), key.data(), length) == 0) {
    return order->Prior();
  }
  return order->FindNearest(key.data(), length) ? order->Prior() : order->Last();
}

bool TableCursor::Impl::SeekLastInRange() {
  if (!has_range || range_hi_length == 0) return order->Last();
  std::vector<uint8_t> above(range_hi.begin(), range_hi.begin() + range_hi_length);
  if (!Increment(above)) return order->Last();
  return order->FindNearest(above.data(), above.size()) ? order->Prior() : order->Last();
}

bool TableCursor::Impl::First() {
  return Reading([&] {
    bool on = has_range && range_lo_length != 0
                  ? order->FindNearest(range_lo.data(), range_lo_length)
                  : order->First();
    return Settle(on, +1);
  });
}

bool TableCursor::Impl::Last() {
  return Reading([&] { return Settle(SeekLastInRange(), -1); });
}

bool TableCursor::Impl::Next() {
  if (where == Where::kBof) return First();
  if (where == Where::kEof) return false;
  return Reading([&] { return Settle(SeekAfterCurrent(), +1); });
}

bool TableCursor::Impl::Prior() {
  if (where == Where::kEof) return Last();
  if (where == Where::kBof) return false;
  return Reading([&] { return Settle(SeekBeforeCurrent(), -1); });
}

int64_t TableCursor::Impl::EntriesBeforeRange() {
  if (!has_range || range_lo_length == 0) return 0;
  return order->CountRange(nullptr, 0, nullptr, 0) -
         order->CountRange(range_lo.data(), range_lo_length, nullptr, 0);
}

int64_t TableCursor::Impl::RecordCount() {
  return Reading([&] {
    if (!has_range) return order->CountRange(nullptr, 0, nullptr, 0);
    return order->CountRange(range_lo.data(), range_lo_length, range_hi.data(), range_hi_length);
  });
}

int64_t TableCursor::Impl::RecordNumber() {
  if (where != Where::kOn) return 0;
  return Reading([&]() -> int64_t {
    const size_t length = order->KeyLength();
    bool there = order->OnEntry() && std::memcmp(order->Key(), key.data(), length) == 0;
    if (!there && !order->FindNearest(key.data(), length)) return 0;
    return order->Ordinal() - EntriesBeforeRange();
  });
}

bool TableCursor::Impl::SetRecordNumber(int64_t ordinal) {
  return Reading([&] {
    int64_t count = has_range ? order->CountRange(range_lo.data(), range_lo_length, range_hi.data(),
                                                  range_hi_length)
                              : order->CountRange(nullptr, 0, nullptr, 0);
    if (ordinal < 1 || ordinal > count) return false;
    if (!order->SetOrdinal(EntriesBeforeRange() + ordinal)) return false;
    const int32_t number = order->Record();
    ReadStored(number, scratch);
    StandOn({order->Key(), order->KeyLength()}, number, scratch.data());
    return true;
  });
}

bool TableCursor::Impl::FindKey(std::span<const FieldValue> values) {
  if (!HasIndexOrder()) return false;
  const KeyLayout& layout = index->Layout(current_index);
  std::vector<KeyValue> kv = ToKeyValues(data->Fields(), indexes[current_index], values);
  std::vector<uint8_t> wanted(layout.KeyLength());
  const size_t length = layout.FromValues(kv, wanted.data());
  return Reading([&] {
    bool on = order->FindNearest(wanted.data(), length);
    while (on && std::memcmp(order->Key(), wanted.data(), length) == 0 &&
           !AboveRange(order->Key())) {
      if (!BelowRange(order->Key())) {
        const int32_t number = order->Record();
        ReadStored(number, scratch);
        if (!filter || filter(scratch.data())) {
          StandOn({order->Key(), layout.KeyLength()}, number, scratch.data());
          return true;
        }
      }
      on = order->Next();
    }
    return false;
  });
}

void TableCursor::Impl::SetRange(std::span<const FieldValue> start,
                                 std::span<const FieldValue> end) {
  where = Where::kBof;
  has_range = false;
  if (!HasIndexOrder()) return;
  const KeyLayout& layout = index->Layout(current_index);
  const IndexDesc& desc = indexes[current_index];
  range_lo.assign(layout.KeyLength(), 0);
  range_hi.assign(layout.KeyLength(), 0);
  range_lo_length = layout.FromValues(ToKeyValues(data->Fields(), desc, start), range_lo.data());
  range_hi_length = layout.FromValues(ToKeyValues(data->Fields(), desc, end), range_hi.data());
  has_range = true;
}

bool TableCursor::Impl::Locate(std::span<const int> field_numbers,
                               std::span<const FieldValue> values, bool case_insensitive,
                               bool partial) {
  if (field_numbers.empty() || field_numbers.size() != values.size()) return false;
  // The target, the key searched and the found record's key live in the
  // handle, so that a warm locate allocates nothing.
  LocateTarget& target = locate_target;
  target.Set(*data, field_numbers, values, case_insensitive, partial);
  auto fits = [&](int number) {
    return (number != 0 || index->HasPrimaryIndex()) && target.Fits(indexes[number]);
  };
  // Walks the entries of index `number` (through `search`) that match the
  // wanted key and stands on the first whose record lies in the range of
  // the current order and passes the filter.
  auto search_index = [&](RecordOrder& search, int number) {
    const KeyLayout& layout = index->Layout(number);
    std::vector<uint8_t>& k = locate_key;
    k.resize(layout.KeyLength());
    const size_t length = target.BuildKey(layout, k.data());
    for (bool on = search.FindNearest(k.data(), length);
         on && std::memcmp(search.Key(), k.data(), length) == 0; on = search.Next()) {
      const int32_t found = search.Record();
      const uint8_t* rec = RecordToCompare(found);
      OrderKeyInto(rec, found, locate_order_key);
      const uint8_t* main_key = locate_order_key.data();
      if (BelowRange(main_key) || AboveRange(main_key)) continue;
      if ((filter && !filter(rec)) || !target.Matches(rec)) continue;
      StandOn(locate_order_key, found, rec);
      return true;
    }
    return false;
  };
  return Reading([&] {
    if (HasIndexOrder() && fits(current_index)) return search_index(*order, current_index);
    for (size_t other = 0; other < indexes.size(); ++other) {
      if (static_cast<int>(other) == current_index || !fits(static_cast<int>(other))) continue;
      IndexOrder search(*index, static_cast<int>(other));
      return search_index(search, static_cast<int>(other));
    }
    // No index fits: scan the current order.
    bool on = has_range && range_lo_length != 0
                  ? order->FindNearest(range_lo.data(), range_lo_length)
                  : order->First();
    for (; on && !AboveRange(order->Key()); on = order->Next()) {
      if (BelowRange(order->Key())) continue;
      const int32_t number = order->Record();
      ReadStored(number, scratch, true);
      if ((filter && !filter(scratch.data())) || !target.Matches(scratch.data())) continue;
      StandOn({order->Key(), order->KeyLength()}, number, scratch.data());
      return true;
    }
    return false;
  });
}

namespace {

// Slots a scan reads per batch where the file is not mapped: many at a
// time, so that slots scattered over the file come close enough to share
// reads.
size_t ScanBatch(size_t record_size) {
  return std::clamp<size_t>((4 << 20) / record_size, 64, 16384);
}

}  // namespace

void TableCursor::Impl::Scan(const std::function<void(const uint8_t* record)>& visit,
                             const std::function<void(int64_t entries)>& expect) {
  // The entries of the order are gathered a batch at a time, their slots
  // read in ascending order, then handed out in the order's.
  LockScope lock(*this, LockScope::kRead);
  if (expect) expect(RecordCount());
  where = Where::kEof;
  if (!HasIndexOrder()) {
    // Physical order reads its slots in file order already.
    for (bool on = First(); on; on = Next()) visit(record.data());
    return;
  }
  const size_t from = has_range ? range_lo_length : 0;
  auto hand_out_one = [&](const uint8_t* rec) {
    if (RecordIsDeleted(rec)) throw EDbEngineError(kErrRecordNotFound, file_name);
    if (!filter || filter(rec)) visit(rec);
  };
  // Where the file can be mapped, slots are read in place: only the bytes
  // the visit looks at are touched, and nothing is copied.
  if (const FileView view = data->MapSlots()) {
    // Slots are gathered a few at a time and fetched from memory ahead of
    // their visit, so that the misses of a batch overlap.
    constexpr size_t kAhead = 16;
    const size_t size = data->RecordSize();
    int32_t gathered_numbers[kAhead];
    size_t gathered = 0;
    auto visit_gathered = [&] {
      for (size_t i = 0; i < gathered; ++i) {
        hand_out_one(data->SlotImage(view, gathered_numbers[i]));
      }
      gathered = 0;
    };
    index->Walk(current_index, range_lo.data(), from, [&](const uint8_t* k, int32_t number) {
      if (AboveRange(k)) return false;
      if (BelowRange(k)) return true;
      if (const uint8_t* slot = data->SlotInView(view, number)) {
        for (size_t line = 0; line < size; line += 64) __builtin_prefetch(slot + line);
      }
      gathered_numbers[gathered++] = number;
      if (gathered == kAhead) visit_gathered();
      return true;
    });
    visit_gathered();
    return;
  }
  const size_t size = data->RecordSize();
  const size_t batch = ScanBatch(size);
  std::vector<int32_t> numbers;
  numbers.reserve(batch);
  auto records = std::make_unique_for_overwrite<uint8_t[]>(batch * size);
  auto hand_out = [&] {
    data->ReadSlots(numbers, records.get());
    for (size_t i = 0; i < numbers.size(); ++i) hand_out_one(records.get() + i * size);
    numbers.clear();
  };
  index->Walk(current_index, range_lo.data(), from, [&](const uint8_t* k, int32_t number) {
    if (AboveRange(k)) return false;
    if (!BelowRange(k)) numbers.push_back(number);
    if (numbers.size() == batch) hand_out();
    return true;
  });
  hand_out();
}

void TableCursor::Impl::ScanSlots(const std::function<void(const uint8_t* record)>& visit) {
  if (has_range) throw std::logic_error("ScanSlots: a range needs an index order");
  LockScope lock(*this, LockScope::kRead);
  where = Where::kEof;
  const int32_t end = data->Header().NextRecordNumber();
  auto hand_out = [&](const uint8_t* rec) {
    if (!RecordIsDeleted(rec) && (!filter || filter(rec))) visit(rec);
  };
  if (const FileView view = data->MapSlots()) {
    // The whole slot a few records ahead is fetched from memory before its
    // visit: a visit touches a field or two of each record, too little for
    // the processor to see the stride and fetch ahead by itself.
    constexpr int32_t kAhead = 8;
    const size_t size = data->RecordSize();
    for (int32_t number = 1; number < end; ++number) {
      if (const uint8_t* slot = data->SlotInView(view, number + kAhead)) {
        for (size_t line = 0; line < size; line += 64) __builtin_prefetch(slot + line);
      }
      hand_out(data->SlotImage(view, number));
    }
    return;
  }
  const size_t size = data->RecordSize();
  const auto batch = static_cast<int32_t>(ScanBatch(size));
  std::vector<int32_t> numbers;
  numbers.reserve(batch);
  auto records = std::make_unique_for_overwrite<uint8_t[]>(batch * size);
  for (int32_t first = 1; first < end; first += batch) {
    numbers.clear();
    for (int32_t number = first; number < end && number < first + batch; ++number) {
      numbers.push_back(number);
    }
    data->ReadSlots(numbers, records.get());
    for (size_t i = 0; i < numbers.size(); ++i) hand_out(records.get() + i * size);
  }
}

}  // namespace quoldex::tables
