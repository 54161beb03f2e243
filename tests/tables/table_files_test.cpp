// The files of a table handle: the change counter watched through a
// mapping, and the names of a table's files.
#include "tables/table_files.h"

#include <gtest/gtest.h>

#include "data_file_test_util.h"
#include "tables/coding.h"

namespace quoldex::tables {
namespace {

using test::TempDir;

TEST(CounterView, SeesEveryWriteToTheCounterAtOnce) {
  TempDir dir;
  const std::string path = dir.File("t.IDX");
  test::WriteAll(path, std::vector<uint8_t>(5000, 0));
  CounterView view;
  if (!view.Map(path)) GTEST_SKIP() << "not a local file system: the counter is read instead";
  EXPECT_EQ(view.Counter(), 0);
  TFileHandler writer(path, path);  // another open file, as another process has
  writer.Open(false, false, false);
  for (int32_t counter : {1, 2, -7, 0x7FFFFFFF}) {
    uint8_t bytes[4];
    PutLE(bytes, counter);
    writer.Write(0, bytes, 4);
    EXPECT_EQ(view.Counter(), counter);
  }
  view.Unmap();
  EXPECT_FALSE(view.Mapped());
  EXPECT_FALSE(view.Map(dir.File("missing.IDX")));
}

TEST(GuardedFiles, StoredCounterIsTheCounterOnDiskWatchedOrNot) {
  TempDir dir;
  const std::string path = dir.File("objects.dat");
  {
    TDataFile file(path);
    file.Create(test::ObjectsFields(), {});
  }
  GuardedDataFile file(path, nullptr);
  file.Open(false, false, false);
  const int32_t before = file.StoredCounter();
  EXPECT_EQ(before, file.Header().ChangeCounter());
  file.WatchCounter();  // mapped where the file system allows, else read
  file.WriteHeader(true);
  EXPECT_EQ(file.StoredCounter(), before + 1);
  EXPECT_EQ(file.StoredCounter(), file.Header().ChangeCounter());
}

TEST(TableFileNames, IndexFileBesideTheDataFile) {
  TempDir dir;
  EXPECT_EQ(IndexFileNameFor(dir.File("objects.DAT")), dir.File("objects.IDX"));
  EXPECT_EQ(DirectoryOf("/a/b/objects.DAT"), "/a/b/");
  EXPECT_EQ(DirectoryOf("objects.DAT"), "");
}

}  // namespace
}  // namespace quoldex::tables
