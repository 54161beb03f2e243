// Creating the five tables with each call to the storage failed in turn,
// and with the power cut after each call: the next start (which creates
// the tables again when objects.dat is missing, without faults) finds five
// tables that open, pass the integrity check and hold exactly what a
// creation without faults writes, and no file beside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "data/createobject.h"
#include "fakes/fault_storage.h"
#include "tables/base/engine_error.h"
#include "tables/cursor/table_cursor.h"
#include "tables/storage/file_bytes_test_util.h"
#include "tables/storage/storage.h"

namespace quoldex::data {
namespace {

using tables::EDbEngineError;
using tables::TableCursor;
using tables::TableSettings;
using testing::FaultKind;
using testing::FaultStorage;
using testing::IoKind;
using testing::ScopedDiskStorage;

const char* const kTables[] = {"systemu.dat", "maps.dat", "objects.dat", "pref.dat", "items.dat"};

class CreateDataTablesFaultTest : public ::testing::Test {
 protected:
  // A new folder for a run; the run before's goes.
  std::string NextFolder() {
    if (runs_ > 0) storage_.Forget("/create-fault/" + std::to_string(runs_) + "/");
    return "/create-fault/" + std::to_string(++runs_) + "/";
  }

  static TableSettings SettingsOf(const std::string& folder, const char* table) {
    TableSettings s;
    s.directory = folder;
    s.table_name = table;
    return s;
  }

  // The folder's files by name with their bytes, the last-update time of
  // each data file's header left out.
  std::map<std::string, std::vector<uint8_t>> Files(const std::string& folder) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const std::string& name : tables::ListedNames(storage_, folder)) {
      std::unique_ptr<tables::StorageFile> file;
      tables::OpenOptions read;
      read.access = tables::FileAccess::kRead;
      EXPECT_EQ(storage_.Open(folder + name, read, &file), 0) << name;
      if (!file) continue;
      uint64_t size = 0;
      EXPECT_EQ(file->Size(&size), 0);
      std::vector<uint8_t>& bytes = files[name];
      bytes.resize(size);
      EXPECT_EQ(file->Read(0, bytes.data(), bytes.size()).bytes, size) << name;
      if (name.ends_with(".DAT") && bytes.size() >= kLastUpdateEnd) {
        std::fill(bytes.begin() + kLastUpdateAt, bytes.begin() + kLastUpdateEnd, 0);
      }
    }
    return files;
  }

  // What a start after the failed one finds: it creates the tables when
  // objects.dat is missing (and only then); then every table opens, passes
  // the integrity check and is byte for byte a table created without
  // faults, and no staging file is left.
  void ExpectWholeAfterRestart(const std::string& folder, const std::string& what) {
    SCOPED_TRACE(what);
    if (!TableCursor::Exists(SettingsOf(folder, "objects.dat"))) {
      ASSERT_NO_THROW(CreateDataTables(folder));
    }
    for (const char* table : kTables) {
      TableCursor c(SettingsOf(folder, table));
      ASSERT_NO_THROW(c.Open()) << table;
      EXPECT_EQ(c.CheckIntegrity(), std::vector<std::string>{}) << table;
      EXPECT_EQ(c.RecordCount(), 0) << table;
      EXPECT_TRUE(c.Recovered().empty()) << table;
    }
    const auto files = Files(folder);
    ASSERT_EQ(files.size(), clean_.size());
    for (const auto& [name, bytes] : clean_) {
      ASSERT_EQ(files.count(name), 1u) << name;
      EXPECT_TRUE(files.at(name) == bytes) << name << " differs from a clean creation";
    }
  }

  static constexpr size_t kLastUpdateAt = 27, kLastUpdateEnd = 35;

  FaultStorage storage_;
  ScopedDiskStorage installed_{storage_};
  int runs_ = 0;
  // The files of the five tables created without faults.
  std::map<std::string, std::vector<uint8_t>> clean_;
};

TEST_F(CreateDataTablesFaultTest, EveryFailedCallLeavesTablesTheNextStartCompletes) {
  storage_.ResetCounts();
  const std::string clean = NextFolder();
  CreateDataTables(clean);
  std::map<IoKind, int> counts;
  for (IoKind kind : {IoKind::kRead, IoKind::kWrite, IoKind::kFlush, IoKind::kSetEnd, IoKind::kLock,
                      IoKind::kRename, IoKind::kMap}) {
    counts[kind] = storage_.Calls(kind);
  }
  clean_ = Files(clean);
  ASSERT_EQ(clean_.size(), 10u);
  ExpectWholeAfterRestart(clean, "without faults");
  int cases = 0, failed = 0;
  for (const auto& [kind, count] : counts) {
    const std::vector<FaultKind> faults =
        kind == IoKind::kWrite ? std::vector<FaultKind>{FaultKind::kNoSpace, FaultKind::kIoError,
                                                        FaultKind::kShortWrite}
                               : std::vector<FaultKind>{FaultKind::kIoError};
    for (int n = 1; n <= count; ++n) {
      for (FaultKind fault : faults) {
        const std::string folder = NextFolder();
        storage_.FailCall(kind, n, fault);
        bool raised = false;
        try {
          CreateDataTables(folder);
        } catch (const EDbEngineError& e) {
          raised = true;
          EXPECT_TRUE(tables::IsStorageFailure(e.ErrorCode())) << e.what();
        }
        const bool struck = storage_.Struck();
        storage_.FailCall(IoKind::kCount, 0, fault);
        if (!struck && raised) ADD_FAILURE() << "raised without a fault";
        ++cases;
        failed += raised;
        ExpectWholeAfterRestart(folder, std::string(testing::IoKindName(kind)) + " call " +
                                            std::to_string(n) + " fails with " +
                                            testing::FaultKindName(fault));
        if (HasFailure()) return;
      }
    }
  }
  std::printf("[fault matrix] create the five tables: %d cases, %d ended in an error\n", cases,
              failed);

  // The power cut after each call of every kind; the files written since
  // their last flush are lost, kept whole, or kept for the index files
  // only (the system wrote back what it liked before the cut).
  const std::vector<std::pair<const char*, std::function<bool(const std::string&)>>> write_backs = {
      {"nothing unflushed kept", {}},
      {"everything kept", [](const std::string&) { return true; }},
      {"index files kept",
       [](const std::string& path) { return path.find(".IDX") != std::string::npos; }}};
  int cuts = 0;
  for (const auto& [kind, count] : counts) {
    for (int n = 1; n <= count; ++n) {
      for (const auto& [write_back, keeps] : write_backs) {
        const std::string folder = NextFolder();
        storage_.CutPowerAfter(kind, n);
        try {
          CreateDataTables(folder);
        } catch (const EDbEngineError&) {
          // The power went during the creation.
        }
        EXPECT_TRUE(storage_.PowerIsOff()) << "call " << n << " never came";
        storage_.RestorePower(keeps);
        ++cuts;
        ExpectWholeAfterRestart(folder, std::string("power cut after ") +
                                            testing::IoKindName(kind) + " call " +
                                            std::to_string(n) + ", " + write_back);
        if (HasFailure()) return;
      }
    }
  }
  std::printf("[power cut] create the five tables: %d cuts\n", cuts);
}

}  // namespace
}  // namespace quoldex::data
