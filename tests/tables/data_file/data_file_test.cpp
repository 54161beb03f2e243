#include "tables/data_file/data_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "tables/base/coding.h"
#include "tables/data_file/data_file_test_util.h"
#include "tables/records/data_file_record.h"
#include "tables/records/field_datetime.h"

namespace quoldex::tables {
namespace {

using test::EngineCode;
using test::Field;
using test::ObjectsFields;
using test::ReadAll;
using test::TempDir;
using test::WriteAll;

DataFileOptions ObjectsOptions() {
  DataFileOptions o;
  o.description = "Quoldex Objects";
  return o;
}

// One expected descriptor, written at the offsets the format fixes.
std::vector<uint8_t> Descriptor(uint16_t number, const std::string& name, uint8_t type,
                                uint8_t subtype, uint8_t size, uint8_t physical, uint16_t offset,
                                bool required) {
  std::vector<uint8_t> d(768, 0);
  d[0] = number & 0xFF;
  d[1] = number >> 8;
  d[2] = static_cast<uint8_t>(name.size());
  std::memcpy(&d[3], name.data(), name.size());
  d[84] = type;
  d[85] = subtype;
  d[86] = size;
  d[88] = physical;
  d[90] = offset & 0xFF;
  d[91] = offset >> 8;
  d[92] = required ? 1 : 0;
  return d;
}

// Inserts a record the way the table layer does and returns its number.
int32_t Insert(TDataFile& file, bool primary, const std::vector<FieldValue>& values) {
  std::vector<uint8_t> rec(file.RecordSize());
  file.InitNewRecord(rec.data());
  for (size_t i = 0; i < values.size(); ++i)
    if (!file.Fields()[i].IsAutoInc())
      file.SetField(static_cast<int>(i + 1), values[i], rec.data());
  file.IssueRecordId(rec.data());
  int32_t n = file.NextFreeRecordNumber(primary);
  file.StoreNewRecord(n, rec.data());
  return n;
}

int32_t InsertName(TDataFile& file, bool primary, const std::string& name) {
  return Insert(file, primary,
                {FieldValue::Null(), FieldValue::String(name), FieldValue::String("object"),
                 FieldValue::String("/x/" + name + ".uc")});
}

std::string NameOf(TDataFile& file, int32_t record_number) {
  TRecord* r = file.GetRecord(record_number);
  std::string name = file.GetField(2, r->Data()).text;
  file.Unpin(r);
  return name;
}

void PatchBytes(const std::string& path, size_t offset, std::initializer_list<uint8_t> bytes) {
  std::vector<uint8_t> all = ReadAll(path);
  std::copy(bytes.begin(), bytes.end(), all.begin() + static_cast<std::ptrdiff_t>(offset));
  WriteAll(path, all);
}

void PatchI32(const std::string& path, size_t offset, int32_t v) {
  uint8_t b[4];
  PutLE<int32_t>(b, v);
  PatchBytes(path, offset, {b[0], b[1], b[2], b[3]});
}

TEST(DataFileLayout, ObjectsDatHeaderAndDescriptorsByteForByte) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  double before = NowLocal() - 693594;
  {
    TDataFile file(path);
    file.Create(ObjectsFields(), ObjectsOptions());
    EXPECT_EQ(file.RecordSize(), 369);
    EXPECT_EQ(file.RecordRegionStart(), 4735u);
    EXPECT_EQ(file.CacheCapacity(), 355u);
  }
  double after = NowLocal() - 693594;
  std::vector<uint8_t> bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 4735u);

  std::vector<uint8_t> header(127, 0);
  header[0] = 1;      // written once, because modified
  header[5] = 0x02;   // blob block size 512
  header[8] = 3;      // version
  header[13] = 1;     // next record number
  header[21] = 0x71;  // record size 369
  header[22] = 0x01;
  header[23] = 6;  // field count
  header[35] = 15;
  std::memcpy(&header[36], "Quoldex Objects", 15);
  header[107] = 1;  // creation values 1 and 0
  header[113] = 1;  // still set in the image written because it was modified
  double stamp;
  std::memcpy(&stamp, &bytes[27], 8);
  EXPECT_GE(stamp, before - 1e-6);
  EXPECT_LE(stamp, after + 1e-6);
  std::memcpy(&header[27], &bytes[27], 8);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 127), header);

  std::vector<std::vector<uint8_t>> expected = {
      Descriptor(1, "ObjectId", 6, 29, 0, 4, 5, true),
      Descriptor(2, "ObjectName", 1, 0, 35, 36, 9, true),
      Descriptor(3, "InheritsFrom", 1, 0, 35, 36, 46, true),
      Descriptor(4, "Filename", 1, 0, 250, 251, 83, true),
      Descriptor(5, "FileTimeStamp", 1, 0, 10, 11, 335, false),
      Descriptor(6, "Package", 1, 0, 20, 21, 347, false)};
  for (size_t i = 0; i < expected.size(); ++i) {
    auto at = bytes.begin() + 127 + static_cast<std::ptrdiff_t>(768 * i);
    EXPECT_EQ(std::vector<uint8_t>(at, at + 768), expected[i]) << "descriptor " << i + 1;
  }
}

TEST(DataFileLayout, RecordSlotBytesAndGrowth) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  {
    TDataFile file(path);
    file.Create(ObjectsFields(), ObjectsOptions());
    Insert(file, true,
           {FieldValue::Null(), FieldValue::String("Actor"), FieldValue::String("object"),
            FieldValue::String("/x/Actor.uc"), FieldValue::String("2024-01-01 "),
            FieldValue::String("   ")});
    file.FlushBuffers();
  }
  std::vector<uint8_t> bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 4735u + 369u);
  std::vector<uint8_t> slot(369, 0);
  slot[1] = 1;  // own record number
  slot[5] = 1;  // record ID
  auto put = [&slot](size_t at, const char* s) {
    slot[at] = 1;
    std::memcpy(&slot[at + 1], s, std::strlen(s));
  };
  put(9, "Actor");
  put(46, "object");
  put(83, "/x/Actor.uc");
  put(335, "2024-01-01");  // trailing blank removed; Package blank-only: null
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 4735, bytes.end()), slot);
}

TEST(DataFileLayout, NewTableLengthIsHeaderPlusDescriptors) {
  TempDir dir;
  for (int count : {1, 6, 15, 1024}) {
    std::vector<FieldDesc> fields;
    for (int i = 0; i < count; ++i) fields.push_back(Field("F" + std::to_string(i), kTypeSmallInt));
    std::string path = dir.File("t" + std::to_string(count) + ".dat");
    TDataFile file(path);
    file.Create(fields, {});
    EXPECT_EQ(std::filesystem::file_size(path), 127u + 768u * count);
    EXPECT_EQ(file.Header().NextRecordNumber(), 1);
    file.Close();
    file.Open(false, false, false);
    file.CheckFileLength();
    EXPECT_EQ(file.Fields().size(), static_cast<size_t>(count));
    EXPECT_EQ(file.RecordSize(), 9 + 3 * count);
  }
}

TEST(DataFileLayout, FileNameForTrimsReplacesExtensionAndIgnoresCase) {
  TempDir dir;
  WriteAll(dir.File("objects.dat"), {1});
  EXPECT_EQ(TDataFile::FileNameFor(dir.Dir(), "  Objects.dat "), dir.File("objects.dat"));
  EXPECT_EQ(TDataFile::FileNameFor(dir.Dir(), "Pref"), dir.File("Pref.DAT"));
  EXPECT_EQ(TDataFile::FileNameFor(dir.Dir(), "maps.idx"), dir.File("maps.DAT"));
}

TEST(DataFileRecords, ValuesSurviveReopenAndFileGrowsBySlots) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  {
    TDataFile file(path);
    file.Create(ObjectsFields(), ObjectsOptions());
    for (int i = 1; i <= 500; ++i) EXPECT_EQ(InsertName(file, true, "C" + std::to_string(i)), i);
  }  // closing writes what the exclusive handle deferred
  EXPECT_EQ(std::filesystem::file_size(path), 4735u + 500u * 369u);
  TDataFile file(path);
  file.Open(false, true, false);
  file.CheckFileLength();
  EXPECT_EQ(file.Header().NextRecordNumber(), 501);
  EXPECT_EQ(file.Header().LastRecordId(), 500);
  for (int i = 1; i <= 500; ++i) {
    TRecord* r = file.GetRecord(i, ReadAhead::Physical());
    EXPECT_EQ(file.GetField(1, r->Data()).integer, i);
    EXPECT_EQ(file.GetField(2, r->Data()).text, "C" + std::to_string(i));
    EXPECT_TRUE(file.GetField(6, r->Data()).IsNull());
    file.Unpin(r);
  }
  EXPECT_EQ(EngineCode([&] { file.GetRecord(501); }), kErrRecordNotFound);
  EXPECT_EQ(EngineCode([&] { file.GetRecord(0); }), kErrRecordNotFound);
}

TEST(DataFileSlots, DeletedChainIsLastInFirstOutWithPrimaryIndex) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  TDataFile file(path);
  file.Create(ObjectsFields(), ObjectsOptions());
  for (int i = 1; i <= 10; ++i) InsertName(file, true, "C" + std::to_string(i));
  file.DeleteRecord(3);
  file.DeleteRecord(7);
  EXPECT_EQ(file.Header().ChainHead(), 7);
  file.FlushBuffers();
  std::vector<uint8_t> bytes = ReadAll(path);
  auto slot = [&bytes](int n) { return &bytes[4735 + (n - 1) * 369]; };
  EXPECT_EQ(slot(7)[0], 1);
  EXPECT_EQ(GetLE<int32_t>(slot(7) + 1), 3);
  EXPECT_EQ(slot(3)[0], 1);
  EXPECT_EQ(GetLE<int32_t>(slot(3) + 1), 0);
  EXPECT_EQ(GetLE<int32_t>(&bytes[9]), 7);
  EXPECT_EQ(bytes.size(), 4735u + 10u * 369u);  // no shrinking on delete
  EXPECT_EQ(EngineCode([&] { file.DeleteRecord(7); }), kErrRecordNotFound);  // no chain loop

  EXPECT_EQ(InsertName(file, true, "R1"), 7);
  EXPECT_EQ(file.Header().ChainHead(), 3);
  EXPECT_EQ(InsertName(file, true, "R2"), 3);
  EXPECT_EQ(file.Header().ChainHead(), 0);
  EXPECT_EQ(InsertName(file, true, "R3"), 11);
  EXPECT_EQ(NameOf(file, 7), "R1");
  EXPECT_EQ(NameOf(file, 3), "R2");
  TRecord* r = file.GetRecord(7);
  EXPECT_FALSE(RecordIsDeleted(r->Data()));
  EXPECT_EQ(RecordLink(r->Data()), 7);
  file.Unpin(r);
}

TEST(DataFileSlots, WithoutPrimaryIndexInsertsAppendAndClearTheChain) {
  TempDir dir;
  TDataFile file(dir.File("objects.dat"));
  file.Create(ObjectsFields(), ObjectsOptions());
  for (int i = 1; i <= 4; ++i) InsertName(file, false, "C" + std::to_string(i));
  file.DeleteRecord(2);
  EXPECT_EQ(file.NextFreeRecordNumber(false), 5);
  EXPECT_EQ(InsertName(file, false, "C5"), 5);
  EXPECT_EQ(file.Header().ChainHead(), 0);
  EXPECT_EQ(file.Header().NextRecordNumber(), 6);
}

TEST(DataFileSlots, CorruptChainOrStaleNumberIsRefusedWithoutChange) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  {
    TDataFile file(path);
    file.Create(ObjectsFields(), ObjectsOptions());
    for (int i = 1; i <= 4; ++i) InsertName(file, true, "C" + std::to_string(i));
  }
  PatchI32(path, 9, 2);  // chain head names an active slot
  TDataFile file(path);
  file.Open(true, false, false);
  std::vector<uint8_t> rec(file.RecordSize());
  file.FillNewRecord(rec.data());
  EXPECT_EQ(EngineCode([&] { file.StoreNewRecord(2, rec.data()); }), kErrRecordBuffersCorrupt);
  EXPECT_EQ(EngineCode([&] { file.StoreNewRecord(9, rec.data()); }), kErrRecordBuffersCorrupt);
  EXPECT_EQ(file.Header().ChainHead(), 2);
  EXPECT_EQ(file.Header().NextRecordNumber(), 5);
  EXPECT_EQ(NameOf(file, 2), "C2");
}

TEST(DataFileSlots, AppendStopsAtTheFileLimits) {
  // Headers alone (the length check is the caller's). A 12-byte record
  // reaches the record-count limit first, a 369-byte one the byte limit.
  TempDir dir;
  std::string path = dir.File("small.dat");
  { TDataFile(path).Create({Field("A", kTypeSmallInt)}, {}); }
  PatchI32(path, 13, 99999999);
  {
    TDataFile file(path);
    file.Open(true, false, false);
    EXPECT_EQ(file.NextFreeRecordNumber(true), 99999999);
  }
  PatchI32(path, 13, 100000000);
  {
    TDataFile file(path);
    file.Open(true, false, false);
    EXPECT_EQ(EngineCode([&] { file.NextFreeRecordNumber(true); }), kErrFileFull);
  }
  PatchI32(path, 13, 100000001);
  {
    TDataFile file(path);
    EXPECT_EQ(EngineCode([&] { file.Open(true, false, false); }), kErrHeaderCorrupt);
  }

  path = dir.File("objects.dat");
  { TDataFile(path).Create(ObjectsFields(), ObjectsOptions()); }
  PatchI32(path, 13, 2000000000 / 369 + 1);  // (next - 1) × 369 fits, next × 369 does not
  TDataFile file(path);
  file.Open(true, false, false);
  EXPECT_EQ(EngineCode([&] { file.NextFreeRecordNumber(false); }), kErrFileFull);
  std::vector<uint8_t> rec(file.RecordSize());
  int32_t next = file.Header().NextRecordNumber();
  EXPECT_EQ(EngineCode([&] { file.StoreNewRecord(next, rec.data()); }), kErrFileFull);
  EXPECT_EQ(file.Header().NextRecordNumber(), next);
}

TEST(DataFileRecordIds, AutoIncIsTheRecordIdKeptOnUpdateNeverReusedAndWraps) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  {
    TDataFile file(path);
    file.Create(ObjectsFields(), ObjectsOptions());
    for (int i = 1; i <= 3; ++i) InsertName(file, true, "C" + std::to_string(i));
    file.DeleteRecord(3);
    EXPECT_EQ(InsertName(file, true, "C4"), 3);  // slot reused ...
    TRecord* r = file.GetRecord(3);
    EXPECT_EQ(file.GetField(1, r->Data()).integer, 4);  // ... ID not
    std::vector<uint8_t> edit(r->Data(), r->Data() + file.RecordSize());
    file.Unpin(r);
    file.SetField(2, FieldValue::String("Renamed"), edit.data());
    SetRecordId(edit.data(), 99);  // the slot's header is not the caller's to change
    file.UpdateRecord(3, edit.data());
    r = file.GetRecord(3);
    EXPECT_EQ(file.GetField(1, r->Data()).integer, 4);
    EXPECT_EQ(file.GetField(2, r->Data()).text, "Renamed");
    EXPECT_EQ(RecordLink(r->Data()), 3);
    file.Unpin(r);
    EXPECT_EQ(file.Header().LastRecordId(), 4);
  }
  PatchI32(path, 17, 2147483646);
  TDataFile file(path);
  file.Open(true, false, false);
  std::vector<uint8_t> rec(file.RecordSize());
  EXPECT_EQ(file.IssueRecordId(rec.data()), 2147483647);
  EXPECT_EQ(file.IssueRecordId(rec.data()), 1);
  EXPECT_EQ(RecordId(rec.data()), 1);
  EXPECT_TRUE(file.Header().Modified());
}

TEST(DataFileRecordIds, BuildingARecordIssuesNoIdUntilAsked) {
  TempDir dir;
  TDataFile file(dir.File("objects.dat"));
  file.Create(ObjectsFields(), ObjectsOptions());
  std::vector<uint8_t> rec(file.RecordSize(), 0xAA);
  file.InitNewRecord(rec.data());
  EXPECT_EQ(rec, std::vector<uint8_t>(file.RecordSize(), 0));
  EXPECT_EQ(file.Header().LastRecordId(), 0);
  EXPECT_FALSE(file.Header().Modified());
  file.FillNewRecord(rec.data());
  EXPECT_EQ(RecordId(rec.data()), 1);
}

TEST(DataFileDefaults, NewPrefRecordCarriesTheStoredDefaults) {
  TempDir dir;
  TDataFile file(dir.File("pref.dat"));
  file.Create(test::PrefFields(), {});
  std::vector<uint8_t> rec(file.RecordSize());
  file.InitNewRecord(rec.data());
  EXPECT_EQ(file.GetField(1, rec.data()), FieldValue::Integer(1));
  EXPECT_TRUE(file.GetField(2, rec.data()).IsNull());
  EXPECT_EQ(file.GetField(3, rec.data()), FieldValue::Boolean(false));
  EXPECT_EQ(file.GetField(4, rec.data()), FieldValue::Boolean(false));
  EXPECT_TRUE(file.GetField(6, rec.data()).IsNull());
  EXPECT_EQ(file.GetField(12, rec.data()), FieldValue::Boolean(false));
  EXPECT_EQ(file.GetField(15, rec.data()), FieldValue::Boolean(true));
  EXPECT_EQ(file.CheckBounds(1, rec.data()), BoundCheck::kWithin);
  file.SetField(1, FieldValue::Integer(2), rec.data());
  EXPECT_EQ(file.CheckBounds(1, rec.data()), BoundCheck::kAboveMaximum);
  file.SetField(1, FieldValue::Integer(0), rec.data());
  EXPECT_EQ(file.CheckBounds(1, rec.data()), BoundCheck::kBelowMinimum);
}

TEST(DataFileDefaults, UnconvertibleStoredBooleanDefaultFailsWithConversionText) {
  TempDir dir;
  std::string path = dir.File("pref.dat");
  { TDataFile(path).Create(test::PrefFields(), {}); }
  // Descriptor 15's default text (offset 196) becomes "Maybe".
  size_t at = 127 + 14 * 768 + 196;
  PatchBytes(path, at, {5, 'M', 'a', 'y', 'b', 'e'});
  TDataFile file(path);
  file.Open(true, false, false);
  std::vector<uint8_t> rec(file.RecordSize());
  try {
    file.InitNewRecord(rec.data());
    FAIL() << "no error";
  } catch (const EDbEngineError&) {
    FAIL() << "an engine error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "'Maybe' is not a valid boolean value");
  }
}

struct DefinitionCase {
  const char* what;
  int code;
  std::vector<FieldDesc> fields;
  DataFileOptions options;
};

TEST(DataFileValidation, EachRuleRaisesItsCodeAndCreatesNothing) {
  auto one = [](FieldDesc f) { return std::vector<FieldDesc>{std::move(f)}; };
  auto with_default = [](FieldDesc f, std::string text) {
    f.default_text = std::move(text);
    return f;
  };
  auto with_min = [](FieldDesc f, std::string text) {
    f.min_text = std::move(text);
    return f;
  };
  std::vector<FieldDesc> too_many(1025, Field("F", kTypeSmallInt));
  for (size_t i = 0; i < too_many.size(); ++i) too_many[i].name = "F" + std::to_string(i);
  std::vector<FieldDesc> blobs(33, Field("B", kTypeBlob));
  for (size_t i = 0; i < blobs.size(); ++i) blobs[i].name = "B" + std::to_string(i);
  std::vector<FieldDesc> wide(300, Field("S", kTypeString, 250));
  for (size_t i = 0; i < wide.size(); ++i) wide[i].name = "S" + std::to_string(i);
  DataFileOptions small_blocks;
  small_blocks.blob_block_size = 63;
  DataFileOptions no_password;
  no_password.encrypted = true;
  no_password.password = "   ";
  DataFileOptions long_password;
  long_password.encrypted = true;
  long_password.password = "0123456789abcdef";
  DataFileOptions encrypted;
  encrypted.encrypted = true;
  encrypted.password = " secret ";
  DataFileOptions language;
  language.language_id = 1033;
  FieldDesc renumbered = Field("A", kTypeSmallInt);
  renumbered.number = 2;

  std::vector<DefinitionCase> cases = {
      {"no fields", kErrFieldLimits, {}, {}},
      {"1025 fields", kErrFieldLimits, too_many, {}},
      {"blob block 63", kErrBlobFields, one(Field("A", kTypeSmallInt)), small_blocks},
      {"33 blob fields", kErrBlobFields, blobs, {}},
      {"blank password", kErrPassword, one(Field("A", kTypeSmallInt)), no_password},
      {"16-character password", kErrPassword, one(Field("A", kTypeSmallInt)), long_password},
      {"encrypted", kErrPasswordRequired, one(Field("A", kTypeSmallInt)), encrypted},
      {"language 1033", kErrLanguage, one(Field("A", kTypeSmallInt)), language},
      {"blank name", kErrFieldName, one(Field("   ", kTypeSmallInt)), {}},
      {"digit first", kErrFieldName, one(Field("1st", kTypeSmallInt)), {}},
      {"duplicate ignoring case",
       kErrFieldName,
       {Field("Name", kTypeSmallInt), Field(" NAME ", kTypeSmallInt)},
       {}},
      {"duplicate after the 30-character cut",
       kErrFieldName,
       {Field(std::string(30, 'a') + "1", kTypeSmallInt),
        Field(std::string(30, 'A') + "2", kTypeSmallInt)},
       {}},
      {"type 0", kErrFieldDefinition, one(Field("A", 0)), {}},
      {"type 16", kErrFieldDefinition, one(Field("A", 16)), {}},
      {"number not its position", kErrFieldDefinition, one(renumbered), {}},
      {"string size 0", kErrFieldDefinition, one(Field("A", kTypeString, 0)), {}},
      {"blob", kErrFieldDefinition, one(Field("A", kTypeBlob)), {}},
      {"BCD", kErrFieldDefinition, one(Field("A", kTypeBcd)), {}},
      {"extended", kErrFieldDefinition, one(Field("A", kTypeExtended)), {}},
      {"boolean default",
       kErrValidityCheck,
       one(with_default(Field("A", kTypeBoolean), "yes")),
       {}},
      {"small int default out of range",
       kErrValidityCheck,
       one(with_default(Field("A", kTypeSmallInt), "40000")),
       {}},
      {"integer minimum", kErrValidityCheck, one(with_min(Field("A", kTypeInteger), "1x")), {}},
      {"date minimum", kErrValidityCheck, one(with_min(Field("A", kTypeDate), "2023-02-29")), {}},
      {"record above 65535", kErrMaxRecordSize, wide, {}},
  };
  TempDir dir;
  for (const DefinitionCase& c : cases) {
    std::string path = dir.File("t.dat");
    TDataFile file(path);
    EXPECT_EQ(EngineCode([&] { file.Create(c.fields, c.options); }), c.code) << c.what;
    EXPECT_FALSE(TFileHandler::FileExists(path)) << c.what;
  }
}

TEST(DataFileValidation, NamesAreTrimmedCutAndDateWordsAccepted) {
  FieldDesc date = Field("When", kTypeDate);
  date.default_text = "date";
  date.min_text = "NOW";
  FieldDesc stamp = Field("Stamp", kTypeTimestamp);
  stamp.max_text = "2024-05-06 07:08:09";
  FieldDesc time = Field("Clock", kTypeTime);
  time.default_text = "TIME";
  std::vector<FieldDesc> out =
      ValidateDataFileDefinition("t.dat",
                                 {Field("  " + std::string(40, 'x') + "  ", kTypeSmallInt, 7), date,
                                  stamp, time, Field("\x81Name", kTypeWord)},
                                 {});
  EXPECT_EQ(out[0].name, std::string(30, 'x'));
  EXPECT_EQ(out[0].size, 0);  // forced to 0 for a type without a declared size
  EXPECT_EQ(out[4].number, 5);
  EXPECT_EQ(out[4].offset, 9 + 3 + 5 + 9 + 5);
}

TEST(DataFileOpen, LengthNotMatchingTheNextRecordNumberIsCorrupt) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  {
    TDataFile file(path);
    file.Create(ObjectsFields(), ObjectsOptions());
    for (int i = 1; i <= 3; ++i) InsertName(file, true, "C" + std::to_string(i));
  }
  std::vector<uint8_t> good = ReadAll(path);
  for (int delta : {-1, -369, +1, +369}) {
    std::vector<uint8_t> bad = good;
    bad.resize(static_cast<size_t>(static_cast<int>(good.size()) + delta));
    WriteAll(path, bad);
    TDataFile file(path);
    file.Open(false, true, false);
    EXPECT_EQ(EngineCode([&] { file.CheckFileLength(); }), kErrHeaderCorrupt) << delta;
  }
}

TEST(DataFileOpen, HeaderAndDescriptorChecksRefuseWithTheirCodes) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  { TDataFile(path).Create(ObjectsFields(), ObjectsOptions()); }
  const std::vector<uint8_t> good = ReadAll(path);
  struct Damage {
    const char* what;
    size_t offset;
    std::vector<uint8_t> bytes;
    int code;
  };
  std::vector<Damage> damages = {
      {"version 4", 8, {4}, kErrVersion},
      {"language", 103, {9, 4}, kErrLanguage},
      {"encrypted", 86, {1}, kErrPasswordRequired},
      {"field count 0", 23, {0, 0}, kErrHeaderCorrupt},
      {"field count 1025", 23, {1, 4}, kErrHeaderCorrupt},
      {"field count 7", 23, {7, 0}, kErrHeaderCorrupt},
      {"record size 8", 21, {8, 0}, kErrHeaderCorrupt},
      {"record size 370", 21, {0x72, 1}, kErrHeaderCorrupt},
      {"blob count 1", 25, {1, 0}, kErrHeaderCorrupt},
      {"next record number 0", 13, {0, 0, 0, 0}, kErrHeaderCorrupt},
      {"chain head beyond the slots", 9, {1, 0, 0, 0}, kErrHeaderCorrupt},
      {"negative last ID", 17, {0xFF, 0xFF, 0xFF, 0xFF}, kErrHeaderCorrupt},
      {"field number 3 at position 2", 127 + 768, {3, 0}, kErrHeaderCorrupt},
      {"type code 0", 127 + 768 + 84, {0}, kErrHeaderCorrupt},
      {"type code 200", 127 + 768 + 84, {200}, kErrHeaderCorrupt},
      {"string size 0", 127 + 768 + 86, {0}, kErrHeaderCorrupt},
      {"string size 251", 127 + 768 + 86, {251}, kErrHeaderCorrupt},
      {"string size 36", 127 + 768 + 86, {36}, kErrHeaderCorrupt},
      {"autoinc offset 9", 127 + 90, {9, 0}, kErrHeaderCorrupt},
      {"slot offset 10", 127 + 768 + 90, {10, 0}, kErrHeaderCorrupt},
      {"autoinc becomes a plain integer", 127 + 85, {0}, kErrHeaderCorrupt},
  };
  for (const Damage& d : damages) {
    std::vector<uint8_t> bad = good;
    std::copy(d.bytes.begin(), d.bytes.end(), bad.begin() + static_cast<std::ptrdiff_t>(d.offset));
    WriteAll(path, bad);
    TDataFile file(path);
    EXPECT_EQ(EngineCode([&] { file.Open(false, false, false); }), d.code) << d.what;
    EXPECT_FALSE(file.IsOpen()) << d.what;
  }
  for (size_t cut : {0ul, 126ul, 127ul, 4734ul}) {
    WriteAll(path,
             std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
    TDataFile file(path);
    EXPECT_EQ(EngineCode([&] { file.Open(false, false, false); }), kErrHeaderCorrupt) << cut;
  }
}

TEST(DataFileOpen, BlobFieldsOfAnExistingFileOpenButAreNotReadable) {
  TempDir dir;
  std::string path = dir.File("notes.dat");
  { TDataFile(path).Create({Field("Id", kTypeInteger), Field("Note", kTypeInteger)}, {}); }
  PatchBytes(path, 127 + 768 + 84, {kTypeBlob, 22});  // a memo: same 4-byte slot
  PatchBytes(path, 25, {1, 0});                       // one blob field
  TDataFile file(path);
  file.Open(false, false, false);
  std::vector<uint8_t> rec(file.RecordSize());
  file.InitNewRecord(rec.data());
  EXPECT_EQ(EngineCode([&] { file.GetField(2, rec.data()); }), kErrBlobField);
  EXPECT_EQ(EngineCode([&] { file.SetField(2, FieldValue::Null(), rec.data()); }), kErrBlobField);
  EXPECT_EQ(EngineCode([&] { file.GetField(3, rec.data()); }), kErrInvalidField);
  EXPECT_EQ(file.GetField(1, rec.data()), FieldValue::Null());
}

TEST(DataFileHeaderRule, CounterMovesOnlyWhenWrittenAndOthersSeeIt) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  { TDataFile(path).Create(ObjectsFields(), ObjectsOptions()); }
  TDataFile a(path), b(path);
  a.Open(false, false, false);
  b.Open(false, false, false);
  EXPECT_EQ(a.Header().ChangeCounter(), 1);
  EXPECT_FALSE(a.Header().Modified());

  a.FlushBuffers();  // nothing modified: nothing written
  EXPECT_EQ(ReadAll(path)[0], 1);
  EXPECT_FALSE(b.TestChanged());

  InsertName(a, true, "Actor");
  EXPECT_TRUE(a.Header().Modified());
  a.FlushBuffers();
  std::vector<uint8_t> bytes = ReadAll(path);
  EXPECT_EQ(GetLE<int32_t>(&bytes[0]), 2);
  EXPECT_EQ(bytes[113], 1);  // written because modified
  EXPECT_FALSE(a.Header().Modified());

  a.FlushBuffers(true);  // forced: counter moves although nothing changed
  bytes = ReadAll(path);
  EXPECT_EQ(GetLE<int32_t>(&bytes[0]), 3);
  EXPECT_EQ(bytes[113], 0);

  EXPECT_TRUE(b.TestChanged());
  EXPECT_EQ(b.Header().ChangeCounter(), 3);
  EXPECT_EQ(b.Header().NextRecordNumber(), 2);
  EXPECT_FALSE(b.TestChanged());
  b.CheckFileLength();
  b.DiscardCache();
  EXPECT_EQ(NameOf(b, 1), "Actor");
}

TEST(DataFileHeaderRule, AReReadHeaderThatNoLongerFitsIsRefused) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  { TDataFile(path).Create(ObjectsFields(), ObjectsOptions()); }
  TDataFile file(path);
  file.Open(false, true, false);
  PatchBytes(path, 0, {9});
  PatchBytes(path, 21, {0x70, 1});  // record size 368
  EXPECT_EQ(EngineCode([&] { file.TestChanged(); }), kErrHeaderCorrupt);
  EXPECT_EQ(file.RecordSize(), 369);
}

TEST(DataFileEmpty, EmptyingResetsTheTableToNew) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  TDataFile file(path);
  file.Create(ObjectsFields(), ObjectsOptions());
  for (int i = 1; i <= 5; ++i) InsertName(file, true, "C" + std::to_string(i));
  file.DeleteRecord(2);
  file.FlushBuffers();
  file.EmptyTable();
  EXPECT_EQ(std::filesystem::file_size(path), 4735u);
  std::vector<uint8_t> bytes = ReadAll(path);
  EXPECT_EQ(GetLE<int32_t>(&bytes[0]), 1);
  EXPECT_EQ(GetLE<int32_t>(&bytes[9]), 0);
  EXPECT_EQ(GetLE<int32_t>(&bytes[13]), 1);
  EXPECT_EQ(GetLE<int32_t>(&bytes[17]), 0);
  EXPECT_EQ(InsertName(file, true, "Again"), 1);
  TRecord* r = file.GetRecord(1);
  EXPECT_EQ(file.GetField(1, r->Data()).integer, 1);
  file.Unpin(r);
  file.Close();

  TDataFile shared(path);
  shared.Open(false, false, false);
  EXPECT_EQ(EngineCode([&] { shared.EmptyTable(); }), kErrNotExclusive);
}

TEST(DataFileOpen, ReadOnlyHandleRefusesChanges) {
  TempDir dir;
  std::string path = dir.File("objects.dat");
  {
    TDataFile file(path);
    file.Create(ObjectsFields(), ObjectsOptions());
    InsertName(file, true, "Actor");
  }
  TDataFile file(path);
  file.Open(false, true, false);
  std::vector<uint8_t> rec(file.RecordSize());
  EXPECT_EQ(EngineCode([&] { file.StoreNewRecord(2, rec.data()); }), kErrAccessDenied);
  EXPECT_EQ(EngineCode([&] { file.DeleteRecord(1); }), kErrAccessDenied);
  EXPECT_EQ(EngineCode([&] { file.UpdateRecord(1, rec.data()); }), kErrAccessDenied);
}

}  // namespace
}  // namespace quoldex::tables
