// Restructuring a table: its three outcomes, and failures that leave the
// old files as they were.
#include "tables/cursor/table_restructure.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_cursor_test_util.h"
#include "tables/cursor/table_definition.h"
#include "tables/data_file/data_file.h"
#include "tables/data_file/data_file_test_util.h"
#include "tables/index_file/index_file_header.h"

namespace quoldex::tables::test {
namespace {

using ::testing::ElementsAre;
namespace fs = std::filesystem;

class RestructureTest : public TableTest {
 protected:
  void SetUp() override {
    CreateObjects();
    TableCursor c(Settings());
    c.Open();
    AddObject(c, "Actor", "object", "engine");
    AddObject(c, "Pawn", "actor", "engine");
    AddObject(c, "Brush", "actor", "engine");
    c.First();
    c.Next();
    c.Delete();                             // Pawn: ID 2 is gone, slot 2 on the deleted chain
    AddObject(c, "Info", "actor", "core");  // slot 2, ID 4
    data_before_ = ReadAll(DataPath());
    index_before_ = ReadAll(IndexPath());
  }

  std::vector<std::string> FilesIn(const std::string& dir) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  void ExpectUnchangedFiles() {
    EXPECT_EQ(ReadAll(DataPath()), data_before_);
    EXPECT_EQ(ReadAll(IndexPath()), index_before_);
    EXPECT_THAT(FilesIn(dir_.Dir()), ElementsAre("objects.DAT", "objects.IDX"));
  }

  std::vector<uint8_t> data_before_, index_before_;
};

TEST_F(RestructureTest, AnUnchangedDefinitionLeavesTheFilesUntouched) {
  EXPECT_EQ(RestructureTable(Settings(), ObjectsDefinition()), RestructureOutcome::kUnchanged);
  ExpectUnchangedFiles();
  // Blanks around names and a requested key compression are not changes.
  TableDefinition same = ObjectsDefinition();
  same.fields[1].name = " ObjectName ";
  same.indexes[1].compression = 1;
  EXPECT_EQ(RestructureTable(Settings(), same), RestructureOutcome::kUnchanged);
  ExpectUnchangedFiles();
}

TEST_F(RestructureTest, ADescriptionAloneIsStoredInTheHeaderOnly) {
  TableDefinition described = ObjectsDefinition();
  described.description = "Quoldex Objects";
  EXPECT_EQ(RestructureTable(Settings(), described), RestructureOutcome::kUnchanged);
  {
    TDataFile data(DataPath());
    data.Open(false, true, false);
    EXPECT_EQ(data.Header().Description(), "Quoldex Objects");
    EXPECT_EQ(data.Header().NextRecordNumber(), 4);
  }
  EXPECT_EQ(ReadAll(IndexPath()), index_before_);
  // The record slots are as they were; only the header moved.
  std::vector<uint8_t> after = ReadAll(DataPath());
  ASSERT_EQ(after.size(), data_before_.size());
  EXPECT_TRUE(std::equal(after.begin() + 127, after.end(), data_before_.begin() + 127));
  // Asked again, nothing is written at all.
  EXPECT_EQ(RestructureTable(Settings(), described), RestructureOutcome::kUnchanged);
  EXPECT_EQ(ReadAll(DataPath()), after);
}

TEST_F(RestructureTest, NewIndexesAreBuiltFromTheRecords) {
  TableDefinition def = ObjectsDefinition();
  def.indexes.push_back(Index("ByPackage", {kPackage, kObjectName}));
  def.indexes[1].case_insensitive = false;  // ByName becomes case-sensitive
  EXPECT_EQ(RestructureTable(Settings(), def), RestructureOutcome::kIndexesRebuilt);
  EXPECT_EQ(ReadAll(DataPath()), data_before_);
  EXPECT_THAT(FilesIn(dir_.Dir()), ElementsAre("objects.DAT", "objects.IDX"));

  TableCursor c(Settings());
  c.Open();
  EXPECT_TRUE(c.CheckIntegrity().empty());
  ASSERT_EQ(c.Indexes().size(), 4u);
  EXPECT_FALSE(c.Indexes()[kByName].case_insensitive);
  c.SetIndexByName("ByPackage");
  EXPECT_THAT(Names(c), ElementsAre("Info", "Actor", "Brush"));
  EXPECT_EQ(AddObject(c, "actor"), 5);  // allowed now that case counts
  EXPECT_TRUE(c.CheckIntegrity().empty());
}

TEST_F(RestructureTest, ChangedFieldsCopyTheTableKeepingRecordIds) {
  TableDefinition def = ObjectsDefinition();
  def.fields[kPackage - 1].default_text = "unknown";
  def.fields[kFilename - 1].size = 100;
  def.fields.push_back(Field("Notes", kTypeString, 20));
  // The copy is built in the system's temporary folder, never here.
  const fs::path here = fs::current_path();
  TempDir cwd;
  fs::current_path(cwd.Dir());
  RestructureOutcome outcome = RestructureTable(Settings(), def);
  fs::current_path(here);
  EXPECT_EQ(outcome, RestructureOutcome::kCopied);
  EXPECT_TRUE(fs::is_empty(cwd.Dir()));
  EXPECT_THAT(FilesIn(dir_.Dir()), ElementsAre("objects.DAT", "objects.IDX"));

  TableCursor c(Settings());
  c.Open();
  EXPECT_TRUE(c.CheckIntegrity().empty());
  ASSERT_EQ(c.Fields().size(), 7u);
  EXPECT_EQ(c.Fields()[kFilename - 1].size, 100);
  std::vector<int64_t> ids;
  for (bool on = c.First(); on; on = c.Next()) ids.push_back(c.GetField(kObjectId).integer);
  EXPECT_THAT(ids, ElementsAre(1, 3, 4));
  c.SetIndex(kByName);
  EXPECT_THAT(Names(c), ElementsAre("Actor", "Brush", "Info"));
  ASSERT_TRUE(c.First());
  EXPECT_EQ(c.GetField(kPackage).text, "engine");
  EXPECT_EQ(c.GetField(kFilename).text, "/src/engine/Actor.uc");
  EXPECT_TRUE(c.GetField(7).IsNull());
  // New records go on above every kept ID and get the new default.
  c.Append();
  EXPECT_EQ(c.GetField(kPackage).text, "unknown");
  c.SetField(kObjectName, FieldValue::String("Light"));
  c.SetField(kInheritsFrom, FieldValue::String("actor"));
  c.SetField(kFilename, FieldValue::String("/x"));
  c.Post();
  EXPECT_EQ(c.RecordId(), 5);
  EXPECT_TRUE(c.CheckIntegrity().empty());
}

TEST_F(RestructureTest, FailuresLeaveTheOldFiles) {
  // A unique index the records do not satisfy: the index file goes back.
  TableDefinition unique_parent = ObjectsDefinition();
  unique_parent.indexes.push_back(Index("ByParent", {kInheritsFrom}, true));
  EXPECT_EQ(EngineCode([&] { RestructureTable(Settings(), unique_parent); }), kErrDuplicateKey);
  ExpectUnchangedFiles();

  // A copy whose records do not convert: nothing replaces the old files.
  TableDefinition numbers = ObjectsDefinition();
  numbers.fields[kPackage - 1] = Field("Package", kTypeInteger);
  EXPECT_THROW(RestructureTable(Settings(), numbers), EDatabaseError);
  ExpectUnchangedFiles();

  // A definition that does not validate: kErrFieldName, nothing touched.
  TableDefinition bad = ObjectsDefinition();
  bad.fields[2].name = "OBJECTNAME";
  EXPECT_EQ(EngineCode([&] { RestructureTable(Settings(), bad); }), kErrFieldName);
  ExpectUnchangedFiles();

  EXPECT_EQ(EngineCode([&] { RestructureTable(Settings("none"), bad); }), kErrPath);
  TableCursor open(Settings());
  open.Open();
  EXPECT_EQ(EngineCode([&] { RestructureTable(Settings(), unique_parent); }), kErrAccessDenied);
  open.Close();
  ExpectUnchangedFiles();
}

// A restructure that stopped while its files moved (a power cut, a killed
// process) left the update mark on the old index file: the next open
// finishes the move when the new data file had taken the old one's place,
// and undoes it when it had not; nothing is touched while another handle
// has the table open.
TEST_F(RestructureTest, TheNextOpenFinishesOrUndoesAStoppedRestructure) {
  // The new files, as a restructure of a copy of the table makes them.
  WriteAll(DataPath("copy"), data_before_);
  WriteAll(IndexPath("copy"), index_before_);
  TableDefinition wider = ObjectsDefinition();
  wider.fields.push_back(Field("Notes", kTypeString, 20));
  ASSERT_EQ(RestructureTable(Settings("copy"), wider), RestructureOutcome::kCopied);
  const std::vector<uint8_t> new_data = ReadAll(DataPath("copy"));
  const std::vector<uint8_t> new_index = ReadAll(IndexPath("copy"));
  fs::remove(DataPath("copy"));
  fs::remove(IndexPath("copy"));
  const std::string pending = IndexPath() + kPendingSuffix;
  std::vector<uint8_t> marked_index = index_before_;
  marked_index[index_header::kUpdateInProgress] = 1;

  // Stopped before the data file moved: the old table stands.
  WriteAll(DataPath() + kStagedSuffix, new_data);
  WriteAll(pending, new_index);
  WriteAll(IndexPath(), marked_index);
  {
    TableCursor c(Settings());
    c.Open();
    EXPECT_EQ(c.Fields().size(), 6u);
    EXPECT_TRUE(c.CheckIntegrity().empty());
    c.SetIndex(kByName);
    EXPECT_THAT(Names(c), ElementsAre("Actor", "Brush", "Info"));
  }
  EXPECT_EQ(ReadAll(DataPath()), data_before_);
  EXPECT_THAT(FilesIn(dir_.Dir()), ElementsAre("objects.DAT", "objects.IDX"));

  // Stopped after it moved: the index follows, once no one has the table.
  WriteAll(DataPath(), new_data);
  WriteAll(pending, new_index);
  WriteAll(IndexPath(), marked_index);
  {
    TFileHandler other(DataPath(), DataPath());
    other.Open(false, true, false);
    EXPECT_FALSE(FinishPendingRestructure(DataPath()));
    EXPECT_TRUE(fs::exists(pending));
  }
  TableCursor c(Settings());
  c.Open();
  EXPECT_THAT(c.Recovered(), ElementsAre(::testing::HasSubstr("restructure stopped")));
  EXPECT_THAT(FilesIn(dir_.Dir()), ElementsAre("objects.DAT", "objects.IDX"));
  EXPECT_EQ(ReadAll(IndexPath()), new_index);
  EXPECT_TRUE(c.CheckIntegrity().empty());
  EXPECT_EQ(c.Fields().size(), 7u);
  c.SetIndex(kByName);
  EXPECT_THAT(Names(c), ElementsAre("Actor", "Brush", "Info"));
  c.Close();

  // A pending index whose old index lost its mark (a recovery rebuilt the
  // index since) is stale: it goes, the table's own index stays.
  const std::vector<uint8_t> index_now = ReadAll(IndexPath());
  WriteAll(pending, index_before_);
  EXPECT_FALSE(FinishPendingRestructure(DataPath()));
  EXPECT_EQ(ReadAll(IndexPath()), index_now);
  EXPECT_THAT(FilesIn(dir_.Dir()), ElementsAre("objects.DAT", "objects.IDX"));
}

}  // namespace
}  // namespace quoldex::tables::test
