#include "tables/index_file/key_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tables/index_file/index_file_test_util.h"

namespace quoldex::tables {
namespace {

using index_test::AddField;
using index_test::Index;
using index_test::Record;
using Bytes = std::vector<uint8_t>;

// The part of a single-field key built from `value` for a field of `type`.
Bytes Part(uint8_t type, uint8_t size, const KeyValue& value, bool ci = false,
           bool descending_field = false) {
  std::vector<FieldDesc> fields;
  AddField(fields, "F", type, size);
  IndexDesc index = Index("", {1}, true, ci);
  index.field_descending[0] = descending_field;
  KeyLayout layout = KeyLayout::ForIndex(index, fields, false);
  Bytes key(layout.KeyLength());
  layout.FromValues({&value, 1}, key.data());
  return key;
}

TEST(KeyCodecTest, IntegersOrderNullBeforeNegativeBeforeZeroBeforePositive) {
  Bytes null = Part(kTypeInteger, 0, KeyValue::Null());
  Bytes minus = Part(kTypeInteger, 0, KeyValue::Int32(-1));
  Bytes zero = Part(kTypeInteger, 0, KeyValue::Int32(0));
  Bytes one = Part(kTypeInteger, 0, KeyValue::Int32(1));
  EXPECT_EQ(null, (Bytes{0, 0, 0, 0, 0}));
  EXPECT_EQ(minus, (Bytes{1, 0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(zero, (Bytes{1, 0x80, 0, 0, 0}));
  EXPECT_EQ(one, (Bytes{1, 0x80, 0, 0, 1}));
  EXPECT_TRUE(null < minus && minus < zero && zero < one);
  // Dates and times use the same encoding; 16-bit integers too, in 2 bytes.
  EXPECT_EQ(Part(kTypeDate, 0, KeyValue::Int32(730000)), (Bytes{1, 0x80, 0x0B, 0x23, 0x90}));
  EXPECT_EQ(Part(kTypeTime, 0, KeyValue::Int32(-2)), (Bytes{1, 0x7F, 0xFF, 0xFF, 0xFE}));
  EXPECT_EQ(Part(kTypeSmallInt, 0, KeyValue::Int16(-2)), (Bytes{1, 0x7F, 0xFE}));
  EXPECT_EQ(Part(kTypeSmallInt, 0, KeyValue::Int16(0x1234)), (Bytes{1, 0x92, 0x34}));
}

TEST(KeyCodecTest, UnsignedAndBooleanAreBigEndianOthersRaw) {
  EXPECT_EQ(Part(kTypeBoolean, 0, KeyValue::Boolean(true)), (Bytes{1, 0, 1}));
  EXPECT_EQ(Part(kTypeWord, 0, KeyValue::Word(0xABCD)), (Bytes{1, 0xAB, 0xCD}));
  // 32-bit unsigned and bytes fields are copied as stored (little-endian).
  EXPECT_EQ(Part(kTypeUInt32, 0, KeyValue::Raw("\x01\x02\x03\x04")), (Bytes{1, 1, 2, 3, 4}));
  EXPECT_EQ(Part(kTypeBytes, 3, KeyValue::Raw(std::string("\xFF\x00\x7F", 3))),
            (Bytes{1, 0xFF, 0, 0x7F}));
  // BCD: the stored 64-bit value big-endian with the top bit inverted.
  EXPECT_EQ(Part(kTypeBcd, 0, KeyValue::Raw(std::string("\x05\0\0\0\0\0\0\0", 8))),
            (Bytes{1, 0x80, 0, 0, 0, 0, 0, 0, 5}));
}

TEST(KeyCodecTest, FloatsOrderBySignAndMagnitude) {
  EXPECT_EQ(Part(kTypeFloat, 0, KeyValue::Double(1.0)), (Bytes{1, 0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Part(kTypeFloat, 0, KeyValue::Double(-1.0)),
            (Bytes{1, 0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Part(kTypeFloat, 0, KeyValue::Double(0.0)), (Bytes{1, 0x80, 0, 0, 0, 0, 0, 0, 0}));
  std::vector<double> values = {-1e300, -2.5, -1.0, -1e-300, 0.0, 1e-300, 1.0, 2.5, 1e300};
  std::vector<Bytes> keys;
  for (double v : values) keys.push_back(Part(kTypeTimestamp, 0, KeyValue::Double(v)));
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  EXPECT_LT(Part(kTypeFloat, 0, KeyValue::Null()), keys.front());
}

TEST(KeyCodecTest, StringsUpperCaseOnlyAsciiLettersWhenCaseInsensitive) {
  EXPECT_EQ(Part(kTypeString, 6, KeyValue::String("aZ\xE9q"), true),
            (Bytes{1, 'A', 'Z', 0xE9, 'Q', 0, 0, 0}));
  EXPECT_EQ(Part(kTypeString, 6, KeyValue::String("aZ\xE9q"), false),
            (Bytes{1, 'a', 'Z', 0xE9, 'q', 0, 0, 0}));
  // A value longer than the declared size is cut to it.
  EXPECT_EQ(Part(kTypeString, 2, KeyValue::String("abc")), (Bytes{1, 'a', 'b', 0}));
  // Case-sensitive order puts upper case first; a prefix sorts before.
  Bytes upper = Part(kTypeString, 6, KeyValue::String("ACTOR"));
  Bytes lower = Part(kTypeString, 6, KeyValue::String("Actor"));
  Bytes prefix = Part(kTypeString, 6, KeyValue::String("ACT"));
  EXPECT_TRUE(prefix < upper && upper < lower);
}

TEST(KeyCodecTest, DescendingFieldComplementsItsPartButKeepsAStringsLastByte) {
  EXPECT_EQ(Part(kTypeInteger, 0, KeyValue::Int32(1), false, true),
            (Bytes{0xFE, 0x7F, 0xFF, 0xFF, 0xFE}));
  EXPECT_EQ(Part(kTypeString, 2, KeyValue::String("AB"), false, true),
            (Bytes{0xFE, 0xBE, 0xBD, 0x00}));
  EXPECT_GT(Part(kTypeInteger, 0, KeyValue::Null(), false, true),
            Part(kTypeInteger, 0, KeyValue::Int32(5), false, true));
  // When the whole index is descending the parts stay as they are.
  std::vector<FieldDesc> fields;
  AddField(fields, "F", kTypeInteger);
  IndexDesc index = Index("", {1}, true);
  index.descending = true;
  index.field_descending.fill(true);
  KeyLayout layout = KeyLayout::ForIndex(index, fields, false);
  Bytes key(layout.KeyLength());
  KeyValue one = KeyValue::Int32(1);
  layout.FromValues({&one, 1}, key.data());
  EXPECT_EQ(key, (Bytes{1, 0x80, 0, 0, 1}));
  EXPECT_GT(CompareKeys(Bytes{1}.data(), Bytes{2}.data(), 1, true), 0);
}

TEST(KeyCodecTest, RecordKeysOfTheCatalogueIndexes) {
  std::vector<FieldDesc> fields = index_test::ClassFields();
  KeyLayout primary = KeyLayout::ForIndex(Index("", {1}), fields, false);
  KeyLayout by_name = KeyLayout::ForIndex(Index("ByName", {2}, true, true), fields, true);
  KeyLayout by_inheritance =
      KeyLayout::ForIndex(Index("ByInheritance", {3, 2}, false, true), fields, true);
  KeyLayout by_object = KeyLayout::ForIndex(Index("ByObject", {1, 5}), fields, true);
  EXPECT_EQ(primary.KeyLength(), 5u);
  EXPECT_EQ(by_name.KeyLength(), 37u);
  EXPECT_EQ(by_inheritance.KeyLength(), 78u);
  EXPECT_EQ(by_object.KeyLength(), 14u);

  Record record(fields, 7);
  record.String(2, "Actor").String(3, "object");
  Bytes key(78);
  primary.FromRecord(record.Bytes(), key.data());
  EXPECT_EQ(Bytes(key.begin(), key.begin() + 5), (Bytes{1, 0x80, 0, 0, 7}));

  by_inheritance.FromRecord(record.Bytes(), key.data());
  Bytes expected(78, 0);
  expected[0] = 1;
  std::memcpy(&expected[1], "OBJECT", 6);
  expected[37] = 1;
  std::memcpy(&expected[38], "ACTOR", 5);
  expected[74] = 0x80;
  expected[77] = 7;
  EXPECT_EQ(key, expected);

  // A null integer (Count) leaves its part zero; the autoinc part is the ID.
  by_object.FromRecord(record.Bytes(), key.data());
  EXPECT_EQ(Bytes(key.begin(), key.begin() + 14),
            (Bytes{1, 0x80, 0, 0, 7, 0, 0, 0, 0, 0, 0x80, 0, 0, 7}));

  EXPECT_THROW(primary.FromRecord(std::span<const uint8_t>(record.Bytes().data(), 8), key.data()),
               std::invalid_argument);
}

TEST(KeyCodecTest, SysDeletedKeyIsFlagThenEncodedRecordId) {
  uint8_t key[5];
  EncodeSysDeletedKey(1, 3, key);
  EXPECT_EQ(Bytes(key, key + 5), (Bytes{1, 0x80, 0, 0, 3}));
  std::vector<FieldDesc> fields = index_test::ClassFields();
  Record record(fields, 258);
  KeyLayout::SysDeleted().FromRecord(record.Bytes(), key);
  EXPECT_EQ(Bytes(key, key + 5), (Bytes{0, 0x80, 0, 1, 2}));
}

TEST(KeyCodecTest, LeadingValuesReportTheBytesTheyDetermine) {
  std::vector<FieldDesc> fields = index_test::ClassFields();
  KeyLayout layout = KeyLayout::ForIndex(Index("ByInheritance", {3, 2}, false, true), fields, true);
  Bytes key(layout.KeyLength(), 0xAA);
  std::vector<KeyValue> values = {KeyValue::String("actor")};
  EXPECT_EQ(layout.FromValues(values, key.data()), 37u);
  EXPECT_EQ(key[0], 1);
  EXPECT_EQ(key[1], 'A');
  EXPECT_TRUE(std::all_of(key.begin() + 37, key.end(), [](uint8_t b) { return b == 0; }));
  // A partial string counts only its given characters.
  values = {KeyValue::String("actor"), KeyValue::String("pa")};
  EXPECT_EQ(layout.FromValues(values, key.data(), true), 37u + 3u);
  EXPECT_EQ(key[38], 'P');
  EXPECT_EQ(key[39], 'A');
  // More values than fields: the extra ones are ignored.
  values.push_back(KeyValue::Int32(1));
  EXPECT_EQ(layout.FromValues(values, key.data()), 74u);
}

}  // namespace
}  // namespace quoldex::tables
