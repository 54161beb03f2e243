// The text of a date-time in the user's regional format, as field objects
// write it into string columns and show date-time values: the date in the
// short date format, then, unless the time is exactly midnight (to the
// millisecond), a blank and the time in the long time format.
//
// On POSIX systems the formats are the user's LC_TIME locale (taken from the
// environment, LC_ALL / LC_TIME / LANG, once per process): the short date is
// strftime's "%x" and the long time its "%X". Under the "C" or "POSIX"
// locale that gives "12/31/01" and "23:59:59"; under en_US "12/31/2001" and
// "11:59:59 PM". The program never changes the process's own locale.
#pragma once

#include <locale.h>

#include <optional>
#include <string>

#include "tables/field_value.h"

namespace quoldex::tables {

// The text in the given LC_TIME locale; nullopt when `value` lies outside
// the years 1 to 9999 (or is not a number).
std::optional<std::string> DateTimeText(TDateTime value, locale_t locale);

// The text in the user's locale (the "C" locale when the environment names
// one that is not installed).
std::optional<std::string> RegionalDateTimeText(TDateTime value);

}  // namespace quoldex::tables
