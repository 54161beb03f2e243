#include "tables/db_datetime_text.h"

#include <chrono>
#include <ctime>

#include "tables/field_datetime.h"

namespace quoldex::tables {
namespace {

// TDateTime 25569 is 1 January 1970, the epoch of the system clock's days.
constexpr int32_t kUnixEpochOffset = 25569;

std::string Format(const char* format, const std::tm& tm, locale_t locale) {
  char buffer[256];
  size_t n = strftime_l(buffer, sizeof buffer, format, &tm, locale);
  return std::string(buffer, n);
}

}  // namespace

std::optional<std::string> DateTimeText(TDateTime value, locale_t locale) {
  int32_t day, ms;
  if (!DateTimeToTimeStamp(value, &day, &ms)) return std::nullopt;
  using namespace std::chrono;
  const sys_days date{days{day - kDateDelta - kUnixEpochOffset}};
  const year_month_day ymd{date};
  std::tm tm{};
  tm.tm_year = static_cast<int>(ymd.year()) - 1900;
  tm.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
  tm.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
  tm.tm_wday = static_cast<int>(weekday{date}.c_encoding());
  tm.tm_yday = static_cast<int>((date - sys_days{ymd.year() / January / 1}).count());
  tm.tm_hour = ms / 3600000;
  tm.tm_min = ms / 60000 % 60;
  tm.tm_sec = ms / 1000 % 60;
  tm.tm_isdst = -1;
  std::string text = Format("%x", tm, locale);
  if (ms != 0) text += ' ' + Format("%X", tm, locale);
  return text;
}

std::optional<std::string> RegionalDateTimeText(TDateTime value) {
  // Kept for the life of the process.
  static const locale_t user_locale = [] {
    locale_t l = newlocale(LC_TIME_MASK, "", locale_t{});
    return l ? l : newlocale(LC_TIME_MASK, "C", locale_t{});
  }();
  return DateTimeText(value, user_locale);
}

}  // namespace quoldex::tables
