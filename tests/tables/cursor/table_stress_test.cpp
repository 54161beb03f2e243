// Several processes writing one shared table at once: inserts with names
// that collide between processes (the same class name in other letter
// cases), edits of their own rows and of each other's, and deletes. Each
// process logs what it did and what was refused; afterwards the table must
// be sound and hold exactly what the logs say was stored.
//
// Size: QUOLDEX_STRESS_ROWS rows per process (default 2000) and
// QUOLDEX_STRESS_PROCESSES processes (default 4).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tables/cursor/multiprocess_test_util.h"
#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_cursor_test_util.h"
#include "text/western.h"

namespace quoldex::tables::test {
namespace {

// The log lines a writer leaves, one per outcome (words split at blanks):
//   P id name inherits filename package   insert posted, record ID id
//   R name code                           insert refused with code
//   F name id                             looked up before inserting: found as id
//   E id inherits                         own row's InheritsFrom changed
//   C id                                  a row's edit counter raised by one
//   G id                                  edit refused kErrRecordNotFound: the row was deleted
//   D id                                  own row deleted
//   L op id code                          edit or delete given up on a record lock
//   X op code                             anything else an operation raised
//   END                                   the writer finished
// The edit counter lives in FileTimeStamp: every raise reads the stored
// value under the record lock and writes it plus one, so the final value
// counts the raises of all processes and a lost update shows.

// Pool name `k` as process `p` spells it: the same class name in another
// letter case for each process, so collisions are found only by the
// case-insensitive unique index.
std::string PoolName(int k, int p) {
  static const char* const kWords[] = {"Actor", "Pawn", "Weapon", "Trigger", "Mover", "Light"};
  std::string name = std::string(kWords[k % 6]) + "Class" + std::to_string(k);
  switch (p % 4) {
    case 1:
      for (char& ch : name) ch = static_cast<char>(text::ToUpper(static_cast<uint8_t>(ch)));
      return name;
    case 2:
      return text::LowerCase(name);
    case 3:
      name[0] = static_cast<char>(text::ToLower(static_cast<uint8_t>(name[0])));
      return name;
    default:
      return name;
  }
}

struct StressParams {
  int processes;
  int rows;  // insert attempts per process
  int pool;  // distinct names shared by all processes
};

class StressWriter {
 public:
  StressWriter(const TableSettings& settings, const StressParams& params, int process,
               const std::string& log_path)
      : params_(params),
        process_(process),
        rng_(1000 + process),
        log_(log_path),
        table_(settings) {}

  void Run() {
    table_.Open();
    table_.SetIndex(kByName);
    // Each process tries `rows` distinct names of the pool in its own order.
    std::vector<int> picks(params_.pool);
    std::iota(picks.begin(), picks.end(), 0);
    std::shuffle(picks.begin(), picks.end(), rng_);
    picks.resize(std::min(params_.rows, params_.pool));
    for (int k : picks) {
      Insert(PoolName(k, process_));
      if (!own_.empty() && rng_() % 4 == 0) EditOwn();
      if (rng_() % 4 == 0) RaiseCounter(PoolName(CounterTarget(), 0));
      if (!own_.empty() && rng_() % 8 == 0) DeleteOwn();
      // A moment between changes, as users have: a writer that finishes a
      // change and takes the write lock again at once keeps the others
      // (who retry every 3 ms) waiting, and the writers would mostly take
      // turns in long runs.
      std::this_thread::sleep_for(std::chrono::microseconds(rng_() % 400));
    }
    table_.Close();
    log_.Line("END");
  }

 private:
  // Half of the raises go to a few hot names, so that processes edit the
  // same records at the same moments.
  int CounterTarget() {
    const int hot = std::min(params_.pool, 8);
    return static_cast<int>(rng_() % 2 == 0 ? rng_() % hot : rng_() % params_.pool);
  }

  bool LocateName(const std::string& name) {
    const int field[] = {kObjectName};
    const FieldValue value[] = {FieldValue::String(name)};
    return table_.Locate(field, value, true, false);
  }

  // The catalogue's pattern: look the name up, insert when absent. Every
  // other name found is posted anyway, to be refused as a duplicate.
  void Insert(const std::string& name) {
    if (Guarded("locate", [&] { return LocateName(name); })) {
      log_.Line("F " + name + " " + std::to_string(table_.RecordId()));
      if (rng_() % 2 == 0) return;
    }
    const std::string inherits = "base" + std::to_string(rng_() % 17);
    const std::string filename = "/p" + std::to_string(process_) + "/" + name + ".uc";
    const std::string package = "pkg" + std::to_string(process_);
    table_.Append();
    table_.SetField(kObjectName, FieldValue::String(name));
    table_.SetField(kInheritsFrom, FieldValue::String(inherits));
    table_.SetField(kFilename, FieldValue::String(filename));
    table_.SetField(kPackage, FieldValue::String(package));
    const int code = EngineCode([&] { table_.Post(); });
    if (code != 0) {
      table_.Cancel();
      log_.Line("R " + name + " " + std::to_string(code));
      return;
    }
    own_.push_back({name, table_.RecordId()});
    log_.Line("P " + std::to_string(table_.RecordId()) + " " + name + " " + inherits + " " +
              filename + " " + package);
  }

  // Positions on one of this process's rows; only this process deletes
  // them, so the name always finds it.
  bool FindOwn(const std::pair<std::string, int32_t>& row) {
    if (!Guarded("locate", [&] { return LocateName(row.first); })) return false;
    if (table_.RecordId() != row.second) {
      log_.Line("X locate-own " + std::to_string(row.second) + " found " +
                std::to_string(table_.RecordId()));
      return false;
    }
    return true;
  }

  // Edit with a few attempts while another process holds the record;
  // returns the engine code of the last attempt (0: editing now).
  int EditWithRetries() {
    int code = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
      code = EngineCode([&] { table_.Edit(); });
      if (code != kErrRecordLocked) break;
    }
    return code;
  }

  void EditOwn() {
    const auto& row = own_[rng_() % own_.size()];
    if (!FindOwn(row)) return;
    const int code = EditWithRetries();
    if (code != 0) {
      log_.Line((code == kErrRecordLocked ? "L edit " : "X edit ") + std::to_string(row.second) +
                " " + std::to_string(code));
      return;
    }
    const std::string inherits =
        "edited" + std::to_string(++edits_) + "p" + std::to_string(process_);
    table_.SetField(kInheritsFrom, FieldValue::String(inherits));
    if (PostEdit("edit", row.second)) log_.Line("E " + std::to_string(row.second) + " " + inherits);
  }

  // Raises the edit counter of whichever row holds `name`, if any: often a
  // row of another process, which that process may be editing or deleting.
  void RaiseCounter(const std::string& name) {
    if (!Guarded("locate", [&] { return LocateName(name); })) return;
    const int32_t id = table_.RecordId();
    const int code = EditWithRetries();
    if (code == kErrRecordNotFound) {
      log_.Line("G " + std::to_string(id));
      return;
    }
    if (code != 0) {
      log_.Line((code == kErrRecordLocked ? "L raise " : "X raise ") + std::to_string(id) + " " +
                std::to_string(code));
      return;
    }
    const FieldValue stored = table_.GetField(kFileTimeStamp);
    const int count = stored.IsNull() ? 0 : std::stoi(stored.text);
    table_.SetField(kFileTimeStamp, FieldValue::String(std::to_string(count + 1)));
    if (PostEdit("raise", id)) log_.Line("C " + std::to_string(id));
  }

  bool PostEdit(const char* op, int32_t id) {
    const int code = EngineCode([&] { table_.Post(); });
    if (code == 0) return true;
    table_.Cancel();
    log_.Line(std::string("X ") + op + "-post " + std::to_string(id) + " " + std::to_string(code));
    return false;
  }

  void DeleteOwn() {
    const size_t at = rng_() % own_.size();
    const auto row = own_[at];
    if (!FindOwn(row)) return;
    int code = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
      code = EngineCode([&] { table_.Delete(); });
      if (code != kErrRecordLocked) break;
      if (!FindOwn(row)) return;
    }
    if (code != 0) {
      log_.Line((code == kErrRecordLocked ? "L delete " : "X delete ") +
                std::to_string(row.second) + " " + std::to_string(code));
      return;
    }
    own_.erase(own_.begin() + static_cast<long>(at));
    log_.Line("D " + std::to_string(row.second));
  }

  // Runs a lookup; an engine error is logged and counts as not found.
  template <typename F>
  bool Guarded(const char* op, F&& f) {
    try {
      return f();
    } catch (const EDbEngineError& e) {
      log_.Line(std::string("X ") + op + " " + std::to_string(e.ErrorCode()));
      return false;
    }
  }

  StressParams params_;
  int process_;
  std::mt19937 rng_;
  LineLog log_;
  TableCursor table_;
  std::vector<std::pair<std::string, int32_t>> own_;  // live rows: name, record ID
  int edits_ = 0;
};

struct ExpectedRow {
  size_t process = 0;
  std::string name, inherits, filename, package;
  int raises = 0;
  bool deleted = false;
};

// What all logs together say the table must hold, with every finding that
// breaks the rules collected in `failures`.
struct LogSummary {
  std::map<int32_t, ExpectedRow> rows;  // by record ID, every posted row
  std::map<std::string, int> counts;    // by kind of line
  std::vector<std::string> failures;
};

LogSummary ReadLogs(const std::vector<std::string>& paths) {
  LogSummary s;
  std::vector<std::vector<std::vector<std::string>>> logs;
  for (const std::string& path : paths) logs.push_back(ReadLogLines(path));
  auto fail = [&](size_t p, const std::vector<std::string>& line) {
    std::string text = "process " + std::to_string(p) + ":";
    for (const std::string& w : line) text += " " + w;
    s.failures.push_back(text);
  };
  // Inserts first: other processes' lines name these rows.
  std::set<std::string> posted_names;
  for (size_t p = 0; p < logs.size(); ++p) {
    if (logs[p].empty() || logs[p].back() != std::vector<std::string>{"END"}) {
      s.failures.push_back("process " + std::to_string(p) + ": log does not end with END");
    }
    for (const auto& line : logs[p]) {
      if (line[0] != "P" || line.size() != 6) continue;
      const int32_t id = std::stoi(line[1]);
      if (s.rows.count(id)) fail(p, {"record ID posted twice:", line[1]});
      s.rows[id] = {p, line[2], line[3], line[4], line[5]};
      posted_names.insert(text::LowerCase(line[2]));
    }
  }
  for (size_t p = 0; p < logs.size(); ++p) {
    for (const auto& line : logs[p]) {
      const std::string& kind = line[0];
      ++s.counts[kind];
      auto row = [&](const std::string& id) -> ExpectedRow* {
        auto it = s.rows.find(std::stoi(id));
        if (it != s.rows.end()) return &it->second;
        fail(p, line);
        return nullptr;
      };
      if (kind == "R") {
        // A refused insert is a duplicate of a name someone stored.
        if (line[2] != std::to_string(kErrDuplicateKey) ||
            !posted_names.count(text::LowerCase(line[1])))
          fail(p, line);
      } else if (kind == "F") {
        ExpectedRow* r = row(line[2]);
        if (r && text::LowerCase(r->name) != text::LowerCase(line[1])) fail(p, line);
      } else if (kind == "E") {
        if (ExpectedRow* r = row(line[1])) r->inherits = line[2];  // only the owner edits
      } else if (kind == "C") {
        if (ExpectedRow* r = row(line[1])) ++r->raises;
      } else if (kind == "D") {
        if (ExpectedRow* r = row(line[1])) r->deleted = true;
      } else if (kind == "L") {
        if (line[3] != std::to_string(kErrRecordLocked)) fail(p, line);
        row(line[2]);
      } else if (kind == "X") {
        fail(p, line);
      }
    }
  }
  // Edits refused with kErrRecordNotFound must concern rows that were deleted.
  for (size_t p = 0; p < logs.size(); ++p) {
    for (const auto& line : logs[p]) {
      if (line[0] != "G") continue;
      auto it = s.rows.find(std::stoi(line[1]));
      if (it == s.rows.end() || !it->second.deleted) fail(p, line);
    }
  }
  return s;
}

class StressTest : public TableTest {
 protected:
  // Half the writers detect changes at every step, half only on cache
  // misses and locks; the fourth gives up a held record at once.
  TableSettings WriterSettings(int process) const {
    TableSettings s = Settings();
    s.strict_change_detection = process % 2 == 1;
    s.lock_retry_count = process % 4 == 3 ? 0 : 15;
    s.lock_wait_time = 20;
    return s;
  }
};

TEST_F(StressTest, ProcessesInsertEditAndDeleteInOneSharedTable) {
  StressParams params;
  params.processes = EnvInt("QUOLDEX_STRESS_PROCESSES", 4);
  params.rows = EnvInt("QUOLDEX_STRESS_ROWS", 2000);
  params.pool = std::max(1, params.processes * params.rows / 2);
  CreateObjects();

  const auto start = std::chrono::steady_clock::now();
  std::vector<std::string> logs;
  std::vector<pid_t> children;
  for (int p = 0; p < params.processes; ++p) {
    logs.push_back(dir_.File("writer" + std::to_string(p) + ".log"));
    const TableSettings settings = WriterSettings(p);
    const std::string log = logs.back();
    children.push_back(
        ForkChild([&settings, &params, p, log] { StressWriter(settings, params, p, log).Run(); }));
  }
  // Generous: a run that takes this long is stuck, not slow.
  const auto timeout =
      std::chrono::milliseconds(120000 + int64_t{5} * params.rows * params.processes);
  bool timed_out = false;
  std::vector<int> status = WaitForChildren(children, timeout, &timed_out);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_FALSE(timed_out) << "writers still running after " << seconds << " s: deadlock?";
  for (size_t p = 0; p < status.size(); ++p) {
    EXPECT_TRUE(WIFEXITED(status[p]) && WEXITSTATUS(status[p]) == 0)
        << "process " << p << ": " << DescribeStatus(status[p]);
  }

  LogSummary summary = ReadLogs(logs);
  for (const std::string& f : summary.failures) ADD_FAILURE() << f;

  TableCursor table(Settings());
  table.Open();
  EXPECT_EQ(table.CheckIntegrity(), std::vector<std::string>{});
  std::map<int32_t, int> seen;
  std::set<std::string> names;
  for (bool on = table.First(); on; on = table.Next()) {
    const int32_t id = table.RecordId();
    ++seen[id];
    EXPECT_TRUE(names.insert(text::LowerCase(NameOf(table))).second) << NameOf(table);
    auto it = summary.rows.find(id);
    if (it == summary.rows.end() || it->second.deleted) {
      ADD_FAILURE() << "row " << id << " (" << NameOf(table) << ") was never posted or deleted";
      continue;
    }
    const ExpectedRow& want = it->second;
    EXPECT_EQ(NameOf(table), want.name) << id;
    EXPECT_EQ(table.GetField(kInheritsFrom).text, want.inherits) << id;
    EXPECT_EQ(table.GetField(kFilename).text, want.filename) << id;
    EXPECT_EQ(table.GetField(kPackage).text, want.package) << id;
    const FieldValue counter = table.GetField(kFileTimeStamp);
    EXPECT_EQ(counter.IsNull() ? 0 : std::stoi(counter.text), want.raises) << id;
  }
  int64_t live = 0;
  for (const auto& [id, row] : summary.rows) {
    if (row.deleted) continue;
    ++live;
    EXPECT_EQ(seen[id], 1) << "posted row " << id << " (" << row.name << ") present " << seen[id]
                           << " times";
  }
  EXPECT_EQ(table.RecordCount(), live);
  // The run must have exercised what it is about: writers taking turns
  // (record IDs handed out to one process and then another), collisions,
  // deletes and edits of shared rows.
  int turns = 0;
  for (auto it = summary.rows.begin(); std::next(it) != summary.rows.end(); ++it) {
    turns += it->second.process != std::next(it)->second.process;
  }
  if (params.processes > 1) {
    EXPECT_GT(turns, summary.counts["P"] / 20);
  }
  EXPECT_GT(summary.counts["R"], 0);
  EXPECT_GT(summary.counts["D"], 0);
  EXPECT_GT(summary.counts["C"], 0);

  std::printf(
      "[ stress   ] %d processes x %d names (pool %d) in %.1f s: %d posted, %d refused 9729, %d "
      "found first, %d own edits, %d counter raises, %d deleted, %d gone (8710), %d given up "
      "(10258); %lld rows left, %d turns between writers\n",
      params.processes, params.rows, params.pool, seconds, summary.counts["P"], summary.counts["R"],
      summary.counts["F"], summary.counts["E"], summary.counts["C"], summary.counts["D"],
      summary.counts["G"], summary.counts["L"], static_cast<long long>(live), turns);
}

}  // namespace
}  // namespace quoldex::tables::test
