// Files in the process's memory: the locks and sharing other handles rely
// on, the errors of a file on disk, and whole tables that never touch the
// disk.
#include "tables/storage/memory_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tables/cursor/table_cursor_test_util.h"
#include "tables/storage/file_handler.h"

namespace quoldex::tables::test {
namespace {

TEST(MemoryFileLocks, ConflictBetweenOwnersOnlyAndReleaseByRange) {
  MemoryFile file;
  int a = 0, b = 0;
  EXPECT_TRUE(file.Lock(&a, 100, 10, false));
  EXPECT_TRUE(file.Lock(&b, 105, 10, false));  // shared locks overlap
  EXPECT_FALSE(file.Lock(&b, 100, 1, true));   // a's shared lock stands in the way
  EXPECT_TRUE(file.Lock(&a, 100, 5, true));    // a's own lock is no obstacle
  EXPECT_FALSE(file.Lock(&b, 104, 1, false));  // now exclusive
  // Releasing the middle of a's range leaves both ends locked.
  EXPECT_TRUE(file.Lock(&a, 200, 10, true));
  file.Unlock(&a, 203, 4);
  EXPECT_TRUE(file.Lock(&b, 203, 4, true));
  EXPECT_FALSE(file.Lock(&b, 202, 1, false));
  EXPECT_FALSE(file.Lock(&b, 207, 1, false));
  file.UnlockAll(&a);
  EXPECT_TRUE(file.Lock(&b, 0, 1000, true));
}

class MemoryHandleTest : public ::testing::Test {
 protected:
  void TearDown() override {
    memory_files::Remove(name_);
    memory_files::Remove(name_ + ".moved");
    memory_files::Remove(name_ + ".copy");
  }
  TempDir dir_;
  std::string name_ = dir_.File("mem.DAT");
};

TEST_F(MemoryHandleTest, OpensSharesAndFailsAsAFileOnDisk) {
  TFileHandler missing(name_, name_);
  missing.SetInMemory(true);
  EXPECT_EQ(EngineCode([&] { missing.Open(false, false, false); }), kErrPath);

  TFileHandler owner(name_, name_);
  owner.SetInMemory(true);
  owner.Create(false);  // open exclusively
  const char text[] = "header";
  owner.Write(4, text, sizeof text);
  EXPECT_EQ(owner.Size(), 4 + sizeof text);
  char back[sizeof text + 4];
  owner.Read(0, back, sizeof back);
  EXPECT_EQ(std::string(back + 4), "header");
  EXPECT_EQ(back[0], 0);  // the gap reads as zeros
  EXPECT_EQ(EngineCode([&] { owner.Read(5, back, sizeof text); }), kErrRead);
  EXPECT_EQ(EngineCode([&] { owner.Write(MemoryFile::kMaxSize, text, 1); }), kErrInMemoryLength);

  TFileHandler other(name_, name_);
  other.SetInMemory(true);
  EXPECT_EQ(EngineCode([&] { other.Open(false, true, false); }), kErrAccessDenied);
  EXPECT_EQ(EngineCode([&] { other.Create(false); }), kErrAccessDenied);
  owner.Close();
  owner.Open(false, false, false);
  other.Open(false, true, false);                                      // two shared handles
  EXPECT_EQ(EngineCode([&] { other.Write(0, text, 1); }), kErrWrite);  // read-only
  TFileHandler third(name_, name_);
  third.SetInMemory(true);
  EXPECT_EQ(EngineCode([&] { third.Open(true, false, false); }), kErrAccessDenied);

  // Locks between handles, as on disk.
  EXPECT_TRUE(owner.Lock(1000, 1));
  EXPECT_FALSE(other.Lock(1000, 1, false));
  owner.Close();  // closing releases its locks
  EXPECT_TRUE(other.Lock(1000, 1, false));

  // Nothing of it is on disk.
  EXPECT_FALSE(std::filesystem::exists(name_));
  EXPECT_TRUE(TFileHandler::FileExists(name_, true));
  EXPECT_FALSE(TFileHandler::FileExists(name_));
}

TEST_F(MemoryHandleTest, RemovedWhileOpenLivesOnForItsHandlesAndRenamesAndCopies) {
  TFileHandler file(name_, name_);
  file.SetInMemory(true);
  file.Create(false);
  file.Write(0, "abc", 3);
  file.Copy(name_ + ".copy");
  file.Delete();  // closes, removes the name
  EXPECT_FALSE(memory_files::Exists(name_));

  TFileHandler copy(name_ + ".copy", name_);
  copy.SetInMemory(true);
  copy.Open(false, false, false);
  TFileHandler reader(name_ + ".copy", name_);
  reader.SetInMemory(true);
  reader.Open(false, true, false);
  copy.Delete();
  char back[3];
  reader.Read(0, back, 3);  // the bytes outlive the name
  EXPECT_EQ(std::string(back, 3), "abc");
  reader.Close();

  TFileHandler again(name_, name_);
  again.SetInMemory(true);
  again.Create(false);
  again.Write(0, "xyz", 3);
  again.Rename(name_ + ".moved");
  EXPECT_FALSE(memory_files::Exists(name_));
  again.Open(true, false, false);
  again.Read(0, back, 3);
  EXPECT_EQ(std::string(back, 3), "xyz");
  EXPECT_EQ(again.FileName(), name_ + ".moved");
}

// A whole table in memory: shared handles see each other's changes, a scan
// (which cannot map such a file) agrees with a walk, the integrity check
// is clean, and the folder named in the settings stays empty.
class MemoryTableTest : public TableTest {
 protected:
  void TearDown() override {
    memory_files::Remove(DataPath());
    memory_files::Remove(IndexPath());
  }
  TableSettings MemorySettings() const {
    TableSettings s = Settings();
    s.in_memory = true;
    return s;
  }
};

TEST_F(MemoryTableTest, SharedHandlesScansAndNothingOnDisk) {
  TableCursor::Create(MemorySettings(), ObjectsDefinition());
  EXPECT_TRUE(TableCursor::Exists(MemorySettings()));
  EXPECT_FALSE(TableCursor::Exists(Settings()));
  TableCursor a(MemorySettings());
  a.Open();
  TableCursor b(MemorySettings());
  b.Open();
  for (int i = 0; i < 400; ++i) AddObject(a, "Class" + std::to_string(i), i % 2 ? "actor" : "pawn");
  b.SetIndex(kByInheritance);
  const std::vector<FieldValue> bound = Values({"pawn"});
  b.SetRange(bound, bound);
  std::vector<std::string> scanned;
  b.Scan([&](const uint8_t* record) { scanned.push_back(b.GetField(kObjectName, record).text); });
  EXPECT_EQ(scanned.size(), 200u);
  EXPECT_EQ(scanned, Names(b));
  EXPECT_TRUE(b.CheckIntegrity().empty());

  TableSettings exclusive = MemorySettings();
  exclusive.exclusive = true;
  TableCursor c(exclusive);
  EXPECT_EQ(EngineCode([&] { c.Open(); }), kErrAccessDenied);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.Dir()));
}

// Dropping what the caches hold back is for tables in memory only: on disk
// it would leave a header that promises records never written.
TEST_F(MemoryTableTest, ClosingWithoutWritingKeepsATableOnDiskWhole) {
  CreateObjects();
  TableCursor c(ExclusiveSettings());
  c.Open();
  for (int i = 0; i < 30; ++i) AddObject(c, "Kept" + std::to_string(i));
  c.CloseDiscarding();
  TableCursor again(Settings());
  again.Open();
  EXPECT_EQ(Names(again).size(), 30u);
  EXPECT_TRUE(again.CheckIntegrity().empty());
}

}  // namespace
}  // namespace quoldex::tables::test
