// Pieces the table benchmarks share: the catalogue's objects table as the
// program defines it, a scratch folder, and the median of a run's figures.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "tables/cursor/table_cursor.h"

namespace quoldex::bench {

// objects.dat: ObjectId autoinc primary; "ByName" unique case-insensitive on
// ObjectName; "ByInheritance" case-insensitive on InheritsFrom;ObjectName.
inline tables::TableDefinition ObjectsDefinition() {
  using namespace quoldex::tables;
  auto field = [](const char* name, uint8_t type, uint8_t size, bool required,
                  uint8_t subtype = 0) {
    FieldDesc f;
    f.name = name;
    f.type = type;
    f.size = size;
    f.required = required;
    f.subtype = subtype;
    return f;
  };
  auto index = [](const char* name, std::vector<uint16_t> fields, bool unique, bool ci) {
    IndexDesc i;
    i.name = name;
    i.fields = std::move(fields);
    i.unique = unique;
    i.case_insensitive = ci;
    return i;
  };
  TableDefinition d;
  d.fields = {field("ObjectId", kTypeInteger, 0, true, kSubtypeAutoInc),
              field("ObjectName", kTypeString, 35, true),
              field("InheritsFrom", kTypeString, 35, true),
              field("Filename", kTypeString, 250, true),
              field("FileTimeStamp", kTypeString, 10, false),
              field("Package", kTypeString, 20, false)};
  d.indexes = {index("", {1}, true, false), index("ByName", {2}, true, true),
               index("ByInheritance", {3, 2}, false, true)};
  d.description = "Quoldex Objects";
  return d;
}

// A fresh folder in the system's temporary folder, removed with its
// contents when destroyed.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The folder, ending with a separator.
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace quoldex::bench
