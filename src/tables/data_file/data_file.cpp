#include "tables/data_file/data_file.h"

#include <algorithm>
#include <cstring>

#include "tables/base/engine_error.h"
#include "tables/records/data_file_record.h"
#include "tables/records/field_codec.h"
#include "tables/records/field_datetime.h"
#include "tables/records/field_descriptor.h"
#include "tables/storage/storage.h"
#include "text/path_separator.h"
#include "text/western.h"

namespace quoldex::tables {
namespace {

constexpr uint64_t kHeaderSize = DataFileHeader::kSize;

uint64_t DescriptorsEnd(uint16_t field_count) {
  return kHeaderSize + uint64_t{kFieldDescriptorSize} * field_count;
}

// Releases a pin on every path out of a scope.
class PinGuard {
 public:
  PinGuard(TDataFile& file, TRecord* record) : file_(file), record_(record) {}
  ~PinGuard() { file_.Unpin(record_); }
  PinGuard(const PinGuard&) = delete;
  PinGuard& operator=(const PinGuard&) = delete;

 private:
  TDataFile& file_;
  TRecord* record_;
};

}  // namespace

TDataFile::TDataFile(std::string file_name) : TFileHandler(file_name, file_name) {}

TDataFile::TDataFile(std::string file_name, std::string error_name)
    : TFileHandler(std::move(file_name), std::move(error_name)) {}

TDataFile::~TDataFile() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; Close has closed the file regardless.
  }
}

std::string TDataFile::FileNameFor(const std::string& dir, std::string_view table_name,
                                   bool in_memory) {
  size_t b = table_name.find_first_not_of(' ');
  std::string_view name = b == std::string_view::npos
                              ? std::string_view{}
                              : table_name.substr(b, table_name.find_last_not_of(' ') - b + 1);
  size_t dot = name.find_last_of('.');
  size_t slash = name.find_last_of(text::kPathSeparators);
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash))
    name = name.substr(0, dot);
  if (in_memory) return dir + std::string(name) + ".DAT";
  return DiskStorage().MatchFileName(dir, std::string(name) + ".DAT");
}

void TDataFile::Fail(int code, std::string_view name) const {
  throw EDbEngineError(code, ErrorName(), name);
}

RecordCache& TDataFile::Cache() const {
  if (!cache_) Fail(kErrHandle);
  return *cache_;
}

uint64_t TDataFile::RecordRegionStart() const { return DescriptorsEnd(header_.FieldCount()); }

size_t TDataFile::CacheCapacity() const { return Cache().Capacity(); }

void TDataFile::SetInTransaction(bool in_transaction) {
  grow_cache_ = in_transaction;
  if (cache_) cache_->SetGrowWhenFull(in_transaction);
}

void TDataFile::MakeCache() {
  // A file in memory keeps no shelf: reading its slots is already a copy.
  cache_ = std::make_unique<RecordCache>(*this, header_.RecordSize(), RecordRegionStart(),
                                         IsInMemory() ? 0 : kShelfBytes);
  cache_->SetGrowWhenFull(grow_cache_);
  cache_->SetShelfGate(shelf_gate_);
}

void TDataFile::SetShelfGate(ShelfGate* gate) {
  shelf_gate_ = gate;
  if (cache_) cache_->SetShelfGate(gate);
}

void TDataFile::Reset() {
  cache_.reset();
  fields_.clear();
  header_ = DataFileHeader();
}

// ---- Creating and opening ----

void TDataFile::Create(const std::vector<FieldDesc>& fields, const DataFileOptions& options) {
  std::vector<FieldDesc> stored = ValidateDataFileDefinition(ErrorName(), fields, options);
  if (IsOpen()) Close();
  Reset();
  uint16_t record_size = kRecordHeaderSize;
  for (const FieldDesc& f : stored)
    if (f.HasSlot()) record_size = static_cast<uint16_t>(record_size + 1 + f.physical_size);
  std::vector<uint8_t> descriptors(uint64_t{kFieldDescriptorSize} * stored.size());
  for (size_t i = 0; i < stored.size(); ++i)
    EncodeFieldDescriptor(stored[i], descriptors.data() + i * kFieldDescriptorSize);

  TFileHandler::Create(false);
  try {
    Write(kHeaderSize, descriptors.data(), descriptors.size());
    header_ = DataFileHeader::ForNewTable(record_size, static_cast<uint16_t>(stored.size()),
                                          options.blob_block_size, options.description,
                                          options.language_id, options.sort_id);
    WriteHeader(false);  // modified: counter 1, byte 113 set in the written image
  } catch (...) {
    Delete();
    Reset();
    throw;
  }
  fields_ = std::move(stored);
  MakeCache();
}

void TDataFile::Open(bool exclusive, bool read_only, bool write_through) {
  if (IsOpen()) Close();
  Reset();
  TFileHandler::Open(exclusive, read_only, write_through);
  try {
    uint64_t size = Size();
    if (size < kHeaderSize) Fail(kErrHeaderCorrupt);
    DataFileHeader header;
    Read(0, header.Image(), kHeaderSize);
    header.SetModified(false);
    CheckHeader(header, false);
    header_ = header;
    LoadDescriptors(size);
    MakeCache();
  } catch (...) {
    TFileHandler::Close();
    Reset();
    throw;
  }
}

void TDataFile::CheckHeader(const DataFileHeader& h, bool loaded) const {
  if (h.Version() != DataFileHeader::kVersion) Fail(kErrVersion);
  if (h.LanguageId() != 0 && h.LanguageId() != kLanguageWestern) Fail(kErrLanguage);
  if (h.Encrypted()) Fail(kErrPasswordRequired);
  const int64_t next = h.NextRecordNumber();
  bool ok = h.FieldCount() >= 1 && h.FieldCount() <= kMaxFields &&
            h.RecordSize() >= kRecordHeaderSize && h.BlobCount() <= 32 && next >= 1 &&
            next <= kMaxRecords && (next - 1) * h.RecordSize() <= kMaxRecordBytes &&
            h.ChainHead() >= 0 && h.ChainHead() < next && h.LastRecordId() >= 0;
  if (ok && loaded)
    ok = h.FieldCount() == header_.FieldCount() && h.RecordSize() == header_.RecordSize() &&
         h.BlobCount() == header_.BlobCount() && h.LanguageId() == header_.LanguageId();
  if (!ok) Fail(kErrHeaderCorrupt);
}

void TDataFile::LoadDescriptors(uint64_t file_size) {
  const uint16_t count = header_.FieldCount();
  if (file_size < DescriptorsEnd(count)) Fail(kErrHeaderCorrupt);
  std::vector<uint8_t> image(uint64_t{kFieldDescriptorSize} * count);
  Read(kHeaderSize, image.data(), image.size());
  std::vector<FieldDesc> fields;
  fields.reserve(count);
  uint32_t running = kRecordHeaderSize;
  int blobs = 0;
  for (uint16_t i = 0; i < count; ++i) {
    FieldDesc f = DecodeFieldDescriptor(image.data() + size_t{i} * kFieldDescriptorSize);
    bool ok = f.number == i + 1 && f.type >= kTypeString && f.type <= kTypeVarBytes &&
              (!HasDeclaredSize(f.type) || (f.size >= 1 && f.size <= 250));
    if (!ok) Fail(kErrHeaderCorrupt);
    f.physical_size = PhysicalSize(f.type, f.size);
    if (f.IsAutoInc()) {
      if (f.offset != kRecordIdOffset) Fail(kErrHeaderCorrupt);
    } else if (f.HasSlot()) {
      if (f.offset != running) Fail(kErrHeaderCorrupt);
      running += 1u + f.physical_size;
    }
    blobs += f.type == kTypeBlob ? 1 : 0;
    f.language_order = header_.LanguageId() == kLanguageWestern;
    fields.push_back(std::move(f));
  }
  if (running != header_.RecordSize() || blobs != header_.BlobCount()) Fail(kErrHeaderCorrupt);
  fields_ = std::move(fields);
}

void TDataFile::Close() {
  if (!IsOpen()) {
    Reset();
    return;
  }
  try {
    if (!IsReadOnly() && cache_) FlushBuffers(false);
  } catch (...) {
    TFileHandler::Close();
    Reset();
    throw;
  }
  TFileHandler::Close();
  Reset();
}

void TDataFile::CheckFileLength() const {
  const uint64_t start = RecordRegionStart();
  const uint64_t size = Size();
  const uint64_t rs = header_.RecordSize();
  if (size < start || (size - start) % rs != 0 ||
      (size - start) / rs + 1 != static_cast<uint64_t>(header_.NextRecordNumber()))
    Fail(kErrHeaderCorrupt);
}

// ---- Header ----

void TDataFile::ReadHeader() {
  DataFileHeader header;
  Read(0, header.Image(), kHeaderSize);
  header.SetModified(false);
  CheckHeader(header, true);
  header_ = header;
}

void TDataFile::WriteHeader(bool force) {
  if (!force && !header_.Modified()) return;
  DataFileHeader next = header_;
  next.SetChangeCounter(static_cast<int32_t>(static_cast<uint32_t>(next.ChangeCounter()) + 1));
  next.SetLastUpdate(NowLocal() - kDateDelta);
  Write(0, next.Image(), kHeaderSize);
  next.SetModified(false);
  header_ = next;
}

bool TDataFile::TestChanged() {
  uint8_t counter[4];
  Read(0, counter, sizeof counter);
  if (GetLE<int32_t>(counter) == header_.ChangeCounter()) return false;
  ReadHeader();
  return true;
}

// ---- Fields ----

int TDataFile::FieldNumber(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (text::SameText(fields_[i].name, name)) return static_cast<int>(i + 1);
  return 0;
}

const FieldDesc& TDataFile::AccessibleField(int number) const {
  if (number < 1 || static_cast<size_t>(number) > fields_.size())
    Fail(kErrInvalidField, std::to_string(number));
  const FieldDesc& f = fields_[number - 1];
  if (!IsFieldAccessible(f))
    Fail(f.type == kTypeBlob ? kErrBlobField : kErrFieldDefinition, f.name);
  return f;
}

FieldValue TDataFile::GetField(int number, const uint8_t* record) const {
  return GetFieldValue(AccessibleField(number), record);
}

void TDataFile::SetField(int number, const FieldValue& value, uint8_t* record) const {
  SetFieldValue(AccessibleField(number), value, record);
}

void TDataFile::CopyField(int number, const TDataFile& from_file, int from,
                          const uint8_t* from_record, uint8_t* record) const {
  CopyFieldValue(from_file.AccessibleField(from), from_record, AccessibleField(number), record);
}

BoundCheck TDataFile::CheckBounds(int number, const uint8_t* record) const {
  const FieldDesc& f = AccessibleField(number);
  if (f.min_text.empty() && f.max_text.empty()) return BoundCheck::kWithin;
  return CheckFieldBounds(f, GetFieldValue(f, record));
}

// ---- New records ----

void TDataFile::InitNewRecord(uint8_t* record) const {
  std::memset(record, 0, RecordSize());
  for (const FieldDesc& f : fields_) {
    if (f.default_text.empty() || !f.HasSlot() || !IsFieldAccessible(f)) continue;
    SetFieldValue(f, FieldValueFromText(f, f.default_text), record);
  }
}

int32_t TDataFile::IssueRecordId(uint8_t* record) {
  int32_t last = header_.LastRecordId();
  int32_t id = last == INT32_MAX ? 1 : last + 1;
  header_.SetLastRecordId(id);
  SetRecordId(record, id);
  return id;
}

void TDataFile::FillNewRecord(uint8_t* record) {
  InitNewRecord(record);
  IssueRecordId(record);
}

// ---- Slots ----

void TDataFile::CheckAppendLimits() const {
  int64_t next = header_.NextRecordNumber();
  if (next + 1 > kMaxRecords || next * header_.RecordSize() > kMaxRecordBytes) Fail(kErrFileFull);
}

int32_t TDataFile::NextFreeRecordNumber(bool has_primary_index) const {
  if (has_primary_index && header_.ChainHead() != 0) return header_.ChainHead();
  CheckAppendLimits();
  return header_.NextRecordNumber();
}

void TDataFile::StoreNewRecord(int32_t record_number, const uint8_t* record) {
  if (IsReadOnly()) Fail(kErrAccessDenied);
  RecordCache& cache = Cache();
  const int32_t head = header_.ChainHead();
  const int32_t next = header_.NextRecordNumber();
  if (head != 0 && record_number == head) {
    TRecord* slot = cache.Fetch(record_number, next, ReadAhead::None());
    PinGuard pin(*this, slot);
    const int32_t link = RecordLink(slot->Data());
    if (!RecordIsDeleted(slot->Data()) || link < 0 || link >= next || link == record_number)
      Fail(kErrRecordBuffersCorrupt);
    std::memcpy(slot->Data(), record, RecordSize());
    SetRecordHeader(slot->Data(), false, record_number);
    slot->MarkDirty();
    header_.SetChainHead(link);
  } else if (record_number == next) {
    CheckAppendLimits();
    TRecord* slot = cache.Create(record_number);
    PinGuard pin(*this, slot);
    std::memcpy(slot->Data(), record, RecordSize());
    SetRecordHeader(slot->Data(), false, record_number);
    header_.SetNextRecordNumber(next + 1);
    header_.SetChainHead(0);
  } else {
    Fail(kErrRecordBuffersCorrupt);
  }
}

void TDataFile::AppendSlots(const uint8_t* images, std::span<const uint32_t> order) {
  if (IsReadOnly()) Fail(kErrAccessDenied);
  if (order.empty()) return;
  const int64_t count = static_cast<int64_t>(order.size());
  const int32_t next = header_.NextRecordNumber();
  const size_t size = RecordSize();
  if (next + count > kMaxRecords || (next + count - 1) * int64_t(size) > kMaxRecordBytes)
    Fail(kErrFileFull);
  if (header_.ChainHead() != 0) Fail(kErrRecordBuffersCorrupt);
  RecordCache& cache = Cache();
  for (int32_t i = 0; i < count; ++i) {
    if (cache.IsCached(next + i) || cache.IsShelved(next + i)) Fail(kErrRecordBuffersCorrupt);
  }
  // The file grows once to its new length, then takes runs of slots
  // gathered in a buffer that stays in the processor's cache.
  const uint64_t region = RecordRegionStart() + uint64_t(next - 1) * size;
  Truncate(region + uint64_t(count) * size);
  const size_t per_run = std::max<size_t>(1, (256 << 10) / size);
  std::vector<uint8_t> run(std::min<size_t>(per_run, order.size()) * size);
  for (size_t first = 0; first < order.size(); first += per_run) {
    const size_t n = std::min(per_run, order.size() - first);
    for (size_t k = 0; k < n; ++k) {
      uint8_t* slot = run.data() + k * size;
      std::memcpy(slot, images + size_t{order[first + k]} * size, size);
      SetRecordHeader(slot, false, next + static_cast<int32_t>(first + k));
    }
    Write(region + first * size, run.data(), n * size);
  }
  header_.SetNextRecordNumber(next + static_cast<int32_t>(count));
}

void TDataFile::UpdateRecord(int32_t record_number, const uint8_t* record) {
  if (IsReadOnly()) Fail(kErrAccessDenied);
  TRecord* slot = GetRecord(record_number);
  PinGuard pin(*this, slot);
  if (RecordIsDeleted(slot->Data())) Fail(kErrRecordNotFound);
  std::memcpy(slot->Data() + kRecordHeaderSize, record + kRecordHeaderSize,
              RecordSize() - kRecordHeaderSize);
  slot->MarkDirty();
}

void TDataFile::DeleteRecord(int32_t record_number) {
  if (IsReadOnly()) Fail(kErrAccessDenied);
  TRecord* slot = GetRecord(record_number);
  PinGuard pin(*this, slot);
  if (RecordIsDeleted(slot->Data())) Fail(kErrRecordNotFound);
  SetRecordHeader(slot->Data(), true, header_.ChainHead());
  slot->MarkDirty();
  header_.SetChainHead(record_number);
}

void TDataFile::EmptyTable() {
  if (!IsExclusive()) Fail(kErrNotExclusive);
  if (IsReadOnly()) Fail(kErrAccessDenied);
  Cache().Discard();
  Truncate(RecordRegionStart());
  header_.SetChangeCounter(0);
  header_.SetChainHead(0);
  header_.SetNextRecordNumber(1);
  header_.SetLastRecordId(0);
  WriteHeader(false);
}

// ---- Record cache ----

TRecord* TDataFile::GetRecord(int32_t record_number, const ReadAhead& ahead) {
  RecordCache& cache = Cache();
  if (record_number < 1 || record_number >= header_.NextRecordNumber()) Fail(kErrRecordNotFound);
  return cache.Fetch(record_number, header_.NextRecordNumber(), ahead);
}

void TDataFile::Unpin(TRecord* record) { Cache().Unpin(record); }

const uint8_t* TDataFile::HeldRecord(int32_t record_number) {
  RecordCache& cache = Cache();
  if (record_number < 1 || record_number >= header_.NextRecordNumber()) Fail(kErrRecordNotFound);
  return cache.Lookup(record_number);
}

void TDataFile::ReadSlots(std::span<const int32_t> numbers, uint8_t* out) {
  // Slots whose gap is at most this many bytes are read in one call (the
  // gap costs less to copy than another call), up to kMaxRead bytes a call.
  constexpr uint64_t kMaxGap = 4096;
  constexpr uint64_t kMaxRead = 128 << 10;
  RecordCache& cache = Cache();
  const uint64_t size = RecordSize();
  const int32_t end = header_.NextRecordNumber();
  std::vector<std::pair<int32_t, uint32_t>> wanted;  // slot, place in `out`
  for (size_t i = 0; i < numbers.size(); ++i) {
    const int32_t n = numbers[i];
    if (n < 1 || n >= end) Fail(kErrRecordNotFound);
    if (const uint8_t* held = cache.Lookup(n)) {
      std::memcpy(out + i * size, held, size);
    } else {
      wanted.emplace_back(n, static_cast<uint32_t>(i));
    }
  }
  if (!std::is_sorted(wanted.begin(), wanted.end())) std::sort(wanted.begin(), wanted.end());
  const uint64_t start = RecordRegionStart();
  std::unique_ptr<uint8_t[]> run;  // a read whose slots are scattered over `out`
  uint64_t run_size = 0;
  for (size_t i = 0; i < wanted.size();) {
    const int32_t first = wanted[i].first;
    size_t j = i + 1;
    bool in_place = true;  // the run's slots go to consecutive places of `out`
    while (j < wanted.size()) {
      const int32_t n = wanted[j].first;
      const int32_t before = wanted[j - 1].first;  // n itself when wanted twice
      const uint64_t gap = n - before <= 1 ? 0 : uint64_t(n - before - 1) * size;
      if (gap > kMaxGap || uint64_t(n - first + 1) * size > std::max(kMaxRead, size)) break;
      in_place =
          in_place && n == wanted[j - 1].first + 1 && wanted[j].second == wanted[j - 1].second + 1;
      ++j;
    }
    const int32_t last = wanted[j - 1].first;
    const uint64_t bytes = uint64_t(last - first + 1) * size;
    const uint64_t offset = start + uint64_t(first - 1) * size;
    if (in_place) {
      Read(offset, out + wanted[i].second * size, bytes);
    } else {
      if (run_size < bytes) {
        run_size = bytes;
        run = std::make_unique_for_overwrite<uint8_t[]>(run_size);
      }
      Read(offset, run.get(), bytes);
      for (size_t k = i; k < j; ++k) {
        std::memcpy(out + wanted[k].second * size,
                    run.get() + uint64_t(wanted[k].first - first) * size, size);
      }
    }
    i = j;
  }
}

size_t TDataFile::ReadAheadSlots(std::span<const int32_t> numbers) {
  RecordCache& cache = Cache();
  const int32_t end = header_.NextRecordNumber();
  std::vector<int32_t> wanted;
  wanted.reserve(numbers.size());
  for (const int32_t n : numbers) {
    if (n < 1 || n >= end) Fail(kErrRecordNotFound);
    if (!cache.IsCached(n)) wanted.push_back(n);
  }
  if (wanted.empty()) return 0;
  std::vector<const uint8_t*> images(wanted.size());
  if (const FileView view = MapSlots()) {
    bool all_in_view = true;
    for (size_t i = 0; i < wanted.size(); ++i) {
      images[i] = SlotInView(view, wanted[i]);
      all_in_view = all_in_view && images[i] != nullptr;
    }
    if (all_in_view) return cache.Adopt(wanted, images);
  }
  const size_t size = RecordSize();
  auto copies = std::make_unique_for_overwrite<uint8_t[]>(wanted.size() * size);
  ReadSlots(wanted, copies.get());
  for (size_t i = 0; i < wanted.size(); ++i) images[i] = copies.get() + i * size;
  return cache.Adopt(wanted, images);
}

FileView TDataFile::MapSlots() const {
  const int32_t slots = header_.NextRecordNumber() - 1;
  if (slots < 1) return {};
  return MapForReading(RecordRegionStart() + uint64_t(slots) * RecordSize());
}

const uint8_t* TDataFile::SlotImage(const FileView& view, int32_t record_number) {
  if (record_number < 1 || record_number >= header_.NextRecordNumber()) Fail(kErrRecordNotFound);
  if (const uint8_t* held = Cache().Lookup(record_number)) return held;
  const uint8_t* slot = SlotInView(view, record_number);
  if (slot == nullptr) Fail(kErrRecordNotFound);
  return slot;
}

const uint8_t* TDataFile::SlotInView(const FileView& view, int32_t record_number) const {
  if (record_number < 1) return nullptr;
  const uint64_t offset = RecordRegionStart() + uint64_t(record_number - 1) * RecordSize();
  if (offset + RecordSize() > view.Length()) return nullptr;
  return view.Data() + offset;
}

void TDataFile::FlushBuffers(bool force_header) {
  Cache().WriteDirty();
  WriteHeader(force_header);
}

void TDataFile::DiscardCache() { Cache().Discard(); }

}  // namespace quoldex::tables
