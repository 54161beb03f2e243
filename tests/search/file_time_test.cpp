#include "search/file_time.h"

#include <gtest/gtest.h>

#include <cmath>

#include "search/file_search.h"
#include "temp_tree.h"

namespace quoldex::search {
namespace {

constexpr text::TDateTime k20010203 = 36925.0;  // 2001-02-03 00:00
constexpr double kSecond = 1.0 / 86400.0;
// 1980-01-01 00:00:00 UTC as a file time.
constexpr FileTime kFileTime1980 = 119600064000000000ull;

TEST(DosDateTime, PacksFieldsAndTruncatesToEvenSeconds) {
  const text::TDateTime t = k20010203 + (4 * 3600 + 5 * 60 + 7.6) * kSecond;  // 04:05:07.6
  const DosDateTime dos = DateTimeToDosDateTime(t);
  EXPECT_EQ(dos >> 16, 3u | 2u << 5 | 21u << 9);
  EXPECT_EQ(dos & 0xFFFF, 3u | 5u << 5 | 4u << 11);  // 7.6 s is stored as 3 two-second units
  EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(dos), k20010203 + (4 * 3600 + 5 * 60 + 6) * kSecond);
  EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(DateTimeToDosDateTime(k20010203 + 7.0 * kSecond)),
                   k20010203 + 6.0 * kSecond);
  EXPECT_EQ(DateTimeToDosDateTime(kMinDosDateTime), (1u | 1u << 5) << 16);
  EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(DateTimeToDosDateTime(kMaxDosDateTime)), kMaxDosDateTime);
}

// Time zones given as TZ rules exist on POSIX systems only; Windows takes
// its zone from the system settings.
#ifndef _WIN32
TEST(DosDateTime, FileTimesConvertThroughLocalTime) {
  {
    testing::ScopedTimeZone utc("UTC0");
    EXPECT_EQ(DateTimeToFileTime(kMinDosDateTime), kFileTime1980);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(kFileTime1980), kMinDosDateTime);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(kFileTime1980 + 19999999), kMinDosDateTime);  // < 2 s
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(kFileTime1980 - 1), -1.0);                    // 1979
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(0), -1.0);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(UINT64_MAX), -1.0);
    EXPECT_EQ(UnixTimeToFileTime({0, 0}), 116444736000000000ull);
    EXPECT_EQ(UnixTimeToFileTime({0, 999}), 116444736000000009ull);
    EXPECT_EQ(UnixTimeToFileTime({-11644473601, 0}), 0u);
  }
  {
    // Summer time one hour east of UTC plus one: local noon is 10:00 UTC.
    testing::ScopedTimeZone cest("CET-1CEST,M3.5.0,M10.5.0/3");
    const text::TDateTime noon = 38510.5;  // 2005-06-07 12:00 local
    const FileTime utc10 = UnixTimeToFileTime({1118138400, 0});
    EXPECT_EQ(DateTimeToFileTime(noon), utc10);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(utc10), noon);
  }
}
#endif  // !_WIN32

TEST(DosDateTime, TimeWindowIsClampedAndReadsBack) {
  TFileSearch fs;
  EXPECT_DOUBLE_EQ(fs.FirstTime(), kMinDosDateTime);  // default 0, clamped
  EXPECT_DOUBLE_EQ(fs.LastTime(), kMaxDosDateTime);   // default 2147483647, clamped
  fs.SetFirstTime(-5.0);
  EXPECT_DOUBLE_EQ(fs.FirstTime(), kMinDosDateTime);
  fs.SetFirstTime(std::nan(""));
  EXPECT_DOUBLE_EQ(fs.FirstTime(), kMinDosDateTime);
  fs.SetLastTime(1e300);
  EXPECT_DOUBLE_EQ(fs.LastTime(), kMaxDosDateTime);
  fs.SetFirstTime(k20010203 + 3.0 * kSecond);
  EXPECT_DOUBLE_EQ(fs.FirstTime(), k20010203 + 2.0 * kSecond);
}

}  // namespace
}  // namespace quoldex::search
