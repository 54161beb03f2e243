// Every write path of the engine, run once to count its calls to the
// storage, then once for each call failed in turn (ENOSPC, EIO, a short
// write), and once for each power cut after a write, set-end or flush
// (forgetting what was not flushed, or keeping one file's unflushed
// writes as a system writing back in its own order would).
//
// After each run: the operation completed or raised the engine's error for
// the call that failed, and holds no lock; the table opens (recovering if
// it must) and passes the integrity check; every row whose change returned
// is there with its values, rows from before the operation are kept, and
// no name is stored twice. The figures (cases and how they ended) are
// printed per operation.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fakes/fault_storage.h"
#include "tables/cursor/table_cursor_test_util.h"
#include "tables/cursor/table_repair.h"
#include "tables/cursor/table_restructure.h"
#include "tables/index_file/index_file_header.h"
#include "tables/storage/table_locks.h"

namespace quoldex::tables::test {
namespace {

using testing::FaultKind;
using testing::FaultStorage;
using testing::IoKind;
using testing::ScopedDiskStorage;

// What the table must hold after an operation: rows by name with their
// parent; rows that may or may not be there, with any values (a change
// whose call failed or was cut off: a record written in part is kept as
// it is); groups of names of which one at least must be there (a row
// being renamed); names that must be gone.
struct Expected {
  std::map<std::string, std::string> present;
  std::set<std::string> maybe;
  std::vector<std::set<std::string>> one_of;
  std::set<std::string> absent;

  // Before a change to the row `name` (becoming `new_name`): it may end
  // either way, but is not lost.
  void Changing(const std::string& name, const std::string& new_name) {
    present.erase(name);
    maybe.insert(name);
    maybe.insert(new_name);
    one_of.push_back({name, new_name});
  }
  // After the change returned.
  void Changed(const std::string& name, const std::string& new_name, const std::string& parent) {
    one_of.pop_back();
    maybe.erase(name);
    maybe.erase(new_name);
    if (name != new_name) absent.insert(name);
    present[new_name] = parent;
  }
};

constexpr int kSeedRows = 12;

bool AnyLockHeld(const TableSettings& s);

// Runs `step` on the open handle `c`; when it fails, checks that the
// handle, still open, holds neither the write lock nor a read lock.
template <typename Step>
void Checked(const TableSettings& s, TableCursor& c, Step step) {
  try {
    step();
  } catch (const EDbEngineError&) {
    bool held = false;
    try {
      held = AnyLockHeld(s);
    } catch (const EDbEngineError&) {
      throw;  // the power is off: nothing can be asked of the files
    }
    EXPECT_FALSE(held) << "a failed step kept a lock of " << c.FileName();
    throw;
  }
}

std::string SeedName(int i) { return "Seed" + std::to_string(i); }

// One write path: `run` does the operation on the table in `settings` and
// records in `expected` what each of its steps made certain.
struct Operation {
  const char* name;
  std::function<void(const TableSettings&, Expected&)> run;
  // The table as the operation expects to find it, made before it runs.
  std::function<void(const TableSettings&)> prepare = {};
  // Whether the operation makes its files durable in an order that a
  // power cut keeping one file's unflushed writes and not the other's
  // cannot break. A change of a shared table is not: it would cost a
  // flush of the disk per post.
  bool ordered = true;
  // Whether the table holds the seed rows when the operation starts.
  bool seeded = true;
};

// Whether some handle still holds the table's write lock or a read lock
// (a failed post of an edit keeps its record lock until Cancel).
bool AnyLockHeld(const TableSettings& s) {
  const std::string data_name = TableCursor::DataFileName(s);
  const std::string index_name = data_name.substr(0, data_name.size() - 4) + ".IDX";
  TFileHandler data(data_name, data_name), index(index_name, data_name);
  data.Open(false, false, false);
  index.Open(false, false, false);
  const bool free = data.Lock(TableLocks::kUpdateByte, 1) &&
                    index.Lock(TableLocks::kIndexRegion, TableLocks::kIndexRegionLength);
  return !free;
}

class FaultMatrixTest : public ::testing::Test {
 protected:
  TableSettings SettingsFor(int run) const {
    TableSettings s;
    s.directory = "/fault/" + std::to_string(run) + "/";
    s.table_name = "objects.dat";
    s.lock_retry_count = 0;
    s.lock_wait_time = 0;
    return s;
  }

  // A fresh table with the seed rows, made durable; `expected` lists them.
  // The folder of the run before goes.
  TableSettings Prepare(const Operation& op, Expected& expected) {
    if (runs_ > 0) storage_.Forget(SettingsFor(runs_).directory);
    storage_.Forget(storage_.TemporaryFolder());
    const TableSettings s = SettingsFor(++runs_);
    TableCursor::Create(s, ObjectsDefinition());
    {
      TableCursor c(s);
      c.Open();
      for (int i = 0; i < (op.seeded ? kSeedRows : 0); ++i) {
        AddObject(c, SeedName(i), "Parent" + std::to_string(i));
      }
    }
    if (op.prepare) op.prepare(s);
    expected = Expected{};
    {
      // Read-only: a table the preparation left mid-change stays so.
      TableSettings reading = s;
      reading.read_only = true;
      TableCursor c(reading);
      c.Open();
      for (bool on = c.First(); on; on = c.Next()) {
        expected.present[NameOf(c)] = c.GetField(kInheritsFrom).text;
      }
    }
    storage_.MarkDurable(s.directory);
    return s;
  }

  // Opens the table and checks it against `expected`; failures name `what`.
  static void Verify(const TableSettings& s, const Expected& expected, const std::string& what) {
    SCOPED_TRACE(what);
    TableCursor c(s);
    ASSERT_NO_THROW(c.Open());
    EXPECT_EQ(c.CheckIntegrity(), std::vector<std::string>{});
    std::map<std::string, std::string> found;
    for (bool on = c.First(); on; on = c.Next()) {
      const std::string name = NameOf(c);
      EXPECT_TRUE(found.emplace(name, c.GetField(kInheritsFrom).text).second)
          << name << " stored twice";
    }
    int slots = 0;
    c.Scan([&](const uint8_t*) { ++slots; });
    EXPECT_EQ(slots, static_cast<int>(found.size())) << "records the index does not reach";
    for (const auto& [name, parent] : expected.present) {
      auto it = found.find(name);
      if (it == found.end()) {
        ADD_FAILURE() << name << " lost";
      } else {
        EXPECT_EQ(it->second, parent) << name;
      }
    }
    for (const std::string& name : expected.absent) EXPECT_EQ(found.count(name), 0u) << name;
    for (const std::set<std::string>& names : expected.one_of) {
      bool any = false;
      for (const std::string& name : names) any = any || found.count(name) != 0;
      EXPECT_TRUE(any) << *names.begin() << " lost";
    }
    for (const auto& [name, parent] : found) {
      EXPECT_TRUE(expected.present.count(name) || expected.maybe.count(name))
          << name << " appeared";
    }
  }

  // The engine codes a failed call of `kind` may end an operation with.
  static bool RightError(IoKind kind, int code) {
    switch (kind) {
      case IoKind::kRead:
        return code == kErrRead || code == kErrHeaderAccess;
      case IoKind::kWrite:
      case IoKind::kFlush:
      case IoKind::kSetEnd:
        return code == kErrWrite;
      case IoKind::kLock:
        return code == kErrLockFailure || code == kErrUnlock;
      case IoKind::kRename:
        return code == kErrCannotDelete;
      default:
        return false;
    }
  }

  // Runs `op` with the current fault or cut; returns how it ended: "done"
  // or the engine code.
  std::string RunOnce(const Operation& op, const TableSettings& s, Expected& expected) {
    try {
      op.run(s, expected);
      return "done";
    } catch (const EDbEngineError& e) {
      return std::to_string(e.ErrorCode());
    }
  }

  void RunMatrix(const Operation& op) {
    Expected expected;
    TableSettings s = Prepare(op, expected);
    storage_.ResetCounts();
    op.run(s, expected);
    std::map<IoKind, int> counts;
    for (IoKind kind : {IoKind::kRead, IoKind::kWrite, IoKind::kFlush, IoKind::kSetEnd,
                        IoKind::kLock, IoKind::kRename, IoKind::kMap}) {
      counts[kind] = storage_.Calls(kind);
    }
    Verify(s, expected, std::string(op.name) + " without faults");

    std::map<std::string, int> endings;
    int cases = 0;
    for (const auto& [kind, count] : counts) {
      std::vector<FaultKind> faults = {FaultKind::kIoError};
      if (kind == IoKind::kWrite)
        faults = {FaultKind::kNoSpace, FaultKind::kIoError, FaultKind::kShortWrite};
      if (kind == IoKind::kFlush || kind == IoKind::kSetEnd) {
        faults = {FaultKind::kNoSpace, FaultKind::kIoError};
      }
      for (int n = 1; n <= count; ++n) {
        for (FaultKind fault : faults) {
          const std::string what = std::string(op.name) + ": " + testing::IoKindName(kind) +
                                   " call " + std::to_string(n) + " fails with " +
                                   testing::FaultKindName(fault);
          SCOPED_TRACE(what);
          s = Prepare(op, expected);
          storage_.FailCall(kind, n, fault);
          const std::string ending = RunOnce(op, s, expected);
          storage_.FailCall(IoKind::kCount, 0, fault);
          ++cases;
          ++endings[std::string(testing::IoKindName(kind)) + " -> " + ending];
          if (ending != "done") {
            EXPECT_TRUE(RightError(kind, std::stoi(ending))) << what << ": " << ending;
          }
          EXPECT_FALSE(AnyLockHeld(s)) << what;
          Verify(s, expected, what);
          if (HasFailure()) return Report(op, cases, endings);
        }
      }
    }

    // Power cuts after each write, set-end and flush.
    std::vector<std::pair<const char*, std::function<bool(const std::string&)>>> modes = {
        {"forget unflushed", {}}};
    if (op.ordered) {
      modes.emplace_back("keep data file",
                         [](const std::string& p) { return p.ends_with(".DAT"); });
      modes.emplace_back("keep index file",
                         [](const std::string& p) { return p.ends_with(".IDX"); });
    }
    for (IoKind kind : {IoKind::kWrite, IoKind::kSetEnd, IoKind::kFlush, IoKind::kRename}) {
      for (int n = 1; n <= counts[kind]; ++n) {
        for (const auto& [mode, keeps] : modes) {
          const std::string what = std::string(op.name) + ": power cut after " +
                                   testing::IoKindName(kind) + " call " + std::to_string(n) + ", " +
                                   mode;
          SCOPED_TRACE(what);
          s = Prepare(op, expected);
          // Rows the operation makes certain are certain only once flushed:
          // a cut may take any of them, never a row from before.
          Expected before = expected;
          storage_.CutPowerAfter(kind, n);
          const std::string ending = RunOnce(op, s, expected);
          for (const auto& [name, parent] : expected.present) {
            if (!before.present.count(name)) before.maybe.insert(name);
          }
          for (const std::string& name : expected.maybe) before.maybe.insert(name);
          before.one_of = expected.one_of;
          for (const std::string& name : expected.absent) {
            before.present.erase(name);
            before.maybe.insert(name);
          }
          storage_.RestorePower(keeps);
          ++cases;
          ++endings[std::string("cut after ") + testing::IoKindName(kind) + " -> " + ending];
          Verify(s, before, what);
          if (HasFailure()) return Report(op, cases, endings);
        }
      }
    }
    Report(op, cases, endings);
  }

  static void Report(const Operation& op, int cases, const std::map<std::string, int>& endings) {
    std::printf("[fault matrix] %s: %d cases\n", op.name, cases);
    for (const auto& [ending, times] : endings) {
      std::printf("[fault matrix]   %-36s %d\n", ending.c_str(), times);
    }
  }

  FaultStorage storage_;
  ScopedDiskStorage installed_{storage_};
  int runs_ = 0;
};

Operation Unseeded(Operation op) {
  op.seeded = false;
  return op;
}

// A change of a table opened shared (see Operation::ordered).
Operation Shared(Operation op) {
  op.ordered = false;
  return op;
}

TEST_F(FaultMatrixTest, AppendAndPost) {
  RunMatrix(Shared({"append and post", [](const TableSettings& s, Expected& expected) {
                      TableCursor c(s);
                      c.Open();
                      for (int i = 0; i < 3; ++i) {
                        const std::string name = "New" + std::to_string(i);
                        expected.maybe.insert(name);
                        Checked(s, c, [&] { AddObject(c, name, "Seed1"); });
                        expected.maybe.erase(name);
                        expected.present[name] = "Seed1";
                      }
                    }}));
}

TEST_F(FaultMatrixTest, EditAndPost) {
  RunMatrix(Shared({"edit and post", [](const TableSettings& s, Expected& expected) {
                      TableCursor c(s);
                      c.Open();
                      c.SetIndex(kByName);
                      for (int i : {2, 7}) {
                        ASSERT_TRUE(c.FindKey(Values({SeedName(i).c_str()})));
                        // A renamed row moves in every index.
                        const std::string new_name = i == 7 ? "Renamed7" : SeedName(i);
                        expected.Changing(SeedName(i), new_name);
                        c.Edit();
                        c.SetField(kInheritsFrom, FieldValue::String("Edited"));
                        c.SetField(kObjectName, FieldValue::String(new_name));
                        Checked(s, c, [&] { c.Post(); });
                        expected.Changed(SeedName(i), new_name, "Edited");
                      }
                    }}));
}

TEST_F(FaultMatrixTest, Delete) {
  RunMatrix(Shared({"delete", [](const TableSettings& s, Expected& expected) {
                      TableCursor c(s);
                      c.Open();
                      c.SetIndex(kByName);
                      for (int i : {3, 4, 9}) {
                        ASSERT_TRUE(c.FindKey(Values({SeedName(i).c_str()})));
                        expected.present.erase(SeedName(i));
                        expected.maybe.insert(SeedName(i));
                        Checked(s, c, [&] { c.Delete(); });
                        expected.maybe.erase(SeedName(i));
                        expected.absent.insert(SeedName(i));
                      }
                    }}));
}

// The store of a query's rows into its empty result table.
TEST_F(FaultMatrixTest, BulkStore) {
  RunMatrix(Unseeded({"bulk store", [](const TableSettings& s, Expected& expected) {
                        TableSettings alone = s;
                        alone.exclusive = true;
                        TableCursor c(alone);
                        c.Open();
                        std::vector<uint8_t> images;
                        for (int i = 0; i < 5; ++i) {
                          std::vector<uint8_t> image = c.NewRecord();
                          const std::string name = "Bulk" + std::to_string(i);
                          c.SetField(kObjectName, FieldValue::String(name), image.data());
                          c.SetField(kInheritsFrom, FieldValue::String("Seed0"), image.data());
                          c.SetField(kFilename, FieldValue::String("/src/" + name + ".uc"),
                                     image.data());
                          c.SetField(kPackage, FieldValue::String("core"), image.data());
                          images.insert(images.end(), image.begin(), image.end());
                          expected.maybe.insert(name);
                        }
                        c.AppendAll(std::move(images));
                        c.Close();
                        for (int i = 0; i < 5; ++i) {
                          const std::string name = "Bulk" + std::to_string(i);
                          expected.maybe.erase(name);
                          expected.present[name] = "Seed0";
                        }
                      }}));
}

// A handle that holds the table alone writes its changes at Close.
TEST_F(FaultMatrixTest, AppendHeldAloneAndClose) {
  RunMatrix({"append alone, close", [](const TableSettings& s, Expected& expected) {
               TableSettings alone = s;
               alone.exclusive = true;
               TableCursor c(alone);
               c.Open();
               std::vector<std::string> names;
               for (int i = 0; i < 20; ++i) {
                 names.push_back("Alone" + std::to_string(i));
                 expected.maybe.insert(names.back());
                 AddObject(c, names.back());
               }
               c.Close();
               for (const std::string& name : names) {
                 expected.maybe.erase(name);
                 expected.present[name] = "object";
               }
             }});
}

// A definition with one more field: the table is copied record by record.
TableDefinition WiderObjects() {
  TableDefinition def = ObjectsDefinition();
  def.fields.push_back(Field("Comment", kTypeString, 20, false));
  return def;
}

// Two seed rows are deleted first, so the copy moves the rows after them
// to other slots: the old index file beside the new data file would name
// the wrong slots.
TEST_F(FaultMatrixTest, RestructureCopyingRecords) {
  RunMatrix({"restructure (copy)",
             [](const TableSettings& s, Expected&) { RestructureTable(s, WiderObjects()); },
             [](const TableSettings& s) {
               TableCursor c(s);
               c.Open();
               c.SetIndex(kByName);
               for (int i : {1, 5}) {
                 ASSERT_TRUE(c.FindKey(Values({SeedName(i).c_str()})));
                 c.Delete();
               }
             }});
}

TEST_F(FaultMatrixTest, RestructureIndexesOnly) {
  RunMatrix({"restructure (indexes)", [](const TableSettings& s, Expected&) {
               TableDefinition def = ObjectsDefinition();
               def.indexes.push_back(Index("ByFile", {kFilename}, false, true));
               RestructureTable(s, def);
             }});
}

TEST_F(FaultMatrixTest, RepairOfATableLeftMidChange) {
  RunMatrix({"repair", [](const TableSettings& s, Expected&) { RepairTable(s); },
             [](const TableSettings& s) {
               // A writer that died after setting the update mark.
               const std::string data_name = TableCursor::DataFileName(s);
               const std::string index_name = data_name.substr(0, data_name.size() - 4) + ".IDX";
               TFileHandler index(index_name, data_name);
               index.Open(true, false, false);
               static constexpr uint8_t kMark = 1;
               index.Write(index_header::kUpdateInProgress, &kMark, 1);
             }});
}

}  // namespace
}  // namespace quoldex::tables::test
