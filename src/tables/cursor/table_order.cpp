#include "tables/cursor/table_order.h"

#include <algorithm>

#include "tables/base/coding.h"
#include "tables/records/data_file_record.h"

namespace quoldex::tables {

// ---- IndexOrder ----

void IndexOrder::Bind() {
  if (file_.CurrentIndex() != index_) file_.SelectIndex(index_);
}

bool IndexOrder::First() {
  Bind();
  return file_.First();
}

bool IndexOrder::Last() {
  Bind();
  return file_.Last();
}

bool IndexOrder::Next() {
  Bind();
  return file_.Next();
}

bool IndexOrder::Prior() {
  Bind();
  return file_.Prior();
}

bool IndexOrder::FindNearest(const uint8_t* key, size_t length) {
  Bind();
  return file_.FindNearest(key, length);
}

bool IndexOrder::OnEntry() const {
  return file_.CurrentIndex() == index_ && file_.State() == TIndexFile::CursorState::kOnEntry;
}

int64_t IndexOrder::CountRange(const uint8_t* lo, size_t lo_length, const uint8_t* hi,
                               size_t hi_length) {
  Bind();
  return file_.CountRange(lo, lo_length, hi, hi_length);
}

int64_t IndexOrder::Ordinal() {
  Bind();
  return file_.CurrentOrdinal();
}

bool IndexOrder::SetOrdinal(int64_t ordinal) {
  Bind();
  return file_.SetOrdinal(ordinal);
}

int IndexOrder::RunAhead(int limit) {
  Bind();
  return file_.SequentialRecordsAhead(limit);
}

// ---- PhysicalOrder ----

bool PhysicalOrder::IsActive(int32_t record_number) {
  TRecord* r = data_.GetRecord(record_number, ReadAhead::Physical());
  bool active = !RecordIsDeleted(r->Data());
  data_.Unpin(r);
  return active;
}

int32_t PhysicalOrder::Scan(int32_t from, int step) {
  const int32_t end = data_.Header().NextRecordNumber();
  for (int32_t n = from; n >= 1 && n < end; n += step) {
    if (IsActive(n)) return n;
  }
  return 0;
}

bool PhysicalOrder::Land(int32_t record_number, bool at_end_after) {
  record_ = record_number;
  after_last_ = record_number == 0 && at_end_after;
  PutBE32(key_.data(), static_cast<uint32_t>(record_number));
  return record_ != 0;
}

bool PhysicalOrder::First() { return Land(Scan(1, +1), true); }

bool PhysicalOrder::Last() { return Land(Scan(data_.Header().NextRecordNumber() - 1, -1), false); }

bool PhysicalOrder::Next() {
  if (record_ == 0) return after_last_ ? false : First();
  return Land(Scan(record_ + 1, +1), true);
}

bool PhysicalOrder::Prior() {
  if (record_ == 0) return after_last_ ? Last() : false;
  return Land(Scan(record_ - 1, -1), false);
}

bool PhysicalOrder::FindNearest(const uint8_t* key, size_t length) {
  std::array<uint8_t, 4> full{};
  std::copy_n(key, std::min<size_t>(length, full.size()), full.begin());
  uint32_t from = GetBE32(full.data());
  if (from > static_cast<uint32_t>(data_.Header().NextRecordNumber())) return Land(0, true);
  return Land(Scan(std::max<int32_t>(1, static_cast<int32_t>(from)), +1), true);
}

int64_t PhysicalOrder::CountRange(const uint8_t*, size_t, const uint8_t*, size_t) {
  return index_.RecordCount();
}

int64_t PhysicalOrder::Ordinal() {
  if (record_ == 0) return after_last_ ? index_.RecordCount() + 1 : 0;
  int64_t ordinal = 0;
  for (int32_t n = 1; n <= record_; ++n) ordinal += IsActive(n) ? 1 : 0;
  return ordinal;
}

bool PhysicalOrder::SetOrdinal(int64_t ordinal) {
  if (ordinal < 1) return Land(0, false);
  int32_t n = 0;
  for (int64_t seen = 0; seen < ordinal;) {
    n = Scan(n + 1, +1);
    if (n == 0) return Land(0, true);
    ++seen;
  }
  return Land(n, true);
}

int PhysicalOrder::RunAhead(int limit) {
  if (record_ == 0) return 0;
  int64_t left = int64_t{data_.Header().NextRecordNumber()} - 1 - record_;
  return static_cast<int>(std::clamp<int64_t>(left, 0, limit));
}

}  // namespace quoldex::tables
