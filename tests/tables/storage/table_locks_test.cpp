#include "tables/storage/table_locks.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "tables/base/engine_error.h"
#include "tables/storage/file_handler.h"

namespace quoldex::tables {
namespace {

namespace fs = std::filesystem;

class LockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quoldex_locks_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    for (const char* ext : {".DAT", ".IDX"}) {
      TFileHandler f((dir_ / ("t" + std::string(ext))).string(), "t.DAT");
      f.Create(false);
      f.Write(0, "x", 1);
    }
  }
  void TearDown() override { fs::remove_all(dir_); }

  struct Handle {
    std::unique_ptr<TFileHandler> data, index;
    std::unique_ptr<TableLocks> locks;
  };
  Handle OpenHandle(int retries = 2, int wait_ms = 10) {
    Handle h;
    h.data = std::make_unique<TFileHandler>((dir_ / "t.DAT").string(), "t.DAT");
    h.index = std::make_unique<TFileHandler>((dir_ / "t.IDX").string(), "t.DAT");
    h.data->Open(false, false, false);
    h.index->Open(false, false, false);
    h.locks = std::make_unique<TableLocks>(*h.data, *h.index, true, retries, wait_ms);
    return h;
  }
  static int CodeOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const EDbEngineError& e) {
      return e.ErrorCode();
    }
    return 0;
  }

  fs::path dir_;
};

TEST_F(LockTest, ReadersShareWritersExcludeEveryone) {
  Handle a = OpenHandle(), b = OpenHandle();
  EXPECT_TRUE(a.locks->AcquireReadLock());
  EXPECT_TRUE(b.locks->AcquireReadLock());
  EXPECT_FALSE(a.locks->AcquireReadLock());  // already held: not taken twice
  // A writer cannot get in while a reader holds a byte of the region.
  EXPECT_FALSE(b.index->Lock(TableLocks::kIndexRegion, TableLocks::kIndexRegionLength));
  a.locks->ReleaseReadLock();
  b.locks->ReleaseReadLock();
  EXPECT_TRUE(a.locks->AcquireWriteLock());
  EXPECT_TRUE(a.locks->HoldsWriteLock());
  EXPECT_FALSE(a.locks->AcquireReadLock());  // the write lock implies it
  EXPECT_FALSE(b.data->Lock(TableLocks::kUpdateByte, 1));
  EXPECT_FALSE(b.index->Lock(TableLocks::kUpdateByte - 5, 1));
  a.locks->ReleaseWriteLock();
  EXPECT_TRUE(b.locks->AcquireWriteLock());
  b.locks->ReleaseWriteLock();
}

TEST_F(LockTest, WriteLockTakenOverOwnReadLockLeavesNoHole) {
  Handle a = OpenHandle(), b = OpenHandle();
  a.locks->AcquireReadLock();
  a.locks->AcquireWriteLock();
  a.locks->ReleaseReadLock();  // nothing held any more under that name
  for (uint64_t off = TableLocks::kIndexRegion; off < TableLocks::kUpdateByte; off += 4099)
    EXPECT_FALSE(b.index->Lock(off, 1)) << off;
  a.locks->ReleaseWriteLock();
  EXPECT_TRUE(b.index->Lock(TableLocks::kIndexRegion, 1));
}

TEST_F(LockTest, RecordLockRetriesThenFailsWith10258) {
  Handle a = OpenHandle(), b = OpenHandle(3, 20);
  EXPECT_TRUE(a.locks->LockRecord(7));
  EXPECT_FALSE(a.locks->LockRecord(7));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CodeOf([&] { b.locks->LockRecord(7); }), kErrRecordLocked);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(60));  // three pauses of more than 20 ms
  EXPECT_TRUE(b.locks->LockRecord(8));
  a.locks->UnlockRecord(7);
  EXPECT_TRUE(b.locks->LockRecord(7));
}

TEST_F(LockTest, TableLockCoversEveryRecordLock) {
  Handle a = OpenHandle(), b = OpenHandle(1, 5);
  EXPECT_TRUE(b.locks->LockRecord(100000001));
  EXPECT_EQ(CodeOf([&] { a.locks->LockTable(); }), kErrTableLocked);
  b.locks->UnlockAllRecords();
  EXPECT_TRUE(a.locks->LockTable());
  EXPECT_FALSE(a.locks->LockRecord(1));  // covered by the table lock
  EXPECT_EQ(CodeOf([&] { b.locks->LockRecord(1); }), kErrRecordLocked);
  EXPECT_TRUE(b.locks->LockRecord(100000002));  // beyond the table region
  a.locks->UnlockTable();
  EXPECT_TRUE(b.locks->LockRecord(1));
}

TEST_F(LockTest, ClosingAHandleReleasesItsLocksOnly) {
  Handle a = OpenHandle(), b = OpenHandle(0, 0);
  a.locks->LockRecord(3);
  b.locks->LockRecord(4);
  a.locks.reset();
  a.data.reset();
  a.index.reset();
  EXPECT_TRUE(b.locks->LockRecord(3));
  Handle c = OpenHandle(0, 0);
  EXPECT_EQ(CodeOf([&] { c.locks->LockRecord(4); }), kErrRecordLocked);
}

TEST_F(LockTest, DisabledLocksAreNoOps) {
  TFileHandler data((dir_ / "t.DAT").string(), "t.DAT"), index((dir_ / "t.IDX").string(), "t.DAT");
  data.Open(true, false, false);
  index.Open(true, false, false);
  TableLocks locks(data, index, false, 0, 0);
  EXPECT_FALSE(locks.AcquireWriteLock());
  EXPECT_FALSE(locks.LockRecord(1));
  EXPECT_FALSE(locks.HoldsWriteLock());
}

TEST_F(LockTest, SharingModesExcludeAcrossHandlesAndProcesses) {
  TFileHandler shared((dir_ / "t.DAT").string(), "t.DAT");
  shared.Open(false, false, false);
  TFileHandler other((dir_ / "t.DAT").string(), "t.DAT");
  EXPECT_EQ(CodeOf([&] { other.Open(true, false, false); }), kErrAccessDenied);
  EXPECT_EQ(CodeOf([&] { other.Open(true, true, false); }), kErrAccessDenied);
  EXPECT_EQ(CodeOf([&] { other.Open(false, true, false); }), 0);
  other.Close();
  shared.Close();

  TFileHandler exclusive((dir_ / "t.DAT").string(), "t.DAT");
  exclusive.Open(true, false, false);
  EXPECT_EQ(CodeOf([&] { other.Open(false, false, false); }), kErrAccessDenied);
  // Another process is refused just the same.
  pid_t pid = fork();
  if (pid == 0) {
    TFileHandler child((dir_ / "t.DAT").string(), "t.DAT");
    _exit(CodeOf([&] { child.Open(false, true, false); }) == kErrAccessDenied ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  exclusive.Close();
  EXPECT_EQ(CodeOf([&] { other.Open(false, false, false); }), 0);
}

TEST_F(LockTest, OpenErrorsMapToEngineCodes) {
  TFileHandler missing((dir_ / "nope.DAT").string(), "nope.DAT");
  EXPECT_EQ(CodeOf([&] { missing.Open(false, false, false); }), kErrPath);
  TFileHandler f((dir_ / "t.DAT").string(), "t.DAT");
  f.Open(false, false, false);
  char buf[4];
  EXPECT_EQ(CodeOf([&] { f.Read(0, buf, 4); }), kErrRead);  // file holds one byte
  EXPECT_EQ(DiskStorage().MatchFileName(dir_.string() + "/", "T.dat"), (dir_ / "t.DAT").string());
}

}  // namespace
}  // namespace quoldex::tables
