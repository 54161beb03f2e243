#include "text/date_time.h"

#include <gtest/gtest.h>

namespace quoldex::text {
namespace {

TEST(DateTime, FixedPointsOfTheCalendar) {
  EXPECT_EQ(EncodeDateTime({1899, 12, 30}), 0.0);
  EXPECT_EQ(EncodeDateTime({1980, 1, 1}), 29221.0);
  EXPECT_EQ(EncodeDateTime({2099, 12, 31}), 73050.0);
  EXPECT_EQ(EncodeDateTime({1970, 1, 1}), kUnixEpochDateTime);
  EXPECT_EQ(EncodeDateTime({2000, 3, 1}) - EncodeDateTime({2000, 2, 28}), 2.0);  // leap year
  EXPECT_EQ(EncodeDateTime({1900, 3, 1}) - EncodeDateTime({1900, 2, 28}), 1.0);  // not one
  EXPECT_DOUBLE_EQ(EncodeDateTime({1980, 1, 1, 12, 0, 0, 0}), 29221.5);
}

TEST(DateTime, DecodeInvertsEncodeToTheMillisecond) {
  const DateTimeParts p = DecodeDateTime(EncodeDateTime({2026, 12, 8, 13, 45, 10, 500}));
  EXPECT_EQ(p.year, 2026);
  EXPECT_EQ(p.month, 12);
  EXPECT_EQ(p.day, 8);
  EXPECT_EQ(p.hour, 13);
  EXPECT_EQ(p.minute, 45);
  EXPECT_EQ(p.second, 10);
  EXPECT_EQ(p.millisecond, 500);
}

TEST(DateTime, NegativeValuesCountDaysBackAndTimeForward) {
  // 1899-12-29 06:00 is -1.25: day -1, a quarter of a day into it.
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
  const DateTimeParts p = DecodeDateTime(-1.25);
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 6);
}

TEST(DateTime, RoundingUpToMidnightMovesToTheNextDay) {
  const DateTimeParts p = DecodeDateTime(29221.0 - 1e-10);
  EXPECT_EQ(p.year, 1980);
  EXPECT_EQ(p.month, 1);
  EXPECT_EQ(p.day, 1);
  EXPECT_EQ(p.hour, 0);
}

TEST(DateTime, ValidDatesFollowTheMonthsAndLeapYears) {
  EXPECT_TRUE(IsValidDate(2000, 2, 29));   // divisible by 400
  EXPECT_FALSE(IsValidDate(1900, 2, 29));  // by 100 only
  EXPECT_TRUE(IsValidDate(2024, 2, 29));
  EXPECT_FALSE(IsValidDate(2023, 2, 29));
  EXPECT_FALSE(IsValidDate(2023, 4, 31));
  EXPECT_TRUE(IsValidDate(1, 1, 1));
  EXPECT_TRUE(IsValidDate(9999, 12, 31));
  EXPECT_FALSE(IsValidDate(0, 12, 31));
  EXPECT_FALSE(IsValidDate(10000, 1, 1));
  EXPECT_FALSE(IsValidDate(2023, 13, 1));
  EXPECT_FALSE(IsValidDate(2023, 1, 0));
}

TEST(DateTime, DamagedFieldsStillCountFromTheirNeighbours) {
  // Month 0 is the December before; day 0 the last day of the month before.
  EXPECT_EQ(DaysFromCivil(1981, 0, 1), DaysFromCivil(1980, 12, 1));
  EXPECT_EQ(DaysFromCivil(1980, 3, 0), DaysFromCivil(1980, 2, 29));
  const DateTimeParts p = CivilFromDays(DaysFromCivil(1980, 2, 29));
  EXPECT_EQ(p.year * 10000 + p.month * 100 + p.day, 19800229);
}

}  // namespace
}  // namespace quoldex::text
