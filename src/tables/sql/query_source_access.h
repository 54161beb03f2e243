// How a query reaches the source rows that may satisfy its WHERE condition.
//
// A condition that is, or is joined by AND to, an equality of a string
// column with a string constant or a parameter ("InheritsFrom = ?") can only
// hold for rows whose column equals that value; when an index of the source
// table has that column as its first field, the query walks just the keys
// equal to the value (a case-insensitive index gives the rows equal ignoring
// case, a superset). Otherwise the query walks the primary index (or the
// physical order of a table without one). Either way each row is first
// tested on its record bytes against every such equality (a cheap test that
// no row satisfying the condition fails), and a row that passes still goes
// through the full condition, so the result is that of visiting every row.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "tables/base/table_defs.h"
#include "tables/records/field_value.h"
#include "tables/sql/sql_expression.h"

namespace quoldex::tables {

// The equalities "string column = value" a condition implies, tested on a
// record's bytes exactly as the condition compares them: the whole stored
// text (a null column reads as ""), with regard to case or not as the
// comparison says, and only the start of it where the comparison takes a
// constant ending in "*" as a prefix (record filters).
class SourcePrefilter {
 public:
  // Adds the test "field = value" (`prefix`: the field begins with value);
  // `field` is a string field.
  void Add(const FieldDesc& field, std::string value, bool ignore_case = false,
           bool prefix = false);
  // False when `record` fails a test, so that it cannot satisfy the
  // condition.
  bool Passes(const uint8_t* record) const;
  // True when the tests are the whole condition (it is made of such
  // equalities joined by AND): a record that passes satisfies it.
  bool Exact() const { return exact_; }
  void SetExact(bool exact) { exact_ = exact; }

 private:
  struct Test {
    uint16_t offset;  // the field's slot in the record
    uint8_t size;     // its declared size
    std::string value;
    bool ignore_case;
    bool prefix;
  };
  std::vector<Test> tests_;
  bool exact_ = false;
};

// The prefilter of the equalities `condition` (resolved; null for none)
// implies, with the parameter values bound by position.
SourcePrefilter PrefilterFor(const SqlNode* condition, std::span<const std::string> parameters,
                             const std::vector<FieldDesc>& fields);

struct SourceAccess {
  int index = 0;        // the source index to walk (0 = primary)
  bool ranged = false;  // walk only the keys whose first field equals `value`
  FieldValue value;
  SourcePrefilter prefilter;
};

// Chooses the access for `where` (resolved; null for no condition) with the
// parameter values bound by position, over a table with these fields and
// indexes (indexes[0] the primary index, possibly without fields). Among
// fitting indexes a unique one is preferred, then the first.
SourceAccess ChooseSourceAccess(const SqlNode* where, std::span<const std::string> parameters,
                                const std::vector<FieldDesc>& fields,
                                const std::vector<IndexDesc>& indexes);

}  // namespace quoldex::tables
