// The POSIX storage (storage.h) and what it offers beyond the interface:
// the date and time text of an explicit C locale, which the regional text
// of the interface uses with the user's LC_TIME locale.
#pragma once

#if !defined(_WIN32)

#include <locale.h>

#include <string>

#include "tables/storage/storage.h"

namespace quoldex::tables {

// `moment` as strftime_l writes it in `locale` with `date_format`, then,
// when `with_time`, a blank and `time_format`.
std::string LocaleDateTimeText(const text::DateTimeParts& moment, bool with_time, locale_t locale,
                               const char* date_format = "%x", const char* time_format = "%X");

}  // namespace quoldex::tables

#endif
