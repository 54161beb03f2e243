#include "tables/index_file/index_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "tables/index_file/index_file_defs.h"
#include "tables/index_file/index_file_test_util.h"

namespace quoldex::tables {
namespace {

using index_test::Bytes;
using index_test::ErrorCodeOf;
using index_test::Index;
using index_test::IndexFileTest;
using index_test::kCount;
using index_test::kFilename;
using index_test::kInheritsFrom;
using index_test::kObjectId;
using index_test::kObjectName;
using index_test::Record;

// ---- Definitions ------------------------------------------------------------

TEST_F(IndexFileTest, DefinitionChecksRaiseTheirCodesInOrder) {
  auto check_primary = [&](IndexDesc d, bool exists = false) {
    return ErrorCodeOf([&] { CheckIndexDefinition(d, true, fields_, exists, {}, "t.DAT"); });
  };
  auto check_secondary = [&](IndexDesc d, std::vector<std::string> names = {}) {
    return ErrorCodeOf([&] { CheckIndexDefinition(d, false, fields_, false, names, "t.DAT"); });
  };
  EXPECT_EQ(check_primary(Index("", {9})), kErrIndexField);
  EXPECT_EQ(check_primary(Index("", {1}), true), kErrPrimaryExists);
  EXPECT_EQ(check_primary(Index("", {})), 0);                         // a field-less primary
  EXPECT_EQ(check_primary(Index("", {4, 4, 4, 4, 4})), kErrKeySize);  // 5 x 252 > 1036
  EXPECT_EQ(check_primary(Index("", std::vector<uint16_t>(17, 1))), kErrIndexLimits);
  EXPECT_EQ(check_secondary(Index("X", {})), kErrKeySize);
  EXPECT_EQ(check_secondary(Index("", {2})), kErrIndexNameMissing);
  EXPECT_EQ(check_secondary(Index("   ", {2})), kErrIndexNameMissing);
  EXPECT_EQ(check_secondary(Index("1st", {2})), kErrIndexName);
  EXPECT_EQ(check_secondary(Index("_x", {2})), kErrIndexName);
  EXPECT_EQ(check_secondary(Index("\xC9lan", {2})), 0);
  EXPECT_EQ(check_secondary(Index("byname", {2}), {"Other", "ByName"}), kErrIndexExists);
  EXPECT_EQ(check_secondary(Index("X", {2}), std::vector<std::string>(30, "Y")), kErrIndexLimits);
  EXPECT_EQ(check_secondary(Index("X", std::vector<uint16_t>(17, 1))), kErrIndexLimits);
  // The field check comes before the name checks.
  EXPECT_EQ(check_secondary(Index("", {0x7FFF})), kErrIndexField);

  std::vector<FieldDesc> with_blob = fields_;
  index_test::AddField(with_blob, "Memo", kTypeBlob, 0, 22);
  IndexDesc blob = Index("", {6});
  EXPECT_EQ(ErrorCodeOf([&] { CheckIndexDefinition(blob, true, with_blob, false, {}, "t"); }),
            kErrIndexFieldType);

  try {
    IndexDesc d = Index("ByName", {2, 12});
    CheckIndexDefinition(d, false, fields_, false, {}, "t.DAT");
    FAIL();
  } catch (const EDbEngineError& e) {
    EXPECT_STREQ(e.what(),
                 "Table Engine Error # 10023 Invalid field number 12 specified in index ByName "
                 "for data file t.DAT");
  }
}

TEST_F(IndexFileTest, DefinitionsAreNormalised) {
  IndexDesc primary = Index("Named", {1, 0, 3});
  std::vector<IndexDesc> secondaries = {Index("  ByName ", {2}, true, true),
                                        Index("ByInheritance", {3, 2}, false, true),
                                        Index("ByObject", {1, 5})};
  CheckIndexDefinitions(primary, secondaries, fields_, "t.DAT");
  EXPECT_EQ(primary.name, "");
  EXPECT_EQ(primary.fields, (std::vector<uint16_t>{1}));
  EXPECT_EQ(primary.key_length, 5);
  EXPECT_EQ(secondaries[0].name, "ByName");
  EXPECT_EQ(secondaries[0].key_length, 37);
  EXPECT_EQ(secondaries[1].key_length, 78);
  EXPECT_EQ(secondaries[2].key_length, 14);
  secondaries.push_back(Index("BYNAME", {3}));
  EXPECT_EQ(ErrorCodeOf([&] { CheckIndexDefinitions(primary, secondaries, fields_, "t"); }),
            kErrIndexExists);
}

TEST_F(IndexFileTest, DefinitionsAreAddedOnlyOnceAndOnlyExclusively) {
  auto file = CreateFile({1});
  EXPECT_EQ(ErrorCodeOf([&] { file->AddPrimaryIndex(Index("", {2})); }), kErrPrimaryExists);
  EXPECT_EQ(file->AddSecondaryIndex(Index("ByName", {2}, true, true)), 1);
  EXPECT_EQ(ErrorCodeOf([&] { file->AddSecondaryIndex(Index("BYNAME", {3})); }), kErrIndexExists);
  for (int i = 2; i <= 30; ++i) file->AddSecondaryIndex(Index("I" + std::to_string(i), {5}));
  EXPECT_EQ(ErrorCodeOf([&] { file->AddSecondaryIndex(Index("Extra", {5})); }), kErrIndexLimits);
  file = Reopen(std::move(file), false);
  EXPECT_EQ(file->SecondaryCount(), 30);
  EXPECT_EQ(ErrorCodeOf([&] { file->AddSecondaryIndex(Index("Extra", {5})); }), kErrNotExclusive);
  EXPECT_EQ(ErrorCodeOf([&] { file->EmptyAll(); }), kErrNotExclusive);
  EXPECT_EQ(file->FindIndex("byname"), 1);
  EXPECT_EQ(file->FindIndex("sys deleted"), TIndexFile::kSystemIndex);
  EXPECT_EQ(file->SelectIndex("nothing"), TIndexFile::kPrimaryIndex);
}

// ---- Header ------------------------------------------------------------------

TEST_F(IndexFileTest, HeaderOfANewFileByteForByte) {
  auto file = NewFile();
  file->Create(false);
  EXPECT_EQ(index_test::ReadWholeFile(IdxPath()).size(), 4096u);
  IndexDesc primary = Index("", {kObjectId});
  file->AddPrimaryIndex(primary);
  file->AddSecondaryIndex(Index("ByName", {kObjectName}, true, true));
  file->Close();

  Bytes expected(4096, 0);
  expected[0] = 2;  // written at creation, then again at close
  expected[8] = 3;
  expected[10] = 0x10;  // next page offset 4096
  expected[13] = 1;
  // Slot 0 (offset 14): no name, key length 5, one field: 1.
  expected[14 + 31] = 5;
  expected[14 + 37] = 1;
  expected[14 + 54] = 1;
  // Slot 1 (offset 134): "ByName", key length 37, case-insensitive, unique.
  expected[134] = 6;
  std::memcpy(&expected[135], "ByName", 6);
  expected[134 + 31] = 37;
  expected[134 + 34] = 1;
  expected[134 + 35] = 1;
  expected[134 + 37] = 1;
  expected[134 + 54] = 2;
  // Slot 31 (offset 3734): "Sys Deleted", key length 5.
  expected[3734] = 11;
  std::memcpy(&expected[3735], "Sys Deleted", 11);
  expected[3734 + 31] = 5;
  expected[3979] = 1;  // written because it was modified
  EXPECT_EQ(index_test::ReadWholeFile(IdxPath()), expected);
}

TEST_F(IndexFileTest, HeaderIsWrittenOnlyWhenModifiedOrForced) {
  auto file = CreateFile({kObjectId});
  file->FlushBuffers(false);
  int32_t counter = file->ChangeCounter();
  EXPECT_FALSE(file->HeaderModified());
  file->FlushBuffers(false);
  EXPECT_EQ(file->ChangeCounter(), counter);
  file->FlushBuffers(true);
  EXPECT_EQ(file->ChangeCounter(), counter + 1);
  // A forced write of an unmodified header carries flag 0.
  EXPECT_EQ(index_test::ReadWholeFile(IdxPath())[3979], 0);
  file->SetRecordCount(12);
  EXPECT_TRUE(file->HeaderModified());
  file->WriteHeader(false);
  Bytes image = index_test::ReadWholeFile(IdxPath());
  EXPECT_EQ(GetLE<int32_t>(&image[0]), counter + 2);
  EXPECT_EQ(GetLE<int32_t>(&image[3974]), 12);
  EXPECT_EQ(image[3979], 1);
  EXPECT_FALSE(file->HeaderModified());
}

TEST_F(IndexFileTest, FieldlessPrimarySetsTheFlagAndKeepsNoTree) {
  auto file = CreateFile({});
  EXPECT_FALSE(file->HasPrimaryIndex());
  EXPECT_TRUE(file->NoPrimaryFlag());
  EXPECT_EQ(ErrorCodeOf([&] { file->AddPrimaryIndex(Index("", {1})); }), kErrPrimaryExists);
  file = Reopen(std::move(file));
  EXPECT_EQ(index_test::ReadWholeFile(IdxPath())[3978], 1);
  EXPECT_FALSE(file->HasPrimaryIndex());
  EXPECT_FALSE(file->First());
  EXPECT_EQ(file->CountRange(nullptr, 0, nullptr, 0), 0);
  EXPECT_THROW(file->Insert(0, Bytes(5).data(), 1), std::invalid_argument);
}

TEST_F(IndexFileTest, OpenRefusesDamagedHeaders) {
  {
    auto file = CreateFile({kObjectId}, {Index("ByName", {kObjectName}, true, true)});
    for (int i = 0; i < 300; ++i) {
      Bytes key = KeyOf(*file, 0, {KeyValue::Int32(i)});
      file->Insert(0, key.data(), i + 1);
    }
    file->Close();
  }
  const Bytes good = index_test::ReadWholeFile(IdxPath());
  ASSERT_EQ(good.size(), 2u * 4096u);
  struct Damage {
    const char* what;
    std::function<void(Bytes&)> apply;
    int code;
  };
  std::vector<Damage> damages = {
      {"version", [](Bytes& b) { b[8] = 4; }, kErrVersion},
      {"short file", [](Bytes& b) { b.resize(4000); }, kErrHeaderCorrupt},
      {"next page not a multiple", [](Bytes& b) { PutLE<int32_t>(&b[9], 5000); },
       kErrHeaderCorrupt},
      {"next page beyond the file", [](Bytes& b) { PutLE<int32_t>(&b[9], 3 * 4096); },
       kErrHeaderCorrupt},
      {"negative next page", [](Bytes& b) { PutLE<int32_t>(&b[9], -4096); }, kErrHeaderCorrupt},
      {"31 secondary indexes", [](Bytes& b) { b[13] = 31; }, kErrHeaderCorrupt},
      {"key length", [](Bytes& b) { b[14 + 31] = 6; }, kErrHeaderCorrupt},
      {"17 key fields", [](Bytes& b) { b[134 + 37] = 17; }, kErrHeaderCorrupt},
      {"unknown field", [](Bytes& b) { b[134 + 54] = 9; }, kErrHeaderCorrupt},
      {"root beyond the file", [](Bytes& b) { PutLE<int32_t>(&b[14 + 86], 2 * 4096); },
       kErrHeaderCorrupt},
      {"root not a multiple", [](Bytes& b) { PutLE<int32_t>(&b[14 + 86], 4097); },
       kErrHeaderCorrupt},
      {"free chain at the header", [](Bytes& b) { PutLE<int32_t>(&b[14 + 90], 4096 - 1); },
       kErrHeaderCorrupt},
      {"secondary without fields", [](Bytes& b) { b[134 + 37] = 0; }, kErrHeaderCorrupt},
      {"untouched", [](Bytes&) {}, 0},
      {"system key length", [](Bytes& b) { b[3734 + 31] = 4; }, kErrHeaderCorrupt},
      {"negative record count", [](Bytes& b) { PutLE<int32_t>(&b[3974], -1); }, kErrHeaderCorrupt},
      {"no-primary flag with primary fields", [](Bytes& b) { b[3978] = 1; }, kErrHeaderCorrupt},
      {"compressed leaves", [](Bytes& b) { b[134 + 36] = 1; }, kErrIndexPagesCorrupt},
  };
  for (const Damage& d : damages) {
    Bytes image = good;
    d.apply(image);
    index_test::WriteWholeFile(IdxPath(), image);
    auto file = NewFile();
    EXPECT_EQ(ErrorCodeOf([&] { file->Open(false, false, false); }), d.code) << d.what;
    EXPECT_EQ(file->IsOpen(), d.code == 0) << d.what;
  }
}

TEST_F(IndexFileTest, AnotherHandlesChangeIsSeenThroughTheChangeCounter) {
  CreateFile({kObjectId})->Close();
  auto writer = NewFile();
  auto reader = NewFile();
  writer->Open(false, false, false);
  reader->Open(false, false, false);
  reader->First();
  EXPECT_FALSE(reader->TestChanged());
  Bytes key = KeyOf(*writer, 0, {KeyValue::Int32(42)});
  writer->Insert(0, key.data(), 7);
  writer->SetRecordCount(1);
  writer->FlushBuffers(true);
  EXPECT_EQ(reader->EntryCount(0), 0);  // still the old header
  EXPECT_TRUE(reader->TestChanged());
  EXPECT_EQ(reader->RecordCount(), 1);
  ASSERT_TRUE(reader->First());
  EXPECT_EQ(reader->CurrentRecord(), 7);
  EXPECT_FALSE(reader->TestChanged());
}

// ---- Tree shape ----------------------------------------------------------------

TEST_F(IndexFileTest, SplitAtCapacityKeepsTheFirstHalfRoundedUp) {
  // ByName-shaped keys (37 bytes): 94 entries per leaf.
  auto file = CreateFile({kObjectName});
  ASSERT_EQ(TPage::LeafCapacity(37), 94);
  for (int i = 0; i < 94; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "C%03d", i);
    Bytes key = KeyOf(*file, 0, {KeyValue::String(name)});
    file->Insert(0, key.data(), i + 1);
  }
  file->FlushBuffers(false);
  Bytes image = index_test::ReadWholeFile(IdxPath());
  int32_t root = file->Descriptor(0).root;
  EXPECT_EQ(View(image, root, 37).Type(), TPage::kRootLeaf);
  EXPECT_EQ(View(image, root, 37).Count(), 94);

  Bytes key = KeyOf(*file, 0, {KeyValue::String("C094")});
  file->Insert(0, key.data(), 95);
  file->FlushBuffers(false);
  image = index_test::ReadWholeFile(IdxPath());
  PageView top = View(image, file->Descriptor(0).root, 37);
  ExpectRootOverTwoLeaves(image, top, 48, 47);
  EXPECT_EQ(top.Child(0), root);  // the old page keeps the first half
  PageView right = View(image, top.Child(1), 37);
  EXPECT_EQ(std::memcmp(right.Key(0, true) + 1, "C048", 4), 0);
  EXPECT_EQ(GetLE<int32_t>(right.Key(0, true) + 37), 49);
  EXPECT_TRUE(file->Verify().empty());
}

TEST_F(IndexFileTest, BuildSpreadsSortedEntriesEvenlyOverLinkedPages) {
  auto file = CreateFile({kObjectName});  // 94 entries per leaf
  std::vector<Bytes> keys;
  for (int i = 0; i < 95; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "C%03d", i);
    keys.push_back(KeyOf(*file, 0, {KeyValue::String(name)}));
  }
  std::vector<IndexTree::Entry> entries;
  for (int i = 0; i < 95; ++i) entries.push_back({keys[i].data(), i + 1});

  // Out of order or on a tree that has entries: refused, nothing changed.
  std::swap(entries[10], entries[11]);
  EXPECT_THROW(file->Build(0, entries), std::invalid_argument);
  EXPECT_EQ(file->Descriptor(0).root, 0);
  std::swap(entries[10], entries[11]);
  file->Build(0, std::span(entries).first(1));
  EXPECT_THROW(file->Build(0, entries), std::invalid_argument);
  file->FlushBuffers(false);
  Bytes image = index_test::ReadWholeFile(IdxPath());
  EXPECT_EQ(View(image, file->Descriptor(0).root, 37).Type(), TPage::kRootLeaf);
  EXPECT_EQ(View(image, file->Descriptor(0).root, 37).Count(), 1);

  file->Close();
  file.reset();
  file = CreateFile({kObjectName});
  file->Build(0, entries);
  file->FlushBuffers(false);
  image = index_test::ReadWholeFile(IdxPath());
  PageView top = View(image, file->Descriptor(0).root, 37);
  ExpectRootOverTwoLeaves(image, top, 47, 48);
  PageView right = View(image, top.Child(1), 37);
  EXPECT_EQ(GetLE<int32_t>(right.Key(0, true) + 37), 48);
  EXPECT_TRUE(file->Verify().empty());
  EXPECT_EQ(file->EntryCount(0), 95);
}

TEST_F(IndexFileTest, BuiltTreesTakeRandomInsertsAndDeletes) {
  // Each shape built from more keys than three levels hold, then changed.
  RandomRun(0, 1500);
  RandomRun(1, 5000);
  RandomRun(2, 300);
}

TEST_F(IndexFileTest, UnderfullPageMergesWithItsPreviousNeighbourAndTheRootCollapses) {
  auto file = CreateFile({kFilename});  // 15 entries per page, half is 7
  for (int i = 0; i < 16; ++i) file->Insert(0, WideKey(*file, i * 10).data(), i + 1);
  int32_t old_root = file->Descriptor(0).root;
  ASSERT_EQ(file->Verify(), std::vector<std::string>{});
  // Leaves hold 8 + 8; taking two from the right page leaves 6 < 7 and
  // 8 + 6 < 15 entries fit in one page.
  file->Delete(0, WideKey(*file, 150).data());
  file->Delete(0, WideKey(*file, 140).data());
  file->FlushBuffers(false);
  Bytes image = index_test::ReadWholeFile(IdxPath());
  PageView root = View(image, file->Descriptor(0).root, 252);
  EXPECT_EQ(root.Type(), TPage::kRootLeaf);
  EXPECT_EQ(root.Count(), 14);
  EXPECT_EQ(root.Prev(), 0);
  EXPECT_EQ(root.Next(), 0);
  // The right leaf and the old root are on the free chain, newest first.
  int32_t head = file->Descriptor(0).free_head;
  EXPECT_EQ(head, old_root);
  EXPECT_EQ(View(image, head, 252).Count(), 0);
  int32_t second = View(image, head, 252).Next();
  EXPECT_NE(second, 0);
  EXPECT_EQ(View(image, second, 252).Next(), 0);
  EXPECT_TRUE(file->Verify().empty());
}

TEST_F(IndexFileTest, FirstChildMergesWithTheNextPage) {
  auto file = CreateFile({kFilename});
  for (int i = 0; i < 16; ++i) file->Insert(0, WideKey(*file, i * 10).data(), i + 1);
  file->FlushBuffers(false);
  int32_t first_leaf =
      View(index_test::ReadWholeFile(IdxPath()), file->Descriptor(0).root, 252).Child(0);
  // The left leaf is its parent's first entry: with 6 entries it merges
  // with the next page and absorbs it.
  file->Delete(0, WideKey(*file, 0).data());
  file->Delete(0, WideKey(*file, 10).data());
  file->FlushBuffers(false);
  Bytes image = index_test::ReadWholeFile(IdxPath());
  EXPECT_EQ(file->Descriptor(0).root, first_leaf);
  PageView root = View(image, first_leaf, 252);
  EXPECT_EQ(root.Type(), TPage::kRootLeaf);
  EXPECT_EQ(root.Count(), 14);
  EXPECT_EQ(std::memcmp(root.Key(0, true), WideKey(*file, 20).data(), 252), 0);
  EXPECT_TRUE(file->Verify().empty());
}

TEST_F(IndexFileTest, UnderfullPageBesideAFullOneSharesEntriesEvenly) {
  auto file = CreateFile({kFilename});
  for (int i = 0; i < 16; ++i) file->Insert(0, WideKey(*file, i * 10).data(), i + 1);
  // Left leaf 0..70 gets four more (12 entries); right keeps 80..150 (8).
  for (int k : {1, 2, 3, 4}) file->Insert(0, WideKey(*file, k).data(), 100 + k);
  file->Delete(0, WideKey(*file, 150).data());
  file->Delete(0, WideKey(*file, 140).data());
  // Right has 6 < 7; 12 + 6 = 18 do not fit one page: 9 and 9.
  file->FlushBuffers(false);
  Bytes image = index_test::ReadWholeFile(IdxPath());
  PageView root = View(image, file->Descriptor(0).root, 252);
  ASSERT_EQ(root.Type(), TPage::kRoot);
  ASSERT_EQ(root.Count(), 2);
  PageView left = View(image, root.Child(0), 252);
  PageView right = View(image, root.Child(1), 252);
  EXPECT_EQ(left.Count(), 9);
  EXPECT_EQ(right.Count(), 9);
  EXPECT_EQ(root.SubtreeCount(0), 9);
  EXPECT_EQ(root.SubtreeCount(1), 9);
  // Right now starts with the left page's former last three entries.
  EXPECT_EQ(std::memcmp(right.Key(0, true), WideKey(*file, 50).data(), 252), 0);
  EXPECT_EQ(std::memcmp(root.Key(1, false), WideKey(*file, 50).data(), 252), 0);
  EXPECT_TRUE(file->Verify().empty());
}

TEST_F(IndexFileTest, DeletingEverythingFreesAllPagesAndInsertsReuseThem) {
  auto file = CreateFile({kFilename});
  for (int i = 0; i < 200; ++i) file->Insert(0, WideKey(*file, i).data(), i + 1);
  int32_t length = file->NextPageOffset();
  EXPECT_GT(length, 10 * 4096);
  EXPECT_TRUE(file->Verify().empty());
  for (int i = 0; i < 200; ++i) file->Delete(0, WideKey(*file, (i * 7) % 200).data());
  EXPECT_EQ(file->Descriptor(0).root, 0);
  EXPECT_EQ(file->EntryCount(0), 0);
  EXPECT_EQ(file->NextPageOffset(), length);
  // Every page is on the free chain (Verify finds each page exactly once).
  EXPECT_EQ(file->Verify(), std::vector<std::string>{});
  int32_t head = file->Descriptor(0).free_head;
  file->Insert(0, WideKey(*file, 5).data(), 1);
  EXPECT_EQ(file->Descriptor(0).root, head);
  EXPECT_EQ(file->NextPageOffset(), length);
  file = Reopen(std::move(file));
  EXPECT_EQ(index_test::ReadWholeFile(IdxPath()).size(), static_cast<size_t>(length));
  EXPECT_TRUE(file->Verify().empty());
}

TEST_F(IndexFileTest, InteriorKeyBelowItsChildsFirstKeyIsStillSearchedCorrectly) {
  auto file = CreateFile({kFilename});
  for (int i = 0; i < 16; ++i) file->Insert(0, WideKey(*file, i * 10).data(), i + 1);
  int32_t root = file->Descriptor(0).root;
  Bytes lowered = WideKey(*file, 75);
  file->Close();
  // Lower the separator of the right leaf from 80 to 75: still above every
  // key of the left leaf, as a file written by another writer may have it.
  Bytes image = index_test::ReadWholeFile(IdxPath());
  std::memcpy(&image[root + 13 + (252 + 8)], lowered.data(), 252);
  index_test::WriteWholeFile(IdxPath(), image);
  file = NewFile();
  file->Open(true, false, false);
  ASSERT_EQ(file->Verify().size(), 1u);

  file->SelectIndex(0);
  for (int i = 0; i < 16; ++i) {
    ASSERT_TRUE(file->FindKey(WideKey(*file, i * 10).data(), 252)) << i;
    EXPECT_EQ(file->CurrentOrdinal(), i + 1);
  }
  EXPECT_FALSE(file->FindKey(WideKey(*file, 72).data(), 252));
  EXPECT_EQ(file->CurrentRecord(), 9);
  Bytes lo = WideKey(*file, 71), hi = WideKey(*file, 90);
  EXPECT_EQ(file->CountRange(lo.data(), 252, hi.data(), 252), 2);
  // An insert that becomes the right leaf's first entry refreshes the
  // separator, after which the tree is sound again.
  file->Insert(0, WideKey(*file, 76).data(), 99);
  EXPECT_EQ(file->Verify(), std::vector<std::string>{});
  EXPECT_TRUE(file->FindKey(WideKey(*file, 76).data(), 252));
  EXPECT_EQ(file->CurrentOrdinal(), 9);
}

// ---- Keys of the catalogue ----------------------------------------------------

TEST_F(IndexFileTest, NamesDifferingInCaseInCaseInsensitiveAndSensitiveUniqueIndexes) {
  auto file = CreateFile({kObjectId}, {Index("ByName", {kObjectName}, true, true),
                                       Index("Exact", {kObjectName}, true, false)});
  Record actor(fields_, 1), upper(fields_, 2);
  actor.String(kObjectName, "Actor");
  upper.String(kObjectName, "ACTOR");
  for (int index : {1, 2}) {
    Bytes key(file->KeyLength(index));
    file->Layout(index).FromRecord(actor.Bytes(), key.data());
    file->CheckDuplicate(index, key.data());
    file->Insert(index, key.data(), 1);
  }
  Bytes key(37);
  file->Layout(1).FromRecord(upper.Bytes(), key.data());
  try {
    file->CheckDuplicate(1, key.data());
    FAIL() << "no duplicate reported";
  } catch (const EDbEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kErrDuplicateKey);
    EXPECT_EQ(std::string(e.what()),
              "Table Engine Error # 9729 Duplicate key found in index "
              "ByName of data file " +
                  DatName());
  }
  EXPECT_EQ(ErrorCodeOf([&] { file->Insert(1, key.data(), 2); }), kErrDuplicateKey);
  EXPECT_EQ(file->EntryCount(1), 1);

  file->Layout(2).FromRecord(upper.Bytes(), key.data());
  file->CheckDuplicate(2, key.data());
  file->Insert(2, key.data(), 2);
  file->SelectIndex(2);
  ASSERT_TRUE(file->First());
  EXPECT_EQ(file->CurrentRecord(), 2);  // "ACTOR" before "Actor"
  ASSERT_TRUE(file->Next());
  EXPECT_EQ(file->CurrentRecord(), 1);

  Bytes primary = KeyOf(*file, 0, {KeyValue::Int32(1)});
  file->Insert(0, primary.data(), 1);
  EXPECT_EQ(ErrorCodeOf([&] { file->CheckDuplicate(0, primary.data()); }), kErrDuplicateKey);
  try {
    file->CheckDuplicate(0, primary.data());
  } catch (const EDbEngineError& e) {
    EXPECT_NE(std::string(e.what()).find("in index Primary of"), std::string::npos);
  }
}

TEST_F(IndexFileTest, EqualValuesInANonUniqueIndexAreOrderedByRecordId) {
  auto file =
      CreateFile({kObjectId}, {Index("ByInheritance", {kInheritsFrom, kObjectName}, false, true)});
  // Inserted in the order 9, 3, 5; all with the same values.
  for (int32_t id : {9, 3, 5}) {
    Record r(fields_, id);
    r.String(kInheritsFrom, "actor").String(kObjectName, "Pawn");
    Bytes key(78);
    file->Layout(1).FromRecord(r.Bytes(), key.data());
    file->Insert(1, key.data(), id * 10);
  }
  file->SelectIndex("ByInheritance");
  std::vector<int32_t> order;
  for (bool ok = file->First(); ok; ok = file->Next()) order.push_back(file->CurrentRecord());
  EXPECT_EQ(order, (std::vector<int32_t>{30, 50, 90}));
  // FindKey on the leading field only finds the first of them.
  Bytes key(78);
  size_t length =
      file->Layout(1).FromValues(std::vector<KeyValue>{KeyValue::String("ACTOR")}, key.data());
  EXPECT_TRUE(file->FindKey(key.data(), length));
  EXPECT_EQ(file->CurrentRecord(), 30);
  EXPECT_EQ(file->CountRange(key.data(), length, key.data(), length), 3);
}

TEST_F(IndexFileTest, IntegerKeysOrderNullAndNegativesFirst) {
  auto file = CreateFile({kObjectId}, {Index("ByCount", {kCount})});
  std::vector<std::pair<int32_t, bool>> values = {{1, false}, {0, true}, {-1, false}, {0, false}};
  int32_t id = 1;
  for (auto [value, null] : values) {
    Record r(fields_, id);
    if (!null) r.Int(kCount, value);
    Bytes key(file->KeyLength(1));
    file->Layout(1).FromRecord(r.Bytes(), key.data());
    file->Insert(1, key.data(), id++);
  }
  file->SelectIndex(1);
  std::vector<int32_t> order;
  for (bool ok = file->First(); ok; ok = file->Next()) order.push_back(file->CurrentRecord());
  EXPECT_EQ(order, (std::vector<int32_t>{2, 3, 4, 1}));  // null, -1, 0, 1
}

// ---- Cursor ------------------------------------------------------------------

TEST_F(IndexFileTest, CursorWalksFindsAndCountsAcrossPages) {
  auto file = CreateFile({kFilename});
  for (int i = 0; i < 100; ++i) file->Insert(0, WideKey(*file, i * 2).data(), i + 1);
  file->SelectIndex(0);
  EXPECT_EQ(file->State(), TIndexFile::CursorState::kBof);
  EXPECT_EQ(file->CurrentOrdinal(), 0);
  int n = 0;
  for (bool ok = file->First(); ok; ok = file->Next()) EXPECT_EQ(file->CurrentRecord(), ++n);
  EXPECT_EQ(n, 100);
  EXPECT_EQ(file->State(), TIndexFile::CursorState::kEof);
  EXPECT_EQ(file->CurrentOrdinal(), 101);
  for (bool ok = file->Prior(); ok; ok = file->Prior()) EXPECT_EQ(file->CurrentRecord(), n--);
  EXPECT_EQ(n, 0);

  // Absent key: positioned on the next one, not found.
  EXPECT_FALSE(file->FindKey(WideKey(*file, 51).data(), 252));
  EXPECT_EQ(file->CurrentRecord(), 27);
  EXPECT_EQ(file->CurrentOrdinal(), 27);
  EXPECT_TRUE(file->FindKey(WideKey(*file, 52).data(), 252));
  EXPECT_FALSE(file->FindNearest(WideKey(*file, 999).data(), 252));
  EXPECT_EQ(file->State(), TIndexFile::CursorState::kEof);

  ASSERT_TRUE(file->SetOrdinal(60));
  EXPECT_EQ(file->CurrentRecord(), 60);
  EXPECT_FALSE(file->SetOrdinal(101));
  EXPECT_FALSE(file->SetOrdinal(0));

  // The indicator and "K0000001" cover 10..19: the even ones, 5 entries.
  Bytes prefix = WideKey(*file, 10);
  EXPECT_EQ(file->CountRange(prefix.data(), 9, prefix.data(), 9), 5);
  Bytes lo = WideKey(*file, 20), hi = WideKey(*file, 40);
  EXPECT_EQ(file->CountRange(lo.data(), 252, hi.data(), 252), 11);
  EXPECT_EQ(file->CountRange(nullptr, 0, hi.data(), 252), 21);
  EXPECT_EQ(file->CountRange(hi.data(), 252, lo.data(), 252), 0);
  EXPECT_TRUE(file->FindKey(prefix.data(), 9));
  EXPECT_EQ(file->CurrentRecord(), 6);

  // The cursor survives changes: deleting its entry moves on from its key.
  file->SetOrdinal(30);
  file->Delete(0, WideKey(*file, 58).data());
  file->Insert(0, WideKey(*file, 59).data(), 500);
  ASSERT_TRUE(file->Next());
  EXPECT_EQ(file->CurrentRecord(), 500);
  file->Delete(0, WideKey(*file, 59).data());
  ASSERT_TRUE(file->Prior());
  EXPECT_EQ(file->CurrentRecord(), 29);
}

TEST_F(IndexFileTest, WalkHandsOutLeavesWholeAndStopsAtALoopingChain) {
  auto file = CreateFile({kFilename});
  for (int i = 0; i < 100; ++i) file->Insert(0, WideKey(*file, i * 2).data(), i + 1);
  std::vector<int32_t> seen;
  auto collect = [&](const uint8_t*, int32_t record) {
    seen.push_back(record);
    return true;
  };
  file->Walk(0, nullptr, 0, collect);
  ASSERT_EQ(seen.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i + 1);
  seen.clear();
  file->Walk(0, WideKey(*file, 51).data(), 252, [&](const uint8_t* key, int32_t record) {
    seen.push_back(record);
    return std::memcmp(key, WideKey(*file, 60).data(), 252) < 0;
  });
  EXPECT_EQ(seen, (std::vector<int32_t>{27, 28, 29, 30, 31}));

  // The last leaf's next link pointing back at the first leaf: the walk
  // refuses instead of going round for ever.
  file->Close();
  Bytes image = index_test::ReadWholeFile(IdxPath());
  int32_t first_leaf = 0, last_leaf = 0;
  for (int32_t at = 4096; at < static_cast<int32_t>(image.size()); at += 4096) {
    PageView page = View(image, at, 252);
    if (page.Type() != TPage::kLeaf) continue;
    if (page.Prev() == 0) first_leaf = at;
    if (page.Next() == 0) last_leaf = at;
  }
  ASSERT_NE(first_leaf, 0);
  PutLE<int32_t>(image.data() + last_leaf + 7, first_leaf);
  index_test::WriteWholeFile(IdxPath(), image);
  auto damaged = NewFile();
  damaged->Open(true, false, false);
  seen.clear();
  EXPECT_EQ(ErrorCodeOf([&] { damaged->Walk(0, nullptr, 0, collect); }), kErrIndexPagesCorrupt);
  EXPECT_EQ(seen.size(), 100u);
}

TEST_F(IndexFileTest, SequentialRecordsAheadFollowsRecordNumbersInSteps) {
  auto file = CreateFile({kObjectId});
  for (int i = 1; i <= 10; ++i) {
    file->Insert(0, KeyOf(*file, 0, {KeyValue::Int32(i)}).data(), i == 6 ? 60 : i);
  }
  file->First();
  EXPECT_EQ(file->SequentialRecordsAhead(100), 4);
  EXPECT_EQ(file->SequentialRecordsAhead(2), 2);
  file->SetOrdinal(7);
  EXPECT_EQ(file->SequentialRecordsAhead(100), 3);
}

// ---- Changes that fail change nothing -------------------------------------------

TEST_F(IndexFileTest, MissingAndDuplicateKeysLeaveTheIndexAsItWas) {
  auto file = CreateFile({kFilename});
  for (int i = 0; i < 40; ++i) file->Insert(0, WideKey(*file, i).data(), i + 1);
  file->FlushBuffers(false);
  Bytes before = index_test::ReadWholeFile(IdxPath());
  try {
    file->Delete(0, WideKey(*file, 99).data());
    FAIL();
  } catch (const EDbEngineError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Table Engine Error # 8708 Key not found in index Primary of "
              "data file " +
                  DatName());
  }
  EXPECT_EQ(ErrorCodeOf(
                [&] { file->Replace(0, WideKey(*file, 99).data(), WideKey(*file, 98).data(), 1); }),
            kErrKeyNotFound);
  EXPECT_EQ(
      ErrorCodeOf([&] { file->Replace(0, WideKey(*file, 3).data(), WideKey(*file, 4).data(), 1); }),
      kErrDuplicateKey);
  EXPECT_EQ(ErrorCodeOf([&] { file->Insert(0, WideKey(*file, 7).data(), 1); }), kErrDuplicateKey);
  file->FlushBuffers(false);
  EXPECT_EQ(index_test::ReadWholeFile(IdxPath()), before);

  file->Replace(0, WideKey(*file, 3).data(), WideKey(*file, 300).data(), 77);
  file->SelectIndex(0);
  ASSERT_TRUE(file->Last());
  EXPECT_EQ(file->CurrentRecord(), 77);
  EXPECT_FALSE(file->Contains(0, WideKey(*file, 3).data()));
  file->Replace(0, WideKey(*file, 300).data(), WideKey(*file, 300).data(), 78);
  file->Last();
  EXPECT_EQ(file->CurrentRecord(), 78);
}

TEST_F(IndexFileTest, AFullFileRefusesNewPagesWith9479) {
  auto file = CreateFile({kObjectId});
  file->Close();
  // Next page offset at the last page that still fits under 2000000000.
  const int32_t near_end = 1999998976;  // 488281 * 4096
  Bytes image = index_test::ReadWholeFile(IdxPath());
  PutLE<int32_t>(&image[9], near_end);
  index_test::WriteWholeFile(IdxPath(), image);
  std::filesystem::resize_file(IdxPath(), near_end);
  file = NewFile();
  file->Open(true, false, false);
  Bytes key = KeyOf(*file, 0, {KeyValue::Int32(1)});
  EXPECT_EQ(ErrorCodeOf([&] { file->Insert(0, key.data(), 1); }), kErrFileFull);
  const IndexTree::Entry entry{key.data(), 1};
  EXPECT_EQ(ErrorCodeOf([&] { file->Build(0, std::span(&entry, 1)); }), kErrFileFull);
  EXPECT_EQ(file->Descriptor(0).root, 0);
  EXPECT_EQ(file->NextPageOffset(), near_end);
  file->Close();
}

TEST_F(IndexFileTest, EmptyAllCutsTheFileAndClearsEveryIndex) {
  auto file = CreateFile({kObjectId}, {Index("ByCount", {kCount})});
  for (int i = 0; i < 500; ++i) {
    file->Insert(0, KeyOf(*file, 0, {KeyValue::Int32(i)}).data(), i + 1);
    file->Insert(1, KeyOf(*file, 1, {KeyValue::Int32(i)}).data(), i + 1);
    uint8_t sys[5];
    EncodeSysDeletedKey(0, i + 1, sys);
    file->Insert(TIndexFile::kSystemIndex, sys, i + 1);
  }
  file->SetRecordCount(500);
  file->EmptyAll();
  EXPECT_EQ(index_test::ReadWholeFile(IdxPath()).size(), 4096u);
  EXPECT_EQ(file->RecordCount(), 0);
  for (int index : {0, 1, TIndexFile::kSystemIndex}) {
    EXPECT_EQ(file->EntryCount(index), 0);
    EXPECT_EQ(file->Descriptor(index).root, 0);
    EXPECT_EQ(file->Descriptor(index).free_head, 0);
  }
  file->Insert(0, KeyOf(*file, 0, {KeyValue::Int32(1)}).data(), 1);
  EXPECT_EQ(file->Descriptor(0).root, 4096);
  EXPECT_TRUE(Reopen(std::move(file))->Verify().empty());
}

// ---- Long random runs against an ordered map --------------------------------------

class RandomRunTest : public IndexFileTest, public ::testing::WithParamInterface<int> {};

TEST_P(RandomRunTest, MatchesAnOrderedMapAfterEveryBatch) {
  RandomRun(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomRunTest, ::testing::Values(1, 2, 3, 4, 17, 42));

}  // namespace
}  // namespace quoldex::tables
