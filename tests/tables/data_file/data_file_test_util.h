// Helpers shared by the data file's tests: a scratch folder, the catalogue
// table definitions, whole-file access, and files that count their calls.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "fakes/objects_table.h"
#include "fakes/temp_dir.h"
#include "tables/base/engine_error.h"
#include "tables/base/table_defs.h"
#include "tables/data_file/data_file.h"
#include "tables/storage/file_handler.h"

namespace quoldex::tables::test {

// A fresh folder under the temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir() { path_ = quoldex::testing::MakeTempFolder("qdx-datafile-"); }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string Dir() const { return path_ + "/"; }
  std::string File(const std::string& name) const { return Dir() + name; }

 private:
  std::string path_;
};

inline FieldDesc Field(std::string name, uint8_t type, uint8_t size = 0, bool required = false,
                       uint8_t subtype = 0) {
  FieldDesc f;
  f.name = std::move(name);
  f.type = type;
  f.size = size;
  f.required = required;
  f.subtype = subtype;
  return f;
}

using ::quoldex::testing::ObjectsFields;

inline std::vector<FieldDesc> PrefFields() {
  auto with = [](FieldDesc f, std::string def, std::string min = "", std::string max = "") {
    f.default_text = std::move(def);
    f.min_text = std::move(min);
    f.max_text = std::move(max);
    return f;
  };
  return {with(Field("PrefId", kTypeInteger, 0, true), "1", "1", "1"),
          Field("SystemDir", kTypeString, 250),
          with(Field("CanEditSystemU", kTypeBoolean, 0, true), "False"),
          with(Field("WarnBeforeCompiling", kTypeBoolean, 0, true), "False"),
          Field("DefaultCompilePackage", kTypeString, 35),
          Field("SaveWindowPos", kTypeBoolean),
          Field("WindowLeft", kTypeInteger),
          Field("WindowWidth", kTypeInteger),
          Field("WindowTop", kTypeInteger),
          Field("WindowHeight", kTypeInteger),
          Field("TestMap", kTypeString, 250),
          with(Field("CheckChildren", kTypeBoolean), "False"),
          with(Field("GrepModal", kTypeBoolean), "False"),
          with(Field("GrepStayOnTop", kTypeBoolean), "False"),
          with(Field("AddExportedClasses", kTypeBoolean), "True")};
}

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replaces the file's content. Writes over the old bytes and then sets the
// length, rather than truncating to 0 first, which some file systems answer
// with a flush to disk (slow when a test rewrites a file thousands of times).
inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    if (!out.is_open()) out.open(path, std::ios::binary | std::ios::out);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  std::filesystem::resize_file(path, bytes.size());
}

// Runs `f` and returns the engine error code it raised, or 0 when it raised
// nothing.
template <typename F>
int EngineCode(F&& f) {
  try {
    f();
  } catch (const EDbEngineError& e) {
    return e.ErrorCode();
  }
  return 0;
}

struct IoCall {
  uint64_t offset;
  size_t count;
  friend bool operator==(const IoCall&, const IoCall&) = default;
  friend std::ostream& operator<<(std::ostream& os, const IoCall& c) {
    return os << "{" << c.offset << ", " << c.count << "}";
  }
};

// A data file that records every read and write call.
class CountingDataFile : public TDataFile {
 public:
  using TDataFile::TDataFile;
  void Read(uint64_t offset, void* buffer, size_t count) const override {
    reads.push_back({offset, count});
    TDataFile::Read(offset, buffer, count);
  }
  void Write(uint64_t offset, const void* buffer, size_t count) override {
    writes.push_back({offset, count});
    TDataFile::Write(offset, buffer, count);
  }
  mutable std::vector<IoCall> reads;
  std::vector<IoCall> writes;
};

}  // namespace quoldex::tables::test
