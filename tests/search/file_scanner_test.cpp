#include "search/file_scanner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <random>
#include <string>

#include "text/western.h"

namespace quoldex::search {
namespace {

// An anonymous in-memory file holding `content`, positioned at its start.
class MemFile {
 public:
  explicit MemFile(std::string_view content) : fd_(memfd_create("scan", MFD_CLOEXEC)) {
    EXPECT_GE(fd_, 0);
    EXPECT_EQ(write(fd_, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    lseek(fd_, 0, SEEK_SET);
  }
  ~MemFile() { close(fd_); }
  int fd() const { return fd_; }

 private:
  int fd_;
};

int64_t Scan(FileScanner& scanner, std::string_view content, uint64_t length,
             std::string_view pattern) {
  TTISearch searcher;
  searcher.SetPattern(pattern);
  MemFile file(content);
  return scanner.FirstMatch(file.fd(), length, searcher);
}

TEST(FileScanner, FindsMatchesAcrossChunkBoundaries) {
  FileScanner scanner(4);
  // Chunks hold 4 new bytes each: "abcd|efgh|ij".
  EXPECT_EQ(Scan(scanner, "abcdefghij", 10, "DEF"), 4);   // straddles the first boundary
  EXPECT_EQ(Scan(scanner, "abcdefghij", 10, "efgh"), 5);  // exactly the second chunk
  EXPECT_EQ(Scan(scanner, "abcdefghij", 10, "hij"), 8);   // ends the file
  EXPECT_EQ(Scan(scanner, "abcdefghij", 10, "abcdefghij"), 1);
  EXPECT_EQ(Scan(scanner, "abcdefghij", 10, "ja"), 0);
  EXPECT_EQ(Scan(scanner, "abcdefghij", 10, "abcdefghijk"), 0);
  EXPECT_EQ(Scan(scanner, "", 0, "a"), 0);
}

TEST(FileScanner, ReadsOnlyTheGivenLengthAndStopsAtTheEnd) {
  FileScanner scanner(4);
  EXPECT_EQ(Scan(scanner, "abcdefghij", 7, "fg"), 6);
  EXPECT_EQ(Scan(scanner, "abcdefghij", 7, "gh"), 0);     // past the length asked for
  EXPECT_EQ(Scan(scanner, "abcdefghij", 1000, "ij"), 9);  // the file is shorter than said
}

TEST(FileScanner, AReadErrorFindsNothing) {
  FileScanner scanner;
  TTISearch searcher;
  searcher.SetPattern("a");
  const int dir = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dir, 0);
  EXPECT_EQ(scanner.FirstMatch(dir, 4096, searcher), 0);
  close(dir);
}

// One scanner, reused over files of varied sizes and chunk sizes from 1 byte
// up, gives the first match of a whole-text search every time.
TEST(FileScanner, EqualsAWholeTextSearchForAnyChunkSize) {
  std::mt19937 rnd(7);
  auto pick = [&](size_t n) { return static_cast<size_t>(rnd() % n); };
  for (size_t chunk : {1, 2, 3, 5, 8, 13, 64, 1 << 20}) {
    FileScanner scanner(chunk);
    for (int round = 0; round < 300; ++round) {
      std::string content(pick(200), ' ');
      for (char& c : content) c = "aAbB"[pick(4)];
      std::string pattern(1 + pick(6), ' ');
      for (char& c : pattern) c = "abAB"[pick(4)];
      const size_t length = pick(2) ? content.size() : pick(content.size() + 1);
      const size_t at = text::LowerCase(content.substr(0, length)).find(text::LowerCase(pattern));
      const int64_t expected = at == std::string::npos ? 0 : static_cast<int64_t>(at) + 1;
      ASSERT_EQ(Scan(scanner, content, length, pattern), expected)
          << "chunk " << chunk << " round " << round;
    }
  }
}

}  // namespace
}  // namespace quoldex::search
