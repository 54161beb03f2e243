#include "tables/data_file/record_cache.h"

#include <gtest/gtest.h>

#include <random>

#include "tables/base/coding.h"
#include "tables/base/engine_error.h"
#include "tables/data_file/data_file_test_util.h"

namespace quoldex::tables {
namespace {

using test::EngineCode;
using test::IoCall;
using test::TempDir;

constexpr uint64_t kRegion = 100;  // slots start after 100 bytes of something else

// A file that records every read and write call.
class CountingFile : public TFileHandler {
 public:
  explicit CountingFile(const std::string& path) : TFileHandler(path, path) {}
  void Read(uint64_t offset, void* buffer, size_t count) const override {
    reads.push_back({offset, count});
    TFileHandler::Read(offset, buffer, count);
  }
  void Write(uint64_t offset, const void* buffer, size_t count) override {
    writes.push_back({offset, count});
    TFileHandler::Write(offset, buffer, count);
  }
  mutable std::vector<IoCall> reads;
  std::vector<IoCall> writes;
};

// `slots` slots of `record_size` bytes, each starting with its record number.
class CacheTest : public ::testing::Test {
 protected:
  void Make(uint16_t record_size, int32_t slots, size_t shelf_bytes = 0) {
    record_size_ = record_size;
    path_ = dir_.File("slots.bin");
    std::vector<uint8_t> bytes(kRegion + size_t{record_size} * slots, 0);
    if (record_size >= 4)
      for (int32_t n = 1; n <= slots; ++n) PutLE<int32_t>(&bytes[Offset(n)], n);
    test::WriteAll(path_, bytes);
    file_ = std::make_unique<CountingFile>(path_);
    file_->Open(false, false, false);
    cache_ = std::make_unique<RecordCache>(*file_, record_size, kRegion, shelf_bytes);
    end_ = slots + 1;
  }
  uint64_t Offset(int32_t n) const { return kRegion + uint64_t{record_size_} * (n - 1); }
  IoCall Slots(int32_t first, int32_t count) const {
    return {Offset(first), size_t{record_size_} * count};
  }
  // Fetches, checks the slot's content and unpins.
  void Touch(int32_t n, const ReadAhead& ahead = ReadAhead::None()) {
    TRecord* r = cache_->Fetch(n, end_, ahead);
    EXPECT_EQ(GetLE<int32_t>(r->Data()), n);
    cache_->Unpin(r);
  }
  // A new dirty slot carrying its number, unpinned unless `keep_pinned`.
  TRecord* Dirty(int32_t n, bool keep_pinned = false) {
    TRecord* r = cache_->Create(n);
    PutLE<int32_t>(r->Data(), 1000 + n);
    if (!keep_pinned) cache_->Unpin(r);
    return r;
  }
  int32_t OnDisk(int32_t n) const {
    uint8_t b[4];
    file_->TFileHandler::Read(Offset(n), b, 4);
    return GetLE<int32_t>(b);
  }

  TempDir dir_;
  std::string path_;
  uint16_t record_size_ = 0;
  int32_t end_ = 0;
  std::unique_ptr<CountingFile> file_;
  std::unique_ptr<RecordCache> cache_;
};

TEST_F(CacheTest, CapacityFollowsTheRecordSize) {
  for (auto [size, capacity] : std::vector<std::pair<uint16_t, size_t>>{
           {369, 355}, {9, 14563}, {20000, 6}, {65535, 2}, {1, 65535}}) {
    Make(size, 1);
    EXPECT_EQ(cache_->Capacity(), capacity) << size;
  }
}

TEST_F(CacheTest, PinningMoreThan64TimesFails) {
  Make(100, 10);
  TRecord* r = nullptr;
  for (int i = 0; i < RecordCache::kMaxPins; ++i) r = cache_->Fetch(3, end_, ReadAhead::None());
  EXPECT_EQ(r->PinCount(), 64);
  EXPECT_EQ(EngineCode([&] { cache_->Fetch(3, end_, ReadAhead::None()); }),
            kErrRecordBuffersCorrupt);
  cache_->Unpin(r);
  EXPECT_EQ(cache_->Fetch(3, end_, ReadAhead::None()), r);
  for (int i = 0; i < RecordCache::kMaxPins; ++i) cache_->Unpin(r);
  EXPECT_EQ(EngineCode([&] { cache_->Unpin(r); }), kErrRecordBuffersCorrupt);
  EXPECT_EQ(file_->reads.size(), 1u);
}

TEST_F(CacheTest, PhysicalReadAheadReadsUpTo32KBInOneCall) {
  Make(100, 1000);  // 327 slots per read
  Touch(1, ReadAhead::Physical());
  EXPECT_EQ(file_->reads, std::vector<IoCall>{Slots(1, 327)});
  for (int32_t n = 2; n <= 327; ++n) Touch(n, ReadAhead::Physical());
  EXPECT_EQ(file_->reads.size(), 1u);
  Touch(328, ReadAhead::Physical());
  EXPECT_EQ(file_->reads.back(), Slots(328, 327));
  Touch(900, ReadAhead::Physical());  // only 101 slots are left
  EXPECT_EQ(file_->reads.back(), Slots(900, 101));
  Touch(1000, ReadAhead::Physical());  // already read ahead
  EXPECT_EQ(file_->reads.size(), 3u);
}

TEST_F(CacheTest, ReadAheadStopsBeforeACachedSlotAndNeverRereadsIt) {
  Make(100, 100);
  TRecord* five = cache_->Create(5);  // dirty, not yet on disk
  PutLE<int32_t>(five->Data(), 555);
  cache_->Unpin(five);
  Touch(1, ReadAhead::Physical());
  EXPECT_EQ(file_->reads, std::vector<IoCall>{Slots(1, 4)});
  TRecord* r = cache_->Fetch(5, end_, ReadAhead::Physical());
  EXPECT_EQ(GetLE<int32_t>(r->Data()), 555);
  cache_->Unpin(r);
}

TEST_F(CacheTest, IndexOrderReadAheadFollowsTheAscendingRun) {
  Make(100, 1000);
  std::vector<int32_t> next = {8, 9, 10, 20, 21};
  Touch(7, ReadAhead::Index(next));
  EXPECT_EQ(file_->reads.back(), Slots(7, 4));
  std::vector<int32_t> gap = {52, 53};
  Touch(50, ReadAhead::Index(gap));
  EXPECT_EQ(file_->reads.back(), Slots(50, 1));
  std::vector<int32_t> run;
  for (int32_t n = 401; n < 1000; ++n) run.push_back(n);
  Touch(400, ReadAhead::Index(run));
  EXPECT_EQ(file_->reads.back(), Slots(400, 327));
  Touch(800);  // no hint: one slot
  EXPECT_EQ(file_->reads.back(), Slots(800, 1));
}

// Slot images handed to the cache serve later fetches without a read; a
// slot the cache holds already keeps its buffer, a change not yet written
// included.
TEST_F(CacheTest, AdoptedImagesServeLaterFetchesWithoutARead) {
  Make(100, 1000);
  Dirty(7);
  std::vector<std::vector<uint8_t>> images;
  const std::vector<int32_t> numbers = {50, 7, 993, 12};
  for (int32_t n : numbers) {
    images.emplace_back(100, 0);
    PutLE<int32_t>(images.back().data(), n);
  }
  std::vector<const uint8_t*> pointers;
  for (const auto& image : images) pointers.push_back(image.data());
  EXPECT_EQ(cache_->Adopt(numbers, pointers), 3u);
  file_->reads.clear();
  for (int32_t n : {50, 993, 12}) Touch(n);
  EXPECT_TRUE(file_->reads.empty());
  TRecord* seven = cache_->Fetch(7, end_, ReadAhead::None());
  EXPECT_EQ(GetLE<int32_t>(seven->Data()), 1007);
  EXPECT_TRUE(seven->IsDirty());
  cache_->Unpin(seven);
}

// Adopting never writes and never pushes out a pinned or dirty buffer, nor
// one it placed itself: with three buffers to spare, the first three of
// five images are placed and the rest left to be read when asked for.
TEST_F(CacheTest, AdoptTakesOnlySpareBuffersSoonestNeededFirst) {
  Make(4000, 100);  // 32 buffers
  ASSERT_EQ(cache_->Capacity(), 32u);
  std::vector<TRecord*> pinned;
  for (int32_t n = 1; n <= 29; ++n) pinned.push_back(cache_->Fetch(n, end_, ReadAhead::None()));
  for (int32_t n = 30; n <= 32; ++n) Dirty(n);
  std::vector<uint8_t> image(4000, 0);
  const std::vector<int32_t> numbers = {60, 40, 80, 50, 70};
  std::vector<const uint8_t*> pointers;
  for (size_t i = 0; i < numbers.size(); ++i) pointers.push_back(image.data());
  EXPECT_EQ(cache_->Adopt(numbers, pointers), 0u);
  EXPECT_TRUE(file_->writes.empty());

  for (int i = 0; i < 3; ++i) cache_->Unpin(pinned[i]);
  EXPECT_EQ(cache_->Adopt(numbers, pointers), 3u);
  EXPECT_TRUE(file_->writes.empty());
  for (int32_t n : {60, 40, 80}) EXPECT_TRUE(cache_->IsCached(n)) << n;
  for (int32_t n : {50, 70, 1, 2, 3}) EXPECT_FALSE(cache_->IsCached(n)) << n;
  for (int32_t n = 4; n <= 32; ++n) EXPECT_TRUE(cache_->IsCached(n)) << n;
  for (size_t i = 3; i < pinned.size(); ++i) cache_->Unpin(pinned[i]);
}

TEST_F(CacheTest, EvictionTakesTheLeastRecentlyUsedCleanBuffer) {
  Make(20000, 20);  // capacity 6
  for (int32_t n = 1; n <= 6; ++n) Touch(n);
  Touch(1);  // now 2 is the least recently used
  Touch(7);
  EXPECT_TRUE(cache_->IsCached(1));
  EXPECT_FALSE(cache_->IsCached(2));
  EXPECT_TRUE(cache_->IsCached(7));
  EXPECT_TRUE(file_->writes.empty());
}

TEST_F(CacheTest, FullOfDirtyBuffersWritesThemSortedOneCallPerRun) {
  Make(20000, 20);  // capacity 6
  for (int32_t n : {9, 2, 6, 1, 5, 3}) Dirty(n);
  Touch(12);
  EXPECT_EQ(file_->writes, (std::vector<IoCall>{Slots(1, 3), Slots(5, 2), Slots(9, 1)}));
  for (int32_t n : {1, 2, 3, 5, 6, 9}) EXPECT_EQ(OnDisk(n), 1000 + n);
  EXPECT_EQ(OnDisk(4), 4);
  EXPECT_TRUE(cache_->IsCached(12));
  cache_->WriteDirty();  // all clean now
  EXPECT_EQ(file_->writes.size(), 3u);
}

TEST_F(CacheTest, PinnedDirtyBuffersWaitForTheFlush) {
  Make(20000, 20);
  for (int32_t n = 1; n <= 5; ++n) Dirty(n);
  TRecord* six = Dirty(6, true);
  Touch(12);
  EXPECT_EQ(file_->writes, std::vector<IoCall>{Slots(1, 5)});
  EXPECT_EQ(OnDisk(6), 6);
  cache_->WriteDirty();  // a flush writes pinned buffers too
  EXPECT_EQ(file_->writes.back(), Slots(6, 1));
  EXPECT_EQ(OnDisk(6), 1006);
  cache_->Unpin(six);
}

TEST_F(CacheTest, NoBufferToReuseFailsUnlessTheCacheMayGrow) {
  Make(20000, 20);
  std::vector<TRecord*> pinned;
  for (int32_t n = 1; n <= 6; ++n) pinned.push_back(cache_->Fetch(n, end_, ReadAhead::None()));
  EXPECT_EQ(EngineCode([&] { cache_->Fetch(7, end_, ReadAhead::None()); }),
            kErrRecordBuffersCorrupt);
  EXPECT_FALSE(cache_->IsCached(7));
  cache_->SetGrowWhenFull(true);
  Touch(7);
  EXPECT_EQ(cache_->Capacity(), 6u + 1024u);
  for (TRecord* r : pinned) EXPECT_EQ(GetLE<int32_t>(r->Data()), r->RecordNumber());
}

TEST_F(CacheTest, ReadAheadNeverWritesToMakeRoom) {
  Make(5000, 200);  // capacity 26, 6 slots per read
  for (int32_t n = 1; n <= 24; ++n) Dirty(n);
  Touch(100, ReadAhead::Physical());
  EXPECT_TRUE(file_->writes.empty());
  EXPECT_TRUE(cache_->IsCached(101));
  EXPECT_FALSE(cache_->IsCached(102));
  EXPECT_EQ(file_->reads.back(), Slots(100, 6));
}

TEST_F(CacheTest, DiscardForgetsRecordsButKeepsPinnedBuffersValid) {
  Make(100, 10);
  TRecord* held = cache_->Fetch(2, end_, ReadAhead::None());
  Touch(3);
  uint8_t b[4];
  PutLE<int32_t>(b, 3);
  file_->TFileHandler::Write(Offset(3), b, 4);
  cache_->Discard();
  EXPECT_FALSE(cache_->IsCached(2));
  EXPECT_FALSE(cache_->IsCached(3));
  EXPECT_EQ(GetLE<int32_t>(held->Data()), 2);
  held->MarkDirty();  // a change to a forgotten buffer is not written
  cache_->Unpin(held);
  cache_->WriteDirty();
  EXPECT_TRUE(file_->writes.empty());
  size_t reads = file_->reads.size();
  Touch(2);
  EXPECT_EQ(file_->reads.size(), reads + 1);
}

TEST_F(CacheTest, AFailedReadLeavesNothingCached) {
  Make(100, 10);
  EXPECT_EQ(EngineCode([&] { cache_->Fetch(11, 12, ReadAhead::None()); }), kErrRead);
  EXPECT_FALSE(cache_->IsCached(11));
  Touch(10);
}

TEST_F(CacheTest, LongRandomRunAgreesWithAModelOfTheFile) {
  Make(100, 5000);  // 1310 buffers, 327 slots per read
  std::vector<int32_t> model(5001);
  for (int32_t n = 1; n <= 5000; ++n) model[n] = n;
  std::mt19937 rng(7);
  std::vector<int32_t> upcoming;
  for (int step = 0; step < 50000; ++step) {
    int32_t n = 1 + static_cast<int32_t>(rng() % 5000);
    ReadAhead ahead = ReadAhead::None();
    switch (rng() % 3) {
      case 0:
        ahead = ReadAhead::Physical();
        break;
      case 1:
        upcoming.clear();
        for (int32_t i = 1; i <= static_cast<int32_t>(rng() % 400); ++i) upcoming.push_back(n + i);
        ahead = ReadAhead::Index(upcoming);
        break;
      default:
        break;
    }
    TRecord* r = cache_->Fetch(n, end_, ahead);
    ASSERT_EQ(r->RecordNumber(), n);
    ASSERT_EQ(GetLE<int32_t>(r->Data()), model[n]) << "step " << step;
    if (rng() % 4 == 0) {
      model[n] += 100000;
      PutLE<int32_t>(r->Data(), model[n]);
      r->MarkDirty();
    }
    cache_->Unpin(r);
    if (step % 9973 == 0) {
      cache_->WriteDirty();
      cache_->Discard();
    }
  }
  cache_->WriteDirty();
  for (int32_t n = 1; n <= 5000; ++n) ASSERT_EQ(OnDisk(n), model[n]) << n;
}

// A gate that agrees or refuses as told.
class SwitchGate : public ShelfGate {
 public:
  bool ShelfUsable() override { return open; }
  bool open = true;
};

TEST_F(CacheTest, ShelvedSlotsServeAMissFillingTheBuffersAReadWould) {
  Make(5000, 100, 1 << 20);  // 26 buffers, 6 slots per read, 209 kept behind
  for (int32_t n = 50; n <= 60; ++n) Touch(n);
  for (int32_t n = 1; n <= 26; ++n) Touch(n);  // 50-60 leave the buffers
  EXPECT_FALSE(cache_->IsCached(50));
  EXPECT_TRUE(cache_->IsShelved(50));
  size_t reads = file_->reads.size();
  Touch(50, ReadAhead::Physical());  // 50-55 all kept: no read, six buffers
  EXPECT_EQ(file_->reads.size(), reads);
  for (int32_t n = 50; n <= 55; ++n) EXPECT_TRUE(cache_->IsCached(n)) << n;
  EXPECT_FALSE(cache_->IsCached(56));
  Touch(93);
  for (int32_t n = 1; n <= 26; ++n) Touch(n);  // kept ones: nothing read
  EXPECT_FALSE(cache_->IsCached(93));
  Touch(93, ReadAhead::Physical());  // 93 kept, 94-98 not: the whole run is read
  EXPECT_EQ(file_->reads.back(), Slots(93, 6));
  cache_->Discard();
  EXPECT_FALSE(cache_->IsShelved(50));
  reads = file_->reads.size();
  Touch(50);
  EXPECT_EQ(file_->reads.size(), reads + 1);
}

TEST_F(CacheTest, WrittenSlotsReturnAsWrittenAndARefusedShelfSendsMissesToTheFile) {
  Make(20000, 40, 1 << 20);  // 6 buffers, one slot per read
  SwitchGate gate;
  cache_->SetShelfGate(&gate);
  for (int32_t n = 1; n <= 6; ++n) Dirty(n);
  for (int32_t n = 7; n <= 12; ++n) Touch(n);  // 1-6 written, then reused
  EXPECT_EQ(file_->writes, std::vector<IoCall>{Slots(1, 6)});
  const size_t reads = file_->reads.size();
  auto value = [&](int32_t n) {
    TRecord* r = cache_->Fetch(n, end_, ReadAhead::None());
    int32_t v = GetLE<int32_t>(r->Data());
    cache_->Unpin(r);
    return v;
  };
  EXPECT_EQ(value(1), 1001);
  EXPECT_EQ(file_->reads.size(), reads);
  gate.open = false;
  EXPECT_EQ(value(2), 1002);
  EXPECT_EQ(file_->reads.size(), reads + 1);
  EXPECT_EQ(file_->reads.back(), Slots(2, 1));
}

// Random runs with a shelf, against a model, while "another user" rewrites
// slots behind the cache's back (after which the owner discards the cache,
// shelf included) and the gate refuses now and then.
TEST_F(CacheTest, ShelvedRandomRunAgreesWithAModelOfTheFile) {
  Make(100, 3000, 64 * 100);  // 1310 buffers, 64 kept behind them
  SwitchGate gate;
  cache_->SetShelfGate(&gate);
  std::vector<int32_t> model(3001);
  for (int32_t n = 1; n <= 3000; ++n) model[n] = n;
  std::mt19937 rng(5);
  for (int step = 0; step < 40000; ++step) {
    const int32_t n = 1 + static_cast<int32_t>(rng() % 3000);
    gate.open = rng() % 8 != 0;
    if (rng() % 50 == 0) {
      cache_->WriteDirty();
      uint8_t b[4];
      PutLE<int32_t>(b, model[n] += 7000000);
      file_->TFileHandler::Write(Offset(n), b, 4);
      cache_->Discard();
      continue;
    }
    TRecord* r = cache_->Fetch(n, end_, rng() % 2 ? ReadAhead::Physical() : ReadAhead::None());
    ASSERT_EQ(GetLE<int32_t>(r->Data()), model[n]) << "step " << step;
    if (rng() % 3 == 0) {
      PutLE<int32_t>(r->Data(), model[n] += 100000);
      r->MarkDirty();
    }
    cache_->Unpin(r);
  }
  cache_->WriteDirty();
  for (int32_t n = 1; n <= 3000; ++n) ASSERT_EQ(OnDisk(n), model[n]) << n;
}

// Creates `file` holding the classes C1..C<count> (record numbers
// 1..count), left open as Create leaves it.
void CreateWithClasses(test::CountingDataFile& file, int count) {
  file.Create(test::ObjectsFields(), {});
  std::vector<uint8_t> rec(file.RecordSize());
  for (int i = 1; i <= count; ++i) {
    file.InitNewRecord(rec.data());
    file.SetField(2, FieldValue::String("C" + std::to_string(i)), rec.data());
    file.IssueRecordId(rec.data());
    file.StoreNewRecord(file.NextFreeRecordNumber(true), rec.data());
  }
}

// The same through the data file: scans and flushes of objects.dat.
TEST(DataFileCache, ScansReadAheadAndFlushesCoalesce) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  {
    test::CountingDataFile file(path);
    CreateWithClasses(file, 500);
    file.writes.clear();
    file.FlushBuffers();
    // 355 buffers: the first 355 records went out in one run when room was
    // needed; the remaining 145 go now in one write, then the header.
    EXPECT_EQ(file.writes, (std::vector<IoCall>{{4735 + 355 * 369, 145 * 369}, {0, 127}}));
  }
  test::CountingDataFile file(path);
  file.Open(false, true, false);
  file.reads.clear();
  for (int32_t n = 1; n <= 500; ++n) {
    TRecord* r = file.GetRecord(n, ReadAhead::Physical());
    EXPECT_EQ(file.GetField(2, r->Data()).text, "C" + std::to_string(n));
    file.Unpin(r);
  }
  EXPECT_EQ(file.reads.size(), 6u);  // 88 records (32472 bytes) per read
  EXPECT_EQ(file.reads[0], (IoCall{4735, 88 * 369}));
}

// Scans read slots in sorted runs past the cache, but what the cache holds
// (a change not yet written) wins, and the cache is left as it was.
TEST(DataFileCache, ReadSlotsTakesHeldRecordsAndReadsTheRestInSortedRuns) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  test::CountingDataFile file(path);
  CreateWithClasses(file, 500);
  file.Close();
  file.Open(false, false, false);  // nothing cached or kept
  std::vector<uint8_t> rec(file.RecordSize());
  file.InitNewRecord(rec.data());
  file.SetField(2, FieldValue::String("Changed"), rec.data());
  file.UpdateRecord(7, rec.data());  // held in the cache, not yet written
  auto name = [&](const uint8_t* record) { return file.GetField(2, record).text; };

  const std::vector<int32_t> numbers = {300, 12, 7, 10, 11, 5, 12, 499};
  std::vector<uint8_t> out(numbers.size() * file.RecordSize());
  file.reads.clear();
  file.ReadSlots(numbers, out.data());
  for (size_t i = 0; i < numbers.size(); ++i) {
    const std::string want = numbers[i] == 7 ? "Changed" : "C" + std::to_string(numbers[i]);
    EXPECT_EQ(name(out.data() + i * file.RecordSize()), want) << numbers[i];
  }
  // 5..12 in one read, their short gaps included; 300 and 499 one each.
  auto slots = [](int32_t first, int32_t count) {
    return IoCall{4735 + uint64_t(first - 1) * 369, size_t(count) * 369};
  };
  EXPECT_EQ(file.reads, (std::vector<IoCall>{slots(5, 8), slots(300, 1), slots(499, 1)}));
  EXPECT_TRUE(file.IsCached(7));
  EXPECT_FALSE(file.IsCached(5));
  EXPECT_FALSE(file.IsCached(300));
  EXPECT_EQ(EngineCode([&] {
              const int32_t beyond[] = {501};
              file.ReadSlots(beyond, out.data());
            }),
            kErrRecordNotFound);
}

// Read-ahead of scattered slots: on disk they are copied from the file's
// mapping without a read call; in memory they are read in ascending runs.
// Either way the images land in the cache, a change not yet written wins,
// and a slot beyond the last fails as any fetch does.
TEST(DataFileCache, ReadAheadSlotsFillsTheCacheInTheOrderGiven) {
  TempDir dir;
  for (bool in_memory : {false, true}) {
    SCOPED_TRACE(in_memory ? "in memory" : "on disk");
    std::string path = dir.File(in_memory ? "mem.dat" : "objects.dat");
    test::CountingDataFile file(path);
    file.SetInMemory(in_memory);
    CreateWithClasses(file, 500);
    file.Close();
    file.Open(false, false, false);
    std::vector<uint8_t> rec(file.RecordSize());
    file.InitNewRecord(rec.data());
    file.SetField(2, FieldValue::String("Changed"), rec.data());
    file.UpdateRecord(7, rec.data());  // held in the cache, not yet written

    const std::vector<int32_t> numbers = {300, 12, 7, 10, 11, 5, 499};
    file.reads.clear();
    EXPECT_EQ(file.ReadAheadSlots(numbers), 6u);
    if (in_memory) {
      auto slots = [](int32_t first, int32_t count) {
        return IoCall{4735 + uint64_t(first - 1) * 369, size_t(count) * 369};
      };
      EXPECT_EQ(file.reads, (std::vector<IoCall>{slots(5, 8), slots(300, 1), slots(499, 1)}));
    } else {
      EXPECT_TRUE(file.reads.empty());
    }
    file.reads.clear();
    for (int32_t n : numbers) {
      ASSERT_TRUE(file.IsCached(n)) << n;
      TRecord* r = file.GetRecord(n);
      EXPECT_EQ(file.GetField(2, r->Data()).text, n == 7 ? "Changed" : "C" + std::to_string(n));
      file.Unpin(r);
    }
    EXPECT_TRUE(file.reads.empty());
    EXPECT_EQ(EngineCode([&] {
                const int32_t beyond[] = {3, 501};
                file.ReadAheadSlots(beyond);
              }),
              kErrRecordNotFound);
    file.Close();
  }
}

// A look in place hands out what a fetch would hand out, a change not yet
// written included, but reads nothing, pins nothing and leaves the buffers
// as they were; a kept image counts only while the gate agrees.
TEST(DataFileCache, HeldRecordLooksInPlaceWithoutTouchingTheBuffers) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  test::CountingDataFile file(path);
  CreateWithClasses(file, 500);
  file.Close();
  file.Open(false, false, false);
  std::vector<uint8_t> rec(file.RecordSize());
  file.InitNewRecord(rec.data());
  SwitchGate gate;
  file.SetShelfGate(&gate);
  auto name = [&](const uint8_t* record) { return file.GetField(2, record).text; };
  EXPECT_EQ(file.HeldRecord(7), nullptr);  // nothing read yet
  for (int32_t n = 1; n <= 500; ++n) {
    TRecord* r = file.GetRecord(n);
    file.Unpin(r);
  }
  // 355 buffers: 1..145 went on the shelf to make room for 356..500.
  ASSERT_FALSE(file.IsCached(7));
  ASSERT_TRUE(file.IsCached(400));
  file.SetField(2, FieldValue::String("Changed"), rec.data());
  file.UpdateRecord(400, rec.data());  // a buffer that differs from the file

  file.reads.clear();
  const uint8_t* kept = file.HeldRecord(7);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(name(kept), "C7");
  EXPECT_EQ(GetLE<int32_t>(kept + 1), 7);  // the slot's own number
  const uint8_t* buffer = file.HeldRecord(400);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(name(buffer), "Changed");
  EXPECT_TRUE(file.reads.empty());
  EXPECT_FALSE(file.IsCached(7));  // not pulled into a buffer

  // A refused gate: kept images no longer count, buffers still do.
  gate.open = false;
  EXPECT_EQ(file.HeldRecord(7), nullptr);
  ASSERT_NE(file.HeldRecord(400), nullptr);
  EXPECT_EQ(name(file.HeldRecord(400)), "Changed");
  gate.open = true;

  // Outside the slots: the error GetRecord raises.
  EXPECT_EQ(EngineCode([&] { file.HeldRecord(0); }), kErrRecordNotFound);
  EXPECT_EQ(EngineCode([&] { file.HeldRecord(501); }), kErrRecordNotFound);

  file.DiscardCache();
  EXPECT_EQ(file.HeldRecord(7), nullptr);
  EXPECT_EQ(file.HeldRecord(400), nullptr);
  EXPECT_TRUE(file.reads.empty());
  file.SetShelfGate(nullptr);
}

}  // namespace
}  // namespace quoldex::tables
