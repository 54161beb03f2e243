// LocateTarget: what a Locate looks for, and the tests it makes: which
// index can search it, the key to search, and whether a record matches.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tables/base/table_defs.h"
#include "tables/data_file/data_file.h"
#include "tables/index_file/key_codec.h"
#include "tables/records/field_value.h"

namespace quoldex::tables {

class LocateTarget {
 public:
  // Wants nothing; Set makes it a target.
  LocateTarget() = default;
  // `fields` are field numbers of `data` (kErrInvalidField for one that is not)
  // with one value each, converted as storing them would convert them. With
  // `partial`, a string value for the last field is a prefix.
  LocateTarget(const TDataFile& data, std::span<const int> fields,
               std::span<const FieldValue> values, bool case_insensitive, bool partial);

  // Makes this the target the constructor above makes, reusing the storage
  // of the one before: a handle that keeps its target allocates nothing for
  // it once the storage has grown. `data` must outlive the use of the
  // target. After an error the target wants nothing.
  void Set(const TDataFile& data, std::span<const int> fields, std::span<const FieldValue> values,
           bool case_insensitive, bool partial);

  // True when `index`'s leading fields are exactly the wanted fields, in
  // order, and its case rule is the search's (when a string is among them).
  bool Fits(const IndexDesc& index) const;
  // Builds the key to search in an index that fits; returns how many of its
  // leading bytes an entry must share with it.
  size_t BuildKey(const KeyLayout& layout, uint8_t* key) const;
  // True when `record` holds the wanted values (strings compared ignoring
  // case with the case-insensitive option, as prefixes where partial).
  bool Matches(const uint8_t* record) const;

 private:
  const TDataFile* data_ = nullptr;
  std::vector<int> fields_;
  std::vector<KeyValue> keys_;
  std::vector<FieldValue> values_;
  std::vector<uint8_t> scratch_;  // the record a value is stored into
  bool case_insensitive_ = false;
  bool partial_ = false;
  bool any_string_ = false;
};

}  // namespace quoldex::tables
