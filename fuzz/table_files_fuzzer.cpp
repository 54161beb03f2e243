// A damaged objects table: the input becomes its data and index file (see
// table_pair.h). The table is opened (recovering it when it was left
// mid-change), every index walked both ways, a class located by name and by
// key, the integrity check run, a class added and one edited and one
// deleted (each may be refused); then the table is repaired, and a repair
// that reports nothing left unmended must leave a table that opens and
// passes the check. Engine errors are answers; a crash, a sanitizer report,
// any other exception or a repaired table that is still unsound is a fault.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "table_pair.h"
#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_repair.h"

namespace quoldex::fuzz {
namespace {

using tables::FieldValue;
using tables::TableCursor;

// No walk of the small tables the fuzzer makes needs more steps than this;
// a damaged file that claims millions of records is walked only so far.
constexpr int kMaxSteps = 2000;

void ReadRecord(const TableCursor& cursor) {
  for (int f = 1; f <= static_cast<int>(cursor.Fields().size()); ++f) cursor.GetField(f);
}

void WalkIndex(TableCursor& cursor, int index) {
  cursor.SetIndex(index);
  int steps = 0;
  for (bool on = cursor.First(); on && steps < kMaxSteps; on = cursor.Next(), ++steps)
    ReadRecord(cursor);
  steps = 0;
  for (bool on = cursor.Last(); on && steps < kMaxSteps; on = cursor.Prior(), ++steps)
    ReadRecord(cursor);
  const int64_t count = cursor.RecordCount();
  if (count > 0) {
    cursor.SetRecordNumber(count / 2 + 1);
    cursor.RecordNumber();
    if (cursor.HasRecord()) {
      // The key of the record found, searched for again in this index.
      std::vector<FieldValue> key;
      const tables::IndexDesc& desc = cursor.Indexes()[index];
      for (uint16_t field : desc.fields) key.push_back(cursor.GetField(field));
      if (!key.empty()) cursor.FindKey(key);
    }
  }
}

void Walk(TableCursor& cursor) {
  for (int i = 0; i < static_cast<int>(cursor.Indexes().size()); ++i)
    IgnoringEngineErrors([&] { WalkIndex(cursor, i); });
  IgnoringEngineErrors([&] {
    const int name = cursor.FieldNumber("ObjectName");
    if (name == 0) return;
    const int fields[] = {name};
    const FieldValue values[] = {FieldValue::String("weapon")};
    cursor.Locate(fields, values, true, false);
    const FieldValue prefix[] = {FieldValue::String("Dea")};
    cursor.Locate(fields, prefix, false, true);
  });
  IgnoringEngineErrors([&] { cursor.CheckIntegrity(); });
}

// The changes a scan and the tree make: append and post a class, rename
// one, delete one. Each runs on its own, as a failed one leaves the rest
// possible.
void Change(TableCursor& cursor) {
  const int name = cursor.FieldNumber("ObjectName");
  const int parent = cursor.FieldNumber("InheritsFrom");
  const int file = cursor.FieldNumber("Filename");
  if (name == 0 || parent == 0 || file == 0) return;
  cursor.SetIndex(0);
  IgnoringEngineErrors([&] {
    cursor.Append();
    cursor.SetField(name, FieldValue::String("FuzzAdded"));
    cursor.SetField(parent, FieldValue::String("object"));
    cursor.SetField(file, FieldValue::String("/fuzz/FuzzAdded.uc"));
    cursor.Post();
  });
  if (cursor.State() != tables::CursorState::kBrowse) cursor.Cancel();
  IgnoringEngineErrors([&] {
    if (!cursor.First()) return;
    cursor.Edit();
    cursor.SetField(name, FieldValue::String("FuzzEdited"));
    cursor.Post();
  });
  if (cursor.State() != tables::CursorState::kBrowse) cursor.Cancel();
  IgnoringEngineErrors([&] {
    if (cursor.Last()) cursor.Delete();
  });
  IgnoringEngineErrors([&] { cursor.CheckIntegrity(); });
}

bool AllMended(const std::vector<std::string>& report) {
  for (const std::string& line : report)
    if (line.rfind("not mended", 0) == 0) return false;
  return true;
}

}  // namespace
}  // namespace quoldex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace quoldex;
  using namespace quoldex::fuzz;
  const TablePair pair = SplitTablePair({reinterpret_cast<const char*>(bytes), size});
  const std::string dir = ScratchDir();
  const tables::TableSettings settings = QuickSettings(dir, "objects.dat");
  WriteWholeFile(dir + "objects.DAT", pair.data);
  WriteWholeFile(dir + "objects.IDX", pair.index);

  IgnoringEngineErrors([&] {
    tables::TableCursor cursor(settings);
    cursor.Open();
    Walk(cursor);
    Change(cursor);
    cursor.Close();
  });

  std::vector<std::string> report;
  bool repaired = false;
  IgnoringEngineErrors([&] {
    report = tables::RepairTable(settings);
    repaired = true;
  });
  if (repaired && !report.empty() && AllMended(report)) {
    // The repair says the table is whole again: it must open and be sound.
    tables::TableCursor cursor(settings);
    cursor.Open();
    const std::vector<std::string> faults = cursor.CheckIntegrity();
    if (!faults.empty()) {
      for (const std::string& line : report) std::fprintf(stderr, "repair: %s\n", line.c_str());
      for (const std::string& line : faults) std::fprintf(stderr, "still: %s\n", line.c_str());
      std::abort();
    }
    Walk(cursor);
    cursor.Close();
  }
  return 0;
}
