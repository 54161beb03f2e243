// The table cursor on one handle: creating and opening, changing records
// with their checks, navigation, ranges, searching and emptying.
#include "tables/cursor/table_cursor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tables/base/coding.h"
#include "tables/cursor/table_cursor_test_util.h"

namespace quoldex::tables::test {
namespace {

using ::testing::ElementsAre;

class CursorTest : public TableTest {
 protected:
  void SetUp() override { CreateObjects(); }

  // Actor, Pawn (actor), Brush (actor), Info (actor), Object, in that
  // insertion order; IDs 1..5.
  void Fill(TableCursor& c) {
    AddObject(c, "Actor", "object", "engine");
    AddObject(c, "Pawn", "actor", "engine");
    AddObject(c, "Brush", "actor", "engine");
    AddObject(c, "Info", "actor", "core");
    AddObject(c, "Object", "<none>", "core");
  }
};

// ---- Creating and opening ----

TEST_F(CursorTest, CreateWritesEmptyFilesThatOpenWithTheirDefinition) {
  EXPECT_TRUE(TableCursor::Exists(Settings()));
  EXPECT_FALSE(TableCursor::Exists(Settings("other.dat")));
  EXPECT_EQ(std::filesystem::file_size(DataPath()), 127u + 6 * 768);

  TableCursor c(Settings());
  c.Open();
  EXPECT_EQ(c.FileName(), DataPath());
  ASSERT_EQ(c.Fields().size(), 6u);
  EXPECT_EQ(c.Fields()[1].name, "ObjectName");
  ASSERT_EQ(c.Indexes().size(), 3u);
  EXPECT_TRUE(c.HasPrimaryIndex());
  EXPECT_EQ(c.Indexes()[1].name, "ByName");
  EXPECT_EQ(c.Indexes()[2].key_length, 78);
  EXPECT_EQ(c.FieldNumber("inheritsfrom"), kInheritsFrom);
  EXPECT_EQ(c.FieldNumber("Nope"), 0);
  EXPECT_TRUE(c.Bof());
  EXPECT_FALSE(c.First());
  EXPECT_TRUE(c.Eof());
  EXPECT_EQ(c.RecordCount(), 0);
  EXPECT_EQ(c.CurrentRecord(), nullptr);
  EXPECT_TRUE(c.GetField(kObjectName).IsNull());
}

TEST_F(CursorTest, TableNamesAreCheckedAndMatchedIgnoringCase) {
  TableSettings blank = Settings("  ");
  EXPECT_FALSE(TableCursor::Exists(blank));
  EXPECT_THROW(TableCursor::DataFileName(blank), EDatabaseError);
  try {
    TableCursor(blank).Open();
    FAIL() << "opened a table without a name";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Missing table name.");
  }
  TableCursor c(Settings("OBJECTS.Dat"));
  c.Open();
  EXPECT_EQ(c.FileName(), DataPath());
}

TEST_F(CursorTest, CreateChecksEverythingBeforeWritingAFile) {
  TableDefinition bad_index = ObjectsDefinition();
  bad_index.indexes.push_back(Index("ByNothing", {9}));
  EXPECT_EQ(EngineCode([&] { TableCursor::Create(Settings("t1"), bad_index); }), kErrIndexField);
  TableDefinition bad_field = ObjectsDefinition();
  bad_field.fields[3].name = "objectname";
  EXPECT_EQ(EngineCode([&] { TableCursor::Create(Settings("t2"), bad_field); }), kErrFieldName);
  TableDefinition duplicate_index = ObjectsDefinition();
  duplicate_index.indexes.push_back(Index("BYNAME", {3}));
  EXPECT_EQ(EngineCode([&] { TableCursor::Create(Settings("t3"), duplicate_index); }),
            kErrIndexExists);
  for (const char* name : {"t1", "t2", "t3"}) {
    EXPECT_FALSE(std::filesystem::exists(dir_.File(std::string(name) + ".DAT"))) << name;
    EXPECT_FALSE(std::filesystem::exists(dir_.File(std::string(name) + ".IDX"))) << name;
  }
}

TEST_F(CursorTest, CreateReplacesAnExistingTable) {
  {
    TableCursor c(Settings());
    c.Open();
    Fill(c);
  }
  CreateObjects();
  TableCursor c(Settings());
  c.Open();
  EXPECT_EQ(c.RecordCount(), 0);
  EXPECT_FALSE(c.First());
}

TEST_F(CursorTest, CreateOverATableInUseIsRefusedAndLeavesBothAsTheyWere) {
  auto names = [this] {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir_.Dir())) {
      out.push_back(e.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  const std::vector<std::string> table_files = {"objects.DAT", "objects.IDX"};
  EXPECT_EQ(names(), table_files);
  TableCursor c(Settings());
  c.Open();
  Fill(c);
  const int32_t rows = c.RecordCount();
  EXPECT_EQ(EngineCode([&] { CreateObjects(); }), 11013);
  EXPECT_EQ(names(), table_files);  // no staging file left behind
  c.Close();
  c.Open();
  EXPECT_EQ(c.RecordCount(), rows);
  EXPECT_EQ(c.CheckIntegrity(), std::vector<std::string>{});
}

TEST_F(CursorTest, OpenRefusesMissingAndDamagedFiles) {
  EXPECT_EQ(EngineCode([&] { TableCursor(Settings("missing")).Open(); }), kErrPath);
  std::vector<uint8_t> bytes = ReadAll(DataPath());
  bytes.push_back(0);
  WriteAll(DataPath(), bytes);
  // Read-only, the damage is refused; a writable open recovers it.
  TableSettings read_only = Settings();
  read_only.read_only = true;
  TableCursor r(read_only);
  EXPECT_EQ(EngineCode([&] { r.Open(); }), kErrHeaderCorrupt);
  EXPECT_FALSE(r.IsOpen());
  TableCursor c(Settings());
  c.Open();
  EXPECT_FALSE(c.Recovered().empty());
  c.Close();
  std::filesystem::remove(IndexPath());
  EXPECT_EQ(EngineCode([&] { c.Open(); }), kErrPath);
  EXPECT_FALSE(c.IsOpen());
}

// ---- Changing ----

TEST_F(CursorTest, AppendPostEditAndCancel) {
  TableCursor c(Settings());
  c.Open();
  c.Append();
  EXPECT_EQ(c.State(), CursorState::kInsert);
  EXPECT_TRUE(c.GetField(kObjectId).IsNull());
  c.SetField(kObjectName, FieldValue::String("Actor   "));
  c.SetField(kInheritsFrom, FieldValue::String("object"));
  c.SetField(kFilename, FieldValue::String("/x/Actor.uc"));
  c.Post();
  EXPECT_EQ(c.State(), CursorState::kBrowse);
  EXPECT_EQ(NameOf(c), "Actor");
  EXPECT_EQ(c.RecordId(), 1);
  EXPECT_EQ(c.GetField(kObjectId), FieldValue::Integer(1));
  EXPECT_EQ(c.PhysicalRecordNumber(), 1);
  EXPECT_TRUE(c.GetField(kPackage).IsNull());

  c.Edit();
  EXPECT_EQ(c.State(), CursorState::kEdit);
  c.SetField(kPackage, FieldValue::String("engine"));
  EXPECT_EQ(c.GetField(kPackage).text, "engine");
  c.Cancel();
  EXPECT_TRUE(c.GetField(kPackage).IsNull());

  c.Edit();
  c.SetField(kPackage, FieldValue::String("engine"));
  c.Post();
  EXPECT_EQ(c.GetField(kPackage).text, "engine");
  EXPECT_EQ(c.RecordId(), 1);
  EXPECT_EQ(AddObject(c, "Pawn"), 2);

  c.Close();
  c.Open();
  EXPECT_THAT(Names(c), ElementsAre("Actor", "Pawn"));
  ASSERT_TRUE(c.First());
  EXPECT_EQ(c.GetField(kPackage).text, "engine");
  EXPECT_TRUE(c.CheckIntegrity().empty());
}

TEST_F(CursorTest, MisuseIsRefused) {
  TableCursor c(Settings());
  EXPECT_EQ(EngineCode([&] { c.First(); }), kErrHandle);
  c.Open();
  EXPECT_THROW(c.SetField(kObjectName, FieldValue::String("x")), EDatabaseError);
  EXPECT_THROW(c.Post(), EDatabaseError);
  EXPECT_EQ(EngineCode([&] { c.Edit(); }), kErrBof);
  EXPECT_EQ(c.State(), CursorState::kBrowse);
  c.First();  // an empty table: after the last record
  EXPECT_EQ(EngineCode([&] { c.Edit(); }), kErrEof);
  EXPECT_EQ(EngineCode([&] { c.Delete(); }), kErrEof);
  EXPECT_EQ(EngineCode([&] { c.GetField(7); }), kErrInvalidField);
  AddObject(c, "Actor");
  c.Edit();
  EXPECT_THROW(c.SetField(kObjectId, FieldValue::Integer(9)), EDatabaseError);
}

TEST_F(CursorTest, RefusedPostsChangeNothingAndKeepTheEdit) {
  TableCursor c(Settings());
  c.Open();
  AddObject(c, "Actor");
  const std::vector<uint8_t> data_before = ReadAll(DataPath());
  const std::vector<uint8_t> index_before = ReadAll(IndexPath());

  // A required field left null.
  c.Append();
  c.SetField(kObjectName, FieldValue::String("Pawn"));
  c.SetField(kFilename, FieldValue::String("/x/Pawn.uc"));
  try {
    c.Post();
    FAIL() << "posted a null required field";
  } catch (const EDbEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrRequired);
    EXPECT_NE(std::string(e.what()).find("InheritsFrom"), std::string::npos) << e.what();
  }
  EXPECT_EQ(c.State(), CursorState::kInsert);
  EXPECT_EQ(c.GetField(kObjectName).text, "Pawn");

  // A name that differs only in case from one in the unique index.
  c.SetField(kObjectName, FieldValue::String("ACTOR"));
  c.SetField(kInheritsFrom, FieldValue::String("object"));
  try {
    c.Post();
    FAIL() << "posted a duplicate";
  } catch (const EDbEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrDuplicateKey);
    EXPECT_NE(std::string(e.what()).find("ByName"), std::string::npos) << e.what();
  }
  EXPECT_EQ(c.State(), CursorState::kInsert);
  EXPECT_EQ(ReadAll(DataPath()), data_before);
  EXPECT_EQ(ReadAll(IndexPath()), index_before);

  // The failures issued no record ID.
  c.SetField(kObjectName, FieldValue::String("Pawn"));
  c.Post();
  EXPECT_EQ(c.RecordId(), 2);

  // A modify that would duplicate a key.
  c.Edit();
  c.SetField(kObjectName, FieldValue::String("actor"));
  const std::vector<uint8_t> data_mid = ReadAll(DataPath());
  const std::vector<uint8_t> index_mid = ReadAll(IndexPath());
  EXPECT_EQ(EngineCode([&] { c.Post(); }), kErrDuplicateKey);
  EXPECT_EQ(c.State(), CursorState::kEdit);
  EXPECT_EQ(ReadAll(DataPath()), data_mid);
  EXPECT_EQ(ReadAll(IndexPath()), index_mid);
  c.Cancel();
  EXPECT_THAT(Names(c), ElementsAre("Actor", "Pawn"));
  EXPECT_TRUE(c.CheckIntegrity().empty());
}

TEST_F(CursorTest, DefaultsAndBoundsOfThePreferenceTable) {
  TableDefinition pref;
  pref.fields = PrefFields();
  pref.indexes = {Index("", {1})};
  TableCursor::Create(Settings("pref"), pref);
  TableCursor c(Settings("pref"));
  c.Open();
  c.Append();
  EXPECT_EQ(c.GetField(1), FieldValue::Integer(1));
  EXPECT_EQ(c.GetField(3), FieldValue::Boolean(false));
  EXPECT_EQ(c.GetField(15), FieldValue::Boolean(true));
  EXPECT_TRUE(c.GetField(2).IsNull());
  c.SetField(1, FieldValue::Integer(2));
  EXPECT_EQ(EngineCode([&] { c.Post(); }), kErrAboveMaximum);
  c.SetField(1, FieldValue::Integer(0));
  EXPECT_EQ(EngineCode([&] { c.Post(); }), kErrBelowMinimum);
  c.SetField(1, FieldValue::Integer(1));
  c.Post();
  c.Append();
  EXPECT_EQ(EngineCode([&] { c.Post(); }), kErrDuplicateKey);
  c.Cancel();
  EXPECT_EQ(c.RecordCount(), 1);
}

TEST_F(CursorTest, ModifyRewritesTheIndexFileOnlyWhenAKeyChanged) {
  TableCursor c(Settings());
  c.Open();
  Fill(c);
  ASSERT_TRUE(c.FindKey(std::vector{FieldValue::Integer(2)}));
  const std::vector<uint8_t> index_before = ReadAll(IndexPath());
  const std::vector<uint8_t> data_before = ReadAll(DataPath());
  c.Edit();
  c.SetField(kPackage, FieldValue::String("render"));
  c.Post();
  EXPECT_EQ(ReadAll(IndexPath()), index_before);
  EXPECT_NE(ReadAll(DataPath()), data_before);

  c.SetIndex(kByName);
  c.Edit();
  c.SetField(kObjectName, FieldValue::String("AaPawn"));
  c.Post();
  EXPECT_NE(ReadAll(IndexPath()), index_before);
  EXPECT_EQ(NameOf(c), "AaPawn");
  EXPECT_EQ(c.RecordNumber(), 1);
  EXPECT_THAT(Names(c), ElementsAre("AaPawn", "Actor", "Brush", "Info", "Object"));
  EXPECT_TRUE(c.CheckIntegrity().empty());
}

TEST_F(CursorTest, DeleteStandsOnTheNextRecordAndItsSlotIsReused) {
  TableCursor c(Settings());
  c.Open();
  Fill(c);
  ASSERT_TRUE(c.FindKey(std::vector{FieldValue::Integer(3)}));
  c.Delete();
  EXPECT_EQ(NameOf(c), "Info");
  EXPECT_EQ(c.RecordCount(), 4);
  c.Last();
  c.Delete();
  EXPECT_TRUE(c.Eof());
  EXPECT_TRUE(c.CheckIntegrity().empty());

  // The most recently deleted slot goes first; IDs are never reused.
  AddObject(c, "Canvas");
  EXPECT_EQ(c.PhysicalRecordNumber(), 5);
  EXPECT_EQ(c.RecordId(), 6);
  AddObject(c, "Light");
  EXPECT_EQ(c.PhysicalRecordNumber(), 3);
  EXPECT_EQ(c.RecordId(), 7);
  AddObject(c, "Mover");
  EXPECT_EQ(c.PhysicalRecordNumber(), 6);
  EXPECT_EQ(std::filesystem::file_size(DataPath()), 127u + 6 * 768 + 6 * 369);
  EXPECT_TRUE(c.CheckIntegrity().empty());

  // Deleting the record being edited ends the edit.
  c.Edit();
  c.Delete();
  EXPECT_EQ(c.State(), CursorState::kBrowse);
  EXPECT_EQ(c.RecordCount(), 5);
  // Delete of a record being inserted only cancels it.
  c.Append();
  c.Delete();
  EXPECT_EQ(c.State(), CursorState::kBrowse);
  EXPECT_EQ(c.RecordCount(), 5);
  EXPECT_TRUE(c.CheckIntegrity().empty());
}

TEST_F(CursorTest, ReadOnlyHandleRefusesEveryChange) {
  {
    TableCursor c(Settings());
    c.Open();
    Fill(c);
  }
  TableSettings s = Settings();
  s.read_only = true;
  TableCursor c(s);
  c.Open();
  EXPECT_EQ(Names(c).size(), 5u);
  EXPECT_EQ(EngineCode([&] { c.Append(); }), kErrAccessDenied);
  c.First();
  EXPECT_EQ(EngineCode([&] { c.Edit(); }), kErrAccessDenied);
  EXPECT_EQ(EngineCode([&] { c.Delete(); }), kErrAccessDenied);
  EXPECT_TRUE(c.CheckIntegrity().empty());
}

// ---- Navigation ----

TEST_F(CursorTest, WalksTheCurrentIndexBothWays) {
  TableCursor c(Settings());
  c.Open();
  Fill(c);
  EXPECT_THAT(Names(c), ElementsAre("Actor", "Pawn", "Brush", "Info", "Object"));
  c.SetIndex(kByName);
  EXPECT_THAT(Names(c), ElementsAre("Actor", "Brush", "Info", "Object", "Pawn"));
  EXPECT_TRUE(c.Eof());
  EXPECT_FALSE(c.Next());
  EXPECT_TRUE(c.Prior());  // from the end: the last record
  EXPECT_EQ(NameOf(c), "Pawn");
  std::vector<std::string> backwards;
  for (bool on = c.Last(); on; on = c.Prior()) backwards.push_back(NameOf(c));
  EXPECT_THAT(backwards, ElementsAre("Pawn", "Object", "Info", "Brush", "Actor"));
  EXPECT_TRUE(c.Bof());
  EXPECT_FALSE(c.HasRecord());
  EXPECT_TRUE(c.Next());  // from the beginning: the first record
  EXPECT_EQ(NameOf(c), "Actor");

  c.SetIndex(kByInheritance);
  // "<NONE>" sorts before "ACTOR"; equal parents by name.
  EXPECT_THAT(Names(c), ElementsAre("Object", "Brush", "Info", "Pawn", "Actor"));
  EXPECT_EQ(EngineCode([&] { c.SetIndex(3); }), kErrIndexName);
}

TEST_F(CursorTest, ChangingTheIndexKeepsTheCurrentRecord) {
  TableCursor c(Settings());
  c.Open();
  Fill(c);
  ASSERT_TRUE(c.FindKey(std::vector{FieldValue::Integer(4)}));
  c.SetIndexByName("BYNAME");
  EXPECT_EQ(c.CurrentIndex(), kByName);
  EXPECT_EQ(NameOf(c), "Info");
  EXPECT_EQ(c.RecordNumber(), 3);
  EXPECT_TRUE(c.Next());
  EXPECT_EQ(NameOf(c), "Object");
  c.SetIndexByName("no such index");
  EXPECT_EQ(c.CurrentIndex(), 0);
  c.SetIndexByName("Sys Deleted");
  EXPECT_EQ(c.CurrentIndex(), 0);
  EXPECT_TRUE(c.SetIndexByFields("inheritsfrom; ObjectName"));
  EXPECT_EQ(c.CurrentIndex(), kByInheritance);
  EXPECT_TRUE(c.SetIndexByFields("InheritsFrom"));
  EXPECT_EQ(c.CurrentIndex(), kByInheritance);
  EXPECT_TRUE(c.SetIndexByFields("ObjectId"));
  EXPECT_EQ(c.CurrentIndex(), 0);
  EXPECT_FALSE(c.SetIndexByFields("Package"));
  EXPECT_FALSE(c.SetIndexByFields("ObjectName;InheritsFrom"));
  EXPECT_EQ(c.CurrentIndex(), 0);
}

TEST_F(CursorTest, RecordNumbersAreOrdinalsInTheIndexAndRange) {
  TableCursor c(Settings());
  c.Open();
  Fill(c);
  c.SetIndex(kByName);
  EXPECT_EQ(c.RecordCount(), 5);
  EXPECT_EQ(NameOf(c), "Object");  // the last one posted
  EXPECT_EQ(c.RecordNumber(), 4);
  c.Last();
  EXPECT_EQ(c.RecordNumber(), 5);
  c.Next();
  EXPECT_EQ(c.RecordNumber(), 0);
  ASSERT_TRUE(c.SetRecordNumber(4));
  EXPECT_EQ(NameOf(c), "Object");
  EXPECT_EQ(c.RecordNumber(), 4);
  EXPECT_FALSE(c.SetRecordNumber(6));
  EXPECT_FALSE(c.SetRecordNumber(0));
  EXPECT_EQ(NameOf(c), "Object");

  c.SetIndex(kByInheritance);
  c.SetRange(Values({"actor"}), Values({"actor"}));
  EXPECT_TRUE(c.Bof());
  EXPECT_EQ(c.RecordCount(), 3);
  ASSERT_TRUE(c.SetRecordNumber(2));
  EXPECT_EQ(NameOf(c), "Info");
  EXPECT_EQ(c.RecordNumber(), 2);
}

TEST_F(CursorTest, RangesRestrictNavigationAndCounts) {
  TableCursor c(Settings());
  c.Open();
  Fill(c);
  c.SetIndex(kByInheritance);
  c.SetRange(Values({"ACTOR"}), Values({"actor"}));
  EXPECT_THAT(Names(c), ElementsAre("Brush", "Info", "Pawn"));
  ASSERT_TRUE(c.Last());
  EXPECT_EQ(NameOf(c), "Pawn");
  EXPECT_FALSE(c.Next());
  EXPECT_TRUE(c.Eof());
  ASSERT_TRUE(c.First());
  EXPECT_FALSE(c.Prior());
  EXPECT_TRUE(c.Bof());

  // Both leading parts given: only those are compared.
  c.SetRange(Values({"actor", "c"}), Values({"actor", "J"}));
  EXPECT_THAT(Names(c), ElementsAre("Info"));
  EXPECT_EQ(c.RecordCount(), 1);
  // An open end.
  c.SetRange(Values({"b"}), {});
  EXPECT_THAT(Names(c), ElementsAre("Actor"));
  c.SetRange({}, Values({"actor"}));
  EXPECT_EQ(c.RecordCount(), 4);
  // Nothing in the range.
  c.SetRange(Values({"zzz"}), Values({"zzz"}));
  EXPECT_FALSE(c.First());
  EXPECT_FALSE(c.Last());
  EXPECT_EQ(c.RecordCount(), 0);
  // FindKey only finds what the range holds.
  c.SetRange(Values({"actor"}), Values({"actor"}));
  EXPECT_FALSE(c.FindKey(Values({"object"})));
  EXPECT_TRUE(c.FindKey(Values({"actor", "pawn"})));
  EXPECT_EQ(NameOf(c), "Pawn");
  c.CancelRange();
  EXPECT_EQ(c.RecordCount(), 5);
  EXPECT_EQ(NameOf(c), "Pawn");
}

TEST_F(CursorTest, FindKeyUsesTheIndexCaseRuleAndKeepsThePositionWhenMissing) {
  TableCursor c(Settings());
  c.Open();
  Fill(c);
  c.SetIndex(kByName);
  ASSERT_TRUE(c.FindKey(Values({"PAWN"})));
  EXPECT_EQ(NameOf(c), "Pawn");
  EXPECT_FALSE(c.FindKey(Values({"Paw"})));
  EXPECT_EQ(NameOf(c), "Pawn");
  c.SetIndex(0);
  ASSERT_TRUE(c.FindKey(std::vector{FieldValue::String("3")}));
  EXPECT_EQ(NameOf(c), "Brush");
  EXPECT_FALSE(c.FindKey(std::vector{FieldValue::Integer(42)}));
  EXPECT_EQ(NameOf(c), "Brush");
}

TEST_F(CursorTest, FilterSkipsRecordsButNotCounts) {
  TableCursor c(Settings());
  c.Open();
  Fill(c);
  c.SetIndex(kByName);
  const int package_offset = c.Fields()[kPackage - 1].offset;
  c.SetFilter([package_offset](const uint8_t* record) {
    return std::string(reinterpret_cast<const char*>(record + package_offset + 1)) == "core";
  });
  EXPECT_THAT(Names(c), ElementsAre("Info", "Object"));
  ASSERT_TRUE(c.Last());
  EXPECT_EQ(NameOf(c), "Object");
  EXPECT_EQ(c.RecordCount(), 5);
  EXPECT_FALSE(c.FindKey(Values({"Pawn"})));
  c.SetFilter({});
  EXPECT_EQ(Names(c).size(), 5u);
}

// ---- Locate ----

TEST_F(CursorTest, LocateThroughTheCurrentIndex) {
  TableCursor c(Settings());
  c.Open();
  Fill(c);
  c.SetIndex(kByName);
  const int name[] = {kObjectName};
  EXPECT_TRUE(c.Locate(name, Values({"actor"}), true, false));
  EXPECT_EQ(NameOf(c), "Actor");
  c.Last();
  EXPECT_FALSE(c.Locate(name, Values({"act"}), true, false));
  EXPECT_EQ(NameOf(c), "Pawn");
  EXPECT_TRUE(c.Locate(name, Values({"act"}), true, true));
  EXPECT_EQ(NameOf(c), "Actor");
  EXPECT_TRUE(c.Locate(name, Values({"in"}), true, true));
  EXPECT_EQ(NameOf(c), "Info");
}

TEST_F(CursorTest, LocateThroughAnotherIndexOrByScanning) {
  TableCursor c(Settings());
  c.Open();
  Fill(c);
  const int name[] = {kObjectName};
  // The case-insensitive index does not fit a case-sensitive search.
  EXPECT_FALSE(c.Locate(name, Values({"actor"}), false, false));
  EXPECT_TRUE(c.Locate(name, Values({"Actor"}), false, false));
  EXPECT_EQ(c.CurrentIndex(), 0);
  EXPECT_EQ(c.RecordId(), 1);
  // Another index fits: the cursor stays on its own index.
  EXPECT_TRUE(c.Locate(name, Values({"brush"}), true, false));
  EXPECT_EQ(NameOf(c), "Brush");
  EXPECT_TRUE(c.Next());
  EXPECT_EQ(NameOf(c), "Info");  // primary order continues
  const int parent[] = {kInheritsFrom};
  EXPECT_TRUE(c.Locate(parent, Values({"Actor"}), true, false));
  EXPECT_EQ(NameOf(c), "Brush");  // the first in ByInheritance
  // No index: a scan in the current order.
  const int package[] = {kPackage};
  EXPECT_TRUE(c.Locate(package, Values({"core"}), false, false));
  EXPECT_EQ(NameOf(c), "Info");
  EXPECT_FALSE(c.Locate(package, Values({"CORE"}), false, false));
  EXPECT_TRUE(c.Locate(package, Values({"CO"}), true, true));
  EXPECT_EQ(NameOf(c), "Info");
  const int two[] = {kInheritsFrom, kPackage};
  EXPECT_TRUE(c.Locate(two, Values({"actor", "core"}), false, false));
  EXPECT_EQ(NameOf(c), "Info");
  EXPECT_FALSE(c.Locate(two, Values({"object", "core"}), false, false));
  EXPECT_EQ(NameOf(c), "Info");
  const int id[] = {kObjectId};
  EXPECT_TRUE(c.Locate(id, std::vector{FieldValue::Integer(5)}, false, false));
  EXPECT_EQ(NameOf(c), "Object");
}

// A locate that fails (a field number the table lacks, a value that does not
// convert) leaves the position alone and the next one searches afresh; a
// filter sees the records a search through another index finds; changes an
// exclusive handle has not written yet are what a locate compares.
TEST_F(CursorTest, LocateAfterAFailedOneWithAFilterAndOnUnwrittenChanges) {
  TableCursor c(ExclusiveSettings());
  c.Open();
  Fill(c);
  c.SetIndex(kByName);
  const int name[] = {kObjectName};
  const int parent[] = {kInheritsFrom};
  ASSERT_TRUE(c.Locate(name, Values({"info"}), true, false));
  const int missing[] = {kObjectName, 99};
  EXPECT_EQ(EngineCode([&] { c.Locate(missing, Values({"pawn", "x"}), true, false); }),
            kErrInvalidField);
  const int id[] = {kObjectId};
  EXPECT_THROW(c.Locate(id, Values({"not a number"}), false, false), EDatabaseError);
  EXPECT_EQ(NameOf(c), "Info");
  EXPECT_TRUE(c.Locate(name, Values({"pawn"}), true, false));
  EXPECT_EQ(NameOf(c), "Pawn");

  EXPECT_TRUE(c.Locate(parent, Values({"actor"}), true, false));
  EXPECT_EQ(NameOf(c), "Brush");
  const int package_offset = c.Fields()[kPackage - 1].offset;
  c.SetFilter([package_offset](const uint8_t* record) {
    return std::string(reinterpret_cast<const char*>(record + package_offset + 1)) == "core";
  });
  EXPECT_TRUE(c.Locate(parent, Values({"actor"}), true, false));
  EXPECT_EQ(NameOf(c), "Info");
  EXPECT_FALSE(c.Locate(name, Values({"pawn"}), true, false));
  EXPECT_EQ(NameOf(c), "Info");
  c.SetFilter({});

  ASSERT_TRUE(c.Locate(name, Values({"pawn"}), true, false));
  c.Edit();
  c.SetField(kObjectName, FieldValue::String("Pawned"));
  c.SetField(kPackage, FieldValue::String("changed"));
  c.Post();
  c.First();
  EXPECT_FALSE(c.Locate(name, Values({"pawn"}), true, false));
  ASSERT_TRUE(c.Locate(name, Values({"PAWNED"}), true, false));
  EXPECT_EQ(c.GetField(kPackage).text, "changed");
  const int parent_and_name[] = {kInheritsFrom, kObjectName};
  ASSERT_TRUE(c.Locate(parent_and_name, Values({"actor", "pawned"}), true, false));
  EXPECT_EQ(NameOf(c), "Pawned");
  EXPECT_TRUE(c.CheckIntegrity().empty());
}

// ---- Emptying and tables without a primary index ----

TEST_F(CursorTest, EmptyTableNeedsAnExclusiveHandle) {
  {
    TableCursor c(Settings());
    c.Open();
    Fill(c);
    EXPECT_EQ(EngineCode([&] { c.EmptyTable(); }), kErrNotExclusive);
  }
  TableCursor c(ExclusiveSettings());
  c.Open();
  c.First();
  c.EmptyTable();
  EXPECT_TRUE(c.Bof());
  EXPECT_EQ(c.RecordCount(), 0);
  EXPECT_EQ(AddObject(c, "Actor"), 1);
  c.Close();
  EXPECT_EQ(std::filesystem::file_size(DataPath()), 127u + 6 * 768 + 369);
  c.Open();
  EXPECT_TRUE(c.CheckIntegrity().empty());
}

TEST_F(CursorTest, TableWithoutPrimaryIndexWalksSlotsAndNeverReusesThem) {
  TableDefinition def;
  def.fields = {Field("Name", kTypeString, 20), Field("Size", kTypeInteger)};
  def.indexes = {Index("", {}), Index("BySize", {2})};
  TableCursor::Create(Settings("loose"), def);
  TableCursor c(Settings("loose"));
  c.Open();
  EXPECT_FALSE(c.HasPrimaryIndex());
  for (int i = 0; i < 4; ++i) {
    c.Append();
    c.SetField(1, FieldValue::String("n" + std::to_string(i)));
    c.SetField(2, FieldValue::Integer(10 - i));
    c.Post();
  }
  ASSERT_TRUE(c.SetRecordNumber(2));
  EXPECT_EQ(c.GetField(1).text, "n1");
  c.Delete();
  EXPECT_EQ(c.GetField(1).text, "n2");
  c.Append();
  c.SetField(1, FieldValue::String("n4"));
  c.Post();
  EXPECT_EQ(c.PhysicalRecordNumber(), 5);
  std::vector<std::string> physical;
  for (bool on = c.First(); on; on = c.Next()) physical.push_back(c.GetField(1).text);
  EXPECT_THAT(physical, ElementsAre("n0", "n2", "n3", "n4"));
  EXPECT_EQ(c.RecordCount(), 4);
  c.SetIndex(1);
  std::vector<std::string> by_size;
  for (bool on = c.First(); on; on = c.Next()) by_size.push_back(c.GetField(1).text);
  EXPECT_THAT(by_size, ElementsAre("n4", "n3", "n2", "n0"));
  EXPECT_TRUE(c.CheckIntegrity().empty());
}

}  // namespace
}  // namespace quoldex::tables::test
