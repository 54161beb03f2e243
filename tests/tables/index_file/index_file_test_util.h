// Helpers shared by the index file's tests: a scratch folder, field lists
// with their record offsets, key builders, whole-file access, and a fixture
// with long random runs checked against an ordered map.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "tables/base/coding.h"
#include "tables/base/engine_error.h"
#include "tables/base/index_desc_builder.h"
#include "tables/base/table_defs.h"
#include "tables/index_file/index_file.h"
#include "tables/storage/file_bytes_test_util.h"

namespace quoldex::tables::index_test {

// A fresh folder under the temporary directory, removed with its contents.
class ScratchDir {
 public:
  ScratchDir() { path_ = quoldex::testing::MakeTempFolder("qdx-index-"); }
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

using test::Index;

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

using tables::ReadWholeFileThrough;

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

using Bytes = std::vector<uint8_t>;

// Field numbers of ClassFields().
constexpr int kObjectId = 1, kObjectName = 2, kInheritsFrom = 3, kFilename = 4, kCount = 5;

// An index file in a scratch folder ("t.IDX", errors naming "t.DAT") over
// ClassFields(), with helpers to create, reopen and read it.
class IndexFileTest : public ::testing::Test {
 protected:
  std::string IdxPath() const { return dir_.File("t.IDX"); }
  std::string DatName() const { return dir_.File("t.DAT"); }

  std::unique_ptr<TIndexFile> NewFile() {
    return std::make_unique<TIndexFile>(IdxPath(), DatName(), fields_, held_pages_);
  }
  // Creates the file with a primary index on `primary_fields` and the given
  // secondary indexes.
  std::unique_ptr<TIndexFile> CreateFile(std::vector<uint16_t> primary_fields,
                                         std::vector<IndexDesc> secondaries = {}) {
    auto file = NewFile();
    file->Create(false);
    file->AddPrimaryIndex(Index("", std::move(primary_fields)));
    for (IndexDesc& d : secondaries) file->AddSecondaryIndex(d);
    return file;
  }
  std::unique_ptr<TIndexFile> Reopen(std::unique_ptr<TIndexFile> file, bool exclusive = true) {
    file->Close();
    file.reset();
    auto again = NewFile();
    again->Open(exclusive, false, false);
    return again;
  }

  // A key of `index` built from leading values.
  static Bytes KeyOf(const TIndexFile& file, int index, std::vector<KeyValue> values) {
    Bytes key(file.KeyLength(index));
    file.Layout(index).FromValues(values, key.data());
    return key;
  }
  // Keys of the primary on Filename (key length 252: 15 entries per page).
  static Bytes WideKey(const TIndexFile& file, int k) {
    char text[16];
    std::snprintf(text, sizeof text, "K%08d", k);
    return KeyOf(file, 0, {KeyValue::String(text)});
  }

  // The pages as written, after a flush.
  struct PageView {
    const uint8_t* p;
    size_t key_length;
    int Type() const { return p[0]; }
    int Count() const { return GetLE<uint16_t>(p + 1); }
    int32_t Prev() const { return GetLE<int32_t>(p + 3); }
    int32_t Next() const { return GetLE<int32_t>(p + 7); }
    const uint8_t* Key(int i, bool leaf) const {
      return p + 13 + size_t(i) * (key_length + (leaf ? 4 : 8));
    }
    int32_t Child(int i) const { return GetLE<int32_t>(Key(i, false) + key_length); }
    int32_t SubtreeCount(int i) const { return GetLE<int32_t>(Key(i, false) + key_length + 4); }
  };
  PageView View(const Bytes& image, int32_t offset, size_t key_length) const {
    return PageView{image.data() + offset, key_length};
  }
  // `top` (37-byte keys) is a root over two linked leaves holding `left`
  // and `right` entries, its second key the right leaf's first.
  void ExpectRootOverTwoLeaves(const Bytes& image, const PageView& top, int left, int right) {
    ASSERT_EQ(top.Type(), TPage::kRoot);
    ASSERT_EQ(top.Count(), 2);
    PageView l = View(image, top.Child(0), 37);
    PageView r = View(image, top.Child(1), 37);
    EXPECT_EQ(l.Type(), TPage::kLeaf);
    EXPECT_EQ(r.Type(), TPage::kLeaf);
    EXPECT_EQ(l.Count(), left);
    EXPECT_EQ(r.Count(), right);
    EXPECT_EQ(top.SubtreeCount(0), left);
    EXPECT_EQ(top.SubtreeCount(1), right);
    EXPECT_EQ(l.Next(), top.Child(1));
    EXPECT_EQ(r.Prev(), top.Child(0));
    EXPECT_EQ(l.Prev(), 0);
    EXPECT_EQ(r.Next(), 0);
    EXPECT_EQ(std::memcmp(top.Key(1, false), r.Key(0, true), 37), 0);
  }

  // 24 batches of 400 random inserts and deletes (phases of growth and
  // shrinkage) on one of three index shapes chosen by `seed`, the file
  // reopened now and then; after every batch the tree passes Verify and
  // agrees with an ordered map entry by entry, by ordinal and by ranges.
  // With `built` the tree starts from that many random keys put in by
  // Build instead of empty.
  void RandomRun(int seed, int built = 0) {
    std::mt19937 rng(seed);
    // Three shapes: wide keys (15 entries a page, deep trees), a ByName-shaped
    // index, and keys of 1013 bytes (4 per leaf, 3 per interior page), where a
    // page can be its parent's only child.
    const int shape = seed % 3;
    std::unique_ptr<TIndexFile> file;
    if (shape == 0) file = CreateFile({kFilename});
    if (shape == 1) file = CreateFile({kObjectId}, {Index("ByName", {kObjectName}, true, true)});
    if (shape == 2) file = CreateFile({kFilename, kFilename, kFilename, kFilename, kObjectId});
    const int index = shape == 1 ? 1 : 0;
    const size_t klen = file->KeyLength(index);
    if (shape == 2) {
      ASSERT_EQ(klen, 1013u);
      ASSERT_EQ(TPage::InteriorCapacity(klen), 3);
    }
    auto make_key = [&](int k) {
      char text[16];
      std::snprintf(text, sizeof text, "N%06d", k);
      std::vector<KeyValue> values(shape == 2 ? 4 : 1, KeyValue::String(text));
      if (shape == 2) values.push_back(KeyValue::Int32(k));
      return KeyOf(*file, index, values);
    };
    std::map<Bytes, int32_t> model;
    const int key_space = shape == 0 ? 3000 : shape == 1 ? 20000 : 800;
    if (built > 0) {
      while (static_cast<int>(model.size()) < built) {
        int k = static_cast<int>(rng() % key_space);
        model[make_key(k)] = k;
      }
      std::vector<IndexTree::Entry> entries;
      for (const auto& [key, record] : model) entries.push_back({key.data(), record});
      file->Build(index, entries);
    }
    for (int batch = 0; batch < 24; ++batch) {
      // Phases of growth and shrinkage, so merges cascade as well as splits.
      int insert_percent = (batch / 4) % 2 == 0 ? 75 : 25;
      for (int op = 0; op < 400; ++op) {
        int k = static_cast<int>(rng() % key_space);
        Bytes key = make_key(k);
        bool present = model.count(key) != 0;
        if (static_cast<int>(rng() % 100) < insert_percent) {
          if (present) {
            EXPECT_EQ(ErrorCodeOf([&] { file->Insert(index, key.data(), k); }), kErrDuplicateKey);
          } else {
            file->Insert(index, key.data(), k);
            model[key] = k;
          }
        } else if (present) {
          file->Delete(index, key.data());
          model.erase(key);
        } else {
          EXPECT_EQ(ErrorCodeOf([&] { file->Delete(index, key.data()); }), kErrKeyNotFound);
        }
      }
      ASSERT_EQ(file->Verify(), std::vector<std::string>{}) << "batch " << batch;
      ASSERT_EQ(file->EntryCount(index), static_cast<int64_t>(model.size()));
      file->SelectIndex(index);
      auto it = model.begin();
      int64_t ordinal = 0;
      for (bool ok = file->First(); ok; ok = file->Next(), ++it) {
        ASSERT_NE(it, model.end());
        ASSERT_EQ(Bytes(file->CurrentKey(), file->CurrentKey() + klen), it->first);
        ASSERT_EQ(file->CurrentRecord(), it->second);
        if (++ordinal % 37 == 0) {
          ASSERT_EQ(file->CurrentOrdinal(), ordinal);
        }
      }
      ASSERT_EQ(it, model.end());
      for (int probe = 0; probe < 20 && !model.empty(); ++probe) {
        int64_t target = 1 + static_cast<int64_t>(rng() % model.size());
        ASSERT_TRUE(file->SetOrdinal(target));
        ASSERT_EQ(file->CurrentRecord(), std::next(model.begin(), target - 1)->second);
        // Ranges on a prefix of 4 characters ("N00x" covers 1000 keys) and on
        // whole keys.
        Bytes lo = make_key(static_cast<int>(rng() % key_space));
        Bytes hi = make_key(static_cast<int>(rng() % key_space));
        int64_t expect_prefix = 0, expect_whole = 0;
        for (const auto& [key, value] : model) {
          (void)value;
          if (std::memcmp(key.data(), lo.data(), 5) >= 0 &&
              std::memcmp(key.data(), hi.data(), 5) <= 0) {
            ++expect_prefix;
          }
          if (key >= lo && key <= hi) ++expect_whole;
        }
        ASSERT_EQ(file->CountRange(lo.data(), 5, hi.data(), 5), expect_prefix);
        ASSERT_EQ(file->CountRange(lo.data(), klen, hi.data(), klen), expect_whole);
      }
      if (batch % 6 == 5) file = Reopen(std::move(file));
    }
  }

  ScratchDir dir_;
  std::vector<FieldDesc> fields_ = ClassFields();
  // The bound on held pages of the files NewFile makes.
  size_t held_pages_ = TIndexFile::kHeldPages;
};

}  // namespace quoldex::tables::index_test
