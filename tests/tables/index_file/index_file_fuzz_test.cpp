// Damaged index files: thousands of randomly damaged headers, descriptors
// and pages of a valid file. Opening, walking, counting, checking and
// changing every index must either work or raise an engine error; never
// crash, hang or read out of bounds (the sanitizer build runs this too).
#include <gtest/gtest.h>

#include <random>

#include "tables/index_file/index_file.h"
#include "tables/index_file/index_file_test_util.h"

namespace quoldex::tables {
namespace {

using index_test::Index;
using Bytes = std::vector<uint8_t>;

constexpr int kObjectId = 1, kObjectName = 2, kFilename = 4;

class IndexFuzzTest : public ::testing::Test {
 protected:
  std::unique_ptr<TIndexFile> NewFile() {
    return std::make_unique<TIndexFile>(dir_.File("f.IDX"), "f.DAT", fields_);
  }

  // A file with a primary, a wide secondary index (15 entries a page, three
  // levels), a case-insensitive one, the system index, and free pages.
  Bytes BuildValidFile() {
    auto file = NewFile();
    file->Create(false);
    file->AddPrimaryIndex(Index("", {kObjectId}));
    file->AddSecondaryIndex(Index("ByFile", {kFilename}, true));
    file->AddSecondaryIndex(Index("ByName", {kObjectName}, true, true));
    for (int id = 1; id <= 400; ++id) {
      index_test::Record r(fields_, id);
      r.String(kObjectName, "Class" + std::to_string(id * 7919 % 1000))
          .String(kFilename, "/game/Pkg" + std::to_string(id % 9) + "/" + std::to_string(id));
      for (int index : {0, 1, 2, TIndexFile::kSystemIndex}) {
        Bytes key(file->KeyLength(index));
        file->Layout(index).FromRecord(r.Bytes(), key.data());
        if (!file->Contains(index, key.data())) file->Insert(index, key.data(), id);
      }
    }
    file->SelectIndex(1);
    for (int i = 0; i < 120 && file->SetOrdinal(1 + i * 2); ++i) {
      Bytes key(file->CurrentKey(), file->CurrentKey() + file->KeyLength(1));
      file->Delete(1, key.data());
    }
    file->SetRecordCount(400);
    EXPECT_TRUE(file->Verify().empty());
    file->Close();
    return index_test::ReadWholeFile(dir_.File("f.IDX"));
  }

  // Everything a reader and a writer do with an index file; returns how
  // many steps raised engine errors (later steps still run: the file must
  // stay safe to use after an error).
  static int Exercise(TIndexFile& file) {
    int errors = 0;
    for (int index = 0; index < 32; ++index) {
      if (!file.IsDefined(index)) continue;
      try {
        ExerciseIndex(file, index);
      } catch (const EDbEngineError&) {
        ++errors;
      }
    }
    try {
      file.Verify();
      file.FlushBuffers(true);
    } catch (const EDbEngineError&) {
      ++errors;
    }
    return errors;
  }

  static void ExerciseIndex(TIndexFile& file, int index) {
    file.SelectIndex(index);
    int64_t steps = 0;
    for (bool ok = file.First(); ok; ok = file.Next()) {
      ASSERT_LT(++steps, 1000000) << "a walk that does not end";
    }
    for (bool ok = file.Last(); ok && steps > 0; ok = file.Prior()) --steps;
    int64_t count = file.EntryCount(index);
    file.SetOrdinal(count / 2 + 1);
    if (file.State() == TIndexFile::CursorState::kOnEntry) {
      Bytes key(file.CurrentKey(), file.CurrentKey() + file.KeyLength(index));
      file.CurrentOrdinal();
      file.SequentialRecordsAhead(10);
      file.CountRange(key.data(), 3, key.data(), key.size());
      file.Delete(index, key.data());
      key.back() ^= 0x5A;
      if (!file.Contains(index, key.data())) file.Insert(index, key.data(), 12345);
      file.Replace(index, key.data(), key.data(), 54321);
    }
    Bytes fresh(file.KeyLength(index), 0x41);
    if (!file.Contains(index, fresh.data())) file.Insert(index, fresh.data(), 1);
  }

  index_test::ScratchDir dir_;
  std::vector<FieldDesc> fields_ = index_test::ClassFields();
};

void Damage(Bytes& image, std::mt19937& rng) {
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  const uint32_t pages = static_cast<uint32_t>(image.size() / 4096);
  if (pages < 2) {
    image[pick(static_cast<uint32_t>(image.size()))] = static_cast<uint8_t>(rng());
    return;
  }
  const uint32_t page = 4096 * (1 + pick(pages - 1));
  auto offset_value = [&]() -> int32_t {
    switch (pick(4)) {
      case 0:
        return static_cast<int32_t>(4096 * pick(pages + 2));
      case 1:
        return static_cast<int32_t>(rng());
      case 2:
        return 0;
      default:
        return static_cast<int32_t>(page);
    }
  };
  switch (pick(10)) {
    case 0:  // any header byte
      image[pick(4096)] = static_cast<uint8_t>(rng());
      break;
    case 1: {  // a descriptor field: key length, field count, root, free chain
      static constexpr int kFields[] = {31, 37, 54, 86, 90};
      int slot = pick(4) == 0 ? 31 : static_cast<int>(pick(3));
      size_t at = 14 + 120 * size_t(slot) + kFields[pick(5)];
      if (at >= 14 + 120 * size_t(slot) + 86) {
        PutLE<int32_t>(&image[at], offset_value());
      } else {
        image[at] = static_cast<uint8_t>(rng());
      }
      break;
    }
    case 2:  // next page offset or secondary count
      if (pick(2) == 0) {
        PutLE<int32_t>(&image[9], offset_value());
      } else {
        image[13] = static_cast<uint8_t>(pick(40));
      }
      break;
    case 3:  // page type
      image[page] = static_cast<uint8_t>(pick(6));
      break;
    case 4:  // entry count
      PutLE<uint16_t>(&image[page + 1], static_cast<uint16_t>(pick(2) ? pick(400) : rng()));
      break;
    case 5:  // sibling links
      PutLE<int32_t>(&image[page + 3 + 4 * pick(2)], offset_value());
      break;
    case 6: {  // an aligned word inside the entries: child offsets and counts
      size_t at = page + 13 + 4 * pick(1000);
      PutLE<int32_t>(&image[at], pick(2) ? offset_value() : static_cast<int32_t>(pick(3000)));
      break;
    }
    case 7:  // any page byte
      image[page + pick(4096)] = static_cast<uint8_t>(rng());
      break;
    case 8: {  // one page copied over another
      uint32_t other = 4096 * (1 + pick(pages - 1));
      std::copy(image.begin() + other, image.begin() + other + 4096, image.begin() + page);
      break;
    }
    default:  // the file cut short
      image.resize(4096 * pick(pages + 1) + (pick(3) == 0 ? pick(4096) : 0));
      break;
  }
}

TEST_F(IndexFuzzTest, DamagedFilesWorkOrRaiseEngineErrors) {
  const Bytes good = BuildValidFile();
  ASSERT_GT(good.size(), 30u * 4096);
  std::mt19937 rng(20240611);
  int refused_at_open = 0, failed_later = 0, survived = 0;
  for (int round = 0; round < 2500; ++round) {
    Bytes image = good;
    int damages = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < damages && image.size() > 4096; ++i) Damage(image, rng);
    index_test::WriteWholeFile(dir_.File("f.IDX"), image);
    auto file = NewFile();
    try {
      file->Open(true, false, false);
    } catch (const EDbEngineError&) {
      ++refused_at_open;
      continue;
    }
    if (Exercise(*file) == 0) {
      ++survived;
    } else {
      ++failed_later;
    }
    if (::testing::Test::HasFatalFailure()) return;
    try {
      file->Close();
    } catch (const EDbEngineError&) {
    }
  }
  // The damage reaches every kind of outcome.
  EXPECT_GT(refused_at_open, 100);
  EXPECT_GT(failed_later, 100);
  EXPECT_GT(survived, 100);
}

}  // namespace
}  // namespace quoldex::tables
