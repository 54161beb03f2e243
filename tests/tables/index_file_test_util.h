// Helpers shared by the index file's tests: a scratch folder, field lists
// with their record offsets, key builders and whole-file access.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tables/coding.h"
#include "tables/engine_error.h"
#include "tables/index_file.h"
#include "tables/table_defs.h"

namespace quoldex::tables::index_test {

// A fresh folder under the temporary directory, removed with its contents.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qdx-index-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A field with its slot placed after the previous fields (as a data file
// lays them out: running offset from 9, autoinc at 5 without a slot).
inline void AddField(std::vector<FieldDesc>& fields, std::string name, uint8_t type,
                     uint8_t size = 0, uint8_t subtype = 0) {
  FieldDesc f;
  f.number = static_cast<uint16_t>(fields.size() + 1);
  f.name = std::move(name);
  f.type = type;
  f.size = size;
  f.subtype = subtype;
  f.physical_size = PhysicalSize(type, size);
  uint16_t offset = kRecordHeaderSize;
  for (const FieldDesc& g : fields) {
    if (g.HasSlot()) offset = static_cast<uint16_t>(g.offset + 1 + g.physical_size);
  }
  f.offset = f.IsAutoInc() ? 5 : offset;
  fields.push_back(f);
}

inline size_t RecordSize(const std::vector<FieldDesc>& fields) {
  size_t size = kRecordHeaderSize;
  for (const FieldDesc& f : fields) {
    if (f.HasSlot()) size += f.physical_size + 1;
  }
  return size;
}

// The catalogue's class table: ObjectId (autoinc), ObjectName,
// InheritsFrom (string 35), Filename (string 250).
inline std::vector<FieldDesc> ClassFields() {
  std::vector<FieldDesc> fields;
  AddField(fields, "ObjectId", kTypeInteger, 0, kSubtypeAutoInc);
  AddField(fields, "ObjectName", kTypeString, 35);
  AddField(fields, "InheritsFrom", kTypeString, 35);
  AddField(fields, "Filename", kTypeString, 250);
  AddField(fields, "Count", kTypeInteger);
  return fields;
}

inline IndexDesc Index(std::string name, std::vector<uint16_t> fields, bool unique = false,
                       bool case_insensitive = false) {
  IndexDesc d;
  d.name = std::move(name);
  d.fields = std::move(fields);
  d.unique = unique;
  d.case_insensitive = case_insensitive;
  return d;
}

// A record buffer with string/integer field values set the way a data file
// stores them.
class Record {
 public:
  Record(const std::vector<FieldDesc>& fields, int32_t record_id)
      : fields_(fields), bytes_(RecordSize(fields), 0) {
    PutLE(bytes_.data() + 5, record_id);
  }
  Record& String(int field, const std::string& value) {
    const FieldDesc& f = fields_[field - 1];
    uint8_t* slot = bytes_.data() + f.offset;
    std::memset(slot, 0, f.physical_size + 1);
    slot[0] = value.empty() ? 0 : 1;
    std::memcpy(slot + 1, value.data(), std::min<size_t>(value.size(), f.size));
    return *this;
  }
  Record& Int(int field, int32_t value) {
    uint8_t* slot = bytes_.data() + fields_[field - 1].offset;
    slot[0] = 1;
    PutLE(slot + 1, value);
    return *this;
  }
  std::span<const uint8_t> Bytes() const { return bytes_; }

 private:
  const std::vector<FieldDesc>& fields_;
  std::vector<uint8_t> bytes_;
};

inline std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// Runs `f` and returns the engine error code it raised (0 when none).
template <typename F>
int ErrorCodeOf(F&& f) {
  try {
    f();
  } catch (const EDbEngineError& e) {
    return e.ErrorCode();
  }
  return 0;
}

}  // namespace quoldex::tables::index_test
