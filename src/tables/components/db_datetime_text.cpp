#include "tables/components/db_datetime_text.h"

#include <chrono>

#include "tables/records/field_datetime.h"

namespace quoldex::tables {
namespace {

// TDateTime 25569 is 1 January 1970, the epoch of the calendar's days.
constexpr int32_t kUnixEpochOffset = 25569;

}  // namespace

std::optional<DateTimeParts> SplitDateTime(TDateTime value) {
  int32_t day, ms;
  if (!DateTimeToTimeStamp(value, &day, &ms)) return std::nullopt;
  using namespace std::chrono;
  const year_month_day ymd{sys_days{days{day - kDateDelta - kUnixEpochOffset}}};
  DateTimeParts parts;
  parts.moment.year = static_cast<int>(ymd.year());
  parts.moment.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  parts.moment.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  parts.moment.hour = ms / 3600000;
  parts.moment.minute = ms / 60000 % 60;
  parts.moment.second = ms / 1000 % 60;
  parts.moment.millisecond = ms % 1000;
  parts.has_time = ms != 0;
  return parts;
}

std::optional<std::string> RegionalDateTimeText(TDateTime value) {
  const std::optional<DateTimeParts> parts = SplitDateTime(value);
  if (!parts) return std::nullopt;
  return DiskStorage().RegionalDateTimeText(parts->moment, parts->has_time);
}

}  // namespace quoldex::tables
