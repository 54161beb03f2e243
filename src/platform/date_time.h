// TDateTime: the program's date-time value, a double counting days since
// 1899-12-30 00:00 local time; the fraction is the time of day (0.5 is noon).
// 29221 is 1980-01-01 and 73050 is 2099-12-31. For a negative value the
// integral part is the day and the magnitude of the fraction the time of day.
//
// Pure calendar arithmetic (proleptic Gregorian calendar); no time zone is
// involved here. Converting to and from the system clock is Platform's job.
#pragma once

#include <string>

namespace quoldex::platform {

using TDateTime = double;

// Days from 1899-12-30 to 1970-01-01.
inline constexpr TDateTime kUnixEpochDateTime = 25569.0;

struct DateTimeParts {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The value of a calendar date and time of day. Fields are taken as given
// (no range check): callers pass valid dates.
TDateTime EncodeDateTime(const DateTimeParts& parts);

// The calendar date and time of day of `value`, to the millisecond (rounded
// to the nearest millisecond).
DateTimeParts DecodeDateTime(TDateTime value);

}  // namespace quoldex::platform
