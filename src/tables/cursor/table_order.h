// RecordOrder: one order in which a table handle walks its records, as a
// sequence of entries (key, record number) with a position that is before
// the first entry, on an entry, or after the last.
//
// IndexOrder walks one index of the index file through the file's cursor,
// selecting that index first whenever the cursor was left on another one.
// PhysicalOrder walks the active slots of the data file in slot order, for a
// table without a primary index; its key is the slot number (4 bytes,
// big-endian) and it has no ranges (counts are the active record count).
//
// Entry keys compare as unsigned bytes. Any call may read from disk.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "tables/data_file/data_file.h"
#include "tables/index_file/index_file.h"

namespace quoldex::tables {

class RecordOrder {
 public:
  virtual ~RecordOrder() = default;

  virtual size_t KeyLength() const = 0;
  // Each returns true when the position is then on an entry. Next and Prior
  // step from the current entry; before the first, Next is First, and after
  // the last, Prior is Last.
  virtual bool First() = 0;
  virtual bool Last() = 0;
  virtual bool Next() = 0;
  virtual bool Prior() = 0;
  // The first entry whose first `length` key bytes are >= key.
  virtual bool FindNearest(const uint8_t* key, size_t length) = 0;
  virtual bool OnEntry() const = 0;
  // The current entry (only while OnEntry()).
  virtual const uint8_t* Key() const = 0;
  virtual int32_t Record() const = 0;
  // Entries whose leading key bytes lie within [lo, hi], each bound compared
  // on its own length (0: unbounded on that side).
  virtual int64_t CountRange(const uint8_t* lo, size_t lo_length, const uint8_t* hi,
                             size_t hi_length) = 0;
  // 1-based ordinal of the current entry, and positioning by ordinal.
  virtual int64_t Ordinal() = 0;
  virtual bool SetOrdinal(int64_t ordinal) = 0;
  // How many entries after the current one continue its record numbers in
  // steps of 1 (at most `limit`): the slots worth reading ahead.
  virtual int RunAhead(int limit) = 0;
};

class IndexOrder : public RecordOrder {
 public:
  // `file` must outlive the order; `index` must be defined in it.
  IndexOrder(TIndexFile& file, int index) : file_(file), index_(index) {}

  size_t KeyLength() const override { return file_.KeyLength(index_); }
  bool First() override;
  bool Last() override;
  bool Next() override;
  bool Prior() override;
  bool FindNearest(const uint8_t* key, size_t length) override;
  bool OnEntry() const override;
  const uint8_t* Key() const override { return file_.CurrentKey(); }
  int32_t Record() const override { return file_.CurrentRecord(); }
  int64_t CountRange(const uint8_t* lo, size_t lo_length, const uint8_t* hi,
                     size_t hi_length) override;
  int64_t Ordinal() override;
  bool SetOrdinal(int64_t ordinal) override;
  int RunAhead(int limit) override;

 private:
  // Makes the file's cursor ours (before the first entry when it was not).
  void Bind();

  TIndexFile& file_;
  int index_;
};

class PhysicalOrder : public RecordOrder {
 public:
  // Both files must outlive the order.
  PhysicalOrder(TDataFile& data, TIndexFile& index) : data_(data), index_(index) {}

  size_t KeyLength() const override { return 4; }
  bool First() override;
  bool Last() override;
  bool Next() override;
  bool Prior() override;
  bool FindNearest(const uint8_t* key, size_t length) override;
  bool OnEntry() const override { return record_ != 0; }
  const uint8_t* Key() const override { return key_.data(); }
  int32_t Record() const override { return record_; }
  int64_t CountRange(const uint8_t* lo, size_t lo_length, const uint8_t* hi,
                     size_t hi_length) override;
  int64_t Ordinal() override;
  bool SetOrdinal(int64_t ordinal) override;
  int RunAhead(int limit) override;

 private:
  bool IsActive(int32_t record_number);
  // The first active slot from `from` in steps of `step` (+1 or -1), or 0.
  int32_t Scan(int32_t from, int step);
  bool Land(int32_t record_number, bool at_end_after);

  TDataFile& data_;
  TIndexFile& index_;
  int32_t record_ = 0;  // 0: not on an entry
  bool after_last_ = false;
  std::array<uint8_t, 4> key_{};
};

}  // namespace quoldex::tables
