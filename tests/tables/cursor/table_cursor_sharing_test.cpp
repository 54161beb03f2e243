// Several handles on one table: sharing modes, record locks, change
// detection, the flush rule of shared tables and the deferred writes of
// exclusive ones. Two handles in one process exclude each other exactly as
// two processes do.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <set>

#include "tables/base/coding.h"
#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_cursor_test_util.h"

namespace quoldex::tables::test {
namespace {

using ::testing::ElementsAre;

class SharingTest : public TableTest {
 protected:
  void SetUp() override { CreateObjects(); }

  int32_t Counter(const std::string& path) {
    std::vector<uint8_t> bytes = ReadAll(path);
    return GetLE<int32_t>(bytes.data());
  }
};

TEST_F(SharingTest, SharingModesExcludeExclusiveOpens) {
  {
    TableCursor shared(Settings());
    shared.Open();
    TableCursor second(Settings());
    second.Open();  // two shared handles are fine
    TableCursor exclusive(ExclusiveSettings());
    EXPECT_EQ(EngineCode([&] { exclusive.Open(); }), kErrAccessDenied);
    EXPECT_FALSE(exclusive.IsOpen());
  }
  TableCursor exclusive(ExclusiveSettings());
  exclusive.Open();
  TableCursor shared(Settings());
  EXPECT_EQ(EngineCode([&] { shared.Open(); }), kErrAccessDenied);
  TableCursor other_exclusive(ExclusiveSettings());
  EXPECT_EQ(EngineCode([&] { other_exclusive.Open(); }), kErrAccessDenied);
  exclusive.Close();
  shared.Open();
  EXPECT_TRUE(shared.IsOpen());
}

TEST_F(SharingTest, RecordsAppendedThroughOneHandleAreSeenThroughAnother) {
  TableCursor a(Settings());
  a.Open();
  TableSettings strict = Settings();
  strict.strict_change_detection = true;
  TableCursor b(strict);
  b.Open();
  TableCursor lazy(Settings());
  lazy.Open();
  AddObject(a, "Actor");
  // The strict handle checks the counters at every step.
  EXPECT_THAT(Names(b), ElementsAre("Actor"));
  AddObject(a, "Pawn", "actor");
  EXPECT_THAT(Names(b), ElementsAre("Actor", "Pawn"));
  EXPECT_EQ(b.RecordCount(), 2);

  // The lazy handle checks them when it must read from disk or takes a
  // lock. It knew an empty index, so it had nothing to read...
  EXPECT_THAT(Names(lazy), ElementsAre());
  // ...until its own insert takes the write lock and finds the change.
  AddObject(lazy, "Brush", "actor");
  EXPECT_THAT(Names(lazy), ElementsAre("Actor", "Pawn", "Brush"));

  // A lazy handle that reads a part of the table it does not hold yet
  // finds the change there: `d` has walked the primary index only, so its
  // first step in "ByName" reads from disk.
  TableCursor d(Settings());
  d.Open();
  EXPECT_EQ(Names(d).size(), 3u);
  AddObject(a, "Canvas");
  d.SetIndex(kByName);
  const int field[] = {kObjectName};
  EXPECT_TRUE(d.Locate(field, Values({"canvas"}), true, false));
  EXPECT_EQ(NameOf(d), "Canvas");
  EXPECT_EQ(d.RecordCount(), 4);
  EXPECT_TRUE(a.CheckIntegrity().empty());
}

TEST_F(SharingTest, EveryChangeOfASharedTableIsFlushedWithBothCounters) {
  TableCursor a(Settings());
  a.Open();
  const int32_t data_counter = Counter(DataPath());
  const int32_t index_counter = Counter(IndexPath());
  AddObject(a, "Actor");
  EXPECT_EQ(Counter(DataPath()), data_counter + 1);
  EXPECT_EQ(Counter(IndexPath()), index_counter + 1);
  EXPECT_EQ(std::filesystem::file_size(DataPath()), 127u + 6 * 768 + 369);

  a.Edit();
  a.SetField(kPackage, FieldValue::String("engine"));
  a.Post();  // no key changed: the index header stays
  EXPECT_EQ(Counter(DataPath()), data_counter + 2);
  EXPECT_EQ(Counter(IndexPath()), index_counter + 1);

  a.Delete();
  EXPECT_EQ(Counter(DataPath()), data_counter + 3);
  EXPECT_EQ(Counter(IndexPath()), index_counter + 2);
  EXPECT_EQ(ReadAll(DataPath())[127 + 6 * 768], 1);  // the slot's deleted flag, on disk
}

TEST_F(SharingTest, ExclusiveHandleDefersItsWritesUntilClose) {
  const std::vector<uint8_t> data_before = ReadAll(DataPath());
  const std::vector<uint8_t> index_before = ReadAll(IndexPath());
  TableCursor a(ExclusiveSettings());
  a.Open();
  for (const char* name : {"Actor", "Pawn", "Brush"}) AddObject(a, name);
  a.First();
  a.Delete();
  EXPECT_EQ(ReadAll(DataPath()), data_before);
  EXPECT_EQ(ReadAll(IndexPath()), index_before);
  a.Close();
  EXPECT_EQ(std::filesystem::file_size(DataPath()), 127u + 6 * 768 + 3 * 369);
  TableCursor b(Settings());
  b.Open();
  EXPECT_THAT(Names(b), ElementsAre("Pawn", "Brush"));
  EXPECT_TRUE(b.CheckIntegrity().empty());
}

TEST_F(SharingTest, ForceBufferFlushWritesThrough) {
  TableSettings s = Settings();
  s.force_buffer_flush = true;
  TableCursor a(s);
  a.Open();
  AddObject(a, "Actor");
  TableCursor b(Settings());
  b.Open();
  EXPECT_THAT(Names(b), ElementsAre("Actor"));
}

TEST_F(SharingTest, RecordBeingEditedIsRefusedToOthers) {
  TableCursor a(Settings());
  a.Open();
  AddObject(a, "Actor");
  AddObject(a, "Pawn");
  TableCursor b(Settings());
  b.Open();
  ASSERT_TRUE(a.First());
  a.Edit();
  ASSERT_TRUE(b.First());
  EXPECT_EQ(EngineCode([&] { b.Edit(); }), kErrRecordLocked);
  EXPECT_EQ(b.State(), CursorState::kBrowse);
  EXPECT_EQ(EngineCode([&] { b.Delete(); }), kErrRecordLocked);
  EXPECT_EQ(b.RecordCount(), 2);
  // The other record is free, and readers are never blocked.
  ASSERT_TRUE(b.Next());
  b.Edit();
  b.SetField(kPackage, FieldValue::String("engine"));
  b.Post();
  EXPECT_THAT(Names(b), ElementsAre("Actor", "Pawn"));

  a.SetField(kPackage, FieldValue::String("core"));
  a.Post();
  ASSERT_TRUE(b.First());
  b.Edit();  // takes the lock and reads the record afresh
  EXPECT_EQ(b.GetField(kPackage).text, "core");
  b.Cancel();
  EXPECT_TRUE(a.CheckIntegrity().empty());
}

TEST_F(SharingTest, RefusedEditWaitsForTheProgramsFifteenRetries) {
  TableCursor a(Settings());
  a.Open();
  AddObject(a, "Actor");
  a.Edit();
  TableSettings program = Settings();
  program.lock_retry_count = 15;
  program.lock_wait_time = 100;
  TableCursor b(program);
  b.Open();
  ASSERT_TRUE(b.First());
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(EngineCode([&] { b.Edit(); }), kErrRecordLocked);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(1500));
}

TEST_F(SharingTest, ChangesOfOthersAreFoundByTheCounters) {
  TableCursor a(Settings());
  a.Open();
  AddObject(a, "Actor", "object", "engine");
  AddObject(a, "Pawn", "actor", "engine");
  TableCursor b(Settings());
  b.Open();
  ASSERT_TRUE(b.First());
  EXPECT_EQ(b.GetField(kPackage).text, "engine");

  ASSERT_TRUE(a.First());
  a.Edit();
  a.SetField(kPackage, FieldValue::String("core"));
  a.Post();
  // Another handle's duplicate is caught under the write lock even though
  // this handle's caches do not know the record yet.
  AddObject(a, "Brush", "actor");
  b.Append();
  b.SetField(kObjectName, FieldValue::String("BRUSH"));
  b.SetField(kInheritsFrom, FieldValue::String("actor"));
  b.SetField(kFilename, FieldValue::String("/x"));
  EXPECT_EQ(EngineCode([&] { b.Post(); }), kErrDuplicateKey);
  b.Cancel();
  EXPECT_THAT(Names(b), ElementsAre("Actor", "Pawn", "Brush"));
  ASSERT_TRUE(b.First());
  EXPECT_EQ(b.GetField(kPackage).text, "core");

  // A record deleted by another handle cannot be edited or deleted.
  ASSERT_TRUE(a.Last());
  ASSERT_TRUE(b.Last());
  a.Delete();
  EXPECT_EQ(EngineCode([&] { b.Edit(); }), kErrRecordNotFound);
  EXPECT_EQ(EngineCode([&] { b.Delete(); }), kErrRecordNotFound);
  EXPECT_EQ(b.State(), CursorState::kBrowse);
  // Navigation goes on from where the vanished record stood.
  EXPECT_FALSE(b.Next());
  EXPECT_TRUE(b.Eof());
  EXPECT_TRUE(b.Prior());
  EXPECT_EQ(NameOf(b), "Pawn");
}

// A locate compares a record the handle keeps behind its buffers in place.
// Once another handle changed that record, the kept image no longer counts:
// the locate reads the record again and sees the change.
TEST_F(SharingTest, LocateOfAKeptRecordSeesAnotherHandlesChange) {
  {
    TableCursor fill(ExclusiveSettings());
    fill.Open();
    // More rows than a handle's record buffers (355 of objects.dat).
    for (int i = 0; i < 600; ++i) AddObject(fill, "Class" + std::to_string(i), "object", "core");
  }
  TableCursor a(Settings()), b(Settings());
  a.Open();
  b.Open();
  b.SetIndex(kByName);
  const int name[] = {kObjectName};
  for (const char* wanted : {"class5", "class6"}) {
    ASSERT_TRUE(b.Locate(name, Values({wanted}), true, false));
    EXPECT_EQ(b.GetField(kPackage).text, "core");
  }
  // Rows read after them push Class5 and Class6 out of b's buffers.
  for (int i = 100; i < 600; ++i) {
    ASSERT_TRUE(b.Locate(name, Values({("CLASS" + std::to_string(i)).c_str()}), true, false));
  }
  ASSERT_TRUE(b.Locate(name, Values({"class5"}), true, false));  // kept: no read
  EXPECT_EQ(b.GetField(kPackage).text, "core");

  a.SetIndex(kByName);
  ASSERT_TRUE(a.Locate(name, Values({"class5"}), true, false));
  a.Edit();
  a.SetField(kPackage, FieldValue::String("changed"));
  a.Post();
  ASSERT_TRUE(a.Locate(name, Values({"class6"}), true, false));
  a.Edit();
  a.SetField(kObjectName, FieldValue::String("Renamed6"));
  a.Post();

  ASSERT_TRUE(b.Locate(name, Values({"class5"}), true, false));
  EXPECT_EQ(b.GetField(kPackage).text, "changed");
  EXPECT_FALSE(b.Locate(name, Values({"class6"}), true, false));
  EXPECT_EQ(NameOf(b), "Class5");
  ASSERT_TRUE(b.Locate(name, Values({"renamed6"}), true, false));
  EXPECT_EQ(NameOf(b), "Renamed6");
}

TEST_F(SharingTest, InterleavedHandlesKeepTheTableSound) {
  TableSettings strict = Settings();
  strict.strict_change_detection = true;
  TableCursor a(Settings()), b(strict);
  a.Open();
  b.Open();
  std::mt19937 rng(7);
  std::set<std::string> expected;
  for (int i = 0; i < 300; ++i) {
    std::string name = "C" + std::to_string(rng() % 120);
    int action = static_cast<int>(rng() % 3);
    if (action < 2) {
      // Inserts through either handle: the write lock's change detection
      // finds the other handle's rows.
      TableCursor& c = (rng() & 1) ? a : b;
      c.Append();
      c.SetField(kObjectName, FieldValue::String(name));
      c.SetField(kInheritsFrom, FieldValue::String("object"));
      c.SetField(kFilename, FieldValue::String("/x"));
      int code = EngineCode([&] { c.Post(); });
      EXPECT_EQ(code, expected.count(name) ? kErrDuplicateKey : 0) << name;
      if (code != 0) c.Cancel();
      expected.insert(name);
    } else {
      // Searches through the strict handle, which sees every change.
      TableCursor& c = b;
      c.SetIndex(kByName);
      const int field[] = {kObjectName};
      if (c.Locate(field, Values({name.c_str()}), true, false)) {
        c.Delete();
        expected.erase(name);
      } else {
        EXPECT_EQ(expected.count(name), 0u) << name;
      }
    }
  }
  EXPECT_EQ(b.RecordCount(), static_cast<int64_t>(expected.size()));
  EXPECT_TRUE(a.CheckIntegrity().empty());
}

TEST_F(SharingTest, HandlesOpenAndReadSoundlyWhileAnotherProcessWrites) {
  constexpr int kRows = 1500;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int status = 0;
    try {
      TableCursor writer(Settings());
      writer.Open();
      for (int i = 0; i < kRows; ++i) {
        AddObject(writer, "Class" + std::to_string(i));
        if (i % 3 == 0) {
          writer.Edit();
          writer.SetField(kPackage, FieldValue::String("edited"));
          writer.Post();
        }
        if (i % 7 == 0) writer.Delete();
      }
    } catch (...) {
      status = 1;
    }
    _exit(status);
  }
  int64_t seen = 0;
  int rounds = 0;
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0 || rounds == 0) {
    ++rounds;
    TableSettings strict = Settings();
    strict.strict_change_detection = true;
    TableCursor reader(strict);
    reader.Open();
    int64_t walked = 0;
    for (bool on = reader.First(); on; on = reader.Next()) ++walked;
    EXPECT_GE(walked, seen / 2);  // deletes take back at most one in seven
    seen = std::max(seen, walked);
    EXPECT_EQ(reader.CheckIntegrity(), std::vector<std::string>{});
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  TableCursor reader(Settings());
  reader.Open();
  EXPECT_EQ(reader.RecordCount(), kRows - (kRows - 1) / 7 - 1);
  EXPECT_TRUE(reader.CheckIntegrity().empty());
}

}  // namespace
}  // namespace quoldex::tables::test
