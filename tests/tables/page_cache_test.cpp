#include "tables/page_cache.h"

#include <gtest/gtest.h>

#include <vector>

#include "index_file_test_util.h"

namespace quoldex::tables {
namespace {

using index_test::ErrorCodeOf;

// A file that counts its writes.
class CountingFile : public TFileHandler {
 public:
  using TFileHandler::TFileHandler;
  void Write(uint64_t offset, const void* buffer, size_t count) override {
    writes.push_back({offset, count});
    TFileHandler::Write(offset, buffer, count);
  }
  std::vector<std::pair<uint64_t, size_t>> writes;
};

constexpr size_t kKeyLength = 5;
constexpr int kPages = 40;

class PageCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The header unit, then kPages leaves with one entry each (record = page
    // number).
    std::vector<uint8_t> image((kPages + 1) * TPage::kSize, 0);
    for (int i = 1; i <= kPages; ++i) {
      uint8_t* p = image.data() + i * TPage::kSize;
      p[0] = TPage::kLeaf;
      p[1] = 1;
      PutLE<int32_t>(p + 13 + kKeyLength, i);
    }
    index_test::WriteWholeFile(dir_.File("p.IDX"), image);
    file_.Open(true, false, false);
  }
  static int32_t At(int page) { return page * static_cast<int32_t>(TPage::kSize); }

  index_test::ScratchDir dir_;
  CountingFile file_{dir_.File("p.IDX"), "p.DAT"};
  int32_t limit_ = At(kPages + 1);
  TPageCache cache_{file_, kKeyLength, &limit_};
};

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

}  // namespace
}  // namespace quoldex::tables
