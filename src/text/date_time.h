// TDateTime: the program's one date-time value, a double counting days
// since 1899-12-30 00:00 local time; the fraction is the time of day (0.5 is
// noon). 29221 is 1980-01-01 and 73050 is 2099-12-31. For a negative value
// the integral part is the day and the magnitude of the fraction the time of
// day (-1.25 is 1899-12-29 06:00).
//
// Pure calendar arithmetic (proleptic Gregorian calendar); no time zone is
// involved here. The system clock and the local time zone belong to the
// platform and to the engine's storage.
#pragma once

#include <cstdint>

namespace quoldex::text {

using TDateTime = double;

// Days from 1899-12-30 to 1970-01-01.
inline constexpr TDateTime kUnixEpochDateTime = 25569.0;

// A moment of the local civil calendar.
struct DateTimeParts {
  int year = 1899;
  int month = 12;       // 1..12
  int day = 30;         // 1..31
  int hour = 0;         // 0..23
  int minute = 0;       // 0..59
  int second = 0;       // 0..59
  int millisecond = 0;  // 0..999
};

// Days since 1970-01-01 of a calendar date; fields are not range-checked
// (month 0 is December of the year before, day 0 the last of the month
// before), so packed dates with damaged fields still give a number.
int64_t DaysFromCivil(int64_t year, int month, int day);

// The calendar date of `days` since 1970-01-01 (the time of day left 0).
DateTimeParts CivilFromDays(int64_t days);

// Whether year/month/day names a day of the calendar (years 1 to 9999).
bool IsValidDate(int year, int month, int day);

// The value of a calendar date and time of day. Fields are taken as given
// (no range check), as DaysFromCivil does.
TDateTime EncodeDateTime(const DateTimeParts& parts);

// The calendar date and time of day of `value`, to the millisecond (rounded
// to the nearest millisecond).
DateTimeParts DecodeDateTime(TDateTime value);

}  // namespace quoldex::text
