#include "tables/cursor/table_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tables/base/coding.h"
#include "tables/data_file/data_file_test_util.h"
#include "tables/records/field_codec.h"

namespace quoldex::tables {
namespace {

using test::Field;

FieldDesc Placed(FieldDesc f, uint16_t offset) {
  f.physical_size = PhysicalSize(f.type, f.size);
  f.offset = offset;
  return f;
}

std::string Padded(std::string text, size_t size) {
  text.resize(size, '\0');
  return text;
}

// One set of objects, reused for values of every kind one after another, holds
// each time exactly the key and the value storing would give, nothing left
// over from the value before.
TEST(TableKeys, KeyAndStoredValueIntoReusesItsObjectsAcrossKinds) {
  const FieldDesc name = Placed(Field("Name", kTypeString, 35), 9);
  const FieldDesc id = Placed(Field("Id", kTypeInteger, 0, true, kSubtypeAutoInc), 5);
  const FieldDesc size = Placed(Field("Size", kTypeInteger), 20);
  std::vector<uint8_t> scratch;
  KeyValue key;
  FieldValue stored;

  KeyAndStoredValueInto(name, FieldValue::String("Actor  "), scratch, key, stored);
  EXPECT_FALSE(key.null);
  EXPECT_EQ(key.stored, Padded("Actor", 36));  // trailing blanks go, as when stored
  EXPECT_EQ(stored, FieldValue::String("Actor"));

  KeyAndStoredValueInto(name, FieldValue::String(std::string(40, 'x')), scratch, key, stored);
  EXPECT_EQ(key.stored, Padded(std::string(35, 'x'), 36));  // cut to the declared size
  EXPECT_EQ(stored, FieldValue::String(std::string(35, 'x')));

  KeyAndStoredValueInto(id, FieldValue::String("12"), scratch, key, stored);
  EXPECT_FALSE(key.null);
  ASSERT_EQ(key.stored.size(), 4u);
  EXPECT_EQ(GetLE<int32_t>(reinterpret_cast<const uint8_t*>(key.stored.data())), 12);
  EXPECT_EQ(stored, FieldValue::Integer(12));

  KeyAndStoredValueInto(name, FieldValue::String("   "), scratch, key, stored);
  EXPECT_TRUE(key.null);  // blank-only: stored as null
  EXPECT_TRUE(key.stored.empty());
  EXPECT_EQ(stored, FieldValue::Null());

  KeyAndStoredValueInto(size, FieldValue::String("42"), scratch, key, stored);
  EXPECT_EQ(key.stored, Padded("\x2a", 4));
  EXPECT_EQ(stored, FieldValue::Integer(42));

  KeyAndStoredValueInto(name, FieldValue::String("Pawn"), scratch, key, stored);
  EXPECT_EQ(stored, FieldValue::String("Pawn"));  // the integer before is gone
  KeyAndStoredValueInto(size, FieldValue::Null(), scratch, key, stored);
  EXPECT_TRUE(key.null);
  EXPECT_EQ(stored, FieldValue::Null());

  // The one-shot form agrees.
  auto [one_key, one_value] = KeyAndStoredValue(name, FieldValue::String("Pawn"));
  EXPECT_EQ(one_key.stored, Padded("Pawn", 36));
  EXPECT_EQ(one_value, FieldValue::String("Pawn"));
}

TEST(TableKeys, StringViewReadsWhatGetFieldValueReads) {
  const FieldDesc name = Placed(Field("Name", kTypeString, 10), 9);
  std::vector<uint8_t> record(9 + 1 + 11, 0);
  EXPECT_FALSE(GetStringView(name, record.data()).has_value());  // null
  SetFieldValue(name, FieldValue::String("Brush"), record.data());
  ASSERT_TRUE(GetStringView(name, record.data()).has_value());
  EXPECT_EQ(*GetStringView(name, record.data()), "Brush");
  // A full field has no zero byte within the declared size.
  SetFieldValue(name, FieldValue::String("ABCDEFGHIJKL"), record.data());
  EXPECT_EQ(*GetStringView(name, record.data()), "ABCDEFGHIJ");
  EXPECT_EQ(GetFieldValue(name, record.data()).text, "ABCDEFGHIJ");
}

}  // namespace
}  // namespace quoldex::tables
