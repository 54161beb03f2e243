#include "text/date_time.h"

#include <cmath>

namespace quoldex::text {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;
// Days from 1970-01-01 back to 1899-12-30, the day TDateTime counts from.
constexpr int64_t kBaseDays = -static_cast<int64_t>(kUnixEpochDateTime);

}  // namespace

// H. Hinnant's days_from_civil and civil_from_days.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

DateTimeParts CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  DateTimeParts p;
  p.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  p.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  p.year = static_cast<int>(yoe + era * 400 + (p.month <= 2));
  return p;
}

bool IsValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

TDateTime EncodeDateTime(const DateTimeParts& p) {
  const double days = static_cast<double>(DaysFromCivil(p.year, p.month, p.day) - kBaseDays);
  const double ms_of_day = ((p.hour * 60.0 + p.minute) * 60.0 + p.second) * 1000.0 + p.millisecond;
  const double time = ms_of_day / static_cast<double>(kMsPerDay);
  return days >= 0 ? days + time : days - time;
}

DateTimeParts DecodeDateTime(TDateTime value) {
  double whole_days = std::trunc(value);
  int64_t ms = std::llround(std::fabs(value - whole_days) * static_cast<double>(kMsPerDay));
  if (ms >= kMsPerDay) {  // rounding reached the next day
    ms -= kMsPerDay;
    whole_days += value >= 0 ? 1 : -1;
  }
  DateTimeParts p = CivilFromDays(static_cast<int64_t>(whole_days) + kBaseDays);
  p.millisecond = static_cast<int>(ms % 1000);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.minute = static_cast<int>(ms / 60'000 % 60);
  p.hour = static_cast<int>(ms / 3'600'000);
  return p;
}

}  // namespace quoldex::text
