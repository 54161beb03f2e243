// The files of a table handle: the change counter watched through a
// mapping, and the names of a table's files.
#include "tables/cursor/table_files.h"

#include <gtest/gtest.h>

#include "tables/base/coding.h"
#include "tables/data_file/data_file_test_util.h"

namespace quoldex::tables {
namespace {

using test::TempDir;

TEST(CounterView, SeesEveryWriteToTheCounterAtOnce) {
  TempDir dir;
  const std::string path = dir.File("t.IDX");
  test::WriteAll(path, std::vector<uint8_t>(5000, 0));
  TFileHandler reader(path, path);
  reader.Open(false, true, false);
  CounterView view;
  if (!view.Map(reader)) GTEST_SKIP() << "not a local file system: the counter is read instead";
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
  reader.Close();
  EXPECT_FALSE(view.Map(reader));  // a closed file
  TFileHandler in_memory(path, path);
  in_memory.SetInMemory(true);
  in_memory.Create(false);
  in_memory.Write(0, "abcd", 4);
  EXPECT_FALSE(view.Map(in_memory));  // nothing to map: read instead
  in_memory.Delete();
}

// Mappings are kept for the next open of the same file: a view taken again
// shows the file as it is now, also after it grew past the kept mapping,
// and never for bytes the file does not have.
TEST(FileView, KeptMappingsShowTheFileAsItIsNow) {
  TempDir dir;
  const std::string path = dir.File("grow.DAT");
  test::WriteAll(path, std::vector<uint8_t>(100, 'a'));
  TFileHandler file(path, path);
  file.Open(false, false, false);
  FileView first = file.MapForReading(100);
  if (!first) GTEST_SKIP() << "not a local file system";
  EXPECT_FALSE(file.MapForReading(101));  // longer than the file
  file.Write(0, "b", 1);
  file.Close();
  file.Open(false, false, false);  // another open: the kept mapping serves
  FileView again = file.MapForReading(100);
  ASSERT_TRUE(again);
  EXPECT_EQ(again.Data()[0], 'b');
  EXPECT_EQ(first.Data()[0], 'b');
  file.Write(9000, "z", 1);  // grown past the mapping
  FileView grown = file.MapForReading(9001);
  ASSERT_TRUE(grown);
  EXPECT_EQ(grown.Length(), 9001u);
  EXPECT_EQ(grown.Data()[9000], 'z');
  EXPECT_EQ(grown.Data()[0], 'b');
  EXPECT_EQ(first.Data()[99], 'a');  // an older view stays readable
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
