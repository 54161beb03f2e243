#include "search/file_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "temp_tree.h"

namespace quoldex::search {
namespace {

using testing::MakeDir;
using testing::SetMtime;
using testing::TempDir;
using testing::WriteFile;

// Records every event of a search as "chdir <path>", "scan <file>" or
// "add <path><name>", in order.
struct Recorder {
  explicit Recorder(TFileSearch& fs) {
    fs.SetOnChDir([this](const std::string& name, bool&) { events.push_back("chdir " + name); });
    fs.SetOnScanFile([this](const std::string& name, bool&) { events.push_back("scan " + name); });
    fs.SetOnAddFile([this](const std::string& path, const FindData& data, bool&) {
      events.push_back("add " + path + data.name);
      found.push_back(data);
    });
  }
  std::vector<std::string> Adds() const {
    std::vector<std::string> adds;
    for (const std::string& e : events)
      if (e.rfind("add ", 0) == 0) adds.push_back(e.substr(4));
    return adds;
  }
  std::vector<std::string> events;
  std::vector<FindData> found;
};

// The entry names of a folder in the order the file system lists them.
std::vector<std::string> ListInOrder(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(d);
  return names;
}

bool IsDir(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The events expected from walking `dir` with all three events assigned and
// no content test: the folder, its files in listing order, then each
// subfolder in listing order, walked whole.
void ExpectedWalk(const std::string& dir, std::vector<std::string>& out) {
  out.push_back("chdir " + dir + "/");
  std::vector<std::string> subdirs;
  for (const std::string& name : ListInOrder(dir)) {
    if (IsDir(dir + "/" + name))
      subdirs.push_back(dir + "/" + name);
    else
      out.push_back("add " + dir + "/" + name);
  }
  for (const std::string& sub : subdirs) ExpectedWalk(sub, out);
}

// root: three files, sub1 (c.uc, deep/d.uc), sub2 (e.uc).
void MakeTree(const TempDir& t) {
  for (const char* f : {"a.uc", "b.uc", "z.uc", "sub1/c.uc", "sub1/deep/d.uc", "sub2/e.uc"})
    WriteFile(t.Join(f), f);
}

TEST(FileSearchWalk, ReportsFilesBeforeSubfoldersInListingOrder) {
  TempDir t;
  MakeTree(t);
  TFileSearch fs;
  Recorder r(fs);
  EXPECT_TRUE(fs.Execute(t.path()));
  std::vector<std::string> expected;
  ExpectedWalk(t.path(), expected);
  EXPECT_EQ(r.events, expected);
  EXPECT_EQ(r.Adds().size(), 6u);

  Recorder again(fs);  // one trailing "/" changes nothing
  EXPECT_TRUE(fs.Execute(t.path() + "/"));
  EXPECT_EQ(again.events, expected);
}

TEST(FileSearchWalk, RecurseDirsFalseStaysInTheStartFolder) {
  TempDir t;
  MakeTree(t);
  TFileSearch fs;
  fs.SetRecurseDirs(false);
  Recorder r(fs);
  EXPECT_TRUE(fs.Execute(t.path()));
  EXPECT_EQ(r.events.front(), "chdir " + t.path() + "/");
  EXPECT_EQ(r.events.size(), 4u);
  for (const std::string& add : r.Adds()) EXPECT_EQ(add.find("sub"), std::string::npos) << add;
}

TEST(FileSearchWalk, AMissingStartFolderRaisesNoEvent) {
  TempDir t;
  WriteFile(t.Join("file.uc"), "x");
  TFileSearch fs;
  Recorder r(fs);
  EXPECT_FALSE(fs.Execute(t.Join("missing")));
  EXPECT_FALSE(fs.Execute(t.Join("file.uc")));
  EXPECT_FALSE(fs.Execute(""));
  EXPECT_TRUE(r.events.empty());
}

TEST(FileSearchWalk, TheRootFolderKeepsItsSeparator) {
  TFileSearch fs;
  fs.SetRecurseDirs(false);
  fs.SetFileMask("no-such-name-\x01");
  Recorder r(fs);
  EXPECT_TRUE(fs.Execute("/"));
  EXPECT_EQ(r.events, std::vector<std::string>{"chdir /"});
}

TEST(FileSearchCancel, InOnChDirEndsTheWalkAtThatFolder) {
  TempDir t;
  MakeTree(t);
  TFileSearch fs;
  Recorder r(fs);
  fs.SetOnChDir([&](const std::string& name, bool& cancel) {
    r.events.push_back("chdir " + name);
    cancel = true;
  });
  EXPECT_FALSE(fs.Execute(t.path()));
  EXPECT_EQ(r.events, std::vector<std::string>{"chdir " + t.path() + "/"});

  // Cancelling in a subfolder ends every enclosing level too.
  Recorder r2(fs);
  fs.SetOnChDir([&](const std::string& name, bool& cancel) {
    r2.events.push_back("chdir " + name);
    cancel = name.find("/sub") != std::string::npos;
  });
  EXPECT_FALSE(fs.Execute(t.path()));
  EXPECT_EQ(r2.Adds().size(), 3u);  // the start folder's files only
  EXPECT_NE(r2.events.back().find("/sub"), std::string::npos);
}

TEST(FileSearchCancel, InOnAddFileEndsTheWalkAfterThatFile) {
  TempDir t;
  MakeTree(t);
  TFileSearch fs;
  int adds = 0;
  fs.SetOnAddFile([&](const std::string&, const FindData&, bool& cancel) { cancel = ++adds == 1; });
  EXPECT_FALSE(fs.Execute(t.path()));
  EXPECT_EQ(adds, 1);

  // From deep inside, the cancel ends every level at once: the files seen are
  // those of a full walk up to d.uc.
  std::vector<std::string> walk;
  ExpectedWalk(t.path(), walk);
  std::vector<std::string> expected;
  for (const std::string& e : walk) {
    if (e.rfind("add ", 0) == 0) expected.push_back(e.substr(4));
    if (e.ends_with("/d.uc")) break;
  }
  std::vector<std::string> seen;
  fs.SetOnAddFile([&](const std::string& path, const FindData& data, bool& cancel) {
    seen.push_back(path + data.name);
    cancel = data.name == "d.uc";
  });
  EXPECT_FALSE(fs.Execute(t.path()));
  EXPECT_EQ(seen, expected);
}

TEST(FileSearchCancel, InOnScanFileStillRunsThatFilesContentTest) {
  TempDir t;
  WriteFile(t.Join("match.txt"), "the Needle is here");
  WriteFile(t.Join("other.txt"), "nothing");
  TFileSearch fs;
  fs.SetFindString("needle");
  std::vector<std::string> scanned;
  std::vector<bool> cancel_seen_by_add;
  bool keep_going_in_add = false;
  std::string cancel_on;
  fs.SetOnScanFile([&](const std::string& name, bool& cancel) {
    scanned.push_back(name);
    cancel = name.ends_with(cancel_on);
  });
  fs.SetOnAddFile([&](const std::string&, const FindData&, bool& cancel) {
    cancel_seen_by_add.push_back(cancel);
    if (keep_going_in_add) cancel = false;
  });

  // Cancel before a matching file: it is still added (seeing cancel set), and
  // the walk ends after it.
  cancel_on = "match.txt";
  EXPECT_FALSE(fs.Execute(t.path()));
  EXPECT_EQ(scanned.back(), t.Join("match.txt"));
  EXPECT_EQ(cancel_seen_by_add, std::vector<bool>{true});

  // The add handler may take the cancel back: the walk then ends normally.
  scanned.clear();
  cancel_seen_by_add.clear();
  keep_going_in_add = true;
  EXPECT_TRUE(fs.Execute(t.path()));
  EXPECT_EQ(scanned.size(), 2u);
  EXPECT_EQ(cancel_seen_by_add, std::vector<bool>{true});

  // Cancel before a file that does not match: the walk ends after it.
  scanned.clear();
  cancel_seen_by_add.clear();
  cancel_on = "other.txt";
  EXPECT_FALSE(fs.Execute(t.path()));
  EXPECT_EQ(scanned.back(), t.Join("other.txt"));
  EXPECT_EQ(cancel_seen_by_add.size(), scanned.size() == 2 ? 1u : 0u);
}

TEST(FileSearchTests, ContentTestReadsOnlyFilesWithMatchingNames) {
  TempDir t;
  WriteFile(t.Join("Actor.uc"), "class Actor extends Object;");
  WriteFile(t.Join("Pawn.uc"), "class Pawn extends ACTOR;");
  WriteFile(t.Join("notes.txt"), "actor");
  WriteFile(t.Join("sub/Empty.uc"), "");
  TFileSearch fs;
  fs.SetFileMask("*.uc");
  fs.SetFindString("extends actor");
  Recorder r(fs);
  EXPECT_TRUE(fs.Execute(t.path()));
  EXPECT_EQ(r.Adds(), std::vector<std::string>{t.Join("Pawn.uc")});
  int scans = 0;
  for (const std::string& e : r.events) scans += e.rfind("scan ", 0) == 0;
  EXPECT_EQ(scans, 3);  // the three *.uc files, not notes.txt
}

TEST(FileSearchTests, SizeBoundsAreInclusiveAndSwapsAreKept) {
  TempDir t;
  WriteFile(t.Join("s0"), "");
  WriteFile(t.Join("s5"), "12345");
  WriteFile(t.Join("s9"), "123456789");
  TFileSearch fs;
  Recorder r(fs);
  auto found = [&]() {
    r.events.clear();
    fs.Execute(t.path());
    std::vector<std::string> names;
    for (const std::string& a : r.Adds()) names.push_back(a.substr(t.path().size() + 1));
    std::sort(names.begin(), names.end());
    return names;
  };
  fs.SetMinFileSize(5);
  fs.SetMaxFileSize(9);
  EXPECT_EQ(found(), (std::vector<std::string>{"s5", "s9"}));
  fs.SetMinFileSize(9);
  fs.SetMaxFileSize(5);
  EXPECT_EQ(found(), (std::vector<std::string>{"s5", "s9"}));
  EXPECT_EQ(fs.MinFileSize(), 5);
  EXPECT_EQ(fs.MaxFileSize(), 9);
  fs.SetMinFileSize(-100);
  EXPECT_EQ(found(), (std::vector<std::string>{"s0", "s5", "s9"}));
  fs.SetMaxFileSize(-1);
  EXPECT_EQ(found(), std::vector<std::string>{});
}

TEST(FileSearchTests, TimeWindowBoundsAreInclusiveAndSwapsAreKept) {
  TempDir t;
  const std::string file = t.Join("f.uc");
  WriteFile(file, "x");
  const time_t t0 = 1118138400;  // 2005-06-07 10:00:00 UTC, an even second
  const text::TDateTime local = FileTimeToDateTime(UnixTimeToFileTime({t0, 0}));
  TFileSearch fs;
  Recorder r(fs);
  auto accepted = [&](time_t s, long ns) {
    SetMtime(file, s, ns);
    r.events.clear();
    fs.Execute(t.path());
    return r.Adds().size() == 1;
  };
  fs.SetFirstTime(local);
  fs.SetLastTime(local);
  EXPECT_TRUE(accepted(t0, 0));
  EXPECT_FALSE(accepted(t0, 100));            // one file-time tick late
  EXPECT_FALSE(accepted(t0 - 1, 999999999));  // one tick early
  EXPECT_TRUE(accepted(t0, 99));              // below one tick counts as the same time

  fs.SetFirstTime(local + 1.0);  // later than LastTime: swapped by Execute
  EXPECT_TRUE(accepted(t0 + 3600, 0));
  EXPECT_DOUBLE_EQ(fs.FirstTime(), local);
  EXPECT_DOUBLE_EQ(fs.LastTime(), local + 1.0);
  EXPECT_FALSE(accepted(t0 + 2 * 86400, 0));
}

TEST(FileSearchTests, AttributesFilterFilesButNotFolders) {
  TempDir t;
  WriteFile(t.Join("plain"), "x");
  WriteFile(t.Join(".hidden"), "x");
  WriteFile(t.Join("locked"), "x");
  chmod(t.Join("locked").c_str(), 0444);
  WriteFile(t.Join(".dir/inside"), "x");
  TFileSearch fs;
  Recorder r(fs);
  EXPECT_TRUE(fs.Execute(t.path()));
  ASSERT_EQ(r.found.size(), 4u);
  for (const FindData& d : r.found) {
    const uint32_t expected =
        kFaArchive | (d.name == ".hidden" ? kFaHidden : 0) | (d.name == "locked" ? kFaReadOnly : 0);
    EXPECT_EQ(d.attributes, expected) << d.name;
  }

  fs.SetAttributes(kFaAll & ~kFaHidden);
  EXPECT_EQ(fs.ExcludedAttributes(), kFaHidden);
  EXPECT_EQ(fs.Attributes(), 61);
  r.events.clear();
  EXPECT_TRUE(fs.Execute(t.path()));
  std::vector<std::string> adds = r.Adds();
  std::sort(adds.begin(), adds.end());
  EXPECT_EQ(adds,
            (std::vector<std::string>{t.Join(".dir/inside"), t.Join("locked"), t.Join("plain")}));

  fs.SetAttributes(kFaAll & ~kFaReadOnly);
  r.events.clear();
  fs.Execute(t.path());
  EXPECT_EQ(r.Adds().size(), 3u);

  fs.SetAttributes(kFaAll & ~kFaArchive);  // every regular file carries archive
  r.events.clear();
  fs.Execute(t.path());
  EXPECT_TRUE(r.Adds().empty());

  fs.SetAttributes(0x7FFF);  // only the six low bits are kept
  EXPECT_EQ(fs.Attributes(), 63);
  EXPECT_EQ(fs.ExcludedAttributes(), 0u);
}

TEST(FileSearchLinks, FolderLinksAreNotFollowedSoALoopEnds) {
  TempDir t;
  WriteFile(t.Join("a/file.uc"), "x");
  WriteFile(t.Join("target.uc"), "0123456789");
  ASSERT_EQ(symlink(t.path().c_str(), t.Join("a/loop").c_str()), 0);
  ASSERT_EQ(symlink("../target.uc", t.Join("a/alias.uc").c_str()), 0);
  ASSERT_EQ(symlink("missing", t.Join("a/dangling.uc").c_str()), 0);
  TFileSearch fs;
  Recorder r(fs);
  EXPECT_TRUE(fs.Execute(t.path()));
  std::vector<std::string> adds = r.Adds();
  std::sort(adds.begin(), adds.end());
  EXPECT_EQ(adds, (std::vector<std::string>{t.Join("a/alias.uc"), t.Join("a/file.uc"),
                                            t.Join("target.uc")}));
  for (const FindData& d : r.found) {
    if (d.name == "alias.uc") {
      EXPECT_EQ(d.size, 10u);  // described by its target
    }
  }

  // The start folder itself may be given through a link.
  ASSERT_EQ(symlink(t.Join("a").c_str(), t.Join("start").c_str()), 0);
  Recorder r2(fs);
  EXPECT_TRUE(fs.Execute(t.Join("start")));
  EXPECT_EQ(r2.Adds().size(), 2u);
}

TEST(FileSearchTests, APipeFailsTheContentTestWithoutBlocking) {
  TempDir t;
  ASSERT_EQ(mkfifo(t.Join("pipe.uc").c_str(), 0644), 0);
  WriteFile(t.Join("real.uc"), "needle");
  TFileSearch fs;
  fs.SetFindString("needle");
  Recorder r(fs);
  EXPECT_TRUE(fs.Execute(t.path()));
  EXPECT_EQ(r.Adds(), std::vector<std::string>{t.Join("real.uc")});
  EXPECT_NE(std::find(r.events.begin(), r.events.end(), "scan " + t.Join("pipe.uc")),
            r.events.end());
}

TEST(FileSearchTests, SizeTestUsesTheLow32BitsOfAHugeFile) {
  TempDir t;
  const std::string huge = t.Join("huge.bin");
  const int fd = open(huge.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  const off_t size = (off_t{1} << 32) + 10;  // sparse: takes no room on disk
  ASSERT_EQ(ftruncate(fd, size), 0);
  close(fd);
  TFileSearch fs;
  fs.SetMaxFileSize(100);
  Recorder r(fs);
  EXPECT_TRUE(fs.Execute(t.path()));
  ASSERT_EQ(r.found.size(), 1u);
  EXPECT_EQ(r.found[0].size, static_cast<uint64_t>(size));
  fs.SetMaxFileSize(9);
  r.found.clear();
  EXPECT_TRUE(fs.Execute(t.path()));
  EXPECT_TRUE(r.found.empty());
}

TEST(FileSearchPosInFile, FindsTheFirstPositionAndRestoresFindString) {
  TempDir t;
  WriteFile(t.Join("a.uc"), "class A extends B;");
  WriteFile(t.Join("b.uc"), "class B extends Actor;");
  TFileSearch fs;
  fs.SetFindString("actor");
  EXPECT_EQ(fs.PosInFile(t.Join("a.uc"), "EXTENDS"), 9);
  EXPECT_EQ(fs.PosInFile(t.Join("a.uc"), "zzz"), 0);
  EXPECT_EQ(fs.PosInFile(t.Join("a.uc"), ""), 0);
  EXPECT_EQ(fs.PosInFile("", "class"), 0);
  EXPECT_EQ(fs.PosInFile(t.Join("missing.uc"), "class"), 0);
  EXPECT_EQ(fs.PosInFile(t.path(), "class"), 0);  // a folder is no file
  EXPECT_EQ(fs.FindString(), "actor");
  Recorder r(fs);
  EXPECT_TRUE(fs.Execute(t.path()));
  EXPECT_EQ(r.Adds(), std::vector<std::string>{t.Join("b.uc")});

  // A PosInFile run by a handler in the middle of a walk does not change
  // what the walk looks for.
  std::vector<int64_t> positions;
  fs.SetOnScanFile([&](const std::string& name, bool&) {
    positions.push_back(fs.PosInFile(name, "class"));
  });
  r.events.clear();
  EXPECT_TRUE(fs.Execute(t.path()));
  EXPECT_EQ(positions, (std::vector<int64_t>{1, 1}));
  EXPECT_EQ(r.Adds(), std::vector<std::string>{t.Join("b.uc")});
}

}  // namespace
}  // namespace quoldex::search
