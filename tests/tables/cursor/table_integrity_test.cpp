// The integrity check after long runs of changes and against injected
// damage, and the repair of damaged tables.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>

#include "tables/base/coding.h"
#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_cursor_test_util.h"
#include "tables/cursor/table_repair.h"
#include "tables/index_file/index_file.h"
#include "tables/index_file/key_codec.h"
#include "text/western.h"

namespace quoldex::tables::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

bool AnyContains(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

std::string Upper(const std::string& s) {
  std::string out = s;
  for (char& ch : out) ch = static_cast<char>(text::ToUpper(static_cast<uint8_t>(ch)));
  return out;
}

class IntegrityTest : public TableTest {
 protected:
  void SetUp() override { CreateObjects(); }

  // Random inserts, renames, edits and deletes through `c`, mirrored in
  // `model_` (upper-case name -> name).
  void RandomRun(TableCursor& c, int steps, unsigned seed) {
    std::mt19937 rng(seed);
    c.SetIndex(kByName);
    const int field[] = {kObjectName};
    for (int i = 0; i < steps; ++i) {
      std::string name = "Class" + std::to_string(rng() % 150);
      if (rng() % 2) name = Upper(name);
      const bool present = model_.count(Upper(name)) > 0;
      switch (rng() % 4) {
        case 0:
        case 1: {
          c.Append();
          c.SetField(kObjectName, FieldValue::String(name));
          c.SetField(kInheritsFrom, FieldValue::String("p" + std::to_string(rng() % 7)));
          c.SetField(kFilename, FieldValue::String("/f"));
          int code = EngineCode([&] { c.Post(); });
          ASSERT_EQ(code, present ? kErrDuplicateKey : 0) << name;
          if (code != 0) {
            c.Cancel();
          } else {
            model_[Upper(name)] = name;
          }
          break;
        }
        case 2:
          if (c.Locate(field, Values({name.c_str()}), true, false)) {
            ASSERT_TRUE(present) << name;
            c.Delete();
            model_.erase(Upper(name));
          } else {
            ASSERT_FALSE(present) << name;
          }
          break;
        default:
          if (c.SetRecordNumber(1 + static_cast<int64_t>(rng() % (model_.size() + 1)))) {
            std::string old_name = NameOf(c);
            std::string new_name = "Renamed" + std::to_string(rng() % 150);
            c.Edit();
            c.SetField(kObjectName, FieldValue::String(new_name));
            c.SetField(kInheritsFrom, FieldValue::String("q" + std::to_string(rng() % 3)));
            int code = EngineCode([&] { c.Post(); });
            ASSERT_EQ(code, model_.count(Upper(new_name)) && Upper(new_name) != Upper(old_name)
                                ? kErrDuplicateKey
                                : 0);
            if (code != 0) {
              c.Cancel();
            } else {
              model_.erase(Upper(old_name));
              model_[Upper(new_name)] = new_name;
            }
          }
          break;
      }
    }
  }

  void ExpectModel(TableCursor& c) {
    c.SetIndex(kByName);
    std::vector<std::string> expected;
    for (const auto& [upper, name] : model_) expected.push_back(name);
    EXPECT_EQ(Names(c), expected);
    EXPECT_EQ(c.RecordCount(), static_cast<int64_t>(model_.size()));
  }

  // The record IDs of every record, by name.
  std::map<std::string, int32_t> IdsByName() {
    TableCursor c(Settings());
    c.Open();
    std::map<std::string, int32_t> ids;
    for (bool on = c.First(); on; on = c.Next()) ids[NameOf(c)] = c.RecordId();
    return ids;
  }

  std::map<std::string, std::string> model_;
};

TEST_F(IntegrityTest, RandomRunsLeaveASoundTable) {
  {
    TableCursor c(Settings());
    c.Open();
    RandomRun(c, 700, 42);
    EXPECT_GT(model_.size(), 60u);
    EXPECT_THAT(c.CheckIntegrity(), IsEmpty());
    ExpectModel(c);
  }
  {
    TableCursor c(ExclusiveSettings());
    c.Open();
    RandomRun(c, 700, 43);
    EXPECT_THAT(c.CheckIntegrity(), IsEmpty());
  }
  TableCursor c(Settings());
  c.Open();
  ExpectModel(c);
  EXPECT_THAT(c.CheckIntegrity(), IsEmpty());
}

TEST_F(IntegrityTest, ReportsAMissingKeyAndWrongCounts) {
  {
    TableCursor c(Settings());
    c.Open();
    AddObject(c, "Actor");
    AddObject(c, "Pawn", "actor");
    AddObject(c, "Brush", "actor");
  }
  {
    TDataFile data(DataPath());
    data.Open(true, false, false);
    TIndexFile index(IndexPath(), DataPath(), data.Fields());
    index.Open(true, false, false);
    std::vector<uint8_t> key(index.KeyLength(kByName));
    KeyValue name = KeyValue::String("ACTOR");
    index.Layout(kByName).FromValues({&name, 1}, key.data());
    index.Delete(kByName, key.data());
    index.SetRecordCount(7);
  }
  TableCursor c(Settings());
  c.Open();
  std::vector<std::string> findings = c.CheckIntegrity();
  EXPECT_TRUE(AnyContains(findings, "record 1 (ID 1): no entry in index ByName")) << findings[0];
  EXPECT_TRUE(AnyContains(findings, "index ByName: 2 entries for 3 slots"));
  EXPECT_TRUE(AnyContains(findings, "header counts 7 active records"));
}

TEST_F(IntegrityTest, ReportsDamagedSlotsAndChains) {
  {
    TableCursor c(Settings());
    c.Open();
    for (const char* name : {"A", "B", "C", "D"}) AddObject(c, name);
    c.First();
    c.Delete();
  }
  std::vector<uint8_t> bytes = ReadAll(DataPath());
  const size_t slot3 = 127 + 6 * 768 + 2 * 369;
  bytes[slot3] = 1;  // deleted without being chained or removed from the indexes
  WriteAll(DataPath(), bytes);
  TableCursor c(Settings());
  c.Open();
  std::vector<std::string> findings = c.CheckIntegrity();
  EXPECT_TRUE(AnyContains(findings, "deleted chain: holds 1 of 2 deleted slots"));
  EXPECT_TRUE(AnyContains(findings, "slot 3: system index lacks its entry (deleted, ID 3)"));
  EXPECT_TRUE(AnyContains(findings, "index Primary: 3 entries for 2 slots"));
  c.Close();

  bytes[slot3] = 7;
  WriteAll(DataPath(), bytes);
  c.Open();
  EXPECT_TRUE(AnyContains(c.CheckIntegrity(), "slot 3: deleted flag 7"));
}

TEST_F(IntegrityTest, ReportsDamagedIndexPages) {
  {
    TableCursor c(Settings());
    c.Open();
    RandomRun(c, 400, 5);
  }
  std::vector<uint8_t> bytes = ReadAll(IndexPath());
  ASSERT_GT(bytes.size(), 3 * 4096u);
  // The first page claims no entries: every search through it fails.
  bytes[4096 + 1] = 0;
  bytes[4096 + 2] = 0;
  WriteAll(IndexPath(), bytes);
  TableCursor c(Settings());
  c.Open();
  EXPECT_THAT(c.CheckIntegrity(), ::testing::Not(IsEmpty()));
}

// ---- Repair ----

class RepairTest : public IntegrityTest {
 protected:
  void SetUp() override {
    IntegrityTest::SetUp();
    TableCursor c(Settings());
    c.Open();
    RandomRun(c, 300, 11);
    ASSERT_THAT(c.CheckIntegrity(), IsEmpty());
  }

  void ExpectRepairedWith(const std::map<std::string, int32_t>& ids) {
    EXPECT_EQ(IdsByName(), ids);
    TableCursor c(Settings());
    c.Open();
    EXPECT_THAT(c.CheckIntegrity(), IsEmpty());
    int32_t highest = 0;
    for (const auto& [name, id] : ids) highest = std::max(highest, id);
    EXPECT_GT(AddObject(c, "AfterRepair"), highest);
    EXPECT_THAT(c.CheckIntegrity(), IsEmpty());
  }
};

TEST_F(RepairTest, ASoundTableIsLeftByteForByte) {
  const std::vector<uint8_t> data = ReadAll(DataPath());
  const std::vector<uint8_t> index = ReadAll(IndexPath());
  EXPECT_THAT(RepairTable(Settings()), IsEmpty());
  EXPECT_EQ(ReadAll(DataPath()), data);
  EXPECT_EQ(ReadAll(IndexPath()), index);
}

TEST_F(RepairTest, TruncatedLastSlotAndDamagedIndex) {
  const std::map<std::string, int32_t> ids = IdsByName();
  std::vector<uint8_t> data = ReadAll(DataPath());
  std::vector<uint8_t> half(data.end() - 369, data.end() - 369 + 150);
  data.insert(data.end(), half.begin(), half.end());  // a slot cut short
  WriteAll(DataPath(), data);
  std::vector<uint8_t> index = ReadAll(IndexPath());
  std::fill(index.begin() + 4096, index.begin() + 4096 + 600, 0xAB);
  WriteAll(IndexPath(), index);
  std::filesystem::create_directory(dir_.Dir() + "copies");
  TableSettings read_only = Settings();
  read_only.read_only = true;  // a writable open would recover it at once
  EXPECT_EQ(EngineCode([&] { TableCursor(read_only).Open(); }), kErrHeaderCorrupt);

  std::vector<std::string> report = RepairTable(Settings(), dir_.Dir() + "copies/");
  EXPECT_TRUE(AnyContains(report, "mended: dropped 150 bytes of a partly written last slot"));
  EXPECT_TRUE(AnyContains(report, "mended: rebuilt every index"));
  EXPECT_FALSE(AnyContains(report, "not mended"));
  EXPECT_TRUE(AnyContains(report, "mended: kept " + std::to_string(ids.size()) +
                                      " records, dropped 1"));
  ExpectRepairedWith(ids);
  // The copies are the files as they were before the repair.
  EXPECT_EQ(ReadAll(dir_.Dir() + "copies/objects.IDX"), index);
  EXPECT_EQ(ReadAll(dir_.Dir() + "copies/objects.DAT"), data);
}

TEST_F(RepairTest, ARecordWrittenBeforeItsHeadersIsKept) {
  // The files as they were before one more insert...
  const std::vector<uint8_t> data_before = ReadAll(DataPath());
  const std::vector<uint8_t> index_before = ReadAll(IndexPath());
  {
    TableCursor c(Settings());
    c.Open();
    c.Append();  // takes a deleted slot or a new one: either must survive
    c.SetField(kObjectName, FieldValue::String("Newcomer"));
    c.SetField(kInheritsFrom, FieldValue::String("p1"));
    c.SetField(kFilename, FieldValue::String("/f"));
    c.Post();
  }
  const std::map<std::string, int32_t> ids = IdsByName();
  // ...with the new record's bytes but the old headers and old index, as a
  // writer stopped right after writing the record would leave them.
  std::vector<uint8_t> data = ReadAll(DataPath());
  std::copy(data_before.begin(), data_before.begin() + 127, data.begin());
  WriteAll(DataPath(), data);
  WriteAll(IndexPath(), index_before);

  std::vector<std::string> report = RepairTable(Settings());
  EXPECT_FALSE(report.empty());
  EXPECT_FALSE(AnyContains(report, "not mended"));
  ExpectRepairedWith(ids);
}

TEST_F(RepairTest, WithoutIndexDefinitionsNothingIsChanged) {
  std::vector<uint8_t> index = ReadAll(IndexPath());
  index[14 + 120 + 37] = 20;  // ByName: more key fields than an index may have
  index[14 + 120 + 54] = 99;  // and a field that does not exist
  WriteAll(IndexPath(), index);
  std::vector<uint8_t> data = ReadAll(DataPath());
  data.push_back(0);
  WriteAll(DataPath(), data);
  EXPECT_EQ(EngineCode([&] { RepairTable(Settings()); }), kErrHeaderCorrupt);
  EXPECT_EQ(ReadAll(DataPath()), data);
}

}  // namespace
}  // namespace quoldex::tables::test
