// TableCursor::Impl::AppendAll, the bulk store: many records appended to a
// table held exclusively, its indexes built in one pass each.

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "tables/base/engine_error.h"
#include "tables/cursor/table_cursor_impl.h"
#include "tables/cursor/table_keys.h"
#include "tables/records/data_file_record.h"

namespace quoldex::tables {

void TableCursor::Impl::AppendAll(std::vector<uint8_t> records, int order_index) {
  if (!settings.exclusive) throw EDbEngineError(kErrNotExclusive, file_name);
  RequireWritable();
  const size_t size = data->RecordSize();
  if (records.size() % size != 0) throw std::invalid_argument("AppendAll: not whole records");
  const DataFileHeader& header = data->Header();
  const std::vector<int> user = UserIndexes(*index);
  bool empty = header.NextRecordNumber() == 1 && index->RecordCount() == 0;
  for (int number : user) empty = empty && index->EntryCount(number) == 0;
  if (index->HasPrimaryIndex()) empty = empty && index->EntryCount(TIndexFile::kSystemIndex) == 0;
  if (!empty) throw std::invalid_argument("AppendAll: the table is not empty");
  if (order_index >= 0 && std::find(user.begin(), user.end(), order_index) == user.end()) {
    throw std::invalid_argument("AppendAll: no such index to store in the order of");
  }
  const size_t count = records.size() / size;
  if (count == 0) return;
  if (int64_t(count) + 1 > TDataFile::kMaxRecords ||
      int64_t(count) * int64_t(size) > TDataFile::kMaxRecordBytes) {
    throw EDbEngineError(kErrFileFull, file_name);
  }
  Cancel();

  // The record IDs Post would issue to the images in turn.
  const bool checked = HasFieldChecks(*data);
  std::vector<int32_t> ids(count);
  int32_t last_id = header.LastRecordId();
  for (size_t i = 0; i < count; ++i) {
    last_id = NextRecordId(last_id);
    ids[i] = last_id;
    SetRecordId(records.data() + i * size, last_id);
    if (checked) ValidateRecord(*data, records.data() + i * size);
  }

  // The images in the order of index `number`, given their keys side by
  // side (equal keys in the given order).
  auto in_key_order = [&](int number, const std::vector<uint8_t>& keys) {
    const size_t length = index->KeyLength(number);
    const bool descending = index->Descriptor(number).descending;
    // Sorted by each key's first eight bytes held beside its image number
    // (a number the comparison reads in key order), so that most
    // comparisons never reach the keys themselves.
    struct Item {
      uint64_t head;
      uint32_t image;
    };
    std::vector<Item> items(count);
    for (size_t i = 0; i < count; ++i) {
      uint8_t bytes[8] = {};
      std::memcpy(bytes, keys.data() + i * length, std::min<size_t>(8, length));
      uint64_t head = 0;
      for (uint8_t b : bytes) head = head << 8 | b;
      items[i] = {descending ? ~head : head, static_cast<uint32_t>(i)};
    }
    auto before = [&](const Item& a, const Item& b) {
      if (a.head != b.head) return a.head < b.head;
      return CompareKeys(keys.data() + size_t{a.image} * length,
                         keys.data() + size_t{b.image} * length, length, descending) < 0;
    };
    if (!std::is_sorted(items.begin(), items.end(), before)) {
      std::stable_sort(items.begin(), items.end(), before);
    }
    std::vector<uint32_t> order(count);
    for (size_t i = 0; i < count; ++i) order[i] = items[i].image;
    return order;
  };
  // Each index's keys by image and the images in key order, and a unique
  // index's duplicates refused before anything changes.
  std::vector<std::vector<uint8_t>> keys(user.size());
  std::vector<std::vector<uint32_t>> orders(user.size());
  for (size_t u = 0; u < user.size(); ++u) {
    const KeyLayout& layout = index->Layout(user[u]);
    keys[u].resize(count * layout.KeyLength());
    for (size_t i = 0; i < count; ++i) {
      layout.FromRecord({records.data() + i * size, size}, keys[u].data() + i * layout.KeyLength());
    }
    orders[u] = in_key_order(user[u], keys[u]);
    if (!index->IsUnique(user[u])) continue;
    const size_t length = index->Layout(user[u]).KeyLength();
    const uint8_t* base = keys[u].data();
    const std::vector<uint32_t>& order = orders[u];
    for (size_t i = 1; i < count; ++i) {
      if (std::memcmp(base + order[i - 1] * length, base + order[i] * length, length) == 0) {
        throw EDbEngineError(kErrDuplicateKey, file_name, index->IndexName(user[u]));
      }
    }
  }

  // The slots: stored[s] is the image that goes into slot s + 1.
  std::vector<uint32_t> stored(count);
  for (size_t s = 0; s < count; ++s) stored[s] = static_cast<uint32_t>(s);
  for (size_t u = 0; u < user.size(); ++u) {
    if (user[u] == order_index) stored = orders[u];
  }
  std::vector<int32_t> slot_of(count);
  for (size_t s = 0; s < count; ++s) slot_of[stored[s]] = static_cast<int32_t>(s + 1);

  // The system index's keys (record IDs) in their order.
  std::vector<uint8_t> system_keys;
  std::vector<uint32_t> system_order;
  if (index->HasPrimaryIndex()) {
    const size_t length = index->KeyLength(TIndexFile::kSystemIndex);
    system_keys.resize(count * length);
    for (size_t i = 0; i < count; ++i) {
      std::memcpy(system_keys.data() + i * length, SysKey(false, ids[i]).data(), length);
    }
    system_order = in_key_order(TIndexFile::kSystemIndex, system_keys);
  }

  try {
    data->AppendSlots(records.data(), stored);
  } catch (...) {
    // Nothing of the images may reach the files later (a header counting
    // slots never written): the files keep what they held, or the update
    // mark that makes the next open recover them.
    AbandonUnwritten();
    throw;
  }
  for (size_t i = 0; i < count; ++i) {
    uint8_t issued[kRecordHeaderSize];
    data->IssueRecordId(issued);
  }
  std::vector<IndexTree::Entry> entries(count);
  auto build = [&](int number, const std::vector<uint8_t>& keys,
                   const std::vector<uint32_t>& order) {
    const size_t length = index->KeyLength(number);
    for (size_t i = 0; i < count; ++i) {
      entries[i] = {keys.data() + order[i] * length, slot_of[order[i]]};
    }
    index->Build(number, entries);
  };
  for (size_t u = 0; u < user.size(); ++u) build(user[u], keys[u], orders[u]);
  if (index->HasPrimaryIndex()) build(TIndexFile::kSystemIndex, system_keys, system_order);
  index->SetRecordCount(static_cast<int32_t>(count));
  where = Where::kBof;
}

}  // namespace quoldex::tables
