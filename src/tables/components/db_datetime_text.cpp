#include "tables/components/db_datetime_text.h"

#include "tables/records/field_datetime.h"

namespace quoldex::tables {

std::optional<SplitMoment> SplitDateTime(TDateTime value) {
  int32_t day, ms;
  if (!DateTimeToTimeStamp(value, &day, &ms)) return std::nullopt;
  SplitMoment parts;
  parts.moment = text::CivilFromDays(int64_t{day} - kDateDelta -
                                     static_cast<int64_t>(text::kUnixEpochDateTime));
  parts.moment.hour = ms / 3600000;
  parts.moment.minute = ms / 60000 % 60;
  parts.moment.second = ms / 1000 % 60;
  parts.moment.millisecond = ms % 1000;
  parts.has_time = ms != 0;
  return parts;
}

std::optional<std::string> RegionalDateTimeText(TDateTime value) {
  const std::optional<SplitMoment> parts = SplitDateTime(value);
  if (!parts) return std::nullopt;
  return DiskStorage().RegionalDateTimeText(parts->moment, parts->has_time);
}

}  // namespace quoldex::tables
