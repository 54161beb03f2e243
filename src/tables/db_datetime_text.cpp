#include "tables/db_datetime_text.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string_view>

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

// True when the environment names a time locale other than the plain C one.
bool UserNamesRegionalSettings() {
  for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(var);
    if (value == nullptr || *value == '\0') continue;
    std::string_view v(value);
    return !(v == "C" || v == "POSIX" || v.starts_with("C."));
  }
  return false;
}

}  // namespace

std::optional<std::string> DateTimeText(TDateTime value, locale_t locale) {
  return DateTimeText(value, locale, "%x", "%X");
}

std::optional<std::string> DateTimeText(TDateTime value, locale_t locale, const char* date_format,
                                        const char* time_format) {
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
  std::string text = Format(date_format, tm, locale);
  if (ms != 0) text += ' ' + Format(time_format, tm, locale);
  return text;
}

std::optional<std::string> RegionalDateTimeText(TDateTime value) {
  // Kept for the life of the process; null when there are no regional
  // settings to follow.
  static const locale_t user_locale = [] {
    return UserNamesRegionalSettings() ? newlocale(LC_TIME_MASK, "", locale_t{}) : locale_t{};
  }();
  if (user_locale == locale_t{}) {
    static const locale_t c_locale = newlocale(LC_TIME_MASK, "C", locale_t{});
    return DateTimeText(value, c_locale, "%Y-%m-%d", "%H:%M:%S");
  }
  return DateTimeText(value, user_locale);
}

}  // namespace quoldex::tables
