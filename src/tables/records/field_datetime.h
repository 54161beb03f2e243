// Dates and times of date, time and timestamp fields.
//
// A record stores a date as a day number (1 January of year 1 is day 1), a
// time as milliseconds since midnight and a timestamp as day number ×
// 86400000 + milliseconds. Callers see a TDateTime (field_value.h). Only the
// years 1 to 9999 are representable; conversions report anything else (and
// NaN or infinities) as failure instead of producing a number.
#pragma once

#include <cstdint>
#include <string_view>

#include "tables/records/field_value.h"

namespace quoldex::tables {

constexpr int32_t kDateDelta = 693594;  // day number of 30 December 1899 (TDateTime 0)
constexpr int32_t kMsPerDay = 86400000;

// Splits `dt` into day number and milliseconds since midnight (rounded to
// the millisecond). False when `dt` lies outside the years 1 to 9999.
bool DateTimeToTimeStamp(TDateTime dt, int32_t* day, int32_t* ms);
// The inverse; `day` and `ms` need not be in range (a damaged record).
TDateTime TimeStampToDateTime(int32_t day, int32_t ms);
// A timestamp field's stored double to TDateTime; any double is accepted
// and yields some double (possibly NaN) without undefined behaviour.
TDateTime TimestampMsToDateTime(double stored);

// The current local date and time.
TDateTime NowLocal();

// Calendar dates and clock times; false for an impossible date or time.
bool EncodeDate(int year, int month, int day, TDateTime* out);
bool EncodeTime(int hour, int minute, int second, int ms, TDateTime* out);

// Text forms accepted for date, time and timestamp fields:
//   date       "YYYY-MM-DD" or "M/D/YYYY" (month first)
//   time       "H:MM", "H:MM:SS" or "H:MM:SS.ZZZ" (24-hour clock)
//   date-time  a date, optionally followed by blanks and a time
// Surrounding blanks are ignored. False when the text is none of these.
bool ParseDateText(std::string_view text, TDateTime* out);
bool ParseTimeText(std::string_view text, TDateTime* out);
bool ParseDateTimeText(std::string_view text, TDateTime* out);

}  // namespace quoldex::tables
