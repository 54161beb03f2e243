// The text of a date-time in the user's regional format, as field objects
// write it into string columns and show date-time values: the date in the
// short date format, then, unless the time is exactly midnight (to the
// millisecond), a blank and the time in the long time format.
//
// On POSIX systems the formats are the user's LC_TIME locale (taken from the
// environment, LC_ALL / LC_TIME / LANG, once per process): the short date is
// strftime's "%x" and the long time its "%X"; under en_US "12/31/2001" and
// "11:59:59 PM". A user without regional settings (no locale named, or "C",
// "POSIX", "C.*") gets ISO dates and times, "2001-12-31" and "23:59:59", so
// that a date cut to ten characters is whole. The program never changes the
// process's own locale.
#pragma once

#include <locale.h>

#include <optional>
#include <string>

#include "tables/field_value.h"

namespace quoldex::tables {

// The text in the given LC_TIME locale with its "%x" and "%X" formats;
// nullopt when `value` lies outside the years 1 to 9999 (or is not a
// number).
std::optional<std::string> DateTimeText(TDateTime value, locale_t locale);
// The same with explicit strftime formats for the date and the time.
std::optional<std::string> DateTimeText(TDateTime value, locale_t locale, const char* date_format,
                                        const char* time_format);

// The text in the user's regional format (ISO without regional settings,
// and when the environment names a locale that is not installed).
std::optional<std::string> RegionalDateTimeText(TDateTime value);

}  // namespace quoldex::tables
