// Scans and the shelves behind a handle's caches: a scan hands out exactly
// the records a walk from First to Eof stands on, and images kept on the
// shelves never show a handle a state older than its caches would.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_cursor_test_util.h"

namespace quoldex::tables::test {
namespace {

using Records = std::vector<std::vector<uint8_t>>;
constexpr size_t kRecordSize = 369;  // objects.dat

Records Walked(TableCursor& c) {
  Records out;
  for (bool on = c.First(); on; on = c.Next()) {
    out.emplace_back(c.CurrentRecord(), c.CurrentRecord() + kRecordSize);
  }
  return out;
}

// The records a scan hands out; `entries` gets what the scan said it would
// cover before its first record.
Records Scanned(TableCursor& c, int64_t* entries = nullptr) {
  Records out;
  int64_t told = -1;
  c.Scan([&](const uint8_t* record) {
    EXPECT_GE(told, 0) << "told after a record";
    out.emplace_back(record, record + kRecordSize);
  }, [&](int64_t n) { told = n; });
  EXPECT_TRUE(c.Eof());
  if (entries != nullptr) *entries = told;
  return out;
}

class ScanTest : public TableTest {
 protected:
  // A table of `count` classes under a handful of parents and packages,
  // with every fifth row deleted and rows added after, so that later rows
  // reuse deleted slots and no index runs in slot order.
  void Fill(TableCursor& c, int count) {
    std::mt19937 rng(99);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
      std::string name = "C" + std::to_string(rng() % 1000000) + "_" + std::to_string(i);
      names.push_back(name);
      AddObject(c, name, kParents[rng() % 4], kPackages[rng() % 3]);
    }
    c.SetIndex(kByName);
    for (int i = 0; i < count; i += 5) {
      const int field[] = {kObjectName};
      ASSERT_TRUE(c.Locate(field, Values({names[i].c_str()}), false, false));
      c.Delete();
    }
    for (int i = 0; i < count / 5; ++i) {
      AddObject(c, "Late" + std::to_string(i), kParents[rng() % 4], kPackages[rng() % 3]);
    }
    c.SetIndex(0);
  }
  static constexpr const char* kParents[] = {"actor", "Actor", "pawn", "info"};
  static constexpr const char* kPackages[] = {"core", "engine", "botpack"};
};

TEST_F(ScanTest, HandsOutWhatAWalkStandsOnInEveryOrderRangeAndFilter) {
  CreateObjects();
  TableCursor c(Settings());
  c.Open();
  Fill(c, 2500);  // several batches of slots
  for (int index : {0, kByName, kByInheritance}) {
    SCOPED_TRACE(index);
    c.SetIndex(index);
    Records walked = Walked(c);
    EXPECT_EQ(walked.size(), 2500u);
    EXPECT_EQ(Scanned(c), walked);
  }
  c.SetIndex(kByInheritance);
  for (const char* parent : {"actor", "pawn", "zzz"}) {
    SCOPED_TRACE(parent);
    const std::vector<FieldValue> bound = Values({parent});
    c.SetRange(bound, bound);  // case-insensitive: actor and Actor
    Records walked = Walked(c);
    int64_t entries = -1;
    EXPECT_EQ(Scanned(c, &entries), walked);
    EXPECT_EQ(entries, static_cast<int64_t>(walked.size()));
  }
  c.CancelRange();
  c.SetFilter([](const uint8_t* record) { return record[347] != 0 && record[348] == 'b'; });
  Records walked = Walked(c);
  EXPECT_FALSE(walked.empty());
  int64_t entries = -1;
  EXPECT_EQ(Scanned(c, &entries), walked);
  EXPECT_EQ(entries, 2500) << "the entries before the filter";
}

TEST_F(ScanTest, SeesDeferredChangesOfAnExclusiveHandleAndTheTableWithoutPrimaryIndex) {
  CreateObjects();
  {
    TableCursor c(ExclusiveSettings());
    c.Open();
    Fill(c, 900);  // writes deferred: part of it only in the caches
    c.SetIndex(kByName);
    EXPECT_EQ(Scanned(c), Walked(c));
  }
  TableDefinition heap = ObjectsDefinition();
  heap.indexes = {Index("", {}), Index("ByName", {2}, true, true)};
  TableCursor::Create(Settings("heap.dat"), heap);
  TableCursor h(Settings("heap.dat"));
  h.Open();
  for (int i = 0; i < 50; ++i) AddObject(h, "H" + std::to_string(i));
  ASSERT_TRUE(h.First());
  h.Delete();
  EXPECT_EQ(Scanned(h).size(), 49u);
  EXPECT_EQ(Scanned(h), Walked(h));
}

// The records a walk stands on, in slot order.
Records WalkedInSlotOrder(TableCursor& c) {
  std::vector<std::pair<int32_t, std::vector<uint8_t>>> slots;
  for (bool on = c.First(); on; on = c.Next()) {
    slots.emplace_back(c.PhysicalRecordNumber(),
                       std::vector<uint8_t>(c.CurrentRecord(), c.CurrentRecord() + kRecordSize));
  }
  std::sort(slots.begin(), slots.end());
  Records out;
  for (auto& [slot, bytes] : slots) out.push_back(std::move(bytes));
  return out;
}

Records ScannedSlots(TableCursor& c) {
  Records out;
  c.ScanSlots([&](const uint8_t* record) { out.emplace_back(record, record + kRecordSize); });
  EXPECT_TRUE(c.Eof());
  return out;
}

// In slot order: the same records, deleted slots skipped, whether read in
// place (a shared table on disk), from the caches (an exclusive handle's
// deferred writes) or in runs (a table in memory).
TEST_F(ScanTest, ScanSlotsHandsOutEveryRecordInSlotOrder) {
  CreateObjects();
  TableSettings in_memory = ExclusiveSettings("mem.dat");
  in_memory.in_memory = true;
  TableCursor::Create(in_memory, ObjectsDefinition());
  for (const TableSettings& settings : {Settings(), ExclusiveSettings(), in_memory}) {
    SCOPED_TRACE(settings.table_name + (settings.exclusive ? " exclusive" : " shared"));
    TableCursor c(settings);
    c.Open();
    if (c.RecordCount() == 0) Fill(c, 2000);
    c.SetIndex(kByName);
    Records walked = WalkedInSlotOrder(c);
    ASSERT_EQ(walked.size(), 2000u);
    EXPECT_EQ(ScannedSlots(c), walked);
    c.SetFilter([](const uint8_t* record) { return record[347] != 0 && record[348] == 'b'; });
    walked = WalkedInSlotOrder(c);
    EXPECT_FALSE(walked.empty());
    EXPECT_EQ(ScannedSlots(c), walked);
    c.SetFilter(nullptr);
    const std::vector<FieldValue> bound = Values({"C"});
    c.SetRange(bound, bound);
    EXPECT_THROW(c.ScanSlots([](const uint8_t*) {}), std::logic_error);
  }
}

// A scan reads a shared table in place through a mapping that outlives the
// handle; the handle's sharing lock must not: once it is closed the table
// can be opened exclusively, by this process and by others.
TEST_F(ScanTest, AClosedHandleLeavesNoLockBehindItsScan) {
  CreateObjects();
  {
    TableCursor a(Settings());
    a.Open();
    Fill(a, 300);
    EXPECT_EQ(Scanned(a), Walked(a));
  }
  TableCursor b(Settings());
  b.Open();
  EXPECT_EQ(Scanned(b).size(), 300u);  // a kept mapping serves this one
  b.Close();
  TableCursor alone(ExclusiveSettings());
  EXPECT_NO_THROW(alone.Open());
  alone.EmptyTable();
  EXPECT_TRUE(Scanned(alone).empty());
}

TEST_F(ScanTest, ReadsTheStateAnotherHandleLeft) {
  CreateObjects();
  TableCursor a(Settings());
  a.Open();
  Fill(a, 200);
  TableCursor b(Settings());
  b.Open();
  Records before = Scanned(b);
  AddObject(a, "Zebra");
  ASSERT_TRUE(a.First());
  a.Delete();
  Records after = Scanned(b);
  EXPECT_EQ(after.size(), before.size());
  EXPECT_NE(after, before);
  EXPECT_EQ(after, Walked(a));
}

// A reader whose caches hold far less than the table has read all of it:
// what it needs next comes back from its shelves. After another handle's
// change it must still see the change, as its caches alone would on a miss.
TEST_F(ScanTest, ShelvedImagesNeverHideAnotherHandlesChange) {
  CreateObjects();
  TableCursor writer(Settings());
  writer.Open();
  Fill(writer, 3000);
  writer.SetIndex(kByName);
  const int field[] = {kObjectName};
  std::vector<std::string> names;
  for (bool on = writer.First(); on; on = writer.Next()) names.push_back(NameOf(writer));
  ASSERT_EQ(names.size(), 3000u);
  auto warm_reader = [&] {
    auto reader = std::make_unique<TableCursor>(Settings());
    reader->Open();
    reader->SetIndex(kByName);
    size_t n = 0;
    for (bool on = reader->First(); on; on = reader->Next()) ++n;
    EXPECT_GT(n, 2990u);  // the whole table, as the writer has left it
    return reader;
  };

  std::unique_ptr<TableCursor> reader = warm_reader();
  ASSERT_TRUE(writer.Locate(field, Values({names[10].c_str()}), false, false));
  writer.Edit();
  writer.SetField(kPackage, FieldValue::String("changed"));
  writer.Post();
  ASSERT_TRUE(reader->Locate(field, Values({names[10].c_str()}), false, false));
  EXPECT_EQ(reader->GetField(kPackage).text, "changed");

  reader = warm_reader();
  AddObject(writer, names[20] + "x");  // a new key in a leaf the reader keeps
  EXPECT_TRUE(reader->Locate(field, Values({(names[20] + "X").c_str()}), true, false));

  reader = warm_reader();
  ASSERT_TRUE(writer.Locate(field, Values({names[30].c_str()}), false, false));
  writer.Delete();
  EXPECT_FALSE(reader->Locate(field, Values({names[30].c_str()}), false, false));

  reader = warm_reader();
  AddObject(writer, "Zz");
  reader->SetIndex(0);
  writer.SetIndex(0);
  EXPECT_EQ(Walked(*reader), Walked(writer));
  EXPECT_TRUE(reader->CheckIntegrity().empty());
}

// A filtered walk tests records where they lie (the caches, else the file
// itself) before fetching one: it must see each record as the handle's
// caches would, after another handle's change and with its own deferred
// changes alike.
TEST_F(ScanTest, AFilteredWalkSeesEveryRecordAsItNowIs) {
  CreateObjects();
  auto in_botpack = [](const uint8_t* record) { return record[347] != 0 && record[348] == 'b'; };
  auto expected = [](TableCursor& c) {
    std::vector<std::string> names;
    for (bool on = c.First(); on; on = c.Next()) {
      if (c.GetField(kPackage).text == "botpack") names.push_back(NameOf(c));
    }
    return names;
  };
  auto filtered = [&](TableCursor& c) {
    c.SetFilter(in_botpack);
    std::vector<std::string> names;
    for (bool on = c.First(); on; on = c.Next()) names.push_back(NameOf(c));
    c.SetFilter(nullptr);
    return names;
  };
  // Moves every seventh record into or out of botpack.
  auto change_some = [](TableCursor& c) {
    int n = 0;
    for (bool on = c.First(); on; on = c.Next()) {
      if (++n % 7 != 0) continue;
      c.Edit();
      const bool in = c.GetField(kPackage).text == "botpack";
      c.SetField(kPackage, FieldValue::String(in ? "core" : "botpack"));
      c.Post();
    }
  };
  {
    TableCursor writer(Settings());
    writer.Open();
    Fill(writer, 3000);
    TableCursor reader(Settings());
    reader.Open();
    const std::vector<std::string> before = filtered(reader);
    EXPECT_EQ(before, expected(writer));
    change_some(writer);
    const std::vector<std::string> after = filtered(reader);
    EXPECT_NE(after, before);
    EXPECT_EQ(after, expected(writer));
  }
  TableCursor alone(ExclusiveSettings());
  alone.Open();
  change_some(alone);  // deferred: the file still holds the old records
  const std::vector<std::string> names = filtered(alone);
  EXPECT_FALSE(names.empty());
  EXPECT_EQ(names, expected(alone));
}

// Random runs: a writer changes the table at random while a reader, whose
// caches cannot hold the table, looks names up. Before each lookup the
// reader walks a stretch of the table longer than its record cache, so the
// walk's first step misses its caches (and the shelves, once the counters
// moved, must not serve it): from then on it must agree with the writer.
// The strict reader checks the counters at every step instead.
class RandomShelfTest : public ScanTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RandomShelfTest, RandomChangesAreSeenPastTheShelves) {
  CreateObjects();
  TableCursor writer(Settings());
  writer.Open();
  std::vector<std::string> model;
  for (int i = 0; i < 1500; ++i) {
    model.push_back("N" + std::to_string(i));
    AddObject(writer, model.back(), "p", "k0");
  }
  TableSettings reader_settings = Settings();
  reader_settings.strict_change_detection = GetParam();
  TableCursor reader(reader_settings);
  reader.Open();
  writer.SetIndex(kByName);
  const int field[] = {kObjectName};
  std::mt19937 rng(3);
  std::vector<std::string> packages(model.size(), "k0");
  for (int step = 0; step < 300; ++step) {
    const size_t i = rng() % model.size();
    switch (rng() % 3) {
      case 0:
        ASSERT_TRUE(writer.Locate(field, Values({model[i].c_str()}), false, false));
        writer.Edit();
        packages[i] = "k" + std::to_string(step);
        writer.SetField(kPackage, FieldValue::String(packages[i]));
        writer.Post();
        break;
      case 1:  // gone, and a new name in its place
        ASSERT_TRUE(writer.Locate(field, Values({model[i].c_str()}), false, false));
        writer.Delete();
        model[i] = "M" + std::to_string(step);
        packages[i] = "k1";
        AddObject(writer, model[i], "p", "k1");
        break;
      default:
        break;
    }
    reader.SetIndex(0);
    bool on = reader.First();
    for (int n = 1; n < 400 && on; ++n) on = reader.Next();
    reader.SetIndex(kByName);
    const size_t j = rng() % model.size();
    ASSERT_TRUE(reader.Locate(field, Values({model[j].c_str()}), false, false)) << step;
    ASSERT_EQ(reader.GetField(kPackage).text, packages[j]) << step;
  }
}

INSTANTIATE_TEST_SUITE_P(LazyAndStrict, RandomShelfTest, ::testing::Bool());

}  // namespace
}  // namespace quoldex::tables::test
