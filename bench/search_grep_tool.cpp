// search_grep_tool PATTERN DIR...: prints, one per line, every file under the
// folders whose content contains PATTERN ignoring case, found by one
// TFileSearch walk per folder with FindString set (all names, single thread).
// The driver that bench/grep_compare.sh times against other search tools.
#include <cstdio>
#include <string>

#include "search/file_search.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s PATTERN DIR...\n", argv[0]);
    return 2;
  }
  quoldex::search::TFileSearch search;
  search.SetFindString(argv[1]);
  long found = 0;
  search.SetOnAddFile([&](const std::string& path, const quoldex::search::FindData& data, bool&) {
    std::fwrite(path.data(), 1, path.size(), stdout);
    std::fwrite(data.name.data(), 1, data.name.size(), stdout);
    std::fputc('\n', stdout);
    ++found;
  });
  for (int i = 2; i < argc; ++i) search.Execute(argv[i]);
  return found > 0 ? 0 : 1;
}
