// One index descriptor in a line, for the tests of every engine layer that
// defines indexes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tables/base/table_defs.h"

namespace quoldex::tables::test {

inline IndexDesc Index(std::string name, std::vector<uint16_t> fields, bool unique = false,
                       bool case_insensitive = false) {
  IndexDesc d;
  d.name = std::move(name);
  d.fields = std::move(fields);
  d.unique = unique;
  d.case_insensitive = case_insensitive;
  return d;
}

}  // namespace quoldex::tables::test
