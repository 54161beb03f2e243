// Changed index pages held behind the page caches of a file open
// exclusively: they come back changed, reach the file at a flush or when
// their bound is reached, vanish with a discard, and leave the file with the
// bytes a shared file (which writes as it goes) ends with.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tables/index_file/index_file.h"
#include "tables/index_file/index_file_test_util.h"
#include "tables/index_file/page_cache.h"
#include "tables/index_file/page_cache_test_util.h"

namespace quoldex::tables {
namespace {

using index_test::Bytes;
using index_test::Index;
using index_test::IndexFileTest;
using index_test::ReadWholeFile;
using page_test::kKeyLength;
using page_test::kPages;
using page_test::PageCacheTest;

constexpr size_t kHeldBound = 4;

// The 40 one-entry pages of PageCacheTest behind a list whose shelf holds
// at most kHeldBound changed pages.
class HeldPageCacheTest : public PageCacheTest {
 protected:
  // Gives `page` a new record value through the list.
  void Change(int page) {
    PageRef ref = cache_.Fetch(At(page));
    TPage& p = ref.Edit();
    p.RemoveEntry(0);
    p.InsertEntry(0, Bytes(kKeyLength, 0).data(), model_[page] += 1000);
  }
  // Fills the list with pages 1..31, each changed.
  void ChangeFullList() {
    for (int i = 1; i <= TPageCache::kCapacity; ++i) Change(i);
  }
  int32_t OnDisk(int page) const {
    Bytes image = ReadWholeFile(dir_.File("p.IDX"));
    return GetLE<int32_t>(&image[At(page) + 13 + kKeyLength]);
  }
  // What FlushBuffers does for this one list.
  void Flush() {
    std::vector<TPage*> dirty;
    cache_.CollectDirty(dirty);
    shelf_.CollectHeld(dirty);
    TPageCache::WritePages(file_, dirty, &shelf_);
    shelf_.ShelveHeld();
  }

  std::map<int, int32_t> model_ = [] {
    std::map<int, int32_t> m;
    for (int i = 1; i <= kPages; ++i) m[i] = i;
    return m;
  }();
  PageShelf shelf_{64, kHeldBound};
  TPageCache held_{file_, kKeyLength, &limit_, &shelf_};
  TPageCache& cache_ = held_;
};

TEST_F(HeldPageCacheTest, AChangedPageLeavingAFullListIsHeldAndComesBackChanged) {
  ChangeFullList();
  file_.writes.clear();
  Change(32);
  // Only the oldest page left the list, unwritten; the others stay dirty in it.
  EXPECT_TRUE(file_.writes.empty());
  EXPECT_EQ(shelf_.HeldCount(), 1u);
  EXPECT_TRUE(shelf_.Holds(At(1)));
  EXPECT_EQ(OnDisk(1), 1);
  const int reads = file_.reads;
  {
    PageRef one = cache_.Fetch(At(1));
    EXPECT_EQ(one->Record(0), model_[1]);
    EXPECT_TRUE(one->IsDirty());  // still owed to the file
  }
  EXPECT_EQ(file_.reads, reads);
  EXPECT_FALSE(shelf_.Holds(At(1)));
  EXPECT_TRUE(shelf_.Holds(At(2)));  // made room for page 1
  // A clean page is still the first to leave a list: page 33 made page 3
  // held, page 34 pushed out page 33, not page 4.
  EXPECT_EQ(cache_.Fetch(At(33))->Record(0), 33);
  EXPECT_EQ(shelf_.HeldCount(), 2u);
  cache_.Fetch(At(34));
  EXPECT_EQ(shelf_.HeldCount(), 2u);
  EXPECT_TRUE(shelf_.Contains(At(33)));
  EXPECT_FALSE(shelf_.Holds(At(4)));
  // Changed again after coming back, held again, and back once more.
  Change(1);
  for (int i = 35; i <= kPages; ++i) Change(i);
  Change(1);
  Flush();
  for (int i = 1; i <= kPages; ++i) EXPECT_EQ(OnDisk(i), model_[i]) << i;
  EXPECT_EQ(shelf_.HeldCount(), 0u);
}

TEST_F(HeldPageCacheTest, ReachingTheBoundWritesEveryHeldPageInRuns) {
  ChangeFullList();
  file_.writes.clear();
  for (int i = 32; i <= 35; ++i) Change(i);  // pages 1-4 held
  EXPECT_TRUE(file_.writes.empty());
  EXPECT_EQ(shelf_.HeldCount(), kHeldBound);
  Change(36);  // page 5 must leave: the four held go out first
  ASSERT_EQ(file_.writes.size(), 1u);
  EXPECT_EQ(file_.writes[0], (std::pair<uint64_t, size_t>{At(1), 4 * TPage::kSize}));
  EXPECT_EQ(shelf_.HeldCount(), 1u);
  EXPECT_TRUE(shelf_.Holds(At(5)));
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(OnDisk(i), model_[i]) << i;
  EXPECT_EQ(OnDisk(5), 5);
  // The written pages became clean images: back without a read, clean.
  const int reads = file_.reads;
  EXPECT_TRUE(shelf_.Contains(At(2)));
  EXPECT_FALSE(cache_.Fetch(At(2))->IsDirty());
  EXPECT_EQ(file_.reads, reads);

  // A long random run never holds more than the bound and ends with the
  // file equal to the model.
  std::mt19937 rng(5);
  for (int step = 0; step < 5000; ++step) {
    const int page = 1 + static_cast<int>(rng() % kPages);
    if (rng() % 3 == 0) {
      Change(page);
    } else {
      ASSERT_EQ(cache_.Fetch(At(page))->Record(0), model_[page]) << "step " << step;
    }
    ASSERT_LE(shelf_.HeldCount(), kHeldBound);
    if (step % 997 == 0) Flush();
  }
  Flush();
  for (int i = 1; i <= kPages; ++i) EXPECT_EQ(OnDisk(i), model_[i]) << i;
}

TEST_F(HeldPageCacheTest, ClearedHeldPagesAreLostAndTheFileIsReadAgain) {
  ChangeFullList();
  for (int i = 32; i <= 34; ++i) Change(i);  // pages 1-3 held
  ASSERT_EQ(shelf_.HeldCount(), 3u);
  // As the owner discards after another user's change: list and shelf.
  cache_.Discard();
  shelf_.Clear();
  EXPECT_EQ(shelf_.HeldCount(), 0u);
  EXPECT_FALSE(shelf_.Holds(At(2)));
  const int reads = file_.reads;
  EXPECT_EQ(cache_.Fetch(At(2))->Record(0), 2);
  EXPECT_EQ(file_.reads, reads + 1);
  Flush();
  EXPECT_EQ(OnDisk(1), 1);  // nothing of the lost changes was written
  EXPECT_EQ(OnDisk(20), 20);
}

TEST_F(HeldPageCacheTest, AFreshPageSupersedesAHeldOneAndOtherKeyLengthsReadTheFile) {
  ChangeFullList();
  for (int i = 32; i <= 33; ++i) Change(i);  // pages 1-2 held
  {
    PageRef fresh = cache_.Fresh(At(1));
    EXPECT_EQ(fresh->Count(), 0);
  }
  EXPECT_FALSE(shelf_.Holds(At(1)));
  // Another list with other keys never takes page 2's held image.
  TPageCache other(file_, kKeyLength + 4, &limit_, &shelf_);
  const int reads = file_.reads;
  EXPECT_EQ(other.Fetch(At(2))->Count(), 1);
  EXPECT_EQ(file_.reads, reads + 1);
  EXPECT_TRUE(shelf_.Holds(At(2)));
  EXPECT_EQ(cache_.Fetch(At(2))->Record(0), model_[2]);
  // Should that list change page 3 as well (held for the first list, as a
  // damaged file can make two trees share a page) and let it go, its change
  // replaces the held one: the later change wins, as its write would.
  ASSERT_TRUE(shelf_.Holds(At(3)));
  other.Fetch(At(3)).Edit().SetNext(At(9));
  const size_t held = shelf_.HeldCount();
  for (int i = 10; i <= kPages; ++i) other.Fetch(At(i)).Edit();
  EXPECT_EQ(shelf_.HeldCount(), held);
  EXPECT_EQ(other.Fetch(At(3))->Next(), At(9));
}

TEST_F(HeldPageCacheTest, AFileInMemoryHoldsNothing) {
  const Bytes image = ReadWholeFile(dir_.File("p.IDX"));
  file_.Close();
  file_.SetInMemory(true);
  file_.Create(false);  // exclusive, like the disk file before
  file_.Write(0, image.data(), image.size());
  ChangeFullList();
  file_.writes.clear();
  Change(32);
  EXPECT_EQ(shelf_.HeldCount(), 0u);
  EXPECT_EQ(file_.writes.size(), 1u);  // the list's 31 pages, one run
  file_.Delete();
}

TEST_F(HeldPageCacheTest, ASharedFileHoldsNothing) {
  file_.Close();
  file_.Open(false, false, false);
  ChangeFullList();
  file_.writes.clear();
  cache_.Fetch(At(32));
  EXPECT_EQ(shelf_.HeldCount(), 0u);
  ASSERT_EQ(file_.writes.size(), 1u);  // the whole list, one run
  EXPECT_EQ(file_.writes[0], (std::pair<uint64_t, size_t>{At(1), 31 * TPage::kSize}));
}

// ---- Whole index files -------------------------------------------------------

// Names as keys of a ByName-shaped index: random order, some deleted again.
class HeldIndexFileTest : public IndexFileTest {
 protected:
  static std::string Name(int k) { return "Name" + std::to_string(k * 7919 % 100003); }
  // Creates `path` with a primary on ObjectId and a unique case-insensitive
  // index on ObjectName, then closes it.
  void CreateAt(const std::string& path) {
    TIndexFile file(path, DatName(), fields_);
    file.Create(false);
    file.AddPrimaryIndex(Index("", {index_test::kObjectId}));
    file.AddSecondaryIndex(Index("ByName", {index_test::kObjectName}, true, true));
    file.Close();
  }
  // Inserts `count` records in a shuffled order into both indexes, then
  // deletes every third of them from both.
  static void Churn(TIndexFile& file, int count) {
    std::vector<int> order(count);
    for (int i = 0; i < count; ++i) order[i] = i + 1;
    std::shuffle(order.begin(), order.end(), std::mt19937(3));
    for (int id : order) {
      file.Insert(0, KeyOf(file, 0, {KeyValue::Int32(id)}).data(), id);
      file.Insert(1, KeyOf(file, 1, {KeyValue::String(Name(id))}).data(), id);
    }
    for (int id : order) {
      if (id % 3 != 0) continue;
      file.Delete(0, KeyOf(file, 0, {KeyValue::Int32(id)}).data());
      file.Delete(1, KeyOf(file, 1, {KeyValue::String(Name(id))}).data());
    }
  }
};

TEST_F(HeldIndexFileTest, AnExclusiveFileEndsWithTheBytesASharedOneWrites) {
  // 9000 names: over a hundred pages, far beyond a list's 31. Bounds: the default (nothing written
  // before the flush), and 16 (held pages written many times on the way).
  for (size_t bound : {TIndexFile::kHeldPages, size_t{16}}) {
    SCOPED_TRACE(bound);
    const std::string held_path = dir_.File("held.IDX"), shared_path = dir_.File("shared.IDX");
    CreateAt(held_path);
    CreateAt(shared_path);
    const Bytes created = ReadWholeFile(held_path);
    {
      TIndexFile held(held_path, DatName(), fields_, bound);
      TIndexFile shared(shared_path, DatName(), fields_, bound);
      held.Open(true, false, false);
      shared.Open(false, false, false);
      Churn(held, 9000);
      Churn(shared, 9000);
      if (bound == TIndexFile::kHeldPages) {
        EXPECT_EQ(ReadWholeFile(held_path), created);  // everything still in memory
      }
      EXPECT_GT(ReadWholeFile(shared_path).size(), created.size());  // the lists wrote
      EXPECT_EQ(held.EntryCount(1), 6000);
      held.FlushBuffers(false);
      shared.FlushBuffers(false);
      EXPECT_EQ(ReadWholeFile(held_path), ReadWholeFile(shared_path));
      held.Close();
      shared.Close();
    }
    const Bytes image = ReadWholeFile(held_path);
    EXPECT_EQ(image, ReadWholeFile(shared_path));
    EXPECT_GT(image.size(), 100 * TPage::kSize);
    TIndexFile again(held_path, DatName(), fields_);
    again.Open(true, false, false);
    EXPECT_EQ(again.Verify(), std::vector<std::string>{});
    EXPECT_EQ(again.EntryCount(0), 6000);
    EXPECT_TRUE(again.Contains(1, KeyOf(again, 1, {KeyValue::String(Name(8000))}).data()));
    EXPECT_FALSE(again.Contains(1, KeyOf(again, 1, {KeyValue::String(Name(8001))}).data()));
  }
}

TEST_F(HeldIndexFileTest, DiscardCacheDropsHeldPagesAndTheFileShowsThroughAgain) {
  // Wide keys (15 a leaf); sorted inserts leave leaves of 8 entries.
  auto file = CreateFile({index_test::kFilename});
  for (int k = 0; k < 4000; k += 2) file->Insert(0, WideKey(*file, k).data(), k);
  file->FlushBuffers(false);
  const Bytes flushed = ReadWholeFile(IdxPath());
  const int32_t next_page = file->NextPageOffset();
  // One key into each of 100 leaves 20 entries apart: no split, no new
  // page, no header change, far more changed pages than a list holds.
  for (int k = 1; k < 4000; k += 40) file->Insert(0, WideKey(*file, k).data(), k);
  ASSERT_EQ(file->NextPageOffset(), next_page);
  ASSERT_FALSE(file->HeaderModified());
  EXPECT_EQ(ReadWholeFile(IdxPath()), flushed);  // nothing written: held or in the list
  EXPECT_TRUE(file->Contains(0, WideKey(*file, 41).data()));

  file->DiscardCache();
  EXPECT_FALSE(file->Contains(0, WideKey(*file, 41).data()));
  EXPECT_EQ(file->EntryCount(0), 2000);
  EXPECT_EQ(file->Verify(), std::vector<std::string>{});
  file->Close();  // has nothing left to write
  EXPECT_EQ(ReadWholeFile(IdxPath()), flushed);
}

// The long random runs of the index file's own tests, with bounds that make
// held pages go out in the middle of splits and merges.
class HeldRandomRunTest : public IndexFileTest,
                          public ::testing::WithParamInterface<std::tuple<int, size_t>> {};

TEST_P(HeldRandomRunTest, MatchesAnOrderedMapAfterEveryBatch) {
  held_pages_ = std::get<1>(GetParam());
  RandomRun(std::get<0>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(SeedsAndBounds, HeldRandomRunTest,
                         ::testing::Combine(::testing::Values(1, 2, 3),
                                            ::testing::Values(size_t{1}, size_t{8})));

}  // namespace
}  // namespace quoldex::tables
