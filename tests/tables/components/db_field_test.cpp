#include "tables/components/db_field.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "tables/components/db_datetime_text.h"
#include "tables/components/db_test_util.h"
#include "tables/records/field_datetime.h"
#ifndef _WIN32
#include "tables/storage/storage_posix.h"
#endif

namespace quoldex::tables {
namespace {

using test::DbErrorOf;

TDateTime Date(int y, int m, int d) {
  TDateTime dt = 0;
  EXPECT_TRUE(EncodeDate(y, m, d, &dt));
  return dt;
}

TDateTime At(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
  TDateTime t = 0;
  EXPECT_TRUE(EncodeTime(h, mi, s, ms, &t));
  return Date(y, mo, d) + t;
}

// Date-times in the texts of C locales (locale_t), which only POSIX systems
// have; Windows takes them from the user's regional settings.
#ifndef _WIN32
std::optional<std::string> DateTimeText(TDateTime value, locale_t locale,
                                        const char* date_format = "%x",
                                        const char* time_format = "%X") {
  const std::optional<SplitMoment> parts = SplitDateTime(value);
  if (!parts) return std::nullopt;
  return LocaleDateTimeText(parts->moment, parts->has_time, locale, date_format, time_format);
}

TEST(DateTimeText, ShortDateThenLongTimeUnlessMidnight) {
  locale_t c = newlocale(LC_TIME_MASK, "C", locale_t{});
  ASSERT_NE(c, locale_t{});
  EXPECT_EQ(DateTimeText(Date(2001, 12, 31), c), "12/31/01");
  EXPECT_EQ(DateTimeText(At(2001, 12, 31, 23, 59, 58), c), "12/31/01 23:59:58");
  EXPECT_EQ(DateTimeText(At(1999, 1, 2, 0, 0, 0, 1), c), "01/02/99 00:00:00");  // not midnight
  EXPECT_EQ(DateTimeText(-1.25, c), "12/29/99 06:00:00");  // before day 0 the time counts forward
  EXPECT_EQ(DateTimeText(Date(2026, 8, 12), c), "08/12/26");
  EXPECT_FALSE(DateTimeText(1e9, c).has_value());
  EXPECT_FALSE(DateTimeText(std::numeric_limits<double>::quiet_NaN(), c).has_value());
  EXPECT_EQ(DateTimeText(At(2001, 12, 31, 23, 59, 58), c, "%Y-%m-%d", "%H:%M:%S"),
            "2001-12-31 23:59:58");
  freelocale(c);
}

TEST(DateTimeText, WithoutRegionalSettingsDatesAreIsoAndCutWhole) {
  for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(var);
    if (value == nullptr || *value == '\0') continue;
    std::string_view v(value);
    if (!(v == "C" || v == "POSIX" || v.starts_with("C."))) GTEST_SKIP() << var << "=" << v;
    break;
  }
  EXPECT_EQ(RegionalDateTimeText(At(2026, 8, 12, 14, 5, 0)), "2026-08-12 14:05:00");
  EXPECT_EQ(RegionalDateTimeText(Date(2026, 8, 12)), "2026-08-12");
}
#endif  // !_WIN32

class DbFieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::CreateTable(dir_.Dir(), test::DefineMaps);
    test::CreateTable(dir_.Dir(), test::DefineObjects);
    // A table with the less common kinds.
    TDbTable t;
    t.SetDatabaseName(dir_.Dir());
    t.SetTableName("kinds.dat");
    t.FieldDefs().Add({"Id", FieldKind::kAutoInc});
    t.FieldDefs().Add({"Small", FieldKind::kSmallInt});
    t.FieldDefs().Add({"Ratio", FieldKind::kFloat});
    t.FieldDefs().Add({"Stamp", FieldKind::kDateTime});
    t.FieldDefs().Add({"Day", FieldKind::kDate});
    t.FieldDefs().Add({"Flag", FieldKind::kBoolean});
    t.FieldDefs().Add({"Text", FieldKind::kString, 20});
    t.IndexDefs().Add({"", "Id", {.unique = true}});
    t.CreateTable();
  }
  void OpenKinds(TDbTable& t) {
    t.SetDatabaseName(dir_.Dir());
    t.SetTableName("kinds.dat");
    t.Open();
  }

  test::TempDir dir_;
};

TEST_F(DbFieldTest, AShorterFieldObjectCutsTextBeforeItReachesTheRow) {
  TDbTable maps;
  maps.SetDatabaseName(dir_.Dir());
  maps.SetTableName("Maps.DAT");
  TField& name = maps.AddField<TStringField>("mapname", 25);
  maps.AddField<TStringField>("Filename", 250);
  maps.Open();
  EXPECT_EQ(name.FieldNo(), 1);
  const std::string thirty = "DM-AVeryLongMapNameOf30Chars.u";
  ASSERT_EQ(thirty.size(), 30u);
  maps.Append();
  name.SetAsString(thirty);
  EXPECT_EQ(name.AsString(), thirty.substr(0, 25));
  maps.Post();
  maps.Close();

  // Through default field objects (the column's size, 35) the stored value
  // shows 25 characters, and a longer text is cut to 35.
  TDbTable raw;
  raw.SetDatabaseName(dir_.Dir());
  raw.SetTableName("maps");
  raw.Open();
  EXPECT_EQ(raw.FieldByName("MapName").Size(), 35);
  EXPECT_EQ(raw.FieldByName("MapName").AsString(), thirty.substr(0, 25));
  raw.Edit();
  raw.FieldByName("MapName").SetAsString(thirty + thirty);
  raw.Post();
  EXPECT_EQ(raw.FieldByName("MapName").AsString(), (thirty + thirty).substr(0, 35));
}

TEST_F(DbFieldTest, PresentationSettingsAndTheirBlanks) {
  TDbTable t;
  t.SetDatabaseName(dir_.Dir());
  t.SetTableName("objects");
  TField& id = t.AddField<TAutoIncField>("ObjectId");
  TField& name = t.AddField<TStringField>("ObjectName", 35);
  TField& package = t.AddField<TStringField>("Package", 20);
  name.SetDisplayLabel("Name");
  name.SetDisplayWidth(20);
  EXPECT_EQ(name.DisplayName(), "Name");
  EXPECT_EQ(package.DisplayName(), "Package");
  EXPECT_EQ(name.DisplayWidth(), 20);
  EXPECT_EQ(package.DisplayWidth(), 20);  // blank width: the size
  EXPECT_TRUE(package.Visible());
  EXPECT_FALSE(name.Required());  // not bound yet
  t.Open();
  EXPECT_TRUE(name.Required());  // the column's flag
  EXPECT_FALSE(package.Required());
  EXPECT_TRUE(id.ReadOnly());
  EXPECT_EQ(id.Kind(), FieldKind::kAutoInc);
  t.Close();
  EXPECT_EQ(name.FieldNo(), 0);
  EXPECT_EQ(DbErrorOf([&] { name.AsString(); }),
            "Cannot perform this operation on a closed dataset");

  EXPECT_EQ(DbErrorOf([&] { t.AddField<TStringField>("objectname", 35); }),
            "Duplicate field name 'objectname'");
  EXPECT_EQ(DbErrorOf([&] { t.AddField<TStringField>(" ", 35); }), "Field name missing");
}

TEST_F(DbFieldTest, BindingRefusesMissingColumnsAndOtherKinds) {
  TDbTable t;
  t.SetDatabaseName(dir_.Dir());
  t.SetTableName("objects");
  t.AddField<TStringField>("ObjectName", 35);
  t.AddField<TStringField>("Parent", 35);
  EXPECT_EQ(DbErrorOf([&] { t.Open(); }), "Field 'Parent' not found");
  EXPECT_FALSE(t.Active());

  TDbTable k;
  k.AddField<TBooleanField>("Text");
  EXPECT_EQ(DbErrorOf([&] { OpenKinds(k); }), "Type mismatch for field 'Text'");
  EXPECT_FALSE(k.Active());

  // Integer field objects serve auto-increment and small integer columns.
  TDbTable ints;
  ints.AddField<TIntegerField>("Id");
  ints.AddField<TIntegerField>("Small");
  OpenKinds(ints);
  EXPECT_EQ(ints.FieldCount(), 2);
}

TEST_F(DbFieldTest, NullsReadAsEmptyFalseAndZero) {
  TDbTable t;
  OpenKinds(t);
  EXPECT_EQ(t.FieldCount(), 7);  // default field objects, one per column
  t.Append();
  for (const char* name : {"Small", "Ratio", "Stamp", "Flag", "Text"}) {
    TField& f = t.FieldByName(name);
    EXPECT_TRUE(f.IsNull()) << name;
    EXPECT_EQ(f.AsString(), "") << name;
  }
  EXPECT_FALSE(t.FieldByName("Flag").AsBoolean());
  EXPECT_EQ(t.FieldByName("Small").AsInteger(), 0);
  EXPECT_EQ(t.FieldByName("Stamp").AsDateTime(), 0);
  t.Post();
  EXPECT_EQ(t.FieldByName("Id").AsInteger(), 1);
  EXPECT_EQ(t.FieldByName("Text").AsString(), "");
}

TEST_F(DbFieldTest, WritingNeedsEditStateAndAWritableField) {
  TDbTable t;
  OpenKinds(t);
  t.Append();
  t.Post();
  EXPECT_EQ(DbErrorOf([&] { t.FieldByName("Text").SetAsString("x"); }),
            "Dataset not in edit or insert mode");
  t.Edit();
  EXPECT_EQ(DbErrorOf([&] { t.FieldByName("Id").SetAsInteger(5); }),
            "Field 'Id' cannot be modified");
  t.FieldByName("Text").SetReadOnly(true);
  t.FieldByName("Text").SetDisplayLabel("Words");
  EXPECT_EQ(DbErrorOf([&] { t.FieldByName("Text").Clear(); }), "Field 'Words' cannot be modified");
  EXPECT_EQ(DbErrorOf([&] { t.FieldByName("Small").SetAsInteger(70000); }),
            "Value of field 'Small' is out of range");
  EXPECT_EQ(DbErrorOf([&] { t.FieldByName("Small").SetAsString("many"); }),
            "'many' is not a valid integer value");
  EXPECT_EQ(DbErrorOf([&] { t.FieldByName("Flag").SetAsString("maybe"); }),
            "'maybe' is not a valid boolean value");
  EXPECT_TRUE(t.FieldByName("Small").IsNull());  // nothing was stored
}

TEST_F(DbFieldTest, ValuesConvertBetweenForms) {
  TDbTable t;
  OpenKinds(t);
  t.Append();
  t.FieldByName("Small").SetAsString("-42");
  t.FieldByName("Flag").SetAsString("true");
  t.FieldByName("Ratio").SetAsInteger(3);
  t.FieldByName("Text").SetAsInteger(12345);
  t.FieldByName("Day").SetAsDateTime(At(2001, 12, 31, 10, 0, 0));
  t.FieldByName("Stamp").SetAsString("2001-12-31 10:30");
  t.Post();
  EXPECT_EQ(t.FieldByName("Small").AsInteger(), -42);
  EXPECT_EQ(t.FieldByName("Small").AsString(), "-42");
  EXPECT_EQ(t.FieldByName("Flag").AsString(), "True");
  EXPECT_TRUE(t.FieldByName("Flag").AsBoolean());
  EXPECT_EQ(t.FieldByName("Ratio").AsString(), "3");
  EXPECT_EQ(t.FieldByName("Text").AsInteger(), 12345);
  EXPECT_EQ(t.FieldByName("Day").AsDateTime(), Date(2001, 12, 31));  // a date keeps no time
  EXPECT_EQ(t.FieldByName("Stamp").AsDateTime(), At(2001, 12, 31, 10, 30, 0));
  EXPECT_EQ(t.FieldByName("Stamp").AsString(), RegionalDateTimeText(At(2001, 12, 31, 10, 30, 0)));

  t.Edit();
  t.FieldByName("Small").SetAsString("");  // empty text clears a non-string field
  t.FieldByName("Ratio").SetAsFloat(0.1);
  t.FieldByName("Text").SetAsBoolean(false);
  t.Post();
  EXPECT_TRUE(t.FieldByName("Small").IsNull());
  EXPECT_EQ(t.FieldByName("Ratio").AsString(), "0.1");
  EXPECT_EQ(t.FieldByName("Text").AsString(), "False");
  EXPECT_EQ(DbErrorOf([&] { t.FieldByName("Flag").AsDateTime(); }),
            "Type mismatch for field 'Flag'");
}

TEST_F(DbFieldTest, DateTimeIntoAStringFieldIsTheRegionalTextCutToSize) {
  TDbTable t;
  t.SetDatabaseName(dir_.Dir());
  t.SetTableName("objects");
  TField& stamp = t.AddField<TStringField>("FileTimeStamp", 10);
  TField& package = t.AddField<TStringField>("Package", 20);
  t.Open();
  t.Append();
  const TDateTime midnight = Date(2026, 8, 12);
  const TDateTime afternoon = At(2026, 8, 12, 14, 5, 6);
  stamp.SetAsDateTime(midnight);
  EXPECT_EQ(stamp.AsString(), RegionalDateTimeText(midnight)->substr(0, 10));
  EXPECT_EQ(stamp.AsString().find(' '), std::string::npos);  // no time at midnight
  package.SetAsDateTime(afternoon);
  const std::string full = *RegionalDateTimeText(afternoon);
  EXPECT_EQ(package.AsString(), full.substr(0, 20));
  EXPECT_NE(full.find(' '), std::string::npos);
  EXPECT_EQ(DbErrorOf([&] { stamp.SetAsDateTime(5e7); }),
            "Value of field 'FileTimeStamp' is out of range");
  t.Cancel();
}

}  // namespace
}  // namespace quoldex::tables
