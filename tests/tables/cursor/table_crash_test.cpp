// A writer killed at random moments: a child process inserts, edits and deletes
// rows of a shared table in a loop and is killed with SIGKILL after a random
// delay, again and again on the same table. After each kill the next open finds
// the table sound, or left mid-change and recovers it (counted apart); either
// way it passes the integrity check and every change whose post had returned
// before the kill is there. A table that the open refuses (kErrHeaderCorrupt,
// kErrIndexPagesCorrupt) or that opens unsound is a failure; Repair is then
// tried so that the rounds after it still mean something.
//
// The writer logs each change twice: its intent before calling the engine
// and its completion after the call returned. Both lines are handed to the
// kernel by one write() each, which a SIGKILL cannot take back, so the log
// is exact for this kind of death; the table's own writes are in the same
// position (a shared table writes every change out before its write lock
// goes). At most the last change is in doubt: it may or may not have landed.
//
// QUOLDEX_CRASH_KILLS sets the number of kills (default 50).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tables/cursor/multiprocess_test_util.h"
#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_cursor_test_util.h"
#include "tables/cursor/table_repair.h"

namespace quoldex::tables::test {
namespace {

// A row as the test knows it: its name and the InheritsFrom value that the
// writer's edits change.
struct KnownRow {
  std::string name, inherits;
  friend bool operator==(const KnownRow&, const KnownRow&) = default;
};
using Rows = std::map<int32_t, KnownRow>;  // by record ID

// Log lines (words split at blanks); lower case: intent, upper case: done.
//   p name / P id name         insert of a new row (InheritsFrom "v0")
//   e id value / E id value    edit of InheritsFrom
//   d id / D id                delete
class CrashWriter {
 public:
  static constexpr size_t kRowCap = 1000;

  CrashWriter(const TableSettings& settings, int round, const Rows& known,
              const std::string& log_path)
      : round_(round), rng_(round), log_(log_path), table_(settings) {
    for (const auto& [id, row] : known) rows_.push_back({id, row.name});
  }

  [[noreturn]] void Run() {
    table_.Open();
    table_.SetIndex(kByName);
    for (int i = 0;; ++i) {
      Insert("Round" + std::to_string(round_) + "Class" + std::to_string(i));
      if (i % 3 == 0) EditSome(i);
      // Deletes keep the table small (so each check is quick) and make
      // later inserts reuse slots.
      if (i % 7 == 6 || rows_.size() > kRowCap) DeleteSome();
    }
  }

 private:
  void Insert(const std::string& name) {
    log_.Line("p " + name);
    table_.Append();
    table_.SetField(kObjectName, FieldValue::String(name));
    table_.SetField(kInheritsFrom, FieldValue::String("v0"));
    table_.SetField(kFilename, FieldValue::String("/crash/" + name + ".uc"));
    table_.Post();
    const int32_t id = table_.RecordId();
    log_.Line("P " + std::to_string(id) + " " + name);
    rows_.push_back({id, name});
  }

  // Positions on a random known row; the writer is the only one changing
  // the table, so it is there.
  std::pair<int32_t, std::string> FindSome() {
    const auto row = rows_[rng_() % rows_.size()];
    const int field[] = {kObjectName};
    const FieldValue value[] = {FieldValue::String(row.second)};
    if (!table_.Locate(field, value, true, false) || table_.RecordId() != row.first) {
      throw std::runtime_error("known row " + row.second + " not found");
    }
    return row;
  }

  void EditSome(int i) {
    const auto row = FindSome();
    const std::string value = "v" + std::to_string(i);
    table_.Edit();
    table_.SetField(kInheritsFrom, FieldValue::String(value));
    log_.Line("e " + std::to_string(row.first) + " " + value);
    table_.Post();
    log_.Line("E " + std::to_string(row.first) + " " + value);
  }

  void DeleteSome() {
    const auto row = FindSome();
    log_.Line("d " + std::to_string(row.first));
    table_.Delete();
    log_.Line("D " + std::to_string(row.first));
    std::erase(rows_, row);
  }

  int round_;
  std::mt19937 rng_;
  LineLog log_;
  TableCursor table_;
  std::vector<std::pair<int32_t, std::string>> rows_;  // ID, name
};

// The change a killed writer may or may not have made.
struct InDoubt {
  char kind = 0;  // 0 none, 'p', 'e' or 'd'
  int32_t id = 0;
  std::string text;  // inserted name or edited value
};

// Applies a writer's completed changes to `rows` and counts them in
// `completed`; returns the change that was under way when it died.
InDoubt ApplyLog(const std::string& path, Rows& rows, int& completed) {
  InDoubt pending;
  for (const auto& line : ReadLogLines(path)) {
    const char kind = line[0][0];
    if (kind == 'P' || kind == 'E' || kind == 'D') ++completed;
    switch (kind) {
      case 'p':
        pending = {'p', 0, line[1]};
        break;
      case 'e':
      case 'd':
        pending = {kind, std::stoi(line[1]), line.size() > 2 ? line[2] : ""};
        break;
      case 'P':
        rows[std::stoi(line[1])] = {line[2], "v0"};
        pending = {};
        break;
      case 'E':
        rows.at(std::stoi(line[1])).inherits = line[2];
        pending = {};
        break;
      case 'D':
        rows.erase(std::stoi(line[1]));
        pending = {};
        break;
      default:
        ADD_FAILURE() << "unexpected log line " << line[0];
    }
  }
  return pending;
}

Rows ReadTable(TableCursor& table) {
  Rows out;
  for (bool on = table.First(); on; on = table.Next()) {
    EXPECT_TRUE(
        out.emplace(table.RecordId(), KnownRow{NameOf(table), table.GetField(kInheritsFrom).text})
            .second)
        << "record ID " << table.RecordId() << " twice";
  }
  return out;
}

// Checks `found` against the completed changes in `known`, allowing the
// change in doubt either way, and takes that change's outcome into `known`.
void ExpectRowsAfterKill(const Rows& found, Rows& known, const InDoubt& pending) {
  Rows allowed = known;
  switch (pending.kind) {
    case 'p':
      // The insert landed when a row of that name is there that nobody
      // logged; it takes whatever record ID the table gave it.
      for (const auto& [id, row] : found) {
        if (row.name == pending.text && !known.count(id)) allowed[id] = row;
      }
      break;
    case 'e':
      if (found.count(pending.id) && known.count(pending.id) &&
          found.at(pending.id) == KnownRow{known.at(pending.id).name, pending.text}) {
        allowed[pending.id].inherits = pending.text;
      }
      break;
    case 'd':
      if (!found.count(pending.id)) allowed.erase(pending.id);
      break;
  }
  for (const auto& [id, row] : allowed) {
    auto it = found.find(id);
    if (it == found.end()) {
      ADD_FAILURE() << "row " << id << " (" << row.name << ") lost";
    } else {
      EXPECT_EQ(it->second.name, row.name) << id;
      EXPECT_EQ(it->second.inherits, row.inherits) << id << " " << row.name;
    }
  }
  for (const auto& [id, row] : found) {
    EXPECT_TRUE(allowed.count(id)) << "row " << id << " (" << row.name << ") never written";
  }
  known = allowed;
}

class CrashTest : public TableTest {};

// The update mark: a shared change leaves it clear; a mark left behind (a
// writer that died before its index header went out) is recovered at the
// next open, and the mark is cleared.
TEST_F(CrashTest, AnUpdateMarkLeftBehindIsRecoveredAtTheNextOpen) {
  CreateObjects();
  {
    TableCursor table(Settings());
    table.Open();
    AddObject(table, "Actor", "object", "engine");
  }
  std::vector<uint8_t> index = ReadAll(IndexPath());
  ASSERT_GT(index.size(), 3980u);
  EXPECT_EQ(index[3980], 0);
  index[3980] = 1;
  WriteAll(IndexPath(), index);
  TableCursor table(Settings());
  table.Open();
  EXPECT_FALSE(table.Recovered().empty());
  EXPECT_TRUE(table.CheckIntegrity().empty());
  EXPECT_EQ(table.RecordCount(), 1);
  EXPECT_EQ(ReadAll(IndexPath())[3980], 0);
}

TEST_F(CrashTest, KilledWriterLeavesASoundOrRepairableTable) {
  CreateObjects();
  const int kills = EnvInt("QUOLDEX_CRASH_KILLS", 50);
  std::mt19937 delays(20240611);
  int clean = 0, recovered = 0, refused_header = 0, refused_index = 0, unsound = 0, changes = 0;
  Rows known;
  for (int round = 0; round < kills; ++round) {
    const std::string log = dir_.File("round" + std::to_string(round) + ".log");
    const TableSettings settings = Settings();
    const pid_t child = ForkChild([&] { CrashWriter(settings, round, known, log).Run(); });
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(20, 200)(delays)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "round " << round << ": writer ended before the kill, " << DescribeStatus(status);
    const size_t before = known.size();
    const InDoubt pending = ApplyLog(log, known, changes);

    // Opened as the next user of the table would open it.
    bool needs_repair = false;
    try {
      TableCursor table(Settings());
      table.Open();
      // A table that opens must be sound: a half-written change is caught
      // at open by its update mark.
      const std::vector<std::string> findings = table.CheckIntegrity();
      EXPECT_EQ(findings, std::vector<std::string>{}) << "round " << round << ": opened unsound";
      if (findings.empty()) {
        ++(table.Recovered().empty() ? clean : recovered);
      } else {
        ++unsound;
        needs_repair = true;
      }
    } catch (const EDbEngineError& e) {
      ASSERT_TRUE(e.ErrorCode() == kErrHeaderCorrupt || e.ErrorCode() == kErrIndexPagesCorrupt)
          << "round " << round << ": " << e.what();
      ++(e.ErrorCode() == kErrHeaderCorrupt ? refused_header : refused_index);
      needs_repair = true;
    }
    if (needs_repair) {
      std::vector<std::string> report = RepairTable(Settings());
      EXPECT_FALSE(report.empty()) << "round " << round;
      for (const std::string& line : report) {
        EXPECT_EQ(line.rfind("not mended", 0), std::string::npos) << "round " << round << line;
      }
    }
    TableCursor table(Settings());
    table.Open();
    ASSERT_EQ(table.CheckIntegrity(), std::vector<std::string>{}) << "round " << round;
    ExpectRowsAfterKill(ReadTable(table), known, pending);
    EXPECT_EQ(table.RecordCount(), static_cast<int64_t>(known.size()));
    if (HasFailure()) {
      ADD_FAILURE() << "round " << round << " (rows before " << before << ", in doubt '"
                    << (pending.kind ? pending.kind : '-') << "')";
      return;
    }
  }
  std::printf(
      "[ crash    ] %d kills, %d changes, %zu rows left: opened sound %d, recovered at open "
      "%d, refused at open (header damaged) %d, (index mid-change) %d, opened unsound %d\n",
      kills, changes, known.size(), clean, recovered, refused_header, refused_index, unsound);
  EXPECT_EQ(clean + recovered + refused_header + refused_index + unsound, kills);
  // A table left mid-change never needs the user's repair any more.
  EXPECT_EQ(refused_header + refused_index + unsound, 0);
}

}  // namespace
}  // namespace quoldex::tables::test
