#include "tables/index_file/index_file.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

#include "tables/base/coding.h"
#include "tables/base/engine_error.h"
#include "tables/index_file/index_file_defs.h"
#include "tables/index_file/index_file_header.h"
#include "text/western.h"

namespace quoldex::tables {

namespace ih = index_header;

TIndexFile::TIndexFile(std::string file_name, std::string error_name, std::vector<FieldDesc> fields,
                       size_t held_pages)
    : TFileHandler(std::move(file_name), std::move(error_name)),
      fields_(std::move(fields)),
      shelf_(kShelfPages, held_pages) {}

TIndexFile::~TIndexFile() {
  try {
    Close();
  } catch (const std::exception&) {
    // A destructor cannot report; Close() reports to callers that ask.
  }
}

// ---- Creation and definitions ------------------------------------------

void TIndexFile::Create(bool write_through) {
  TFileHandler::Create(write_through);
  shelf_.Clear();
  header_.fill(0);
  header_[ih::kVersion] = ih::kFormatVersion;
  counter_ = 0;
  next_page_ = TPage::kSize;
  secondary_count_ = 0;
  record_count_ = 0;
  no_primary_ = false;
  for (int slot = 0; slot < kTreeSlots; ++slot) indexes_[slot] = IndexDesc{};
  indexes_[kSystemIndex].name = ih::kSystemIndexName;
  indexes_[kSystemIndex].key_length = kSysDeletedKeyLength;
  for (int slot = 0; slot < kTreeSlots; ++slot) BuildIndex(slot);
  cursor_ = Cursor{};
  HeaderChanged();
  WriteHeader(false);
}

void TIndexFile::RequireExclusive() const {
  if (!IsOpen() || !IsExclusive()) throw EDbEngineError(kErrNotExclusive, ErrorName());
}

void TIndexFile::AddPrimaryIndex(IndexDesc index) {
  RequireExclusive();
  bool exists = indexes_[0].key_length != 0 || no_primary_;
  CheckIndexDefinition(index, true, fields_, exists, {}, ErrorName());
  index.compression = 0;
  indexes_[0] = std::move(index);
  no_primary_ = indexes_[0].fields.empty();
  BuildIndex(0);
  HeaderChanged();
}

int TIndexFile::AddSecondaryIndex(IndexDesc index) {
  RequireExclusive();
  std::vector<std::string> names;
  for (int slot = 1; slot <= secondary_count_; ++slot) names.push_back(indexes_[slot].name);
  CheckIndexDefinition(index, false, fields_, false, names, ErrorName());
  index.compression = 0;
  int slot = ++secondary_count_;
  indexes_[slot] = std::move(index);
  BuildIndex(slot);
  HeaderChanged();
  return slot;
}

void TIndexFile::BuildIndex(int slot) {
  ++epoch_;
  const IndexDesc& index = indexes_[slot];
  if (slot == kSystemIndex) {
    layouts_[slot] = KeyLayout::SysDeleted();
  } else if (IsDefined(slot)) {
    layouts_[slot] = KeyLayout::ForIndex(index, fields_, slot != kPrimaryIndex);
  } else {
    layouts_[slot] = KeyLayout{};
  }
  if (!IsDefined(slot)) {
    trees_[slot].reset();
    caches_[slot].reset();
    return;
  }
  caches_[slot] =
      std::make_unique<TPageCache>(*this, layouts_[slot].KeyLength(), &next_page_, &shelf_);
  PageSpace& space = *this;
  trees_[slot] =
      std::make_unique<IndexTree>(*caches_[slot], indexes_[slot], space, IndexName(slot));
}

// ---- Open and close ----------------------------------------------------------

void TIndexFile::Open(bool exclusive, bool read_only, bool write_through) {
  TFileHandler::Open(exclusive, read_only, write_through);
  try {
    ReadHeader();
  } catch (...) {
    TFileHandler::Close();
    throw;
  }
  cursor_ = Cursor{};
}

void TIndexFile::Close() {
  if (IsOpen() && !IsReadOnly()) {
    try {
      FlushBuffers(false);
    } catch (...) {
      DiscardCache();
      TFileHandler::Close();
      throw;
    }
  }
  DiscardCache();
  TFileHandler::Close();
}

// ---- Header ----------------------------------------------------------------

void TIndexFile::ParseHeader(const std::array<uint8_t, 4096>& image, uint64_t file_size) {
  auto corrupt = [this]() { return EDbEngineError(kErrHeaderCorrupt, ErrorName()); };
  const uint8_t* h = image.data();
  if (h[ih::kVersion] != ih::kFormatVersion) throw EDbEngineError(kErrVersion, ErrorName());
  // A writer died between marking its update and writing the index header.
  if (h[ih::kUpdateInProgress] != 0 && !accept_update_mark_) {
    throw EDbEngineError(kErrIndexPagesCorrupt, ErrorName());
  }
  int32_t next_page = GetLE<int32_t>(h + ih::kNextPage);
  int secondary_count = h[ih::kSecondaryCount];
  int32_t record_count = GetLE<int32_t>(h + ih::kRecordCount);
  bool no_primary = h[ih::kNoPrimary] != 0;
  if (next_page < static_cast<int32_t>(TPage::kSize) || next_page % TPage::kSize != 0 ||
      static_cast<uint64_t>(next_page) > file_size || next_page > kMaxFileSize ||
      secondary_count > kMaxSecondaryIndexes || record_count < 0) {
    throw corrupt();
  }
  std::array<IndexDesc, kTreeSlots> indexes{};
  for (int slot = 0; slot < kTreeSlots; ++slot) {
    if (slot > secondary_count && slot != kSystemIndex) continue;
    int field_count = 0;
    IndexDesc d = ih::DecodeDescriptor(h + ih::DescriptorOffset(slot), &field_count);
    if (d.compression != 0) throw EDbEngineError(kErrIndexPagesCorrupt, ErrorName());
    if (field_count > kMaxIndexFields) throw corrupt();
    if (slot == kSystemIndex) {
      if (d.key_length != kSysDeletedKeyLength) throw corrupt();
      d.fields.clear();
    } else {
      size_t key_length = 0;
      for (uint16_t number : d.fields) {
        if (number == 0 || number > fields_.size()) throw corrupt();
        const FieldDesc& f = fields_[number - 1];
        key_length += KeyPartLength(f, d.case_insensitive);
      }
      if (slot != kPrimaryIndex && !d.unique) key_length += 4;
      bool fieldless = d.fields.empty();
      if ((slot != kPrimaryIndex && fieldless) || (fieldless && d.key_length != 0) ||
          (!fieldless && d.key_length != key_length) || d.key_length > kMaxKeyLength) {
        throw corrupt();
      }
      if (slot == kPrimaryIndex) {
        d.name.clear();
        if (no_primary && !fieldless) throw corrupt();
      }
    }
    auto page_ok = [&](int32_t offset) {
      return offset == 0 || TPage::ValidOffset(offset, next_page);
    };
    if (!page_ok(d.root) || !page_ok(d.free_head)) throw corrupt();
    indexes[slot] = std::move(d);
  }
  header_ = image;
  counter_ = GetLE<int32_t>(h + ih::kCounter);
  next_page_ = next_page;
  secondary_count_ = secondary_count;
  record_count_ = record_count;
  no_primary_ = no_primary;
  indexes_ = std::move(indexes);
  header_[kModifiedByte] = 0;
}

bool ReadUpdateMark(const TFileHandler& index_file) {
  uint8_t mark = 0;
  index_file.TFileHandler::Read(ih::kUpdateInProgress, &mark, 1);
  return mark != 0;
}

void WriteUpdateMark(TFileHandler& index_file, bool set) {
  const uint8_t mark = set ? 1 : 0;
  index_file.TFileHandler::Write(ih::kUpdateInProgress, &mark, 1);
}

void TIndexFile::ReadHeader() {
  uint64_t size = Size();
  if (size < ih::kSize) throw EDbEngineError(kErrHeaderCorrupt, ErrorName());
  std::array<uint8_t, 4096> image;
  Read(0, image.data(), image.size());
  ParseHeader(image, size);
  shelf_.Clear();
  for (int slot = 0; slot < kTreeSlots; ++slot) BuildIndex(slot);
}

void TIndexFile::SerializeHeader() {
  uint8_t* h = header_.data();
  PutLE(h + ih::kCounter, counter_);
  h[ih::kVersion] = ih::kFormatVersion;
  PutLE(h + ih::kNextPage, next_page_);
  h[ih::kSecondaryCount] = static_cast<uint8_t>(secondary_count_);
  for (int slot = 0; slot < kTreeSlots; ++slot) {
    if (slot <= secondary_count_ || slot == kSystemIndex) {
      ih::EncodeDescriptor(indexes_[slot], h + ih::DescriptorOffset(slot));
    }
  }
  PutLE(h + ih::kRecordCount, record_count_);
  h[ih::kNoPrimary] = no_primary_ ? 1 : 0;
}

void TIndexFile::WriteHeader(bool force) {
  if (!force && !HeaderModified()) return;
  ++counter_;
  SerializeHeader();
  Write(0, header_.data(), header_.size());
  header_[kModifiedByte] = 0;
}

bool TIndexFile::TestChanged() {
  uint8_t bytes[4];
  Read(ih::kCounter, bytes, sizeof bytes);
  if (GetLE<int32_t>(bytes) == counter_) return false;
  ReadHeader();
  return true;
}

void TIndexFile::EmptyAll() {
  RequireExclusive();
  DiscardCache();
  Truncate(TPage::kSize);
  next_page_ = TPage::kSize;
  record_count_ = 0;
  for (IndexDesc& index : indexes_) {
    index.root = 0;
    index.free_head = 0;
  }
  HeaderChanged();
  WriteHeader(false);
}

void TIndexFile::SetRecordCount(int32_t count) {
  if (count == record_count_) return;
  record_count_ = count;
  HeaderChanged();
}

bool TIndexFile::IsDefined(int index) const {
  if (index == kSystemIndex) return true;
  if (index == kPrimaryIndex) return HasPrimaryIndex();
  return index > 0 && index <= secondary_count_;
}

const IndexDesc& TIndexFile::Descriptor(int index) const {
  if (index < 0 || index >= kTreeSlots) throw std::invalid_argument("index number out of range");
  return indexes_[index];
}

std::string TIndexFile::IndexName(int index) const {
  return IndexDisplayName(Descriptor(index), index == kPrimaryIndex);
}

int TIndexFile::FindIndex(std::string_view name) const {
  for (int slot = 1; slot <= secondary_count_; ++slot) {
    if (text::SameText(indexes_[slot].name, name)) return slot;
  }
  if (text::SameText(ih::kSystemIndexName, name)) return kSystemIndex;
  return -1;
}

bool TIndexFile::IsUnique(int index) const {
  return index == kPrimaryIndex || index == kSystemIndex || Descriptor(index).unique;
}

const KeyLayout& TIndexFile::Layout(int index) const {
  if (!IsDefined(index)) throw std::invalid_argument("index not defined");
  return layouts_[index];
}

// ---- Changes ---------------------------------------------------------------

int32_t TIndexFile::GrowFile() {
  if (int64_t{next_page_} + static_cast<int64_t>(TPage::kSize) > kMaxFileSize) {
    throw EDbEngineError(kErrFileFull, ErrorName());
  }
  int32_t offset = next_page_;
  next_page_ += static_cast<int32_t>(TPage::kSize);
  HeaderChanged();
  return offset;
}

int64_t TIndexFile::PagesLeft() const {
  return std::max<int64_t>(0, (kMaxFileSize - next_page_) / static_cast<int64_t>(TPage::kSize));
}

IndexTree& TIndexFile::Tree(int index) {
  if (index < 0 || index >= kTreeSlots || !trees_[index]) {
    throw std::invalid_argument("index not defined");
  }
  return *trees_[index];
}

void TIndexFile::Insert(int index, const uint8_t* key, int32_t record) {
  Tree(index).Insert(key, record);
}

void TIndexFile::Build(int index, std::span<const IndexTree::Entry> entries) {
  Tree(index).Build(entries);
}

void TIndexFile::Delete(int index, const uint8_t* key) { Tree(index).Delete(key); }

void TIndexFile::Replace(int index, const uint8_t* old_key, const uint8_t* new_key,
                         int32_t record) {
  IndexTree& tree = Tree(index);
  if (!tree.Contains(old_key)) throw EDbEngineError(kErrKeyNotFound, ErrorName(), tree.Name());
  bool same = std::memcmp(old_key, new_key, tree.KeyLength()) == 0;
  if (!same && tree.Contains(new_key)) {
    throw EDbEngineError(kErrDuplicateKey, ErrorName(), tree.Name());
  }
  tree.EnsureRoom(tree.Depth() + 1);
  tree.Delete(old_key);
  tree.Insert(new_key, record);
}

bool TIndexFile::Contains(int index, const uint8_t* key) { return Tree(index).Contains(key); }

void TIndexFile::CheckDuplicate(int index, const uint8_t* key) {
  IndexTree& tree = Tree(index);
  if (tree.Contains(key)) throw EDbEngineError(kErrDuplicateKey, ErrorName(), tree.Name());
}

int64_t TIndexFile::EntryCount(int index) { return Tree(index).EntryCount(); }

// ---- Cursor ----------------------------------------------------------------

void TIndexFile::SelectIndex(int index) {
  if (index < 0 || index >= kTreeSlots) throw std::invalid_argument("index number out of range");
  cursor_ = Cursor{};
  cursor_.index = index;
}

int TIndexFile::SelectIndex(std::string_view name) {
  int index = FindIndex(name);
  SelectIndex(index < 0 ? kPrimaryIndex : index);
  return cursor_.index;
}

void TIndexFile::GoBeforeFirst() { SetEnd(CursorState::kBof); }
void TIndexFile::GoAfterLast() { SetEnd(CursorState::kEof); }

bool TIndexFile::SetEnd(CursorState state) {
  cursor_.state = state;
  return false;
}

IndexTree* TIndexFile::CurrentTree() { return trees_[cursor_.index].get(); }

bool TIndexFile::HintValid(IndexTree& tree) const {
  return cursor_.state == CursorState::kOnEntry && !cursor_.hint.AtEnd() &&
         cursor_.hint_version == tree.Version() && cursor_.hint_epoch == epoch_;
}

bool TIndexFile::Settle(IndexTree& tree, IndexTree::Position at, CursorState end_state,
                        int direction) {
  if (at.AtEnd()) return SetEnd(end_state);
  uint8_t key[kMaxKeyLength];
  int32_t record = tree.Read(at, key);
  return Land(tree, at, key, record, direction);
}

bool TIndexFile::Land(IndexTree& tree, IndexTree::Position at, const uint8_t* key, int32_t record,
                      int direction) {
  size_t length = tree.KeyLength();
  // Stepping must move strictly in key order: a damaged sibling chain must
  // not make a walk go round in circles.
  if (direction != 0 && cursor_.state == CursorState::kOnEntry &&
      CompareKeys(key, cursor_.key.data(), length, indexes_[cursor_.index].descending) *
              direction <=
          0) {
    throw EDbEngineError(kErrIndexPagesCorrupt, ErrorName());
  }
  std::memcpy(cursor_.key.data(), key, length);
  cursor_.record = record;
  cursor_.state = CursorState::kOnEntry;
  cursor_.hint = at;
  cursor_.hint_version = tree.Version();
  cursor_.hint_epoch = epoch_;
  return true;
}

bool TIndexFile::First() {
  IndexTree* tree = CurrentTree();
  if (tree == nullptr) return SetEnd(CursorState::kEof);
  return Settle(*tree, tree->First(), CursorState::kEof, 0);
}

bool TIndexFile::Last() {
  IndexTree* tree = CurrentTree();
  if (tree == nullptr) return SetEnd(CursorState::kBof);
  return Settle(*tree, tree->Last(), CursorState::kBof, 0);
}

bool TIndexFile::Next() {
  if (cursor_.state == CursorState::kBof) return First();
  IndexTree* tree = CurrentTree();
  if (cursor_.state == CursorState::kEof || tree == nullptr) return false;
  if (HintValid(*tree)) {
    uint8_t key[kMaxKeyLength];
    int32_t record = 0;
    IndexTree::Position at = tree->ReadNext(cursor_.hint, key, &record);
    if (at.AtEnd()) return SetEnd(CursorState::kEof);
    return Land(*tree, at, key, record, +1);
  }
  return Settle(*tree, tree->UpperBound(cursor_.key.data(), tree->KeyLength()), CursorState::kEof,
                +1);
}

bool TIndexFile::Prior() {
  if (cursor_.state == CursorState::kEof) return Last();
  IndexTree* tree = CurrentTree();
  if (cursor_.state == CursorState::kBof || tree == nullptr) return false;
  IndexTree::Position at;
  if (HintValid(*tree)) {
    at = tree->Prev(cursor_.hint);
  } else {
    at = tree->LowerBound(cursor_.key.data(), tree->KeyLength());
    at = at.AtEnd() ? tree->Last() : tree->Prev(at);
  }
  return Settle(*tree, at, CursorState::kBof, -1);
}

bool TIndexFile::FindNearest(const uint8_t* key, size_t length) {
  IndexTree* tree = CurrentTree();
  if (tree == nullptr) return SetEnd(CursorState::kEof);
  length = std::min(length, tree->KeyLength());
  return Settle(*tree, tree->LowerBound(key, length), CursorState::kEof, 0);
}

bool TIndexFile::FindKey(const uint8_t* key, size_t length) {
  IndexTree* tree = CurrentTree();
  if (!FindNearest(key, length)) return false;
  length = std::min(length, tree->KeyLength());
  return std::memcmp(cursor_.key.data(), key, length) == 0;
}

int64_t TIndexFile::CurrentOrdinal() {
  IndexTree* tree = CurrentTree();
  if (tree == nullptr) return cursor_.state == CursorState::kEof ? 1 : 0;
  switch (cursor_.state) {
    case CursorState::kBof:
      return 0;
    case CursorState::kEof:
      return tree->EntryCount() + 1;
    case CursorState::kOnEntry:
      break;
  }
  return tree->Rank(cursor_.key.data(), tree->KeyLength(), false) + 1;
}

bool TIndexFile::SetOrdinal(int64_t ordinal) {
  IndexTree* tree = CurrentTree();
  if (ordinal < 1 || tree == nullptr) {
    return SetEnd(ordinal < 1 ? CursorState::kBof : CursorState::kEof);
  }
  return Settle(*tree, tree->AtOrdinal(ordinal - 1), CursorState::kEof, 0);
}

int64_t TIndexFile::CountRange(const uint8_t* lo, size_t lo_length, const uint8_t* hi,
                               size_t hi_length) {
  IndexTree* tree = CurrentTree();
  if (tree == nullptr) return 0;
  lo_length = std::min(lo_length, tree->KeyLength());
  hi_length = std::min(hi_length, tree->KeyLength());
  int64_t upper = hi_length != 0 ? tree->Rank(hi, hi_length, true) : tree->EntryCount();
  int64_t lower = lo_length != 0 ? tree->Rank(lo, lo_length, false) : 0;
  return std::max<int64_t>(0, upper - lower);
}

IndexTree::Position TIndexFile::WalkStart(IndexTree& tree, const uint8_t* key, size_t length) {
  length = std::min(length, tree.KeyLength());
  return length == 0 ? tree.First() : tree.LowerBound(key, length);
}

IndexTree::Position TIndexFile::CursorPosition(IndexTree*& tree) {
  tree = CurrentTree();
  if (tree == nullptr || cursor_.state != CursorState::kOnEntry) return {};
  if (!HintValid(*tree)) {
    IndexTree::Position at = tree->LowerBound(cursor_.key.data(), tree->KeyLength());
    if (!Settle(*tree, at, CursorState::kEof, 0)) return {};
  }
  return cursor_.hint;
}

int TIndexFile::SequentialRecordsAhead(int limit) {
  IndexTree* tree = nullptr;
  const IndexTree::Position at = CursorPosition(tree);
  return at.AtEnd() ? 0 : tree->SequentialRun(at, limit);
}

// ---- Caches ------------------------------------------------------------------

void TIndexFile::FlushBuffers(bool force_header) {
  std::vector<TPage*> dirty;
  for (auto& cache : caches_) {
    if (cache) cache->CollectDirty(dirty);
  }
  shelf_.CollectHeld(dirty);
  TPageCache::WritePages(*this, dirty, &shelf_);
  shelf_.ShelveHeld();
  WriteHeader(force_header);
}

void TIndexFile::DiscardCache() {
  for (auto& cache : caches_) {
    if (cache) cache->Discard();
  }
  for (auto& tree : trees_) {
    if (tree) tree->Invalidate();
  }
  shelf_.Clear();
  ++epoch_;
}

std::vector<std::string> TIndexFile::Verify() {
  std::vector<std::string> problems;
  std::unordered_map<int32_t, int> owners;
  for (int slot = 0; slot < kTreeSlots; ++slot) {
    if (!trees_[slot]) continue;
    try {
      trees_[slot]->Verify(problems, owners, slot);
    } catch (const EDbEngineError& e) {
      problems.push_back("index " + IndexName(slot) + ": " + e.what());
    }
  }
  for (int32_t offset = TPage::kSize; offset < next_page_; offset += TPage::kSize) {
    if (owners.count(offset) == 0) {
      problems.push_back("page " + std::to_string(offset) +
                         " belongs to no index and no free chain");
    }
  }
  return problems;
}

}  // namespace quoldex::tables
