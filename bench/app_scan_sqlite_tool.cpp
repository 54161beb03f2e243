// The work of "quoldex-cli scan" done with SQLite, for bench/app_scan_compare.sh.
//
// Usage: app_scan_sqlite_tool DATA_DIR TREE_DIR
//
// Same steps as the program's scan into DATA_DIR (created when missing):
// the tables on first use (with the sixteen system packages), the walk of
// TREE_DIR for "*.uc" with the same file search, and for each file one
// look-up of its class name ignoring case; a new class costs one insert
// (name, ".", file name, time stamp text, package from the path), one read
// of its header with the same reader and one update of its parent. Then the
// queries that rebuild the tree's first level (root classes, packages,
// maps). Every statement is its own transaction; WAL journal,
// synchronous=NORMAL. Prints the number of classes catalogued.
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "catalogue/class_header_reader.h"
#include "catalogue/package_path.h"
#include "search/file_search.h"
#include "tables/components/db_datetime_text.h"
#include "text/ascii.h"
#include "ui/ui.h"

namespace {

using quoldex::ui::Answer;
using quoldex::ui::DialogResult;

// The header reader shows a status text per file; nobody sees it here.
class SilentUi : public quoldex::ui::Ui {
 public:
  void SetStatusText(std::string_view text) override { status_ = text; }
  std::string StatusText() const override { return status_; }
  void ProcessMessages() override {}
  Answer ShowMessage(const quoldex::ui::Message&) override { return Answer::kCancel; }
  std::optional<std::string> BrowseForFolder(const quoldex::ui::FolderRequest&) override {
    return std::nullopt;
  }
  std::optional<std::vector<std::string>> ShowOpenDialog(const quoldex::ui::OpenDialog&) override {
    return std::nullopt;
  }
  DialogResult ShowRecordView(quoldex::ui::RecordView&) override { return DialogResult::kCancel; }
  std::optional<size_t> ShowSearchDialog(quoldex::ui::SearchDialog&) override {
    return std::nullopt;
  }
  void ShowLogViewer(std::shared_ptr<quoldex::ui::LogWindow>) override {}

 private:
  std::string status_;
};

class Database {
 public:
  explicit Database(const std::string& file) {
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK) Fail("open");
  }
  ~Database() { sqlite3_close(db_); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  void Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) Fail(sql);
    return statement;
  }
  // Steps `statement` to its end and resets it; the number of rows seen.
  int RunToEnd(sqlite3_stmt* statement) {
    int rows = 0;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) ++rows;
    sqlite3_reset(statement);
    if (rc != SQLITE_DONE) Fail("step");
    return rows;
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error(what + ": " + sqlite3_errmsg(db_));
  }

 private:
  sqlite3* db_ = nullptr;
};

void BindText(sqlite3_stmt* statement, int index, const std::string& text, size_t width) {
  const std::string cut = text.substr(0, width);
  sqlite3_bind_text(statement, index, cut.data(), static_cast<int>(cut.size()), SQLITE_TRANSIENT);
}

// The class name: the file name before its first ".uc", found ignoring case.
std::string ClassName(const std::string& file_name) {
  const size_t dot = quoldex::text::AsciiLowerCase(file_name).find(".uc");
  return dot == std::string::npos ? std::string() : file_name.substr(0, dot);
}

void CreateTables(Database& db) {
  db.Exec(
      "CREATE TABLE IF NOT EXISTS systemu(Package TEXT NOT NULL PRIMARY KEY COLLATE NOCASE);"
      "CREATE TABLE IF NOT EXISTS maps(MapName TEXT PRIMARY KEY, Filename TEXT);"
      "CREATE TABLE IF NOT EXISTS objects(ObjectId INTEGER PRIMARY KEY AUTOINCREMENT,"
      " ObjectName TEXT NOT NULL, InheritsFrom TEXT NOT NULL, Filename TEXT NOT NULL,"
      " FileTimeStamp TEXT, Package TEXT);"
      "CREATE UNIQUE INDEX IF NOT EXISTS ByName ON objects(ObjectName COLLATE NOCASE);"
      "CREATE INDEX IF NOT EXISTS ByInheritance ON objects(InheritsFrom COLLATE NOCASE,"
      " ObjectName COLLATE NOCASE);"
      "CREATE TABLE IF NOT EXISTS pref(PrefId INTEGER PRIMARY KEY CHECK (PrefId = 1),"
      " SystemDir TEXT, CanEditSystemU INTEGER NOT NULL DEFAULT 0,"
      " WarnBeforeCompiling INTEGER NOT NULL DEFAULT 0, DefaultCompilePackage TEXT,"
      " SaveWindowPos INTEGER, WindowLeft INTEGER, WindowWidth INTEGER, WindowTop INTEGER,"
      " WindowHeight INTEGER, TestMap TEXT, CheckChildren INTEGER DEFAULT 0,"
      " GrepModal INTEGER DEFAULT 0, GrepStayOnTop INTEGER DEFAULT 0,"
      " AddExportedClasses INTEGER DEFAULT 1);"
      "CREATE TABLE IF NOT EXISTS items(ItemId INTEGER PRIMARY KEY AUTOINCREMENT,"
      " ObjectId INTEGER NOT NULL, ItemType TEXT NOT NULL, ItemName TEXT NOT NULL,"
      " LineNo INTEGER NOT NULL);"
      "CREATE INDEX IF NOT EXISTS ByObject ON items(ObjectId, ItemId);");
  sqlite3_stmt* count = db.Prepare("SELECT 1 FROM systemu LIMIT 1");
  const bool empty = db.RunToEnd(count) == 0;
  sqlite3_finalize(count);
  if (!empty) return;
  sqlite3_stmt* insert = db.Prepare("INSERT INTO systemu(Package) VALUES (?1)");
  for (const char* name :
       {"botpack", "core", "editor", "engine", "fire", "ipdrv", "ipserver", "ubrowser", "umenu",
        "unreali", "unrealshare", "utbrowser", "utmenu", "utserveradmin", "uweb", "uwindow"}) {
    BindText(insert, 1, name, 35);
    db.RunToEnd(insert);
  }
  sqlite3_finalize(insert);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DATA_DIR TREE_DIR\n", argv[0]);
    return 2;
  }
  try {
    const std::string data_dir = argv[1];
    std::filesystem::create_directories(data_dir);
    Database db(data_dir + "/objects.sqlite");
    db.Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
    CreateTables(db);

    sqlite3_stmt* find = db.Prepare(
        "SELECT ObjectId FROM objects WHERE ObjectName = ?1 "
        "COLLATE NOCASE");
    sqlite3_stmt* insert = db.Prepare(
        "INSERT INTO objects(ObjectName, InheritsFrom, Filename, FileTimeStamp, Package) "
        "VALUES (?1, ?5, ?2, ?3, ?4)");

    SilentUi ui;
    quoldex::catalogue::ClassHeaderReader reader(ui);

    quoldex::search::TFileSearch search;
    search.SetFileMask("*.uc");
    search.SetRecurseDirs(true);
    search.SetAttributes(63);
    search.SetFirstTime(29221);
    search.SetLastTime(73050);
    search.SetOnAddFile(
        [&](const std::string& folder, const quoldex::search::FindData& data, bool&) {
          const std::string name = ClassName(data.name);
          BindText(find, 1, name, 35);
          const bool known = db.RunToEnd(find) > 0;
          if (known || name.empty()) return;  // an empty name: the row would be refused
          const std::string stamp = quoldex::tables::RegionalDateTimeText(
                                        quoldex::search::FileTimeToDateTime(data.last_write_time))
                                        .value_or("");
          BindText(insert, 1, name, 35);
          BindText(insert, 2, folder + data.name, 250);
          BindText(insert, 3, stamp, 10);
          BindText(insert, 4, quoldex::catalogue::PackageFromPath(folder), 20);
          // The script is read before its row is written, and the row is written whole.
          BindText(insert, 5, reader.ReadClassHeader(folder + data.name).value_or("."), 35);
          sqlite3_step(insert);  // a name taken in its first 35 characters is refused
          sqlite3_reset(insert);
        });
    search.Execute(argv[2]);

    // The tree's first level, as the rebuild after a scan reads it.
    for (const char* sql :
         {"SELECT * FROM objects WHERE InheritsFrom = '<none>' "
          "ORDER BY ObjectName",
          "SELECT Package FROM objects GROUP BY Package", "SELECT * FROM maps ORDER BY MapName"}) {
      sqlite3_stmt* statement = db.Prepare(sql);
      db.RunToEnd(statement);
      sqlite3_finalize(statement);
    }
    sqlite3_stmt* count = db.Prepare("SELECT ObjectId FROM objects");
    std::printf("%d\n", db.RunToEnd(count));
    sqlite3_finalize(count);
    sqlite3_finalize(find);
    sqlite3_finalize(insert);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
