// The storage seam's promises, held by every implementation alike: the
// platform's on disk and the one in memory.
#include "tables/storage/storage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tables/data_file/data_file_test_util.h"
#include "tables/storage/file_bytes_test_util.h"
#include "text/path_separator.h"

namespace quoldex::tables {
namespace {

struct Backend {
  const char* name;
  Storage& (*storage)();
};

class StorageContractTest : public ::testing::TestWithParam<Backend> {
 protected:
  Storage& S() { return GetParam().storage(); }
  // A folder of its own: on disk a temporary one, in memory a name prefix.
  std::string Folder() {
    if (&S() == &MemoryStorage()) return "/storage-test/" + std::to_string(++memory_runs_) + "/";
    return dir_.Dir();
  }
  std::unique_ptr<StorageFile> OpenOrFail(const std::string& path, FileAccess access,
                                          FileSharing sharing) {
    std::unique_ptr<StorageFile> file;
    OpenOptions options;
    options.access = access;
    options.sharing = sharing;
    EXPECT_EQ(S().Open(path, options, &file), 0) << path;
    return file;
  }
  int OpenError(const std::string& path, FileAccess access, FileSharing sharing) {
    std::unique_ptr<StorageFile> file;
    OpenOptions options;
    options.access = access;
    options.sharing = sharing;
    return S().Open(path, options, &file);
  }

  test::TempDir dir_;
  static inline int memory_runs_ = 0;
};

TEST_P(StorageContractTest, SharingModesExcludeAsPromised) {
  const std::string path = Folder() + "t.DAT";
  std::unique_ptr<StorageFile> created;
  ASSERT_EQ(S().Create(path, false, &created), 0);
  // Created means held exclusively.
  EXPECT_EQ(OpenError(path, FileAccess::kRead, FileSharing::kShared), kShareConflict);
  created.reset();
  auto a = OpenOrFail(path, FileAccess::kReadWrite, FileSharing::kShared);
  auto b = OpenOrFail(path, FileAccess::kRead, FileSharing::kShared);
  EXPECT_EQ(OpenError(path, FileAccess::kRead, FileSharing::kExclusive), kShareConflict);
  std::unique_ptr<StorageFile> again;
  EXPECT_EQ(S().Create(path, false, &again), kShareConflict);
  a.reset();
  b.reset();
  auto alone = OpenOrFail(path, FileAccess::kRead, FileSharing::kExclusive);
  EXPECT_EQ(OpenError(path, FileAccess::kReadWrite, FileSharing::kShared), kShareConflict);
}

TEST_P(StorageContractTest, ReadsWritesAndSizes) {
  const std::string path = Folder() + "t.DAT";
  std::unique_ptr<StorageFile> f;
  ASSERT_EQ(S().Create(path, false, &f), 0);
  const char text[] = "abcdef";
  EXPECT_EQ(f->Write(10, text, 6).bytes, 6u);
  uint64_t size = 0;
  ASSERT_EQ(f->Size(&size), 0);
  EXPECT_EQ(size, 16u);
  char buffer[20] = {};
  IoResult r = f->Read(8, buffer, sizeof buffer);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.bytes, 8u);  // the file ends there
  EXPECT_EQ(std::string(buffer, 8), std::string("\0\0abcdef", 8));
  ASSERT_EQ(f->SetEndOfFile(12), 0);
  ASSERT_EQ(f->Size(&size), 0);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(f->Flush(), 0);
  f.reset();
  auto reader = OpenOrFail(path, FileAccess::kRead, FileSharing::kShared);
  IoResult refused = reader->Write(0, text, 1);
  EXPECT_EQ(refused.error, EBADF);
  EXPECT_EQ(refused.bytes, 0u);
  EXPECT_NE(reader->SetEndOfFile(0), 0);
}

TEST_P(StorageContractTest, LocksBelongToTheirHandle) {
  const std::string path = Folder() + "t.IDX";
  std::unique_ptr<StorageFile> created;
  ASSERT_EQ(S().Create(path, false, &created), 0);
  created.reset();
  auto a = OpenOrFail(path, FileAccess::kReadWrite, FileSharing::kShared);
  auto b = OpenOrFail(path, FileAccess::kReadWrite, FileSharing::kShared);
  constexpr uint64_t kFar = 2147418112ull;
  EXPECT_EQ(a->Lock(kFar, 100, true), 0);
  EXPECT_EQ(a->Lock(kFar + 10, 1, true), 0);  // never a conflict with its own
  EXPECT_EQ(b->Lock(kFar + 50, 1, false), kLockHeld);
  EXPECT_EQ(a->Unlock(kFar, 40), 0);
  EXPECT_EQ(b->Lock(kFar, 40, true), 0);              // the released part
  EXPECT_EQ(b->Lock(kFar + 60, 1, true), kLockHeld);  // the rest stays locked
  a.reset();                                          // closing releases the rest
  EXPECT_EQ(b->Lock(kFar + 60, 1, true), 0);
  // Shared locks do not exclude each other; a reader's exclusive request
  // still keeps writers out.
  auto c = OpenOrFail(path, FileAccess::kRead, FileSharing::kShared);
  EXPECT_EQ(c->Lock(kFar + 200, 1, false), 0);
  EXPECT_EQ(b->Lock(kFar + 200, 1, false), 0);
  EXPECT_EQ(c->Lock(kFar + 300, 1, true), 0);
  EXPECT_EQ(b->Lock(kFar + 300, 1, true), kLockHeld);
}

TEST_P(StorageContractTest, NamesAreFoundMovedAndRemoved) {
  const std::string folder = Folder();
  FileFacts facts;
  EXPECT_EQ(S().Facts(folder + "none", &facts), ENOENT);
  EXPECT_EQ(S().Delete(folder + "none"), ENOENT);
  EXPECT_EQ(OpenError(folder + "none", FileAccess::kRead, FileSharing::kShared), ENOENT);
  for (const char* name : {"a.DAT", "b.DAT"}) {
    std::unique_ptr<StorageFile> f;
    ASSERT_EQ(S().Create(folder + name, false, &f), 0);
    EXPECT_EQ(f->Write(0, name, 1).bytes, 1u);
  }
  EXPECT_TRUE(S().Exists(folder + "a.DAT"));
  ASSERT_EQ(S().Facts(folder + "a.DAT", &facts), 0);
  EXPECT_FALSE(facts.is_directory);
  EXPECT_FALSE(facts.read_only_attribute);
  ASSERT_EQ(S().Rename(folder + "a.DAT", folder + "b.DAT"), 0);  // replaces b
  EXPECT_FALSE(S().Exists(folder + "a.DAT"));
  EXPECT_EQ(S().FlushFolder(folder + "b.DAT"), 0);  // the move made durable
  auto b = OpenOrFail(folder + "b.DAT", FileAccess::kRead, FileSharing::kShared);
  char first = 0;
  EXPECT_EQ(b->Read(0, &first, 1).bytes, 1u);
  EXPECT_EQ(first, 'a');
  EXPECT_EQ(ListedNames(S(), folder), std::vector<std::string>{"b.DAT"});
  // The listing stops where the visitor says so.
  std::unique_ptr<StorageFile> c;
  ASSERT_EQ(S().Create(folder + "c.DAT", false, &c), 0);
  int visited = 0;
  ASSERT_EQ(S().ListFolder(folder, [&](std::string_view) { return ++visited < 1; }), 0);
  EXPECT_EQ(visited, 1);
  c.reset();
  EXPECT_EQ(S().Delete(folder + "c.DAT"), 0);
  // A removed name leaves the bytes to the handle that has the file open.
  EXPECT_EQ(S().Delete(folder + "b.DAT"), 0);
  EXPECT_FALSE(S().Exists(folder + "b.DAT"));
  EXPECT_EQ(b->Read(0, &first, 1).bytes, 1u);
  // The name is free at once: a new file takes it beside the open one.
  std::unique_ptr<StorageFile> again;
  ASSERT_EQ(S().Create(folder + "b.DAT", false, &again), 0);
  uint64_t size = 1;
  EXPECT_EQ(again->Size(&size), 0);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(b->Read(0, &first, 1).bytes, 1u);
  EXPECT_EQ(first, 'a');
  const std::string temp = S().TemporaryFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_TRUE(text::IsPathSeparator(temp.back())) << temp;
}

TEST_P(StorageContractTest, NamesAreMatchedAsTheFolderSpellsThem) {
  const std::string folder = Folder();
  std::unique_ptr<StorageFile> f;
  ASSERT_EQ(S().Create(folder + "objects.DAT", false, &f), 0);
  EXPECT_EQ(S().MatchFileName(folder, "OBJECTS.DAT"), folder + "objects.DAT");
  EXPECT_EQ(S().MatchFileName(folder, "objects.dat"), folder + "objects.DAT");
  EXPECT_EQ(S().MatchFileName(folder, "objects.DAT"), folder + "objects.DAT");
  EXPECT_EQ(S().MatchFileName(folder, "Classes.IDX"), folder + "Classes.IDX");  // none: as asked
}

TEST_P(StorageContractTest, ProcessServicesAreSane) {
  const int64_t start = S().MonotonicMs();
  S().Sleep(2);
  EXPECT_GE(S().MonotonicMs() - start, 2);
  EXPECT_NE(S().CurrentThreadId(), 0u);
  const text::DateTimeParts now = S().LocalNow();
  EXPECT_GE(now.year, 2000);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12 && now.day >= 1 && now.day <= 31);
  EXPECT_TRUE(now.second >= 0 && now.second <= 59 && now.millisecond < 1000);
  EXPECT_FALSE(S().Environment("QUOLDEX_SURELY_UNSET_VARIABLE").has_value());
}

INSTANTIATE_TEST_SUITE_P(Backends, StorageContractTest,
                         ::testing::Values(Backend{"Platform", &PlatformStorage},
                                           Backend{"Memory", &MemoryStorage}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quoldex::tables
