// Damaged data files: thousands of random changes to valid files (fixed
// seed). Opening must either succeed, after which every record and field
// can be read and a record inserted and deleted, or be refused with an
// engine error; never a crash, an out-of-bounds access or another exception.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "tables/base/engine_error.h"
#include "tables/data_file/data_file.h"
#include "tables/data_file/data_file_test_util.h"

namespace quoldex::tables {
namespace {

using test::Field;
using test::TempDir;

std::vector<FieldDesc> AllTypesFields() {
  std::vector<FieldDesc> f = {Field("Id", kTypeInteger, 0, true, kSubtypeAutoInc),
                              Field("Name", kTypeString, 20),
                              Field("Day", kTypeDate),
                              Field("Clock", kTypeTime),
                              Field("Stamp", kTypeTimestamp),
                              Field("Amount", kTypeFloat, 0, false, kSubtypeMoney),
                              Field("Small", kTypeSmallInt),
                              Field("Word", kTypeWord),
                              Field("Big", kTypeUInt32),
                              Field("Flag", kTypeBoolean),
                              Field("Raw", kTypeBytes, 8),
                              Field("VarRaw", kTypeVarBytes, 6)};
  f[2].default_text = "DATE";
  f[4].min_text = "2000-01-01";
  f[6].default_text = "-3";
  f[9].default_text = "TRUE";
  return f;
}

// Builds a file with `count` records, every third one deleted.
std::vector<uint8_t> BuildFile(const std::string& path, const std::vector<FieldDesc>& fields,
                               int count) {
  {
    TDataFile file(path);
    file.Create(fields, {});
    std::vector<uint8_t> rec(file.RecordSize());
    for (int i = 1; i <= count; ++i) {
      file.InitNewRecord(rec.data());
      for (size_t f = 1; f < fields.size(); ++f)
        if (fields[f].type == kTypeString)
          file.SetField(static_cast<int>(f + 1), FieldValue::String("v" + std::to_string(i)),
                        rec.data());
      file.IssueRecordId(rec.data());
      file.StoreNewRecord(file.NextFreeRecordNumber(true), rec.data());
    }
    for (int i = 3; i <= count; i += 3) file.DeleteRecord(i);
  }
  return test::ReadAll(path);
}

class Mutator {
 public:
  explicit Mutator(uint32_t seed) : rng_(seed) {}

  int Below(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

  void Mutate(std::vector<uint8_t>& b, size_t descriptors_end) {
    static const int kDescriptorSpots[] = {0,  1,  2,  33, 84, 85,  86,  87,
                                           88, 90, 91, 92, 94, 145, 196, 247};
    static const int32_t kValues[] = {0, 1, -1, 2, 7, 0x7FFFFFFF, INT32_MIN, 369, 65535, 100000000};
    switch (Below(7)) {
      case 0:  // any header byte
        if (b.size() > 0) b[Below(static_cast<int>(std::min<size_t>(b.size(), 127)))] = Byte();
        break;
      case 1: {  // a header number set to an edge value
        static const int kFields[] = {0, 4, 9, 13, 17, 21, 23, 25, 103, 111};
        size_t at = kFields[Below(10)];
        int32_t v = kValues[Below(10)];
        for (int i = 0; i < 4 && at + i < b.size(); ++i)
          b[at + i] = static_cast<uint8_t>(v >> (8 * i));
        break;
      }
      case 2: {  // a descriptor byte that matters
        if (b.size() <= 127) break;
        size_t fields = (std::min(b.size(), descriptors_end) - 127) / 768;
        if (fields == 0) break;
        size_t at = 127 + 768 * Below(static_cast<int>(fields)) + kDescriptorSpots[Below(16)];
        if (at < b.size()) b[at] = Byte();
        break;
      }
      case 3:  // any byte at all
        if (!b.empty()) b[Below(static_cast<int>(b.size()))] = Byte();
        break;
      case 4:  // truncated
        b.resize(Below(static_cast<int>(b.size()) + 1));
        break;
      case 5:  // extended
        b.resize(b.size() + 1 + Below(1000), Byte());
        break;
      default:  // cut or grown by whole records' worth of descriptor bytes
        b.resize(b.size() + (Below(2) ? 768 : 0));
        if (b.size() >= 768 && Below(2)) b.resize(b.size() - 768);
        break;
    }
  }

 private:
  uint8_t Byte() {
    static const uint8_t kEdges[] = {0, 1, 3, 0x7F, 0x80, 0xFF};
    return Below(3) == 0 ? kEdges[Below(6)] : static_cast<uint8_t>(rng_());
  }
  std::mt19937 rng_;
};

// Everything a caller may do with an open table; errors of single steps
// are expected (a damaged default, a refused chain) and recorded.
void Exercise(TDataFile& file, std::map<int, int>& codes, int& conversions) {
  auto step = [&](auto&& f) {
    try {
      f();
    } catch (const EDbEngineError& e) {
      ++codes[e.ErrorCode()];
    } catch (const EDatabaseError&) {
      ++conversions;
    }
  };
  for (int32_t n = 1; n < file.Header().NextRecordNumber(); ++n) {
    step([&] {
      TRecord* r = file.GetRecord(n, ReadAhead::Physical());
      for (size_t f = 1; f <= file.Fields().size(); ++f) {
        step([&] {
          FieldValue v = file.GetField(static_cast<int>(f), r->Data());
          file.CheckBounds(static_cast<int>(f), r->Data());
          (void)v;
        });
      }
      file.Unpin(r);
    });
  }
  std::vector<uint8_t> rec(file.RecordSize());
  step([&] {
    file.InitNewRecord(rec.data());
    file.IssueRecordId(rec.data());
    int32_t n = file.NextFreeRecordNumber(true);
    file.StoreNewRecord(n, rec.data());
    file.DeleteRecord(n);
  });
  step([&] { file.DeleteRecord(1); });
  step([&] { file.FlushBuffers(true); });
}

TEST(DataFileFuzz, DamagedFilesAreRefusedOrSafelyUsable) {
  TempDir dir;
  struct Base {
    std::vector<uint8_t> bytes;
    size_t descriptors_end;
  };
  std::vector<Base> bases;
  auto objects = test::ObjectsFields();
  auto pref = test::PrefFields();
  auto all = AllTypesFields();
  bases.push_back({BuildFile(dir.File("a.dat"), objects, 20), 127 + 768 * objects.size()});
  bases.push_back({BuildFile(dir.File("b.dat"), pref, 1), 127 + 768 * pref.size()});
  bases.push_back({BuildFile(dir.File("c.dat"), all, 12), 127 + 768 * all.size()});

  const std::set<int> refusals = {kErrHeaderCorrupt, kErrVersion, kErrLanguage,
                                  kErrPasswordRequired};
  const std::set<int> step_errors = {kErrRecordBuffersCorrupt, kErrRecordNotFound, kErrFileFull,
                                     kErrBlobField, kErrFieldDefinition};
  Mutator m(20240611);
  std::map<int, int> open_codes, step_codes;
  int usable = 0, conversions = 0;
  const std::string path = dir.File("fuzz.dat");
  for (int i = 0; i < 4000; ++i) {
    const Base& base = bases[i % bases.size()];
    std::vector<uint8_t> bytes = base.bytes;
    for (int k = 1 + m.Below(3); k > 0; --k) m.Mutate(bytes, base.descriptors_end);
    test::WriteAll(path, bytes);
    TDataFile file(path);
    try {
      file.Open(false, false, false);
      file.CheckFileLength();
    } catch (const EDbEngineError& e) {
      ++open_codes[e.ErrorCode()];
      EXPECT_TRUE(refusals.count(e.ErrorCode())) << "iteration " << i << ": " << e.what();
      continue;
    }
    ++usable;
    Exercise(file, step_codes, conversions);
    EXPECT_NO_THROW(file.Close()) << "iteration " << i;
  }
  for (auto [code, count] : step_codes)
    EXPECT_TRUE(step_errors.count(code)) << "code " << code << " x" << count;
  // Both outcomes must be common, or the damage is not reaching the checks.
  EXPECT_GT(usable, 400);
  EXPECT_GT(open_codes[kErrHeaderCorrupt], 1500);
  EXPECT_GT(open_codes[kErrVersion], 0);
  EXPECT_GT(step_codes[kErrRecordBuffersCorrupt], 0);  // damaged chains were met
  EXPECT_GT(conversions, 0);                           // and damaged default texts
}

}  // namespace
}  // namespace quoldex::tables
