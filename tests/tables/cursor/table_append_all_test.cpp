// Filling an empty table at once: the records and index entries must be
// those of appending and posting each record in turn, and a refusal must
// leave the table as empty as it was.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_cursor_test_util.h"
#include "text/western.h"

namespace quoldex::tables::test {
namespace {

struct Row {
  std::string name, parent, package;
};

// Rows whose names are unique without regard to case, many sharing parents
// and packages (so that the non-unique index holds equal leading values).
std::vector<Row> RandomRows(int count, uint32_t seed) {
  std::mt19937 rng(seed);
  const char* parents[] = {"actor", "Actor", "pawn", "info", ""};
  std::vector<Row> rows;
  for (int i = 0; i < count; ++i) {
    rows.push_back({"C" + std::to_string(rng() % 100000) + "_" + std::to_string(i),
                    parents[rng() % 5], rng() % 3 ? "core" : ""});
  }
  return rows;
}

std::vector<uint8_t> Images(const TableCursor& c, const std::vector<Row>& rows) {
  std::vector<uint8_t> images;
  for (const Row& r : rows) {
    std::vector<uint8_t> image = c.NewRecord();
    c.SetField(kObjectName, FieldValue::String(r.name), image.data());
    c.SetField(kInheritsFrom, FieldValue::String(r.parent.empty() ? "object" : r.parent),
               image.data());
    c.SetField(kFilename, FieldValue::String("/src/" + r.package + "/" + r.name + ".uc"),
               image.data());
    c.SetField(kPackage, FieldValue::String(r.package), image.data());
    images.insert(images.end(), image.begin(), image.end());
  }
  return images;
}

// Every index's order as (record ID, record bytes) from First to Eof.
std::vector<std::vector<uint8_t>> Contents(TableCursor& c) {
  std::vector<std::vector<uint8_t>> out;
  for (int index : {0, kByName, kByInheritance}) {
    c.SetIndex(index);
    for (bool on = c.First(); on; on = c.Next()) {
      out.emplace_back(c.CurrentRecord(), c.CurrentRecord() + 369);
    }
  }
  return out;
}

class AppendAllTest : public TableTest {};

TEST_F(AppendAllTest, StoresWhatAppendingEachRecordWould) {
  const std::vector<Row> rows = RandomRows(3000, 4);  // many pages per index
  CreateObjects("one.dat");
  CreateObjects("all.dat");
  TableCursor one(ExclusiveSettings("one.dat"));
  one.Open();
  for (const Row& r : rows) {
    AddObject(one, r.name, r.parent.empty() ? "object" : r.parent, r.package);
  }
  TableCursor all(ExclusiveSettings("all.dat"));
  all.Open();
  all.AppendAll(Images(all, rows));
  EXPECT_TRUE(all.Bof());
  EXPECT_EQ(all.RecordCount(), 3000);
  EXPECT_EQ(Contents(all), Contents(one));
  EXPECT_TRUE(all.CheckIntegrity().empty());
  // The table goes on as any other: a later append takes the next ID.
  EXPECT_EQ(AddObject(all, "Later"), AddObject(one, "Later"));
  all.Close();
  TableCursor reopened(Settings("all.dat"));
  reopened.Open();
  EXPECT_TRUE(reopened.CheckIntegrity().empty());
  EXPECT_EQ(reopened.RecordCount(), 3001);
}

// Stored in an index's order, reading in that order meets the slots front
// to back, and every record holds what appending the images in the given
// order stores: the same record IDs and fields, only in other slots.
TEST_F(AppendAllTest, InAnIndexOrderTakesTheSlotsInThatOrder) {
  const std::vector<Row> rows = RandomRows(2000, 5);
  CreateObjects("all.dat");
  TableCursor all(ExclusiveSettings("all.dat"));
  all.Open();
  all.AppendAll(Images(all, rows), kByInheritance);
  all.SetIndex(kByInheritance);
  int32_t slot = 0;
  for (bool on = all.First(); on; on = all.Next()) {
    EXPECT_EQ(all.PhysicalRecordNumber(), ++slot);
  }
  ASSERT_EQ(slot, 2000);
  all.SetIndex(0);
  ASSERT_TRUE(all.First());
  EXPECT_NE(all.PhysicalRecordNumber(), 1);  // the slots did change

  CreateObjects("one.dat");
  TableCursor one(ExclusiveSettings("one.dat"));
  one.Open();
  for (const Row& r : rows) {
    AddObject(one, r.name, r.parent.empty() ? "object" : r.parent, r.package);
  }
  auto without_slots = [](std::vector<std::vector<uint8_t>> records) {
    for (auto& record : records) record.erase(record.begin(), record.begin() + 5);
    return records;
  };
  EXPECT_EQ(without_slots(Contents(all)), without_slots(Contents(one)));
  EXPECT_TRUE(all.CheckIntegrity().empty());
  EXPECT_EQ(AddObject(all, "Later"), AddObject(one, "Later"));

  // An index descending as a whole is read from its greatest key down.
  TableDefinition down = ObjectsDefinition();
  down.indexes[kByName].descending = true;
  TableCursor::Create(Settings("down.dat"), down);
  TableCursor d(ExclusiveSettings("down.dat"));
  d.Open();
  d.AppendAll(Images(d, rows), kByName);
  d.SetIndex(kByName);
  slot = 0;
  std::string previous;
  for (bool on = d.First(); on; on = d.Next()) {
    EXPECT_EQ(d.PhysicalRecordNumber(), ++slot);
    const std::string name = text::LowerCase(NameOf(d));
    if (slot > 1) {
      EXPECT_GT(previous, name);
    }
    previous = name;
  }
  EXPECT_EQ(slot, 2000);
  EXPECT_TRUE(d.CheckIntegrity().empty());
}

TEST_F(AppendAllTest, RefusalsLeaveTheTableEmpty) {
  CreateObjects();
  {
    TableCursor shared(Settings());
    shared.Open();
    EXPECT_EQ(EngineCode([&] { shared.AppendAll(Images(shared, RandomRows(2, 1))); }),
              kErrNotExclusive);
  }
  TableCursor c(ExclusiveSettings());
  c.Open();
  std::vector<Row> rows = RandomRows(500, 2);
  rows[400].name = "SAME";
  rows[17].name = "same";  // ByName ignores case
  EXPECT_EQ(EngineCode([&] { c.AppendAll(Images(c, rows)); }), kErrDuplicateKey);
  rows[400].name = "Other";
  std::vector<uint8_t> images = Images(c, rows);
  images[369 * 250 + 9] = 0;  // record 251 without its required name
  EXPECT_EQ(EngineCode([&] { c.AppendAll(images); }), kErrRequired);
  EXPECT_THROW(c.AppendAll(std::vector<uint8_t>(100)), std::invalid_argument);
  EXPECT_THROW(c.AppendAll(Images(c, rows), 3), std::invalid_argument);  // no index 3
  EXPECT_EQ(c.RecordCount(), 0);
  EXPECT_FALSE(c.First());
  EXPECT_TRUE(c.CheckIntegrity().empty());

  c.AppendAll(Images(c, rows));
  EXPECT_EQ(c.RecordCount(), 500);
  EXPECT_THROW(c.AppendAll(Images(c, RandomRows(1, 3))), std::invalid_argument);  // not empty
  EXPECT_EQ(c.RecordCount(), 500);
}

}  // namespace
}  // namespace quoldex::tables::test
