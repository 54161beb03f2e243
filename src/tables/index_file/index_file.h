// TIndexFile: a table's index file (".IDX"): the header page with the index
// descriptors, one B+tree per index (primary, up to 30 secondary, and the
// system index "Sys Deleted" in slot 31), their page caches, and the
// current-index cursor.
//
// Index numbers: 0 primary, 1..SecondaryCount() secondary indexes in
// creation order, 31 the system index. The primary index has a tree only
// when it has fields (HasPrimaryIndex()).
//
// Errors are EDbEngineError naming the data file (`error_name`). Opening
// refuses a damaged header with kErrHeaderCorrupt (kErrVersion for another
// version; kErrIndexPagesCorrupt for a descriptor with key compression, which
// the engine does not read), and every page read is checked, so a damaged file
// raises an engine error and is never read out of bounds.
//
// Writes are deferred: changed pages stay in the caches until a list needs
// room, FlushBuffers() or Close(). Behind the lists a shelf keeps up to
// kShelfPages clean pages (page_cache.h) and, while the file is open
// exclusively, up to kHeldPages changed pages that left their lists; both are
// cleared whenever the caches are discarded or the header is read again. The
// header is written by WriteHeader / FlushBuffers under the change-counter rule
// below.
//
// Header rule: byte 3979 of the header image is the "modified" flag. Any
// change to the file length, a root, a free chain, the record count or the
// definitions sets it. Writing (forced, or when the flag is set) increments
// the change counter and writes the 4096 bytes (the flag is still 1 in the
// image written because of a change), then clears the flag; reading clears it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tables/base/table_defs.h"
#include "tables/index_file/index_file_tree.h"
#include "tables/index_file/key_codec.h"
#include "tables/index_file/page_cache.h"
#include "tables/storage/file_handler.h"

namespace quoldex::tables {

class TIndexFile : public TFileHandler, private PageSpace {
 public:
  static constexpr int kPrimaryIndex = 0;
  static constexpr int kSystemIndex = 31;
  // The file may not grow past this many bytes (kErrFileFull).
  static constexpr int64_t kMaxFileSize = 2000000000;
  // Clean pages kept behind the page caches (about 10 MB).
  static constexpr size_t kShelfPages = 2048;
  // Changed pages of a file open exclusively held behind the page caches
  // before they must be written (about 16 MB; page_cache.h).
  static constexpr size_t kHeldPages = 4096;

  enum class CursorState { kBof, kOnEntry, kEof };

  // `file_name`: the index file's path; `error_name`: the data file name
  // used in messages; `fields`: the table's fields (field n at
  // fields[n - 1]), against which stored definitions are checked and from
  // which keys are built.
  // `held_pages`: the bound on changed pages held behind the caches while
  // the file is open exclusively (0: none; tests choose small bounds).
  TIndexFile(std::string file_name, std::string error_name, std::vector<FieldDesc> fields,
             size_t held_pages = kHeldPages);
  // Closes the file, writing what is pending; errors are swallowed here
  // (call Close() to see them).
  ~TIndexFile() override;

  // ---- Creation and definitions ----------------------------------------

  // Creates the file (replacing one of that name) open exclusively, with a
  // header holding only the system index, and writes that header (change
  // counter 1).
  void Create(bool write_through) override;
  // Store a definition after the checks of CheckIndexDefinition (with the
  // current file's primary and names). Only while open exclusively
  // (kErrNotExclusive). A requested key compression is stored as none: leaves
  // are always written uncompressed. AddSecondaryIndex returns the new index
  // number.
  void AddPrimaryIndex(IndexDesc index);
  int AddSecondaryIndex(IndexDesc index);

  // ---- Open and close ----------------------------------------------------

  // Opens and reads the header with its checks (kErrHeaderCorrupt, kErrVersion,
  // kErrIndexPagesCorrupt); a failed open leaves the file closed.
  void Open(bool exclusive, bool read_only, bool write_through) override;
  // Writes pending pages and the header if modified (unless read-only),
  // then closes. The file is closed even when that write fails.
  void Close() override;

  // ---- Header ------------------------------------------------------------

  // Re-reads and checks the header; drops every cached page (changes not
  // yet written are lost: call it only after another user's change).
  void ReadHeader();
  // Writes the header when `force` or when it is modified (rule above).
  void WriteHeader(bool force);
  // Compares the change counter on disk with ours; when it differs, the
  // header is read again (ReadHeader) and true returned.
  bool TestChanged();
  // Empties every index: the file is cut to the header, next page offset 4096,
  // record count 0, all roots and free chains 0. Exclusive only
  // (kErrNotExclusive). The header is written.
  void EmptyAll();

  // Reads a header that carries the update mark instead of refusing it
  // (kErrIndexPagesCorrupt): for a reader that cannot recover the table and has
  // checked that its indexes agree with its records.
  void AcceptUpdateMark(bool accept) { accept_update_mark_ = accept; }
  int32_t ChangeCounter() const { return counter_; }
  bool HeaderModified() const { return header_[kModifiedByte] != 0; }
  int32_t NextPageOffset() const { return next_page_; }
  int32_t RecordCount() const { return record_count_; }
  void SetRecordCount(int32_t count);
  // False for a table whose primary index has no fields (no tree, no system
  // index entries, no slot reuse).
  bool HasPrimaryIndex() const { return indexes_[0].key_length != 0; }
  bool NoPrimaryFlag() const { return no_primary_; }
  int SecondaryCount() const { return secondary_count_; }
  // True for 0 with fields, 1..SecondaryCount() and 31.
  bool IsDefined(int index) const;
  const IndexDesc& Descriptor(int index) const;
  // "Primary", a secondary index's name, or "Sys Deleted".
  std::string IndexName(int index) const;
  // The index with this name (without regard to case), -1 when none.
  int FindIndex(std::string_view name) const;
  // The primary, the system index and unique secondary indexes.
  bool IsUnique(int index) const;
  // How keys of a defined index are built (KeyLayout::FromRecord/FromValues).
  const KeyLayout& Layout(int index) const;
  size_t KeyLength(int index) const { return Layout(index).KeyLength(); }

  // ---- Changes (keys are KeyLength(index) bytes) ---------------------------

  // kErrDuplicateKey when the key is already present.
  void Insert(int index, const uint8_t* key, int32_t record);
  // Fills the empty tree of `index` with entries in ascending key order
  // (IndexTree::Build).
  void Build(int index, std::span<const IndexTree::Entry> entries);
  // Deleting the file itself stays available beside deleting a key.
  using TFileHandler::Delete;
  // kErrKeyNotFound when the key is absent.
  void Delete(int index, const uint8_t* key);
  // Moves an entry to a new key (and record number): kErrKeyNotFound when the
  // old key is absent, kErrDuplicateKey when the new one is present (and
  // differs), kErrFileFull when the file is full; any of these leaves the index
  // unchanged.
  void Replace(int index, const uint8_t* old_key, const uint8_t* new_key, int32_t record);
  bool Contains(int index, const uint8_t* key);
  // kErrDuplicateKey "Duplicate key found in index <name>" when the key is
  // present. The table layer calls it for every unique index before changing
  // any.
  void CheckDuplicate(int index, const uint8_t* key);
  int64_t EntryCount(int index);

  // ---- The cursor on the current index -----------------------------------
  // The cursor is before the first entry, on an entry, or after the last.
  // It remembers its entry's key, so it stays valid across changes to the
  // index (it continues from that key).

  // Selects the current index (the cursor goes before the first entry).
  void SelectIndex(int index);
  // By name without regard to case; no match selects the primary index.
  // Returns the number selected.
  int SelectIndex(std::string_view name);
  int CurrentIndex() const { return cursor_.index; }
  CursorState State() const { return cursor_.state; }
  void GoBeforeFirst();
  void GoAfterLast();

  // Each returns true when the cursor is then on an entry. First on an
  // empty index leaves the cursor after the last entry, Last before the
  // first.
  bool First();
  bool Last();
  bool Next();
  bool Prior();
  // Positions on the first entry whose first `length` key bytes are >= key
  // (after the last entry when none); true when positioned.
  bool FindNearest(const uint8_t* key, size_t length);
  // As FindNearest; true only when that entry matches `length` key bytes.
  bool FindKey(const uint8_t* key, size_t length);
  // The current entry's record number and key (only while on an entry).
  int32_t CurrentRecord() const { return cursor_.record; }
  const uint8_t* CurrentKey() const { return cursor_.key.data(); }
  // 1-based ordinal position of the current entry; 0 before the first,
  // EntryCount + 1 after the last.
  int64_t CurrentOrdinal();
  // Positions on the entry at 1-based `ordinal`; false (and before the
  // first / after the last) when out of range.
  bool SetOrdinal(int64_t ordinal);
  // Entries of the current index within [lo..hi], each bound compared on
  // its given leading bytes (length 0: unbounded on that side).
  int64_t CountRange(const uint8_t* lo, size_t lo_length, const uint8_t* hi, size_t hi_length);
  // Hands `visit` the entries of index `index` in key order, from the first
  // whose first `length` key bytes are >= key (the first entry for length
  // 0), until it returns false or the index ends. Leaves are read whole and
  // the cursor is left alone; `visit` must not change the index.
  template <typename Visit>
  void Walk(int index, const uint8_t* key, size_t length, Visit&& visit) {
    IndexTree& tree = Tree(index);
    tree.Walk(WalkStart(tree, key, length), visit);
  }
  // How many entries after the current one (in its page) continue its
  // record numbers in steps of 1, at most `limit`: a read-ahead hint.
  int SequentialRecordsAhead(int limit);
  // Hands `visit` (key, record number) the entries of the current index
  // after the cursor's, in key order, reading the leaves it needs, until it
  // returns false or the index ends. Nothing unless the cursor is on an
  // entry; the cursor stays on it. `visit` must not change the index.
  template <typename Visit>
  void WalkAhead(Visit&& visit) {
    IndexTree* tree = nullptr;
    const IndexTree::Position at = CursorPosition(tree);
    if (at.AtEnd()) return;
    bool on_current = true;
    tree->Walk(at, [&](const uint8_t* key, int32_t record) {
      if (on_current) {
        on_current = false;
        return true;
      }
      return visit(key, record);
    });
  }

  // WalkAhead's mirror: the entries before the cursor's, in descending key
  // order, until `visit` returns false or the index's start.
  template <typename Visit>
  void WalkBehind(Visit&& visit) {
    IndexTree* tree = nullptr;
    IndexTree::Position at = CursorPosition(tree);
    if (at.AtEnd()) return;
    uint8_t key[kMaxKeyLength];
    for (at = tree->Prev(at); !at.AtEnd(); at = tree->Prev(at)) {
      const int32_t record = tree->Read(at, key);
      if (!visit(static_cast<const uint8_t*>(key), record)) return;
    }
  }

  // ---- Caches ----------------------------------------------------------------

  // Writes every dirty page of every index (held ones included), sorted by
  // offset with one write per run of consecutive pages, then the header
  // (always with `force_header`, as after an update of a shared table; else
  // if modified).
  void FlushBuffers(bool force_header);
  // Forgets every cached page (dirty ones included) and the shelf, e.g.
  // after another user changed the file.
  void DiscardCache();
  // The gate the shelf asks before its pages serve a miss (Shelf::Usable);
  // nullptr: always.
  void SetShelfGate(ShelfGate* gate) { shelf_.SetGate(gate); }

  // Structural check of every index (see IndexTree::Verify) plus: every page
  // of the file belongs to exactly one tree or free chain. Returns the
  // faults found, empty when sound.
  std::vector<std::string> Verify();

 private:
  static constexpr size_t kModifiedByte = 3979;
  static constexpr int kTreeSlots = 32;

  struct Cursor {
    int index = 0;
    CursorState state = CursorState::kBof;
    std::array<uint8_t, kMaxKeyLength> key{};
    int32_t record = 0;
    // Where the entry was found, usable while the tree's version and the
    // file's epoch are unchanged.
    IndexTree::Position hint;
    uint64_t hint_version = 0;
    uint64_t hint_epoch = 0;
  };

  // PageSpace
  int32_t GrowFile() override;
  int64_t PagesLeft() const override;
  void HeaderChanged() override { header_[kModifiedByte] = 1; }

  void RequireExclusive() const;
  IndexTree& Tree(int index);
  IndexTree* CurrentTree();
  // Where Walk starts: the first entry >= key on `length` bytes (the first
  // entry for length 0).
  IndexTree::Position WalkStart(IndexTree& tree, const uint8_t* key, size_t length);
  // Rebuilds layout, cache and tree of a slot from its descriptor.
  void BuildIndex(int slot);
  void ParseHeader(const std::array<uint8_t, 4096>& image, uint64_t file_size);
  void SerializeHeader();
  bool HintValid(IndexTree& tree) const;
  // Where the cursor's entry lies in the current tree (set into `tree`);
  // AtEnd() when the cursor is not on an entry or there is no tree.
  IndexTree::Position CursorPosition(IndexTree*& tree);
  // Leaves the cursor before the first / after the last entry; false.
  bool SetEnd(CursorState state);
  // Puts the cursor on `at` (or in `end_state` when at the end), checking
  // that the key moved in the direction `direction` (+1, -1, 0: any).
  bool Settle(IndexTree& tree, IndexTree::Position at, CursorState end_state, int direction);
  // Puts the cursor on `at`, whose key and record were read, with Settle's
  // check of the direction.
  bool Land(IndexTree& tree, IndexTree::Position at, const uint8_t* key, int32_t record,
            int direction);

  std::vector<FieldDesc> fields_;
  std::array<uint8_t, 4096> header_{};
  int32_t counter_ = 0;
  int32_t next_page_ = 4096;
  int secondary_count_ = 0;
  int32_t record_count_ = 0;
  bool no_primary_ = false;
  bool accept_update_mark_ = false;
  std::array<IndexDesc, kTreeSlots> indexes_{};
  std::array<KeyLayout, kTreeSlots> layouts_{};
  std::array<std::unique_ptr<TPageCache>, kTreeSlots> caches_{};
  std::array<std::unique_ptr<IndexTree>, kTreeSlots> trees_{};
  PageShelf shelf_;
  uint64_t epoch_ = 0;
  Cursor cursor_;
};

// The update mark of an index file (one byte of its header), read or
// written where it lies, through any handle on the file: set before a
// change's first byte goes out, it makes the next open recover the table.
// The writer decides when the mark is made durable.
bool ReadUpdateMark(const TFileHandler& index_file);
void WriteUpdateMark(TFileHandler& index_file, bool set);

}  // namespace quoldex::tables
