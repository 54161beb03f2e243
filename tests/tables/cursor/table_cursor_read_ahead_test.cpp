// Walks in index order read the slots that the entries ahead name in
// batches, under one read lock each. The rows a walk yields are those of
// the index whatever the handle, and other instances' changes show where
// the locking rules say: at the next read from disk for a lazy handle, at
// every step for a strict one, and never as a record image that outlived
// the change once the handle has found it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tables/cursor/multiprocess_test_util.h"
#include "tables/cursor/table_cursor_test_util.h"
#include "tables/storage/table_locks.h"

namespace quoldex::tables::test {
namespace {

using ::testing::ElementsAreArray;

std::string Upper(std::string s) {
  for (char& ch : s) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return s;
}

struct Row {
  int32_t id;
  std::string parent, package;
};

// A table of kRows classes inserted in a shuffled order, so that walking it
// by name or by parent meets its slots scattered over the file, with every
// ninth row deleted again.
class ReadAheadTest : public TableTest {
 protected:
  static constexpr int kRows = 1200;

  void SetUp() override {
    CreateObjects();
    TableCursor fill(ExclusiveSettings());
    fill.Open();
    std::vector<int> order(kRows);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(11));
    for (int i : order) {
      const std::string parent = "p" + std::to_string(i % 13);
      const std::string package = "pkg" + std::to_string(i % 7);
      const int32_t id = AddObject(fill, Name(i), parent, package);
      rows_[Name(i)] = {id, parent, package};
    }
    fill.SetIndex(kByName);
    const int field[] = {kObjectName};
    for (int i = 0; i < kRows; i += 9) {
      ASSERT_TRUE(fill.Locate(field, Values({Name(i).c_str()}), true, false));
      fill.Delete();
      rows_.erase(Name(i));
    }
  }

  // Names of three spellings, so that the case-insensitive keys matter.
  static std::string Name(int i) {
    static const char* const kStems[] = {"alpha", "Beta", "GAMMA"};
    return kStems[i % 3] + std::to_string(i);
  }

  // The names in the order of `index`, as the rows stand in rows_.
  std::vector<std::string> Expected(int index) const {
    std::vector<std::string> names;
    for (const auto& [name, row] : rows_) names.push_back(name);
    auto key = [&](const std::string& name) {
      const Row& row = rows_.at(name);
      if (index == kByName) return std::vector<std::string>{Upper(name)};
      if (index == kByInheritance) return std::vector<std::string>{Upper(row.parent), Upper(name)};
      return std::vector<std::string>{std::to_string(1000000 + row.id)};
    };
    std::sort(names.begin(), names.end(),
              [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
    return names;
  }

  // The name at position `at` of the ByName order of rows_.
  std::string ByNameAt(size_t at) const { return Expected(kByName).at(at); }

  // Runs `work` in another process with a handle of its own and waits.
  void InAnotherProcess(const std::function<void(TableCursor&)>& work) {
    const TableSettings settings = Settings();
    const pid_t child = ForkChild([&] {
      TableCursor other(settings);
      other.Open();
      work(other);
    });
    bool timed_out = false;
    const std::vector<int> status = WaitForChildren({child}, std::chrono::seconds(60), &timed_out);
    ASSERT_FALSE(timed_out);
    ASSERT_EQ(status[0], 0) << DescribeStatus(status[0]);
  }

  // What the other process does in the change tests: the package of
  // `edited` changed, `deleted` gone, `added` new, each posted.
  static void Change(TableCursor& c, const std::string& edited, const std::string& deleted,
                     const std::string& added) {
    c.SetIndex(kByName);
    const int field[] = {kObjectName};
    if (!c.Locate(field, Values({edited.c_str()}), true, false)) throw std::runtime_error(edited);
    c.Edit();
    c.SetField(kPackage, FieldValue::String("edited"));
    c.Post();
    if (!c.Locate(field, Values({deleted.c_str()}), true, false)) throw std::runtime_error(deleted);
    c.Delete();
    AddObject(c, added, "p0", "added");
  }

  void ApplyChange(const std::string& edited, const std::string& deleted,
                   const std::string& added) {
    rows_[edited].package = "edited";
    rows_.erase(deleted);
    rows_[added] = {0, "p0", "added"};
  }

  // Name and package of each row from where `c` stands to the end, going
  // in `direction` (+1: Next, -1: Prior).
  static std::vector<std::string> RestWithPackages(TableCursor& c, int direction = +1) {
    std::vector<std::string> out;
    for (bool on = c.HasRecord(); on; on = direction > 0 ? c.Next() : c.Prior()) {
      out.push_back(NameOf(c) + " " + c.GetField(kPackage).text);
    }
    return out;
  }
  std::vector<std::string> ExpectedWithPackages(size_t from) const {
    std::vector<std::string> out;
    const std::vector<std::string> names = Expected(kByName);
    for (size_t i = from; i < names.size(); ++i)
      out.push_back(names[i] + " " + rows_.at(names[i]).package);
    return out;
  }

  // Walks by name in `direction` (+1 from the first row on, -1 from the
  // last back) with a filter (package pkg3, or one the change gives) with a
  // handle of `settings`; after two rows another process changes rows from
  // `at` rows into the walk on: one row comes to pass the filter, one that
  // passed is deleted, one is added. Checks the rest of the walk against
  // the changed rows.
  void FilteredWalkMeetsAChangeAt(const TableSettings& settings, size_t at, int direction) {
    TableCursor c(settings);
    c.Open();
    c.SetIndex(kByName);
    auto passes = [](const std::string& package) {
      return package == "pkg3" || package == "edited" || package == "added";
    };
    c.SetFilter(
        [&c, passes](const uint8_t* record) { return passes(c.GetField(kPackage, record).text); });
    ASSERT_TRUE(direction > 0 ? c.First() : c.Last());
    ASSERT_TRUE(direction > 0 ? c.Next() : c.Prior());
    const std::string standing = NameOf(c);
    auto walk_at = [&](size_t i) { return ByNameAt(direction > 0 ? i : rows_.size() - 1 - i); };
    std::string edited = walk_at(at), deleted = walk_at(at + 20);
    for (size_t i = at; rows_.at(edited).package == "pkg3"; ++i) edited = walk_at(i);
    for (size_t i = at + 20; rows_.at(deleted).package != "pkg3"; ++i) deleted = walk_at(i);
    const std::string added = walk_at(at + 60) + "x";
    InAnotherProcess([&](TableCursor& other) { Change(other, edited, deleted, added); });
    ApplyChange(edited, deleted, added);

    std::vector<std::string> names = Expected(kByName);
    if (direction < 0) std::reverse(names.begin(), names.end());
    std::vector<std::string> expected;
    auto from = std::find(names.begin(), names.end(), standing);
    ASSERT_NE(from, names.end());
    for (auto name = from + 1; name != names.end(); ++name) {
      if (passes(rows_.at(*name).package))
        expected.push_back(*name + " " + rows_.at(*name).package);
    }
    ASSERT_TRUE(direction > 0 ? c.Next() : c.Prior());
    EXPECT_THAT(RestWithPackages(c, direction), ElementsAreArray(expected));
  }

  std::map<std::string, Row> rows_;
};

TEST_F(ReadAheadTest, EveryIndexWalksItsRowsWhateverTheHandle) {
  TableSettings strict = Settings();
  strict.strict_change_detection = true;
  for (const TableSettings& settings : {Settings(), strict, ExclusiveSettings()}) {
    SCOPED_TRACE(settings.exclusive                 ? "exclusive"
                 : settings.strict_change_detection ? "strict"
                                                    : "lazy");
    TableCursor c(settings);
    c.Open();
    for (int index : {0, kByName, kByInheritance}) {
      SCOPED_TRACE(index);
      c.SetIndex(index);
      std::vector<std::string> expected = Expected(index);
      // Twice: the second walk meets what the first left in the caches.
      EXPECT_THAT(Names(c), ElementsAreArray(expected));
      EXPECT_THAT(Names(c), ElementsAreArray(expected));
      std::vector<std::string> backward;
      for (bool on = c.Last(); on; on = c.Prior()) backward.push_back(NameOf(c));
      std::reverse(expected.begin(), expected.end());
      EXPECT_THAT(backward, ElementsAreArray(expected));
    }
    // A range ends the batches where it ends; a walk from a key found
    // goes on from there.
    c.SetIndex(kByInheritance);
    c.SetRange(Values({"P5"}), Values({"p5"}));
    std::vector<std::string> in_range;
    for (const std::string& name : Expected(kByInheritance)) {
      if (rows_.at(name).parent == "p5") in_range.push_back(name);
    }
    EXPECT_THAT(Names(c), ElementsAreArray(in_range));
    c.CancelRange();
    c.SetIndex(kByName);
    const std::vector<std::string> by_name = Expected(kByName);
    ASSERT_TRUE(c.FindKey(Values({by_name[500].c_str()})));
    std::vector<std::string> rest;
    for (bool on = true; on; on = c.Next()) rest.push_back(NameOf(c));
    EXPECT_THAT(rest, ElementsAreArray(by_name.begin() + 500, by_name.end()));
  }
}

// A strict handle checks the counters at every step, so a change to a row
// whose slot it has already read ahead shows at once.
TEST_F(ReadAheadTest, AStrictWalkSeesAChangeInsideItsBatchAtTheNextStep) {
  TableSettings strict = Settings();
  strict.strict_change_detection = true;
  TableCursor c(strict);
  c.Open();
  c.SetIndex(kByName);
  ASSERT_TRUE(c.First());
  ASSERT_TRUE(c.Next());
  const std::string edited = ByNameAt(10), deleted = ByNameAt(20), added = ByNameAt(30) + "x";
  InAnotherProcess([&](TableCursor& other) { Change(other, edited, deleted, added); });
  ApplyChange(edited, deleted, added);
  ASSERT_TRUE(c.Next());
  EXPECT_THAT(RestWithPackages(c), ElementsAreArray(ExpectedWithPackages(2)));
}

// A lazy handle finds another instance's change at its next read from
// disk: rows past the batch it holds show the change when the walk gets
// there. Once found, no image from before the change is handed out again,
// also for rows it had read ahead before the change. The handle has walked
// the table once, so it holds every index page: the batch after the first
// must still look at the counters before it reads the slots (the deleted
// row's slot holds the added row by then).
TEST_F(ReadAheadTest, ALazyWalkFindsChangesAtItsNextReadAndKeepsNoStaleRow) {
  TableCursor c(Settings());
  c.Open();
  c.SetIndex(kByName);
  ASSERT_EQ(Names(c).size(), rows_.size());
  ASSERT_TRUE(c.First());
  const std::string early = ByNameAt(5);  // read ahead by First
  const std::string edited = ByNameAt(600), deleted = ByNameAt(700), added = ByNameAt(800) + "x";
  InAnotherProcess([&](TableCursor& other) {
    Change(other, edited, deleted, added);
    other.SetIndex(kByName);
    const int field[] = {kObjectName};
    if (!other.Locate(field, Values({early.c_str()}), true, false)) throw std::runtime_error(early);
    other.Edit();
    other.SetField(kPackage, FieldValue::String("early"));
    other.Post();
  });
  const std::string early_before = early + " " + rows_[early].package;
  ApplyChange(edited, deleted, added);
  rows_[early].package = "early";

  const std::vector<std::string> seen = RestWithPackages(c);
  const std::vector<std::string> expected = ExpectedWithPackages(0);
  ASSERT_EQ(seen.size(), expected.size());
  // The row read ahead before the change may show either state; the rows
  // from the 300th on, well past the batch the walk held, show the new one.
  EXPECT_THAT(seen[5], ::testing::AnyOf(early_before, early + " early"));
  EXPECT_THAT(std::vector<std::string>(seen.begin() + 300, seen.end()),
              ElementsAreArray(expected.begin() + 300, expected.end()));
  std::vector<std::string> backward;
  for (bool on = c.Last(); on; on = c.Prior()) {
    backward.push_back(NameOf(c) + " " + c.GetField(kPackage).text);
  }
  EXPECT_THAT(backward, ElementsAreArray(expected.rbegin(), expected.rend()));
  ASSERT_TRUE(c.First());
  EXPECT_THAT(RestWithPackages(c), ElementsAreArray(expected));
}

// A filtered walk reads its slots in batches too and tests the copies, so
// another instance's change shows where it does in a plain walk: at the
// next step for a strict handle, even inside the batch it holds (the
// change at position 40 lies within the first batch of 128); at the next
// read from disk for a lazy one, past its batch.
// Backward walks read their batches behind them, filtered or not, under
// the same rules.
TEST_F(ReadAheadTest, AFilteredStrictWalkSeesAChangeInsideItsBatchAtTheNextStep) {
  TableSettings strict = Settings();
  strict.strict_change_detection = true;
  for (int direction : {+1, -1}) {
    SCOPED_TRACE(direction);
    FilteredWalkMeetsAChangeAt(strict, 40, direction);
  }
}

TEST_F(ReadAheadTest, AFilteredLazyWalkSeesAChangePastItsBatch) {
  for (int direction : {+1, -1}) {
    SCOPED_TRACE(direction);
    FilteredWalkMeetsAChangeAt(Settings(), direction > 0 ? 600 : 500, direction);
  }
}

// The steps of a walk over slots it has read ahead take no lock: they go on
// while another handle holds the write lock, which excludes every reader.
// So for a walk backward, and for filtered walks, which test copies of the
// slots read ahead.
TEST_F(ReadAheadTest, StepsOverSlotsReadAheadGoOnWhileAWriterHoldsTheLock) {
  // Fifty steps stay inside the first batch: six rows of seven pass the
  // filter.
  constexpr int kSteps = 50;
  for (int direction : {+1, -1}) {
    for (bool filtered : {false, true}) {
      SCOPED_TRACE(std::to_string(direction) + (filtered ? " filtered" : ""));
      TableCursor c(Settings());
      c.Open();
      c.SetIndex(kByName);
      if (filtered) {
        c.SetFilter(
            [&c](const uint8_t* record) { return c.GetField(kPackage, record).text != "pkg3"; });
      }
      std::vector<std::string> expected;
      for (const std::string& name : Expected(kByName)) {
        if (!filtered || rows_.at(name).package != "pkg3") expected.push_back(name);
      }
      if (direction < 0) std::reverse(expected.begin(), expected.end());
      auto step = [&] { return direction > 0 ? c.Next() : c.Prior(); };
      ASSERT_TRUE(direction > 0 ? c.First() : c.Last());
      TFileHandler writer(IndexPath(), DataPath());
      writer.Open(false, false, false);
      ASSERT_TRUE(writer.Lock(TableLocks::kIndexRegion, TableLocks::kIndexRegionLength));
      std::vector<std::string> walked = {NameOf(c)};
      auto walk = std::async(std::launch::async, [&] {
        for (int i = 0; i < kSteps && step(); ++i) walked.push_back(NameOf(c));
      });
      const bool done_while_locked =
          walk.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
      writer.Unlock(TableLocks::kIndexRegion, TableLocks::kIndexRegionLength);
      walk.get();
      EXPECT_TRUE(done_while_locked);
      EXPECT_THAT(walked, ElementsAreArray(expected.begin(), expected.begin() + kSteps + 1));
      std::vector<std::string> rest;
      while (step()) rest.push_back(NameOf(c));
      EXPECT_THAT(rest, ElementsAreArray(expected.begin() + kSteps + 1, expected.end()));
    }
  }
}

// A filter that passes few rows tests the slots the cache does not hold
// where they lie in the file, never copied: always under the read lock, so
// that no writer can be halfway through one. Every tenth row passes, too
// few for the walk to read ahead (none of the first or last five, which
// would look like a run of passes).
TEST_F(ReadAheadTest, ASparseFilterTestsSlotsOnlyUnderTheReadLock) {
  const std::vector<std::string> names = Expected(kByName);
  std::vector<std::string> passing;  // in key order
  for (size_t i = 5; i + 5 < names.size(); i += 10) passing.push_back(names[i]);
  const std::set<std::string> pass(passing.begin(), passing.end());
  TFileHandler writer(IndexPath(), DataPath());
  writer.Open(false, false, false);
  int tests = 0;
  int unlocked = 0;
  TableCursor c(Settings());
  c.Open();
  c.SetIndex(kByName);
  c.SetFilter([&](const uint8_t* record) {
    ++tests;
    if (writer.Lock(TableLocks::kIndexRegion, TableLocks::kIndexRegionLength)) {
      ++unlocked;
      writer.Unlock(TableLocks::kIndexRegion, TableLocks::kIndexRegionLength);
    }
    return pass.contains(c.GetField(kObjectName, record).text);
  });
  for (int direction : {+1, -1}) {
    SCOPED_TRACE(direction);
    std::vector<std::string> walked;
    for (bool on = direction > 0 ? c.First() : c.Last(); on;
         on = direction > 0 ? c.Next() : c.Prior()) {
      walked.push_back(NameOf(c));
    }
    if (direction < 0) std::reverse(walked.begin(), walked.end());
    EXPECT_THAT(walked, ElementsAreArray(passing));
  }
  EXPECT_GE(tests, static_cast<int>(names.size()));
  EXPECT_EQ(unlocked, 0);
}

// Another process rewrites rows without pause while walks go on: each row a
// walk hands out is whole (its two fields written by one post agree), every
// row comes once, in key order. A slot read while the writer is halfway
// through would show fields from two posts. The walks go forward and
// backward, with a filter that passes whole rows only (most rows: the walk
// reads ahead) or whole rows of one in ten (the filter tests slots where
// they lie), and a filter that met a slot halfway written would leave its
// row out.
TEST_F(ReadAheadTest, WalksDuringAnotherProcessesWritesSeeWholeRowsOnce) {
  const std::vector<std::string> names = Expected(kByName);
  const TableSettings settings = Settings();
  const pid_t writer = ForkChild([&] {
    TableCursor w(settings);
    w.Open();
    w.SetIndex(kByName);
    const int field[] = {kObjectName};
    std::mt19937 rng(5);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (int version = 1; std::chrono::steady_clock::now() < until; ++version) {
      const std::string& name = names[rng() % names.size()];
      if (!w.Locate(field, Values({name.c_str()}), true, false)) throw std::runtime_error(name);
      w.Edit();
      w.SetField(kPackage, FieldValue::String("v" + std::to_string(version)));
      w.SetField(kFilename, FieldValue::String("/v" + std::to_string(version) + "/" + name));
      w.Post();
    }
  });
  auto whole = [](const std::string& name, const std::string& package, const std::string& file) {
    return file == (package.starts_with("v") ? "/" + package + "/" + name
                                             : "/src/" + package + "/" + name + ".uc");
  };
  std::vector<std::string> one_in_ten;  // in key order
  for (size_t i = 0; i < names.size(); i += 10) one_in_ten.push_back(names[i]);
  const std::set<std::string> sparse(one_in_ten.begin(), one_in_ten.end());
  TableCursor c(Settings());
  c.Open();
  c.SetIndex(kByName);
  int walks = 0;
  int changed_rows_seen = 0;
  // At least one walk of each kind, then more while the writer works.
  for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
       walks < 6 || std::chrono::steady_clock::now() < until; ++walks) {
    const int filter = walks / 2 % 3;  // none, whole rows, whole rows of one in ten
    const int direction = walks % 2 == 0 ? +1 : -1;
    SCOPED_TRACE(std::to_string(direction) + " filter " + std::to_string(filter));
    c.SetFilter(nullptr);
    if (filter != 0) {
      c.SetFilter([&c, whole, &sparse, filter](const uint8_t* record) {
        const std::string name = c.GetField(kObjectName, record).text;
        return (filter == 1 || sparse.contains(name)) &&
               whole(name, c.GetField(kPackage, record).text, c.GetField(kFilename, record).text);
      });
    }
    std::vector<std::string> walked;
    for (bool on = direction > 0 ? c.First() : c.Last(); on;
         on = direction > 0 ? c.Next() : c.Prior()) {
      walked.push_back(NameOf(c));
      const std::string package = c.GetField(kPackage).text;
      if (package.starts_with("v")) ++changed_rows_seen;
      ASSERT_TRUE(whole(NameOf(c), package, c.GetField(kFilename).text)) << NameOf(c);
    }
    if (direction < 0) std::reverse(walked.begin(), walked.end());
    if (filter == 2) {
      ASSERT_THAT(walked, ElementsAreArray(one_in_ten));
    } else {
      ASSERT_THAT(walked, ElementsAreArray(names));
    }
  }
  bool timed_out = false;
  const std::vector<int> status = WaitForChildren({writer}, std::chrono::seconds(60), &timed_out);
  ASSERT_FALSE(timed_out);
  ASSERT_EQ(status[0], 0) << DescribeStatus(status[0]);
  EXPECT_GT(changed_rows_seen, 0);
}

// A table without a primary index is walked in physical order. A walk
// backward reads the slots below it in batches as well (forward, a miss
// reads the slots after it), so its steps go on while another handle holds
// the write lock, filtered or not, and yield each active slot once.
class PhysicalReadAheadTest : public TableTest {};

TEST_F(PhysicalReadAheadTest, StepsOverSlotsReadAheadGoOnWhileAWriterHoldsTheLock) {
  TableDefinition def;
  def.fields = {Field("Name", kTypeString, 20), Field("Size", kTypeInteger)};
  def.indexes = {Index("", {}), Index("BySize", {2})};
  TableCursor::Create(Settings("loose"), def);
  std::vector<std::pair<std::string, int64_t>> rows;  // active slots in slot order
  {
    TableCursor fill(ExclusiveSettings("loose"));
    fill.Open();
    for (int i = 0; i < 400; ++i) {
      fill.Append();
      fill.SetField(1, FieldValue::String("n" + std::to_string(i)));
      fill.SetField(2, FieldValue::Integer(i % 5));
      fill.Post();
      if (i % 9 == 0) {
        fill.Delete();
      } else {
        rows.emplace_back("n" + std::to_string(i), i % 5);
      }
    }
  }
  // Forty steps stay inside the first batch: four rows of five pass the
  // filter.
  constexpr int kSteps = 40;
  for (int direction : {+1, -1}) {
    for (bool filtered : {false, true}) {
      SCOPED_TRACE(std::to_string(direction) + (filtered ? " filtered" : ""));
      TableCursor c(Settings("loose"));
      c.Open();
      ASSERT_FALSE(c.HasPrimaryIndex());
      if (filtered) {
        c.SetFilter([&c](const uint8_t* record) { return c.GetField(2, record).integer != 3; });
      }
      std::vector<std::string> expected;
      for (const auto& [name, size] : rows) {
        if (!filtered || size != 3) expected.push_back(name);
      }
      if (direction < 0) std::reverse(expected.begin(), expected.end());
      auto step = [&] { return direction > 0 ? c.Next() : c.Prior(); };
      ASSERT_TRUE(direction > 0 ? c.First() : c.Last());
      TFileHandler writer(IndexPath("loose"), DataPath("loose"));
      writer.Open(false, false, false);
      ASSERT_TRUE(writer.Lock(TableLocks::kIndexRegion, TableLocks::kIndexRegionLength));
      std::vector<std::string> walked = {c.GetField(1).text};
      auto walk = std::async(std::launch::async, [&] {
        for (int i = 0; i < kSteps && step(); ++i) walked.push_back(c.GetField(1).text);
      });
      const bool done_while_locked =
          walk.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
      writer.Unlock(TableLocks::kIndexRegion, TableLocks::kIndexRegionLength);
      walk.get();
      EXPECT_TRUE(done_while_locked);
      while (step()) walked.push_back(c.GetField(1).text);
      EXPECT_THAT(walked, ElementsAreArray(expected));
    }
  }
}

}  // namespace
}  // namespace quoldex::tables::test
