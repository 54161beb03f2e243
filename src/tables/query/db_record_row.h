// A table's record buffer (record slot layout) presented to the query
// language: the columns of a table for resolving a statement or a record
// filter, and one record at a time as an SqlRow.
#pragma once

#include <cstdint>
#include <vector>

#include "tables/base/table_defs.h"
#include "tables/records/field_value.h"
#include "tables/sql/sql_value.h"

namespace quoldex::tables {

// The table's columns in stored order, as the query language sees them.
SqlColumns SqlColumnsOf(const std::vector<FieldDesc>& fields);

// Column i of the row is field i of `fields` in the record set by
// SetRecord. Values are decoded on first use and kept until the next
// SetRecord, so the string views handed out stay valid until then. Fields
// the engine cannot read (blob, BCD, extended, computed) read as null; dates
// and times read as day counts (floats), auto-increment fields as the
// record ID.
class RecordSqlRow : public SqlRow {
 public:
  explicit RecordSqlRow(std::vector<FieldDesc> fields);

  // `record` must stay valid while the row is evaluated.
  void SetRecord(const uint8_t* record);
  SqlValue Column(int index) const override;

 private:
  std::vector<FieldDesc> fields_;
  const uint8_t* record_ = nullptr;
  mutable std::vector<FieldValue> values_;
  mutable std::vector<bool> decoded_;
};

}  // namespace quoldex::tables
