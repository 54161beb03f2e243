#include "tables/records/field_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "tables/base/coding.h"
#include "tables/base/engine_error.h"
#include "tables/data_file/data_file_test_util.h"
#include "tables/data_file/data_file_validation.h"
#include "tables/records/data_file_record.h"
#include "tables/records/field_datetime.h"
#include "tables/records/field_text.h"

namespace quoldex::tables {
namespace {

using test::Field;

// One field laid out alone in a record: its slot starts at offset 9.
struct OneField {
  explicit OneField(FieldDesc f)
      : field(ValidateDataFileDefinition("t.dat", {std::move(f)}, {})[0]), record(9 + 1 + 250) {}
  const uint8_t* Slot() const { return record.data() + 9; }
  std::vector<uint8_t> SlotBytes() const {
    return std::vector<uint8_t>(Slot(), Slot() + 1 + field.physical_size);
  }
  void Set(const FieldValue& v) { SetFieldValue(field, v, record.data()); }
  FieldValue Get() const { return GetFieldValue(field, record.data()); }

  FieldDesc field;
  std::vector<uint8_t> record;
};

std::string ErrorText(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "";
}

TEST(FieldCodecString, CutToSizeTrailingBlanksGoneBlankOnlyIsNull) {
  OneField s(Field("Name", kTypeString, 5));
  s.Set(FieldValue::String("Actor Pawn"));
  EXPECT_EQ(s.SlotBytes(), (std::vector<uint8_t>{1, 'A', 'c', 't', 'o', 'r', 0}));
  s.Set(FieldValue::String("ab   "));
  EXPECT_EQ(s.SlotBytes(), (std::vector<uint8_t>{1, 'a', 'b', 0, 0, 0, 0}));
  EXPECT_EQ(s.Get(), FieldValue::String("ab"));
  s.Set(FieldValue::String(" x"));  // leading blanks stay
  EXPECT_EQ(s.Get(), FieldValue::String(" x"));
  for (const char* empty : {"", "     "}) {
    s.Set(FieldValue::String("full"));
    s.Set(FieldValue::String(empty));
    EXPECT_TRUE(s.Get().IsNull()) << '"' << empty << '"';
    EXPECT_EQ(s.SlotBytes(), std::vector<uint8_t>(7, 0));
  }
  s.Set(FieldValue::String("    \t"));  // only code 32 is a blank
  EXPECT_EQ(s.Get(), FieldValue::String("    \t"));
  s.Set(FieldValue::String("abcde     z"));  // cut first, then blanks removed
  EXPECT_EQ(s.Get(), FieldValue::String("abcde"));
  EXPECT_EQ(ErrorText([&] { s.Set(FieldValue::Integer(5)); }), "Type mismatch for field 'Name'");
}

TEST(FieldCodecNumbers, StoredLittleEndianWithinTheTypesRange) {
  struct Case {
    uint8_t type;
    int64_t value;
    std::vector<uint8_t> slot;
  };
  std::vector<Case> cases = {
      {kTypeSmallInt, -2, {1, 0xFE, 0xFF}},
      {kTypeSmallInt, 32767, {1, 0xFF, 0x7F}},
      {kTypeWord, 65535, {1, 0xFF, 0xFF}},
      {kTypeInteger, -2147483648LL, {1, 0, 0, 0, 0x80}},
      {kTypeInteger, 0x01020304, {1, 4, 3, 2, 1}},
      {kTypeUInt32, 4294967295LL, {1, 0xFF, 0xFF, 0xFF, 0xFF}},
      {kTypeBoolean, 7, {1, 1, 0}},  // any non-zero input is stored as 1
      {kTypeBoolean, 0, {1, 0, 0}},
  };
  for (const Case& c : cases) {
    OneField f(Field("N", c.type));
    f.Set(FieldValue::Integer(c.value));
    EXPECT_EQ(f.SlotBytes(), c.slot) << int(c.type) << " " << c.value;
    FieldValue back = f.Get();
    if (c.type == kTypeBoolean) {
      EXPECT_EQ(back, FieldValue::Boolean(c.value != 0));
    } else {
      EXPECT_EQ(back, FieldValue::Integer(c.value));
    }
  }
  for (auto [type, bad] : std::vector<std::pair<uint8_t, int64_t>>{{kTypeSmallInt, 32768},
                                                                   {kTypeSmallInt, -32769},
                                                                   {kTypeWord, -1},
                                                                   {kTypeWord, 65536},
                                                                   {kTypeInteger, 2147483648LL},
                                                                   {kTypeUInt32, -1}}) {
    OneField f(Field("N", type));
    f.Set(FieldValue::Integer(1));
    FieldValue out_of_range = FieldValue::Integer(bad);
    EXPECT_EQ(ErrorText([&] { f.Set(out_of_range); }), "Value of field 'N' is out of range");
    EXPECT_EQ(f.Get(), FieldValue::Integer(1));  // unchanged
  }
  OneField d(Field("F", kTypeFloat));
  d.Set(FieldValue::Float(1.5));
  EXPECT_EQ(d.SlotBytes(), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}));
  d.Set(FieldValue::Integer(3));
  EXPECT_EQ(d.Get(), FieldValue::Float(3));
  d.Set(FieldValue::String(" -2.25"));
  EXPECT_EQ(d.Get(), FieldValue::Float(-2.25));
  d.Set(FieldValue::Null());
  EXPECT_EQ(d.SlotBytes(), std::vector<uint8_t>(9, 0));
}

TEST(FieldCodecAutoInc, IsTheRecordIdNeverNullNeverSet) {
  FieldDesc id = Field("ObjectId", kTypeInteger, 0, true, kSubtypeAutoInc);
  OneField f(id);
  EXPECT_EQ(f.field.offset, 5);
  SetRecordId(f.record.data(), 42);
  EXPECT_EQ(f.Get(), FieldValue::Integer(42));
  EXPECT_EQ(ErrorText([&] { f.Set(FieldValue::Integer(1)); }),
            "Field 'ObjectId' cannot be modified");
  EXPECT_EQ(RecordId(f.record.data()), 42);
}

TEST(FieldCodecDates, DayNumbersMillisecondsAndTimestamps) {
  OneField date(Field("D", kTypeDate));
  OneField time(Field("T", kTypeTime));
  OneField stamp(Field("S", kTypeTimestamp));
  // 1 January 2000 is TDateTime 36526, day number 36526 + 693594 = 730120.
  TDateTime y2k;
  ASSERT_TRUE(EncodeDate(2000, 1, 1, &y2k));
  EXPECT_EQ(y2k, 36526);
  date.Set(FieldValue::DateTime(y2k + 0.75));  // the time of day is dropped
  EXPECT_EQ(GetLE<int32_t>(date.Slot() + 1), 730120);
  EXPECT_EQ(date.Get(), FieldValue::DateTime(36526));

  time.Set(FieldValue::DateTime(y2k + 0.5));  // the date is dropped
  EXPECT_EQ(GetLE<int32_t>(time.Slot() + 1), 43200000);
  EXPECT_EQ(time.Get(), FieldValue::DateTime(0.5));

  stamp.Set(FieldValue::DateTime(y2k + 0.25));
  EXPECT_EQ(GetLE<double>(stamp.Slot() + 1), 730120.0 * 86400000 + 21600000);
  EXPECT_EQ(stamp.Get(), FieldValue::DateTime(36526.25));

  // 1 January of year 1 is day 1; before 30 December 1899 the fraction still
  // counts forward from midnight.
  TDateTime first;
  ASSERT_TRUE(EncodeDate(1, 1, 1, &first));
  date.Set(FieldValue::DateTime(first));
  EXPECT_EQ(GetLE<int32_t>(date.Slot() + 1), 1);
  stamp.Set(FieldValue::DateTime(-1.25));  // 29 December 1899, 06:00
  EXPECT_EQ(GetLE<double>(stamp.Slot() + 1), 693593.0 * 86400000 + 21600000);
  EXPECT_EQ(stamp.Get(), FieldValue::DateTime(-1.25));

  for (double bad : {first - 1, 2958466.0, double{NAN}, double{INFINITY}}) {
    EXPECT_EQ(ErrorText([&] { date.Set(FieldValue::DateTime(bad)); }),
              "Value of field 'D' is out of range");
  }
  // A damaged timestamp reads as some number, without undefined behaviour.
  std::memset(stamp.record.data() + 10, 0xFF, 8);
  EXPECT_EQ(stamp.Get().kind, FieldValue::Kind::kDateTime);
}

// A copy between two fields must store exactly what reading the value and
// storing it would, whatever bytes the source slot holds: blanks to trim,
// bytes after the terminating zero, a clear null flag over leftover bytes,
// a longer source cut to a shorter target, and kinds copied only by value.
TEST(FieldCodecCopy, StoresWhatAReadAndAStoreWould) {
  struct Pair {
    FieldDesc from, to;
  };
  const std::vector<Pair> pairs = {
      {Field("S", kTypeString, 35), Field("T", kTypeString, 35)},
      {Field("S", kTypeString, 40), Field("T", kTypeString, 12)},
      {Field("S", kTypeString, 5), Field("T", kTypeString, 20)},
      {Field("I", kTypeInteger), Field("J", kTypeInteger)},
      {Field("I", kTypeSmallInt), Field("J", kTypeSmallInt)},
      {Field("B", kTypeBoolean), Field("C", kTypeBoolean)},
      {Field("D", kTypeDate), Field("E", kTypeDate)},
      {Field("F", kTypeFloat), Field("G", kTypeFloat)},
  };
  std::mt19937 rng(7);
  for (const Pair& pair : pairs) {
    SCOPED_TRACE(pair.from.name + std::to_string(pair.from.type));
    OneField from(pair.from), expected(pair.to), copied(pair.to);
    for (int round = 0; round < 3000; ++round) {
      uint8_t* slot = from.record.data() + 9;
      const size_t size = from.field.physical_size;
      for (size_t i = 0; i <= size; ++i) slot[i] = static_cast<uint8_t>(rng());
      slot[0] = rng() % 4 == 0 ? 0 : 1;
      if (pair.from.type == kTypeString) {
        // Mostly text: letters and blanks, a zero somewhere or none.
        for (size_t i = 1; i <= size; ++i) slot[i] = " aB"[rng() % 3];
        if (rng() % 2) slot[1 + rng() % size] = 0;
      }
      if (pair.from.type == kTypeDate || pair.from.type == kTypeFloat) {
        // Values a store accepts: written through the codec.
        from.Set(pair.from.type == kTypeDate ? FieldValue::DateTime(1000.0 + rng() % 100000)
                                             : FieldValue::Float(rng() / 7.0));
      }
      std::fill(expected.record.begin(), expected.record.end(), 0xEE);
      std::fill(copied.record.begin(), copied.record.end(), 0xEE);
      expected.Set(from.Get());
      CopyFieldValue(from.field, from.record.data(), copied.field, copied.record.data());
      ASSERT_EQ(copied.SlotBytes(), expected.SlotBytes()) << "round " << round;
    }
  }
  // The errors of a store: an auto-increment target cannot be set.
  OneField from(Field("I", kTypeInteger));
  OneField to(Field("J", kTypeInteger, 0, false, kSubtypeAutoInc));
  EXPECT_EQ(ErrorText([&] {
              CopyFieldValue(from.field, from.record.data(), to.field, to.record.data());
            }),
            "Field 'J' cannot be modified");
}

TEST(FieldText, ConversionsAndTheirMessages) {
  FieldDesc b = Field("B", kTypeBoolean);
  EXPECT_EQ(FieldValueFromText(b, "tRuE"), FieldValue::Boolean(true));
  EXPECT_EQ(FieldValueFromText(b, "False"), FieldValue::Boolean(false));
  EXPECT_EQ(ErrorText([&] { FieldValueFromText(b, "yes"); }), "'yes' is not a valid boolean value");
  EXPECT_EQ(ErrorText([&] { FieldValueFromText(b, " true"); }),
            "' true' is not a valid boolean value");

  FieldDesc i = Field("I", kTypeInteger);
  EXPECT_EQ(FieldValueFromText(i, "  -12"), FieldValue::Integer(-12));
  EXPECT_EQ(FieldValueFromText(i, "+7"), FieldValue::Integer(7));
  for (const char* bad : {"", "1 ", "0x10", "2147483648", "99999999999999999999", "--1"})
    EXPECT_EQ(ErrorText([&] { FieldValueFromText(i, bad); }),
              std::string("'") + bad + "' is not a valid integer value");
  EXPECT_EQ(ErrorText([&] { FieldValueFromText(Field("F", kTypeFloat), "inf"); }),
            "'inf' is not a valid floating point value");

  TDateTime v;
  ASSERT_TRUE(EncodeDate(2024, 2, 29, &v));
  EXPECT_EQ(FieldValueFromText(Field("D", kTypeDate), "2024-02-29"), FieldValue::DateTime(v));
  EXPECT_EQ(FieldValueFromText(Field("D", kTypeDate), " 2/29/2024 "), FieldValue::DateTime(v));
  EXPECT_EQ(FieldValueFromText(Field("T", kTypeTime), "13:30:15.250"),
            FieldValue::DateTime((13 * 3600 + 30 * 60 + 15.25) / 86400));
  EXPECT_EQ(FieldValueFromText(Field("S", kTypeTimestamp), "2024-02-29 06:00"),
            FieldValue::DateTime(v + 0.25));
  for (const char* bad : {"2023-02-29", "2024-13-01", "24:00", "12:60", "2024-01-01 x", "0-1-1"})
    EXPECT_FALSE(IsFieldTextValid(Field("S", kTypeTimestamp), bad)) << bad;

  double before = NowLocal();
  FieldValue now = FieldValueFromText(Field("S", kTypeTimestamp), "now");
  FieldValue today = FieldValueFromText(Field("D", kTypeDate), "Date");
  FieldValue clock = FieldValueFromText(Field("T", kTypeTime), "TIME");
  double after = NowLocal();
  EXPECT_GE(now.number, before);
  EXPECT_LE(now.number, after);
  EXPECT_EQ(today.number, std::floor(now.number));
  EXPECT_GE(clock.number, 0);
  EXPECT_LT(clock.number, 1);
}

TEST(FieldText, BoundsCompareByTypeAndIgnoreNull) {
  FieldDesc n = Field("N", kTypeSmallInt);
  n.min_text = "-5";
  n.max_text = "10";
  EXPECT_EQ(CheckFieldBounds(n, FieldValue::Integer(-6)), BoundCheck::kBelowMinimum);
  EXPECT_EQ(CheckFieldBounds(n, FieldValue::Integer(-5)), BoundCheck::kWithin);
  EXPECT_EQ(CheckFieldBounds(n, FieldValue::Integer(10)), BoundCheck::kWithin);
  EXPECT_EQ(CheckFieldBounds(n, FieldValue::Integer(11)), BoundCheck::kAboveMaximum);
  EXPECT_EQ(CheckFieldBounds(n, FieldValue::Null()), BoundCheck::kWithin);

  FieldDesc s = Field("S", kTypeString, 10);
  s.min_text = "b";
  EXPECT_EQ(CheckFieldBounds(s, FieldValue::String("a")), BoundCheck::kBelowMinimum);
  EXPECT_EQ(CheckFieldBounds(s, FieldValue::String("\xE9")),
            BoundCheck::kWithin);  // bytes unsigned

  FieldDesc d = Field("D", kTypeDate);
  d.max_text = "NOW";  // today, whole day
  EXPECT_EQ(CheckFieldBounds(d, FieldValue::DateTime(std::floor(NowLocal()))), BoundCheck::kWithin);
  EXPECT_EQ(CheckFieldBounds(d, FieldValue::DateTime(std::floor(NowLocal()) + 1)),
            BoundCheck::kAboveMaximum);

  FieldDesc f = Field("F", kTypeFloat);
  f.max_text = "2.5";
  EXPECT_EQ(CheckFieldBounds(f, FieldValue::Float(2.5000001)), BoundCheck::kAboveMaximum);
}

TEST(FieldDateTime, ConversionsRoundTripAcrossTheRange) {
  for (double dt : {-693593.0, -693593.999, -1.5, 0.0, 0.999988, 36526.123, 2958465.999}) {
    int32_t day, ms;
    ASSERT_TRUE(DateTimeToTimeStamp(dt, &day, &ms)) << dt;
    EXPECT_GE(day, 1);
    EXPECT_LE(day, 3652059);
    EXPECT_GE(ms, 0);
    EXPECT_LT(ms, 86400000);
    EXPECT_NEAR(TimeStampToDateTime(day, ms), dt, 1e-8) << dt;
  }
  // On 30 December 1899 (day 0) -0.5 and 0.5 both mean noon.
  int32_t day, ms;
  ASSERT_TRUE(DateTimeToTimeStamp(-0.5, &day, &ms));
  EXPECT_EQ(day, 693594);
  EXPECT_EQ(ms, 43200000);
  EXPECT_FALSE(DateTimeToTimeStamp(-693594.0, &day, &ms));
  EXPECT_FALSE(DateTimeToTimeStamp(2958466.0, &day, &ms));
  TDateTime out;
  EXPECT_FALSE(EncodeDate(1900, 2, 29, &out));
  EXPECT_TRUE(EncodeDate(2000, 2, 29, &out));
  EXPECT_FALSE(EncodeTime(23, 59, 60, 0, &out));
}

}  // namespace
}  // namespace quoldex::tables
