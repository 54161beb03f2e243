// PrefRecord: the single preference record of pref.dat, read and written
// through the main window's dtblPref and its field objects.
//
// Reading: every call reads the field of the table's current row at that
// moment; nothing is cached. While the record is missing (an empty table)
// or the table is closed, a text reads "", a boolean false and an integer
// nothing, and IsNull is true.
//
// Writing: Edit starts editing the record; on an empty table it creates the
// record instead, which receives the table's stored defaults and then
// dtblPrefNewRecord's values (browser_data.h). The Set calls change the
// record being edited; Post stores it (the engine's field errors arrive
// then), Cancel discards it (a record begun by Edit is not stored).
// Writing outside an edit raises the data set's error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tables/components/db_table.h"

namespace quoldex::data {

class PrefRecord {
 public:
  explicit PrefRecord(tables::TDbTable& dtblPref) : table_(dtblPref) {}

  // ---- Reading, by field name ----
  bool IsNull(std::string_view field) const;
  std::string Text(std::string_view field) const;
  bool Boolean(std::string_view field) const;
  std::optional<int64_t> Integer(std::string_view field) const;

  std::string SystemDir() const { return Text("SystemDir"); }
  std::string DefaultCompilePackage() const { return Text("DefaultCompilePackage"); }
  std::string TestMap() const { return Text("TestMap"); }
  bool CanEditSystemU() const { return Boolean("CanEditSystemU"); }
  bool WarnBeforeCompiling() const { return Boolean("WarnBeforeCompiling"); }
  bool SaveWindowPos() const { return Boolean("SaveWindowPos"); }
  bool CheckChildren() const { return Boolean("CheckChildren"); }
  bool GrepModal() const { return Boolean("GrepModal"); }
  bool GrepStayOnTop() const { return Boolean("GrepStayOnTop"); }
  bool AddExportedClasses() const { return Boolean("AddExportedClasses"); }

  // ---- Writing ----
  // Starts editing (a no-op while an edit or insert is pending).
  void Edit();
  bool Editing() const;
  // True once a field was assigned in the pending edit.
  bool Modified() const { return table_.Modified(); }
  void SetText(std::string_view field, std::string_view value);
  void SetBoolean(std::string_view field, bool value);
  void SetInteger(std::string_view field, int64_t value);
  void Clear(std::string_view field);
  void Post();
  void Cancel();

  tables::TDbTable& Table() const { return table_; }

 private:
  // The field object of `field` when the record can be read, else null.
  const tables::TField* Readable(std::string_view field) const;

  tables::TDbTable& table_;
};

}  // namespace quoldex::data
