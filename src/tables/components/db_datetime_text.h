// The text of a date-time in the user's regional format, as field objects
// write it into string columns and show date-time values: the date in the
// short date format, then, unless the time is exactly midnight (to the
// millisecond), a blank and the time in the long time format. The formats
// are the storage's (Storage::RegionalDateTimeText): on POSIX systems the
// user's LC_TIME locale, "%x" and "%X" (under en_US "12/31/2001" and
// "11:59:59 PM"); a user without regional settings gets ISO dates and
// times, "2001-12-31" and "23:59:59", so that a date cut to ten characters
// is whole.
#pragma once

#include <optional>
#include <string>

#include "tables/records/field_value.h"
#include "tables/storage/storage.h"

namespace quoldex::tables {

// The civil moment `value` stands for, and whether it has a time of day
// (is not exactly midnight, to the millisecond).
struct SplitMoment {
  text::DateTimeParts moment;
  bool has_time = false;
};

// nullopt when `value` lies outside the years 1 to 9999 (or is not a
// number).
std::optional<SplitMoment> SplitDateTime(TDateTime value);

// The text in the user's regional format; nullopt as SplitDateTime.
std::optional<std::string> RegionalDateTimeText(TDateTime value);

}  // namespace quoldex::tables
