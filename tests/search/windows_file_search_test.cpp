// The file search's walk on Windows (built for Windows only): what the find
// data say is what a found file carries, and names and texts pass the
// system boundary as UTF-8.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "search/file_search.h"
#include "search/script_text.h"
#include "text/wide_text.h"

namespace quoldex::search {
namespace {

using quoldex::testing::TempDir;

struct Found {
  std::string path;
  FindData data;
};

std::vector<Found> Walk(TFileSearch& search, const std::string& folder) {
  std::vector<Found> found;
  search.SetOnAddFile([&](const std::string& path, const FindData& data, bool&) {
    found.push_back({path, data});
  });
  EXPECT_TRUE(search.Execute(folder));
  return found;
}

void SetAttributes(const std::string& path, DWORD attributes) {
  ASSERT_TRUE(SetFileAttributesW(text::Utf8ToWide(path).c_str(), attributes)) << path;
}

TEST(WindowsFileSearchTest, FoundFilesCarryTheSystemsAttributesSizesAndTimes) {
  TempDir dir;
  CreateDirectoryW(text::Utf8ToWide(dir.Path("Engine")).c_str(), nullptr);
  CreateDirectoryW(text::Utf8ToWide(dir.Path("Engine\\Classes")).c_str(), nullptr);
  const std::string actor = dir.Write("Engine\\Classes\\Actor.uc", "class Actor;");
  const std::string hidden = dir.Write("Engine\\Classes\\Hidden.uc", "class Hidden;");
  SetAttributes(hidden, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  SetAttributes(actor, FILE_ATTRIBUTE_ARCHIVE);
  // 2001-02-03 04:05:06 UTC as a FILETIME.
  const HANDLE file = CreateFileW(text::Utf8ToWide(actor).c_str(), FILE_WRITE_ATTRIBUTES, 0,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const uint64_t ticks = 126257211060000000ull;
  const FILETIME when{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &when));
  CloseHandle(file);

  TFileSearch search;
  search.SetFileMask("*.uc");
  std::vector<Found> found = Walk(search, dir.path());
  ASSERT_EQ(found.size(), 2u);
  if (found[0].data.name != "Actor.uc") std::swap(found[0], found[1]);
  EXPECT_EQ(found[0].path, dir.Path("Engine\\Classes\\"));
  EXPECT_EQ(found[0].data.attributes, kFaArchive);
  EXPECT_EQ(found[0].data.size, 12u);
  EXPECT_EQ(found[0].data.last_write_time, ticks);
  EXPECT_EQ(found[1].data.attributes & (kFaHidden | kFaReadOnly), kFaHidden | kFaReadOnly);

  // The attribute filter sees the same bits: hidden files left out.
  search.SetAttributes(kFaAll & ~kFaHidden);
  found = Walk(search, dir.path() + "Engine");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].data.name, "Actor.uc");
  SetAttributes(hidden, FILE_ATTRIBUTE_NORMAL);  // so the folder can go
}

TEST(WindowsFileSearchTest, NamesAndTextBeyondTheCodePageAreFound) {
  TempDir dir;
  CreateDirectoryW(text::Utf8ToWide(dir.Path("Über")).c_str(), nullptr);
  const std::string script = dir.Write("Über\\Grüße.uc", "// Grüße\nclass Gruesse;");
  TFileSearch search;
  search.SetFileMask("*.UC");
  search.SetFindString("GRüßE");
  std::vector<std::string> scanned;
  search.SetOnScanFile([&](const std::string& name, bool&) { scanned.push_back(name); });
  const std::vector<Found> found = Walk(search, dir.path());
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].path + found[0].data.name, script);
  EXPECT_EQ(scanned, std::vector<std::string>{script});
  EXPECT_EQ(search.PosInFile(script, "CLASS"), 12);  // bytes of UTF-8 text, 1-based

  ScriptText text;
  EXPECT_EQ(text.Open(script), ScriptText::OpenResult::kOpened);
  EXPECT_EQ(text.Description().size, 25u);
  EXPECT_EQ(text.Open(dir.Path("Über")), ScriptText::OpenResult::kNotRegularFile);
  EXPECT_EQ(text.Open(dir.Path("none.uc")), ScriptText::OpenResult::kCannotOpen);
}

}  // namespace
}  // namespace quoldex::search
