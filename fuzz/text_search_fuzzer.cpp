// The text search against the plainest search there is. The first input
// byte is the pattern's length (cut to what the input holds), the second
// picks the chunk size (8 to 71 bytes) of a file search; then come the pattern and the text.
// TTISearch must report exactly the leftmost non-overlapping matches a
// byte-by-byte comparison through the same lower-case table finds, with
// WindowEnd on each match's last byte; and reading the text from a file in
// small chunks must find the first of them.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "search/file_scanner.h"
#include "search/script_text.h"
#include "search/ti_search.h"
#include "text/western.h"

namespace {

using namespace quoldex;

// 1-based starts of the leftmost non-overlapping matches, ignoring case.
std::vector<int64_t> NaiveMatches(std::string_view pattern, std::string_view text) {
  std::vector<int64_t> found;
  if (pattern.empty()) return found;
  auto same = [](char a, char b) {
    return text::ToLower(static_cast<uint8_t>(a)) == text::ToLower(static_cast<uint8_t>(b));
  };
  for (size_t at = 0; at + pattern.size() <= text.size();) {
    size_t i = 0;
    while (i < pattern.size() && same(pattern[i], text[at + i])) ++i;
    if (i == pattern.size()) {
      found.push_back(static_cast<int64_t>(at) + 1);
      at += pattern.size();
    } else {
      ++at;
    }
  }
  return found;
}

void Fail(const char* what, int64_t expected, int64_t got) {
  std::fprintf(stderr, "%s: expected %lld, got %lld\n", what, static_cast<long long>(expected),
               static_cast<long long>(got));
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 2) return 0;
  const size_t chunk = 8 + bytes[1] % 64;
  std::string_view rest(reinterpret_cast<const char*>(bytes) + 2, size - 2);
  const size_t pattern_length = std::min<size_t>(bytes[0], rest.size());
  const std::string_view pattern = rest.substr(0, pattern_length);
  const std::string_view text = rest.substr(pattern_length);

  const std::vector<int64_t> expected = NaiveMatches(pattern, text);
  search::TTISearch searcher;
  searcher.SetPattern(pattern);
  int64_t got = searcher.Find(text);
  for (size_t i = 0;; ++i) {
    const int64_t want = i < expected.size() ? expected[i] : 0;
    if (got != want) Fail("match", want, got);
    if (got == 0) break;
    if (searcher.FoundPos() != got) Fail("FoundPos", got, searcher.FoundPos());
    if (searcher.WindowEnd() != got + searcher.PatternLength() - 1)
      Fail("WindowEnd", got + searcher.PatternLength() - 1, searcher.WindowEnd());
    if (searcher.MatchCount() != static_cast<int64_t>(i) + 1)
      Fail("MatchCount", static_cast<int64_t>(i) + 1, searcher.MatchCount());
    got = searcher.FindNext();
  }
  if (searcher.FindNext() != 0) Fail("after the end", 0, -1);

  // The same text from a file. A first byte that could open a byte-order
  // mark would make the file's text differ from its bytes; a blank goes
  // first then, and the expected position moves with it.
  std::string file_text(text);
  if (!text.empty() &&
      (static_cast<uint8_t>(text[0]) == 0xEF || static_cast<uint8_t>(text[0]) >= 0xFE)) {
    file_text.insert(0, 1, ' ');
  }
  const std::vector<int64_t> in_file = NaiveMatches(pattern, file_text);
  const int64_t first = in_file.empty() ? 0 : in_file[0];
  const std::string path = fuzz::ScratchDir() + "text.uc";
  fuzz::WriteWholeFile(path, file_text);
  search::ScriptText script;
  if (script.Open(path) != search::ScriptText::OpenResult::kOpened) Fail("open", 1, 0);
  // One scanner per chunk size, kept from input to input as a search keeps
  // its buffer from file to file.
  static std::vector<search::FileScanner> scanners = [] {
    std::vector<search::FileScanner> made;
    for (size_t c = 8; c < 8 + 64; ++c) made.emplace_back(c);
    return made;
  }();
  const int64_t in_chunks = scanners[chunk - 8].FirstMatch(script, searcher);
  if (in_chunks != first) Fail("file search", first, in_chunks);
  return 0;
}
