// Creating the five tables with each call to the storage failed in turn:
// the next start (creating what is missing again, without faults) leaves
// five tables that open and pass the integrity check.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "data/createobject.h"
#include "fakes/fault_storage.h"
#include "tables/base/engine_error.h"
#include "tables/cursor/table_cursor.h"

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

  // What a start after the failed one finds: it creates what is missing,
  // then every table opens and passes the integrity check.
  static void ExpectWholeAfterRestart(const std::string& folder, const std::string& what) {
    SCOPED_TRACE(what);
    ASSERT_NO_THROW(CreateDataTables(folder));
    for (const char* table : kTables) {
      TableSettings s;
      s.directory = folder;
      s.table_name = table;
      TableCursor c(s);
      ASSERT_NO_THROW(c.Open()) << table;
      EXPECT_EQ(c.CheckIntegrity(), std::vector<std::string>{}) << table;
      EXPECT_EQ(c.RecordCount(), 0) << table;
    }
  }

  FaultStorage storage_;
  ScopedDiskStorage installed_{storage_};
  int runs_ = 0;
};

TEST_F(CreateDataTablesFaultTest, EveryFailedCallLeavesTablesTheNextStartCompletes) {
  storage_.ResetCounts();
  const std::string clean = NextFolder();
  CreateDataTables(clean);
  std::map<IoKind, int> counts;
  for (IoKind kind : {IoKind::kRead, IoKind::kWrite, IoKind::kFlush, IoKind::kSetEnd, IoKind::kLock,
                      IoKind::kRename}) {
    counts[kind] = storage_.Calls(kind);
  }
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
}

}  // namespace
}  // namespace quoldex::data
