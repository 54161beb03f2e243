#include "tables/index_file/page_cache.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "tables/index_file/index_file_test_util.h"
#include "tables/index_file/page_cache_test_util.h"

namespace quoldex::tables {
namespace {

using index_test::ErrorCodeOf;
using page_test::kKeyLength;
using page_test::kPages;
using page_test::PageCacheTest;
using page_test::SwitchGate;

TEST_F(PageCacheTest, ReadsCheckedPagesAndRefusesBadOffsets) {
  PageRef page = cache_.Fetch(At(3));
  EXPECT_EQ(page->Record(0), 3);
  EXPECT_EQ(page.Offset(), At(3));
  for (int32_t bad : {0, 100, At(kPages + 1), -4096}) {
    EXPECT_EQ(ErrorCodeOf([&] { cache_.Fetch(bad); }), kErrIndexPagesCorrupt) << bad;
  }
  // A damaged page on disk: count beyond capacity.
  uint8_t count[2] = {0xFF, 0x7F};
  file_.Write(At(5) + 1, count, 2);
  EXPECT_EQ(ErrorCodeOf([&] { cache_.Fetch(At(5)); }), kErrIndexPagesCorrupt);
  EXPECT_EQ(cache_.Fetch(At(6))->Record(0), 6);
}

TEST_F(PageCacheTest, APageTakesAtMost64Pins) {
  std::vector<PageRef> pins;
  for (int i = 0; i < TPageCache::kMaxPins; ++i) pins.push_back(cache_.Fetch(At(1)));
  EXPECT_EQ(ErrorCodeOf([&] { cache_.Fetch(At(1)); }), kErrIndexPagesCorrupt);
  pins.pop_back();
  EXPECT_NO_THROW(cache_.Fetch(At(1)));
}

TEST_F(PageCacheTest, AFullListOfPinnedPagesRefusesAMiss) {
  std::vector<PageRef> pins;
  for (int i = 1; i <= TPageCache::kCapacity; ++i) pins.push_back(cache_.Fetch(At(i)));
  EXPECT_EQ(ErrorCodeOf([&] { cache_.Fetch(At(kPages)); }), kErrIndexPagesCorrupt);
  pins[7].Release();
  EXPECT_EQ(cache_.Fetch(At(kPages))->Record(0), kPages);
  EXPECT_EQ(cache_.Fetch(At(1))->Record(0), 1);
}

TEST_F(PageCacheTest, MissReusesTheLeastRecentlyUsedCleanPage) {
  for (int i = 1; i <= TPageCache::kCapacity; ++i) cache_.Fetch(At(i));
  cache_.Fetch(At(1));                    // now the most recent; page 2 is the oldest
  cache_.Fetch(At(2)).Edit().SetPrev(0);  // page 2 dirty and recent; page 3 the oldest clean
  cache_.Fetch(At(kPages));
  // Damage page 3 on disk: a re-read would now fail, so a hit proves it
  // stayed cached and a failure proves it was evicted.
  uint8_t bad = 9;
  file_.Write(At(3), &bad, 1);
  file_.Write(At(1), &bad, 1);
  EXPECT_EQ(ErrorCodeOf([&] { cache_.Fetch(At(3)); }), kErrIndexPagesCorrupt);
  EXPECT_EQ(cache_.Fetch(At(1))->Record(0), 1);
}

TEST_F(PageCacheTest, AllDirtyListWritesItsPagesInRunsBeforeReusingOne) {
  for (int i = 1; i <= TPageCache::kCapacity; ++i) {
    if (i == 10) continue;  // a gap: pages 1-9 and 11-32 make two runs
    cache_.Fetch(At(i)).Edit().SetNext(At(i));
  }
  cache_.Fetch(At(32)).Edit().SetNext(At(32));
  file_.writes.clear();
  EXPECT_EQ(cache_.Fetch(At(kPages))->Record(0), kPages);
  ASSERT_EQ(file_.writes.size(), 2u);
  EXPECT_EQ(file_.writes[0], (std::pair<uint64_t, size_t>{At(1), 9 * TPage::kSize}));
  EXPECT_EQ(file_.writes[1], (std::pair<uint64_t, size_t>{At(11), 22 * TPage::kSize}));
  std::vector<uint8_t> image = index_test::ReadWholeFile(dir_.File("p.IDX"));
  EXPECT_EQ(GetLE<int32_t>(&image[At(20) + 7]), At(20));
  // Written pages are clean: the next misses write nothing.
  file_.writes.clear();
  cache_.Fetch(At(kPages - 1));
  EXPECT_TRUE(file_.writes.empty());
}

TEST_F(PageCacheTest, FreshPagesAreClearedAndDirty) {
  int32_t beyond = At(kPages + 1);
  limit_ = At(kPages + 2);
  {
    PageRef page = cache_.Fresh(beyond);
    EXPECT_EQ(page->Count(), 0);
    EXPECT_EQ(page->PageType(), TPage::kLeaf);
    EXPECT_TRUE(page->IsDirty());
  }
  std::vector<TPage*> dirty;
  cache_.CollectDirty(dirty);
  ASSERT_EQ(dirty.size(), 1u);
  TPageCache::WritePages(file_, dirty);
  EXPECT_EQ(index_test::ReadWholeFile(dir_.File("p.IDX")).size(), size_t(At(kPages + 2)));
  cache_.Discard();
  dirty.clear();
  cache_.CollectDirty(dirty);
  EXPECT_TRUE(dirty.empty());
}

TEST(ShelfTest, LeastRecentlyUsedKeysGiveWayAndLeaveTheirItemsForReuse) {
  Shelf<std::unique_ptr<int>> shelf(2);
  shelf.Place(1) = std::make_unique<int>(10);
  shelf.Place(2) = std::make_unique<int>(20);
  ASSERT_NE(shelf.Find(1), nullptr);  // 2 is now the least recently used
  std::unique_ptr<int>& third = shelf.Place(3);
  ASSERT_TRUE(third);  // the item key 2 held, handed over for refilling
  EXPECT_EQ(*third, 20);
  *third = 30;
  EXPECT_FALSE(shelf.Contains(2));
  EXPECT_EQ(shelf.Size(), 2u);
  EXPECT_EQ(**shelf.Find(1), 10);
  EXPECT_EQ(*shelf.Take(3), 30);
  EXPECT_FALSE(shelf.Contains(3));
  EXPECT_FALSE(shelf.Take(3));
  shelf.Erase(1);
  shelf.Place(4);
  shelf.Clear();
  EXPECT_EQ(shelf.Size(), 0u);
  EXPECT_EQ(shelf.Find(4), nullptr);
  EXPECT_TRUE(shelf.Place(5));  // an item left behind by the cleared keys
}

// The page cache with a shelf behind it: the same 40 one-entry pages.
class ShelvedPageCacheTest : public PageCacheTest {
 protected:
  // Fills the list with pages 1..31 and then takes `page`, so that page 1
  // (clean, least recently used) leaves the list.
  void PushOutPageOne(int page = 32) {
    for (int i = 1; i <= TPageCache::kCapacity; ++i) cache_.Fetch(At(i));
    cache_.Fetch(At(page));
  }
  PageShelf shelf_{64};
  TPageCache shelved_{file_, kKeyLength, &limit_, &shelf_};
  TPageCache& cache_ = shelved_;
};

TEST_F(ShelvedPageCacheTest, ACleanPageThatLeftTheListComesBackWithoutARead) {
  PushOutPageOne();
  EXPECT_TRUE(shelf_.Contains(At(1)));
  const int reads = file_.reads;
  EXPECT_EQ(cache_.Fetch(At(1))->Record(0), 1);
  EXPECT_EQ(file_.reads, reads);
  // The list behaves as without a shelf: page 2 was the oldest and left.
  EXPECT_TRUE(shelf_.Contains(At(2)));
}

TEST_F(ShelvedPageCacheTest, AGateThatRefusesSendsTheMissToTheFile) {
  SwitchGate gate;
  shelf_.SetGate(&gate);
  PushOutPageOne();
  EXPECT_EQ(gate.asked, 0);  // nothing kept was wanted yet
  // Another user rewrote page 1: only a read can see it.
  uint8_t record[4];
  PutLE<int32_t>(record, 101);
  file_.Write(At(1) + 13 + kKeyLength, record, 4);
  gate.open = false;
  const int reads = file_.reads;
  EXPECT_EQ(cache_.Fetch(At(1))->Record(0), 101);
  EXPECT_EQ(file_.reads, reads + 1);
  EXPECT_EQ(gate.asked, 1);
}

TEST_F(ShelvedPageCacheTest, WritingAPageTakesItsOldImageOffTheShelf) {
  PushOutPageOne();
  {
    PageRef one = cache_.Fetch(At(1));  // from the shelf
    one.Edit().SetNext(At(7));
  }
  std::vector<TPage*> dirty;
  cache_.CollectDirty(dirty);
  TPageCache::WritePages(file_, dirty, &shelf_);
  EXPECT_FALSE(shelf_.Contains(At(1)));
  // Page 1 leaves the list again and comes back as written.
  for (int i = 2; i <= TPageCache::kCapacity + 1; ++i) cache_.Fetch(At(i));
  const int reads = file_.reads;
  EXPECT_EQ(cache_.Fetch(At(1))->Next(), At(7));
  EXPECT_EQ(file_.reads, reads);
}

// Long random runs against a model of the file: pages are read, changed,
// written when the list needs room or at a flush, changed behind the
// cache's back by "another user" (after which the owner discards list and
// shelf), and refused by the gate now and then. Every page seen must equal
// the model, and the file must end equal to it.
TEST_F(ShelvedPageCacheTest, LongRandomRunsAgreeWithAModelOfTheFile) {
  SwitchGate gate;
  shelf_.SetGate(&gate);
  std::map<int, int32_t> model;  // page -> the record value its entry holds
  for (int i = 1; i <= kPages; ++i) model[i] = i;
  std::mt19937 rng(11);
  for (int step = 0; step < 20000; ++step) {
    const int page = 1 + static_cast<int>(rng() % kPages);
    gate.open = rng() % 8 != 0;
    switch (rng() % 10) {
      case 0: {  // another user changes the page on disk; the owner sees it
        std::vector<TPage*> dirty;
        cache_.CollectDirty(dirty);
        TPageCache::WritePages(file_, dirty, &shelf_);
        uint8_t record[4];
        PutLE<int32_t>(record, model[page] += 1000);
        file_.TFileHandler::Write(At(page) + 13 + kKeyLength, record, 4);
        cache_.Discard();
        shelf_.Clear();
        break;
      }
      case 1: {
        std::vector<TPage*> dirty;
        cache_.CollectDirty(dirty);
        TPageCache::WritePages(file_, dirty, &shelf_);
        break;
      }
      case 2:
      case 3: {  // a change through the cache
        PageRef ref = cache_.Fetch(At(page));
        ASSERT_EQ(ref->Record(0), model[page]) << "step " << step;
        TPage& p = ref.Edit();
        p.RemoveEntry(0);
        p.InsertEntry(0, std::vector<uint8_t>(kKeyLength, 0).data(), ++model[page]);
        break;
      }
      default:
        ASSERT_EQ(cache_.Fetch(At(page))->Record(0), model[page]) << "step " << step;
        break;
    }
  }
  std::vector<TPage*> dirty;
  cache_.CollectDirty(dirty);
  TPageCache::WritePages(file_, dirty, &shelf_);
  std::vector<uint8_t> image = index_test::ReadWholeFile(dir_.File("p.IDX"));
  for (int i = 1; i <= kPages; ++i) {
    EXPECT_EQ(GetLE<int32_t>(&image[At(i) + 13 + kKeyLength]), model[i]) << i;
  }
}

}  // namespace
}  // namespace quoldex::tables
