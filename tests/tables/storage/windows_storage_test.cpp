// The Windows storage against the real system (built for Windows only):
// sharing modes refuse what the engine's exclusive and shared opens
// promise, and locks behave as the interface says although the system's
// own do not (whole ranges only, exclusive even against the same handle).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fakes/temp_dir.h"
#include "tables/storage/file_bytes_test_util.h"
#include "tables/storage/storage.h"

namespace quoldex::tables {
namespace {

using testing::TempDir;

class WindowsStorageTest : public ::testing::Test {
 protected:
  WindowsStorageTest() : path_(dir_.Write("t.DAT", "0123456789")) {}

  std::unique_ptr<StorageFile> OpenOk(FileSharing sharing,
                                      FileAccess access = FileAccess::kReadWrite) {
    std::unique_ptr<StorageFile> file;
    EXPECT_EQ(storage_.Open(path_, {.access = access, .sharing = sharing}, &file), 0);
    return file;
  }
  int OpenError(FileSharing sharing, FileAccess access = FileAccess::kReadWrite) {
    std::unique_ptr<StorageFile> file;
    return storage_.Open(path_, {.access = access, .sharing = sharing}, &file);
  }

  TempDir dir_;
  Storage& storage_ = PlatformStorage();
  std::string path_;
};

TEST_F(WindowsStorageTest, ExclusiveAndSharedOpensExcludeEachOther) {
  {
    auto shared = OpenOk(FileSharing::kShared);
    auto reader = OpenOk(FileSharing::kShared, FileAccess::kRead);
    EXPECT_EQ(OpenError(FileSharing::kExclusive), kShareConflict);
    EXPECT_EQ(OpenError(FileSharing::kExclusive, FileAccess::kRead), kShareConflict);
  }
  auto exclusive = OpenOk(FileSharing::kExclusive);
  EXPECT_EQ(OpenError(FileSharing::kShared), kShareConflict);
  EXPECT_EQ(OpenError(FileSharing::kShared, FileAccess::kRead), kShareConflict);
  std::unique_ptr<StorageFile> created;
  EXPECT_EQ(storage_.Create(path_, false, &created), kShareConflict);
  uint64_t size = 0;
  EXPECT_EQ(exclusive->Size(&size), 0);
  EXPECT_EQ(size, 10u);  // the refused create left the file as it was
  exclusive.reset();
  EXPECT_EQ(OpenError(FileSharing::kShared), 0);
  EXPECT_EQ(OpenError(FileSharing::kExclusive, FileAccess::kRead), 0);
}

TEST_F(WindowsStorageTest, LocksFollowTheInterfaceRules) {
  auto a = OpenOk(FileSharing::kShared);
  auto b = OpenOk(FileSharing::kShared);
  constexpr uint64_t kByte = 2147483647ull;  // far beyond the end of the file
  EXPECT_EQ(a->Lock(kByte, 1, true), 0);
  EXPECT_EQ(a->Lock(kByte, 1, true), 0);  // its own lock is no conflict
  EXPECT_EQ(b->Lock(kByte, 1, false), kLockHeld);
  EXPECT_EQ(a->Lock(kByte, 1, false), 0);  // converted to shared
  EXPECT_EQ(b->Lock(kByte, 1, false), 0);
  EXPECT_EQ(b->Unlock(kByte, 1), 0);
  EXPECT_EQ(a->Unlock(kByte, 1), 0);
  EXPECT_EQ(b->Lock(kByte, 1, true), 0);
  EXPECT_EQ(b->Unlock(kByte, 1), 0);

  // Unlocking the middle of a range keeps both sides locked.
  EXPECT_EQ(a->Lock(1000, 100, true), 0);
  EXPECT_EQ(a->Unlock(1040, 20), 0);
  EXPECT_EQ(b->Lock(1040, 20, true), 0);
  EXPECT_EQ(b->Lock(1039, 1, true), kLockHeld);
  EXPECT_EQ(b->Lock(1060, 1, true), kLockHeld);
  // Closing a handle releases its locks and nobody else's.
  a.reset();
  EXPECT_EQ(b->Lock(1000, 40, true), 0);
  auto c = OpenOk(FileSharing::kShared);
  EXPECT_EQ(c->Lock(1045, 1, false), kLockHeld);
}

TEST_F(WindowsStorageTest, AFileStillOpenIsReplacedByARename) {
  auto old_file = OpenOk(FileSharing::kExclusive);
  const std::string fresh = dir_.Write("t.NEW", "fresh");
  EXPECT_EQ(storage_.Rename(fresh, path_), 0);
  EXPECT_EQ(dir_.Read("t.DAT"), "fresh");
  EXPECT_FALSE(storage_.Exists(fresh));
  char bytes[10] = {};
  EXPECT_EQ(old_file->Read(0, bytes, 10).bytes, 10u);  // the old handle keeps its file
  EXPECT_EQ(std::string(bytes, 10), "0123456789");
  old_file.reset();
  EXPECT_EQ(ListedNames(storage_, dir_.path()),
            std::vector<std::string>{"t.DAT"});  // nothing was left aside
}

TEST_F(WindowsStorageTest, WritesReadsAndViewsAgree) {
  auto file = OpenOk(FileSharing::kShared);
  EXPECT_EQ(file->Write(20, "ab", 2).bytes, 2u);  // a gap reads as zeros
  char bytes[22] = {};
  EXPECT_EQ(file->Read(0, bytes, 22).bytes, 22u);
  EXPECT_EQ(std::string(bytes + 10, 12), std::string(10, '\0') + "ab");
  EXPECT_EQ(file->Flush(), 0);
  const FileView view = file->MapForReading(22);
  ASSERT_TRUE(view);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(view.Data()), 2), "01");
  EXPECT_FALSE(file->MapForReading(23));  // longer than the file
  auto reader = OpenOk(FileSharing::kShared, FileAccess::kRead);
  EXPECT_EQ(reader->Write(0, "x", 1).error, EBADF);
  std::unique_ptr<StorageFile> missing;
  EXPECT_EQ(storage_.Open(dir_.Path("none.DAT"), {}, &missing), ENOENT);
  EXPECT_EQ(storage_.Open(dir_.path(), {}, &missing), EISDIR);
}

}  // namespace
}  // namespace quoldex::tables
