// The one way the query language reports a failure: an engine error with the
// code kErrSql, whose text is "SQL - " + message. Every parse, resolution and
// filter error of the sql_* units goes through here so that callers catch a
// single type (EDbEngineError) and read the same wording.
#pragma once

#include <string_view>

#include "tables/base/engine_error.h"

namespace quoldex::tables {

[[noreturn]] inline void ThrowSqlError(std::string_view message) {
  throw EDbEngineError(kErrSql, /*file=*/{}, message);
}

}  // namespace quoldex::tables
