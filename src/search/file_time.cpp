#include "search/file_time.h"

#include <cmath>

namespace quoldex::search {
namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr auto kUnixEpochDay = static_cast<int64_t>(text::kUnixEpochDateTime);
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kUnixEpochSeconds = 11644473600;
constexpr int64_t kTicksPerSecond = 10000000;

DosDateTime Pack(int64_t year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                 unsigned second) {
  const uint32_t date = day | month << 5 | static_cast<uint32_t>(year - 1980) << 9;
  const uint32_t time = second / 2 | minute << 5 | hour << 11;
  return date << 16 | time;
}

}  // namespace

DosDateTime DateTimeToDosDateTime(text::TDateTime value) {
  const int64_t total_ms = std::llround(value * static_cast<double>(kMsPerDay));
  const int64_t day = total_ms / kMsPerDay;
  const int64_t ms = total_ms % kMsPerDay;
  const text::DateTimeParts c = text::CivilFromDays(day - kUnixEpochDay);
  const auto hour = static_cast<unsigned>(ms / 3600000);
  const auto minute = static_cast<unsigned>(ms / 60000 % 60);
  const auto second = static_cast<unsigned>(ms / 1000 % 60);
  return Pack(c.year, static_cast<unsigned>(c.month), static_cast<unsigned>(c.day), hour, minute,
              second);
}

text::TDateTime DosDateTimeToDateTime(DosDateTime dos) {
  const uint32_t date = dos >> 16, time = dos & 0xFFFF;
  const int64_t day = text::DaysFromCivil((date >> 9) + 1980, static_cast<int>((date >> 5) & 15),
                                          static_cast<int>(date & 31));
  const uint32_t seconds = (time >> 11) * 3600 + ((time >> 5) & 63) * 60 + (time & 31) * 2;
  return static_cast<double>(day + kUnixEpochDay) + seconds / 86400.0;
}

std::optional<FileTime> LocalDosDateTimeToFileTime(DosDateTime dos) {
  const uint32_t date = dos >> 16, time = dos & 0xFFFF;
  std::tm tm{};
  tm.tm_year = static_cast<int>((date >> 9) + 80);
  tm.tm_mon = static_cast<int>(((date >> 5) & 15) - 1);
  tm.tm_mday = static_cast<int>(date & 31);
  tm.tm_hour = static_cast<int>(time >> 11);
  tm.tm_min = static_cast<int>((time >> 5) & 63);
  tm.tm_sec = static_cast<int>((time & 31) * 2);
  tm.tm_isdst = -1;
  const time_t t = std::mktime(&tm);
  // Every DOS date lies after 1980, so -1 can only mean failure.
  if (t == static_cast<time_t>(-1)) return std::nullopt;
  return static_cast<FileTime>((static_cast<int64_t>(t) + kUnixEpochSeconds) * kTicksPerSecond);
}

std::optional<DosDateTime> FileTimeToLocalDosDateTime(FileTime time) {
  const int64_t seconds = static_cast<int64_t>(time / kTicksPerSecond) - kUnixEpochSeconds;
  const auto t = static_cast<time_t>(seconds);
  if (static_cast<int64_t>(t) != seconds) return std::nullopt;
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return std::nullopt;
  const int64_t year = int64_t{tm.tm_year} + 1900;
  if (year < 1980 || year > 2107) return std::nullopt;
  return Pack(year, static_cast<unsigned>(tm.tm_mon + 1), static_cast<unsigned>(tm.tm_mday),
              static_cast<unsigned>(tm.tm_hour), static_cast<unsigned>(tm.tm_min),
              static_cast<unsigned>(tm.tm_sec));
}

FileTime DateTimeToFileTime(text::TDateTime value) {
  if (value > kMaxDosDateTime) value = kMaxDosDateTime;
  if (!(value >= kMinDosDateTime)) value = kMinDosDateTime;
  return LocalDosDateTimeToFileTime(DateTimeToDosDateTime(value)).value_or(kInvalidFileTime);
}

text::TDateTime FileTimeToDateTime(FileTime time) {
  const std::optional<DosDateTime> dos = FileTimeToLocalDosDateTime(time);
  return dos ? DosDateTimeToDateTime(*dos) : -1.0;
}

FileTime UnixTimeToFileTime(const timespec& time) {
  constexpr int64_t kMaxSeconds = static_cast<int64_t>(UINT64_MAX / kTicksPerSecond) - 1;
  if (static_cast<int64_t>(time.tv_sec) > kMaxSeconds - kUnixEpochSeconds) return UINT64_MAX;
  const int64_t seconds = static_cast<int64_t>(time.tv_sec) + kUnixEpochSeconds;
  if (seconds < 0) return 0;
  return static_cast<FileTime>(seconds) * kTicksPerSecond +
         static_cast<FileTime>(time.tv_nsec / 100);
}

}  // namespace quoldex::search
