// Helpers shared by the page cache's tests: a file that counts its reads
// and writes, a gate that agrees or refuses as told, and a fixture with a
// file of 40 one-entry leaves behind a page cache.
#pragma once

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tables/base/coding.h"
#include "tables/index_file/index_file_test_util.h"
#include "tables/index_file/page_cache.h"

namespace quoldex::tables::page_test {

// A file that counts its reads and writes.
class CountingFile : public TFileHandler {
 public:
  using TFileHandler::TFileHandler;
  void Read(uint64_t offset, void* buffer, size_t count) const override {
    ++reads;
    TFileHandler::Read(offset, buffer, count);
  }
  void Write(uint64_t offset, const void* buffer, size_t count) override {
    writes.push_back({offset, count});
    TFileHandler::Write(offset, buffer, count);
  }
  mutable int reads = 0;
  std::vector<std::pair<uint64_t, size_t>> writes;
};

// A gate that agrees or refuses as told, counting how often it is asked.
class SwitchGate : public ShelfGate {
 public:
  bool ShelfUsable() override {
    ++asked;
    return open;
  }
  bool open = true;
  int asked = 0;
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

}  // namespace quoldex::tables::page_test
