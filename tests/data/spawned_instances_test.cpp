// Several instances on one data folder, each a process of its own started
// as the program starts programs (no fork), so that these run on every
// system the program runs on: under Windows the system's own sharing modes
// and byte-range locks decide, elsewhere the engine's.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "data/browser_data.h"
#include "data/createobject.h"
#include "fakes/temp_dir.h"
#include "platform/native_platform.h"
#include "tables/base/engine_error.h"

namespace quoldex::data {
namespace {

using tables::EDbEngineError;
using testing::TempDir;

class SpawnedInstancesTest : public ::testing::Test {
 protected:
  SpawnedInstancesTest() { CreateDataTables(dir_.path()); }

  platform::ProgramHandle StartWorker(const std::vector<std::string>& arguments) {
    std::optional<platform::ProgramHandle> handle =
        platform_.StartProgram(QUOLDEX_TABLE_WORKER, arguments);
    if (!handle) ADD_FAILURE() << "cannot start " << QUOLDEX_TABLE_WORKER;
    return handle.value_or(-1);
  }

  // Waits until the file `name` of the folder exists (60 s at most).
  bool AwaitFile(const std::string& name) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      if (std::ifstream(dir_.Path(name)).good()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // The code and message of the engine error `action` raises; 0 and "" when
  // it raises none.
  template <typename Action>
  static std::pair<int, std::string> ErrorOf(Action action) {
    try {
      action();
    } catch (const EDbEngineError& e) {
      return {e.ErrorCode(), e.what()};
    }
    return {0, ""};
  }

  // What a worker's try-open found, as ErrorOf gives it.
  std::pair<int, std::string> OtherProcessTriesToEdit() {
    const platform::ProgramHandle other = StartWorker({"try-open", dir_.path(), dir_.Path("out")});
    EXPECT_EQ(platform_.WaitForProgram(other), 0);
    std::istringstream lines(dir_.Read("out"));
    std::string code, message;
    std::getline(lines, code);
    std::getline(lines, message);
    return {std::stoi(code), message};
  }

  void AddRow(const std::string& name) {
    BrowserData data;
    data.dtblObjects.SetDatabaseName(dir_.path());
    data.dtblObjects.Open();
    data.dtblObjects.Append();
    data.dtblObjectsObjectName->SetAsString(name);
    data.dtblObjectsInheritsFrom->SetAsString("object");
    data.dtblObjects.FieldByName("Filename").SetAsString(name + ".uc");
    data.dtblObjects.Post();
  }

  TempDir dir_;
  platform::NativePlatform platform_;
};

TEST_F(SpawnedInstancesTest, TwoInstancesWritingAtOnceLoseAndDoubleNoRow) {
  constexpr int kRows = 120;
  const platform::ProgramHandle a =
      StartWorker({"insert", dir_.path(), "A", std::to_string(kRows)});
  const platform::ProgramHandle b =
      StartWorker({"insert", dir_.path(), "B", std::to_string(kRows)});
  EXPECT_EQ(platform_.WaitForProgram(a), 0);
  EXPECT_EQ(platform_.WaitForProgram(b), 0);

  BrowserData data;
  data.dtblObjects.SetDatabaseName(dir_.path());
  data.dtblObjects.Open();
  EXPECT_EQ(data.dtblObjects.RecordCount(), 2 * kRows);
  std::vector<std::string> missing;
  for (const char* tag : {"A", "B"}) {
    for (int i = 0; i < kRows; ++i) {
      const std::string name = std::string(tag) + "-" + std::to_string(i);
      if (!data.dtblObjects.Locate("ObjectName", name, {})) missing.push_back(name);
    }
  }
  EXPECT_TRUE(missing.empty()) << missing.size() << " rows lost, the first " << missing.front();
  // Each post numbered its row anew: no number was handed out twice.
  std::vector<int64_t> ids;
  for (data.dtblObjects.First(); !data.dtblObjects.Eof(); data.dtblObjects.Next())
    ids.push_back(data.dtblObjectsObjectId->AsInteger());
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
}

TEST_F(SpawnedInstancesTest, AnExclusiveOpenShutsOutOtherProcessesWithTheEngineError) {
  AddRow("Actor");
  const platform::ProgramHandle holder =
      StartWorker({"hold-exclusive", dir_.path(), dir_.Path("ready"), dir_.Path("release")});
  ASSERT_TRUE(AwaitFile("ready"));

  BrowserData data;
  data.dtblObjects.SetDatabaseName(dir_.path());
  const auto [code, message] = ErrorOf([&] { data.dtblObjects.Open(); });
  EXPECT_EQ(code, tables::kErrAccessDenied);
  EXPECT_NE(message.find("Table Engine Error # 11013"), std::string::npos) << message;
  // A third process is told the same, word for word.
  EXPECT_EQ(OtherProcessTriesToEdit(), std::make_pair(code, message));

  dir_.Write("release", "");
  EXPECT_EQ(platform_.WaitForProgram(holder), 0);
  EXPECT_EQ(ErrorOf([&] { data.dtblObjects.Open(); }).first, 0);
}

TEST_F(SpawnedInstancesTest, ARecordLockHeldByOneProcessIsRefusedToAnother) {
  AddRow("Actor");
  const platform::ProgramHandle holder =
      StartWorker({"hold-record", dir_.path(), dir_.Path("ready"), dir_.Path("release")});
  ASSERT_TRUE(AwaitFile("ready"));

  BrowserData data;
  data.dtblObjects.SetDatabaseName(dir_.path());
  data.dtblObjects.Open();
  data.dtblObjects.First();
  const auto [code, message] = ErrorOf([&] { data.dtblObjects.Edit(); });
  EXPECT_EQ(code, tables::kErrRecordLocked);
  EXPECT_EQ(OtherProcessTriesToEdit(), std::make_pair(code, message));

  dir_.Write("release", "");
  EXPECT_EQ(platform_.WaitForProgram(holder), 0);
  EXPECT_EQ(ErrorOf([&] { data.dtblObjects.Edit(); }).first, 0);
  data.dtblObjects.Cancel();
}

}  // namespace
}  // namespace quoldex::data
