// Recovery of a table left mid-change: at open, and by the next writer of a
// handle that was open all along; a live writer's mark is never taken for a
// dead one; writes that fail (a file size limit standing in for a full disk)
// raise kErrWrite with the system's reason and leave a table whose every posted
// row survives (the row whose post raised may survive too, whole).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tables/base/coding.h"
#include "tables/cursor/multiprocess_test_util.h"
#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_cursor_test_util.h"
#include "tables/index_file/index_file_header.h"
#include "tables/storage/file_handler.h"
#include "tables/storage/table_locks.h"

namespace quoldex::tables::test {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr size_t kMarkOffset = index_header::kUpdateInProgress;

class RecoveryTest : public TableTest {
 protected:
  void SetUp() override {
    CreateObjects();
    TableCursor c(Settings());
    c.Open();
    for (int i = 0; i < 40; ++i) {
      const std::string name = "Class" + std::to_string(i);
      ids_[name] = AddObject(c, name);
    }
    ASSERT_TRUE(c.First());  // the primary order is the record ID order
    c.Delete();              // a deleted slot on the chain
    ids_.erase("Class0");
  }

  void SetMark() {
    std::vector<uint8_t> index = ReadAll(IndexPath());
    index[kMarkOffset] = 1;
    WriteAll(IndexPath(), index);
  }

  // The rows by name with their record IDs, read through a fresh handle.
  std::map<std::string, int32_t> Rows() {
    TableCursor c(Settings());
    c.Open();
    std::map<std::string, int32_t> out;
    for (bool on = c.First(); on; on = c.Next()) out[NameOf(c)] = c.RecordId();
    EXPECT_EQ(c.RecordCount(), static_cast<int64_t>(out.size()));
    EXPECT_THAT(c.CheckIntegrity(), IsEmpty());
    return out;
  }

  std::map<std::string, int32_t> ids_;
};

// The files as a writer killed after writing a new record and its data
// header, before its index pages and index header, leaves them.
TEST_F(RecoveryTest, AWriterKilledMidChangeIsRecoveredAtTheNextOpen) {
  const std::vector<uint8_t> index_before = ReadAll(IndexPath());
  {
    TableCursor c(Settings());
    c.Open();
    ids_["Newcomer"] = AddObject(c, "Newcomer");
  }
  std::vector<uint8_t> index = index_before;
  index[kMarkOffset] = 1;
  WriteAll(IndexPath(), index);

  TableCursor c(Settings());
  c.Open();
  EXPECT_THAT(c.Recovered(), Not(IsEmpty()));
  EXPECT_THAT(c.Recovered().back(), HasSubstr("kept 40 records, dropped 0"));
  EXPECT_THAT(c.CheckIntegrity(), IsEmpty());
  c.Close();
  EXPECT_EQ(Rows(), ids_);
  EXPECT_EQ(ReadAll(IndexPath())[kMarkOffset], 0);

  // Once recovered, the next open has nothing to do.
  TableCursor again(Settings());
  again.Open();
  EXPECT_THAT(again.Recovered(), IsEmpty());
  EXPECT_GT(AddObject(again, "Later"), ids_["Newcomer"]);
}

TEST_F(RecoveryTest, ADataFileCutInsideItsLastSlotIsRecoveredAtOpen) {
  std::vector<uint8_t> data = ReadAll(DataPath());
  data.insert(data.end(), 100, 0x5A);  // a slot begun and never finished
  WriteAll(DataPath(), data);

  TableCursor c(Settings());
  c.Open();
  EXPECT_THAT(c.Recovered(), ::testing::Contains(HasSubstr("dropped 100 bytes")));
  EXPECT_THAT(c.Recovered().back(), HasSubstr("kept 39 records, dropped 1"));
  c.Close();
  EXPECT_EQ(Rows(), ids_);
}

// A dead writer's mark on a table whose records and indexes still agree
// (it died before its first write went out): a handle that may not write
// reads the table as it is, tells so, and changes nothing.
TEST_F(RecoveryTest, AReadOnlyHandleReadsASoundMarkedTableAsItIs) {
  SetMark();
  const std::vector<uint8_t> index = ReadAll(IndexPath());
  TableSettings read_only = Settings();
  read_only.read_only = true;
  TableCursor c(read_only);
  c.Open();
  EXPECT_THAT(c.Recovered(), ::testing::Contains(HasSubstr("read as it is")));
  c.SetIndex(kByName);
  EXPECT_EQ(Names(c).size(), ids_.size());
  EXPECT_EQ(EngineCode([&] { AddObject(c, "Refused"); }), kErrAccessDenied);
  c.Close();
  EXPECT_EQ(ReadAll(IndexPath()), index);
}

// The same mark where the writer's record went out and its keys did not:
// a reader cannot trust the indexes and says how the table comes back.
TEST_F(RecoveryTest, AReadOnlyHandleRefusesAMarkedTableWhoseIndexesDisagree) {
  std::vector<uint8_t> index = ReadAll(IndexPath());
  {
    TableCursor c(Settings());
    c.Open();
    AddObject(c, "Newcomer");
  }
  index[kMarkOffset] = 1;
  WriteAll(IndexPath(), index);
  const std::vector<uint8_t> data = ReadAll(DataPath());
  TableSettings read_only = Settings();
  read_only.read_only = true;
  try {
    TableCursor(read_only).Open();
    ADD_FAILURE() << "opened";
  } catch (const EDbEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrIndexPagesCorrupt);
    EXPECT_THAT(e.what(), HasSubstr("write access"));
  }
  EXPECT_EQ(ReadAll(IndexPath()), index);
  EXPECT_EQ(ReadAll(DataPath()), data);
  // A handle that may write recovers it.
  ids_["Newcomer"] = 0;
  std::map<std::string, int32_t> rows = Rows();
  EXPECT_EQ(rows.count("Newcomer"), 1u);
}

// Closed normally, a table held alone keeps no mark.
TEST_F(RecoveryTest, ATableHeldAloneIsUnmarkedOnceClosed) {
  {
    TableCursor c(ExclusiveSettings());
    c.Open();
    ids_["Alone"] = AddObject(c, "Alone");
  }
  EXPECT_EQ(ReadAll(IndexPath())[kMarkOffset], 0);
  TableCursor c(Settings());
  c.Open();
  EXPECT_THAT(c.Recovered(), IsEmpty());
  c.Close();
  EXPECT_EQ(Rows(), ids_);
}

// A writer that is alive holds the write lock while its mark is set; an
// open that sees the mark waits for the lock and then finds the change
// finished: nothing is rebuilt.
TEST_F(RecoveryTest, ALiveWritersMarkIsNotTakenForADeadOne) {
  const std::string data_name = DataPath();
  TFileHandler data(data_name, data_name);
  TFileHandler index(IndexPath(), data_name);
  data.Open(false, false, false);
  index.Open(false, false, false);
  TableLocks writer(data, index, true, 2, 5);
  ASSERT_TRUE(writer.AcquireWriteLock());
  static constexpr uint8_t kSet = 1, kClear = 0;
  index.Write(kMarkOffset, &kSet, 1);
  const std::vector<uint8_t> files_before = ReadAll(DataPath());

  std::thread finishing([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    index.Write(kMarkOffset, &kClear, 1);
    writer.ReleaseWriteLock();
  });
  TableCursor c(Settings());
  c.Open();
  finishing.join();
  EXPECT_THAT(c.Recovered(), IsEmpty());
  EXPECT_EQ(ReadAll(DataPath()), files_before);
  EXPECT_EQ(c.RecordCount(), static_cast<int64_t>(ids_.size()));
}

// A handle open all along meets a dead writer's mark when it next takes
// the write lock: it recovers before its own change, and both the dead
// writer's complete record and its own are kept.
TEST_F(RecoveryTest, AHandleOpenAllAlongRecoversBeforeItsNextChange) {
  TableCursor survivor(Settings());
  survivor.Open();
  survivor.SetIndex(kByName);
  ASSERT_TRUE(survivor.First());
  const std::vector<uint8_t> index_before = ReadAll(IndexPath());
  {
    TableCursor dead(Settings());
    dead.Open();
    ids_["Orphan"] = AddObject(dead, "Orphan");
  }
  std::vector<uint8_t> index = index_before;
  index[kMarkOffset] = 1;
  WriteAll(IndexPath(), index);

  ids_["Survivor"] = AddObject(survivor, "Survivor");
  EXPECT_THAT(survivor.Recovered(), Not(IsEmpty()));
  EXPECT_THAT(survivor.CheckIntegrity(), IsEmpty());
  EXPECT_EQ(Names(survivor).size(), ids_.size());
  survivor.Close();
  EXPECT_EQ(Rows(), ids_);
}

// Writes refused by a file size limit (EFBIG) stand in for a full disk: a
// writer appends until the engine refuses; every post that returned must
// be there afterwards, nothing twice, and the table sound.
TEST_F(RecoveryTest, AFailedWriteRaises9218WithTheReasonAndLosesNoPostedRow) {
  for (const uint64_t headroom : {300u, 2000u, 5000u, 9000u, 17000u}) {
    SCOPED_TRACE("headroom " + std::to_string(headroom));
    const std::string log = dir_.File("posted" + std::to_string(headroom) + ".log");
    const TableSettings settings = Settings();
    const uint64_t limit =
        std::max(ReadAll(DataPath()).size(), ReadAll(IndexPath()).size()) + headroom;
    const pid_t child = ForkChild([&] {
      std::signal(SIGXFSZ, SIG_IGN);
      LineLog posted(log);
      TableCursor c(settings);
      c.Open();
      const rlimit cap{limit, limit};
      if (setrlimit(RLIMIT_FSIZE, &cap) != 0) _exit(9);
      try {
        for (int i = 0;; ++i) {
          const std::string name = "Full" + std::to_string(headroom) + "_" + std::to_string(i);
          posted.Line(name);
          const int32_t id = AddObject(c, name);
          posted.Line(name + " " + std::to_string(id));
        }
      } catch (const EDbEngineError& e) {
        const std::string what = e.what();
        if (e.ErrorCode() != kErrWrite || what.find("File too large") == std::string::npos) throw;
      }
      // Nothing of the refused row may go out with the close.
      c.Close();
      _exit(0);
    });
    bool timed_out = false;
    const std::vector<int> status = WaitForChildren({child}, std::chrono::seconds(60), &timed_out);
    ASSERT_TRUE(WIFEXITED(status[0]) && WEXITSTATUS(status[0]) == 0) << DescribeStatus(status[0]);
    // The row whose post raised may have reached the files whole before
    // the write that failed: recovery keeps a complete record.
    std::string refused;
    for (const std::vector<std::string>& words : ReadLogLines(log)) {
      if (words.size() == 1) {
        refused = words[0];
      } else {
        ids_[words[0]] = std::stoi(words[1]);
        refused.clear();
      }
    }
    const std::map<std::string, int32_t> rows = Rows();
    for (const auto& [name, id] : ids_) {
      auto it = rows.find(name);
      EXPECT_TRUE(it != rows.end() && it->second == id) << "posted row " << name << " " << id;
    }
    for (const auto& [name, id] : rows) {
      if (name == refused) {
        ids_[name] = id;
        continue;
      }
      EXPECT_TRUE(ids_.count(name)) << "row never posted " << name << " " << id;
    }
    if (HasFailure()) return;
  }
}

// Files that can be read but not written (here a read-only mount of the table's
// folder, made in a mount namespace of a child's own) open read-only: reading
// works, every change fails with kErrAccessDenied naming the file.
TEST_F(RecoveryTest, FilesThatCannotBeWrittenOpenReadOnly) {
  constexpr int kNoMount = 77;
  const std::string dir = dir_.Dir();
  const TableSettings settings = Settings();
  const std::string data_name = DataPath();
  const size_t rows = ids_.size();
  const pid_t child = ForkChild([&] {
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        mount(nullptr, dir.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
      _exit(kNoMount);
    }
    TableCursor c(settings);
    c.Open();
    if (!c.IsReadOnly() || !c.ReadOnlyByAccess()) _exit(10);
    c.SetIndex(kByName);
    if (Names(c).size() != rows) _exit(11);
    try {
      AddObject(c, "Refused");
      _exit(12);
    } catch (const EDbEngineError& e) {
      if (e.ErrorCode() != kErrAccessDenied ||
          std::string(e.what()).find(data_name) == std::string::npos) {
        _exit(13);
      }
    }
    _exit(0);
  });
  bool timed_out = false;
  const int status = WaitForChildren({child}, std::chrono::seconds(60), &timed_out)[0];
  if (WIFEXITED(status) && WEXITSTATUS(status) == kNoMount) {
    GTEST_SKIP() << "no read-only mount can be made here (needs root in a mount namespace)";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << DescribeStatus(status);
}

}  // namespace
}  // namespace quoldex::tables::test
