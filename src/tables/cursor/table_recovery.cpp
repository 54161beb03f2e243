#include "tables/cursor/table_recovery.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <set>

#include "tables/base/coding.h"
#include "tables/base/engine_error.h"
#include "tables/cursor/table_definition.h"
#include "tables/cursor/table_rebuild.h"
#include "tables/data_file/data_file.h"
#include "tables/data_file/data_file_header.h"
#include "tables/index_file/index_file.h"
#include "tables/index_file/index_file_defs.h"
#include "tables/index_file/index_file_header.h"
#include "tables/records/data_file_record.h"
#include "tables/records/field_datetime.h"
#include "tables/records/field_descriptor.h"
#include "tables/storage/memory_files.h"
#include "tables/storage/table_locks.h"

namespace quoldex::tables {
namespace {

namespace ih = index_header;

// Field layout of a data file read at the byte level, checked as an open
// checks it.
struct RawLayout {
  DataFileHeader header;
  std::vector<FieldDesc> fields;
  uint64_t region = 0;  // start of the record slots
};

RawLayout ReadLayout(const TFileHandler& file) {
  const std::string& name = file.ErrorName();
  RawLayout layout;
  const uint64_t size = file.Size();
  if (size < DataFileHeader::kSize) throw EDbEngineError(kErrHeaderCorrupt, name);
  file.TFileHandler::Read(0, layout.header.Image(), DataFileHeader::kSize);
  const DataFileHeader& h = layout.header;
  if (h.Version() != DataFileHeader::kVersion) throw EDbEngineError(kErrVersion, name);
  if (h.Encrypted()) throw EDbEngineError(kErrPasswordRequired, name);
  const uint16_t count = h.FieldCount();
  layout.region = DataFileHeader::kSize + uint64_t{kFieldDescriptorSize} * count;
  if (count == 0 || count > kMaxFields || size < layout.region || h.RecordSize() < 9) {
    throw EDbEngineError(kErrHeaderCorrupt, name);
  }
  std::vector<uint8_t> image(uint64_t{kFieldDescriptorSize} * count);
  file.TFileHandler::Read(DataFileHeader::kSize, image.data(), image.size());
  uint32_t running = kRecordHeaderSize;
  for (uint16_t i = 0; i < count; ++i) {
    FieldDesc f = DecodeFieldDescriptor(image.data() + size_t{i} * kFieldDescriptorSize);
    f.physical_size = PhysicalSize(f.type, f.size);
    bool ok = f.number == i + 1 && f.physical_size != 0;
    if (ok && f.IsAutoInc()) {
      ok = f.offset == kRecordIdOffset;
    } else if (ok && f.HasSlot()) {
      ok = f.offset == running;
      running += 1u + f.physical_size;
    }
    if (!ok) throw EDbEngineError(kErrHeaderCorrupt, name);
    layout.fields.push_back(std::move(f));
  }
  if (running != h.RecordSize()) throw EDbEngineError(kErrHeaderCorrupt, name);
  return layout;
}

// The index definitions stored in the index file's header, checked against the
// table's fields. kErrHeaderCorrupt when they cannot be read.
StoredDefinition ReadIndexDefinitions(const TFileHandler& file,
                                      const std::vector<FieldDesc>& fields) {
  const std::string& error_name = file.ErrorName();
  if (file.Size() < ih::kSize) throw EDbEngineError(kErrHeaderCorrupt, error_name);
  std::vector<uint8_t> header(ih::kSize);
  file.TFileHandler::Read(0, header.data(), header.size());
  if (header[ih::kVersion] != ih::kFormatVersion) throw EDbEngineError(kErrVersion, error_name);
  const int secondaries = header[ih::kSecondaryCount];
  if (secondaries > kMaxSecondaryIndexes) throw EDbEngineError(kErrHeaderCorrupt, error_name);
  StoredDefinition out;
  int field_count = 0;
  try {
    out.primary = ih::DecodeDescriptor(header.data() + ih::DescriptorOffset(0), &field_count);
    CheckIndexDefinition(out.primary, true, fields, false, {}, error_name);
    std::vector<std::string> names;
    for (int slot = 1; slot <= secondaries; ++slot) {
      IndexDesc d = ih::DecodeDescriptor(header.data() + ih::DescriptorOffset(slot), &field_count);
      CheckIndexDefinition(d, false, fields, false, names, error_name);
      names.push_back(d.name);
      out.secondaries.push_back(std::move(d));
    }
  } catch (const EDbEngineError&) {
    throw EDbEngineError(kErrHeaderCorrupt, error_name);
  }
  return out;
}

struct SlotHead {
  uint8_t flag;
  int32_t link;
  int32_t id;
};

// Puts the data file right at the byte level (its own open refuses exactly
// the damage mended here): a partly written last slot is cut off; slot
// flags and links are put right; a record ID used twice is replaced by a
// fresh one; the deleted chain is rebuilt unless it is sound; the next
// record number and last record ID follow the slots. Only bytes that change
// are written.
// Returns the number of records dropped (a partly written last slot).
int MendDataFile(TFileHandler& file, std::vector<std::string>& mended) {
  RawLayout layout = ReadLayout(file);
  DataFileHeader& h = layout.header;
  const uint16_t rs = h.RecordSize();
  const uint64_t bytes = file.Size() - layout.region;
  const int32_t slots = static_cast<int32_t>(
      std::min<uint64_t>(bytes / rs, static_cast<uint64_t>(TDataFile::kMaxRecords - 1)));
  int dropped = 0;
  if (bytes % rs != 0 || bytes / rs != static_cast<uint64_t>(slots)) {
    file.Truncate(layout.region + uint64_t{rs} * slots);
    mended.push_back("dropped " + std::to_string(bytes - uint64_t{rs} * slots) +
                     " bytes of a partly written last slot");
    dropped = 1;
  }

  // Every slot's 9-byte head, read in runs of slots.
  std::vector<SlotHead> heads(static_cast<size_t>(slots) + 1);
  const int32_t per_read = std::max(1, (1 << 20) / rs);
  std::vector<uint8_t> chunk;
  for (int32_t first = 1; first <= slots; first += per_read) {
    int32_t n = std::min(per_read, slots - first + 1);
    chunk.resize(size_t{rs} * n);
    file.TFileHandler::Read(layout.region + uint64_t{rs} * (first - 1), chunk.data(),
                            chunk.size());
    for (int32_t i = 0; i < n; ++i) {
      const uint8_t* p = chunk.data() + size_t{rs} * i;
      heads[first + i] = {p[0], RecordLink(p), RecordId(p)};
    }
  }
  std::vector<SlotHead> fixed = heads;
  int32_t highest = std::max(0, h.LastRecordId());
  for (int32_t s = 1; s <= slots; ++s) highest = std::max(highest, fixed[s].id);
  std::set<int32_t> ids;
  for (int32_t s = 1; s <= slots; ++s) {
    SlotHead& head = fixed[s];
    if (head.flag == 0 && head.link == 0 && head.id == 0) {
      // A slot the file grew by that no record ever reached (a written
      // record's link is its own slot).
      mended.push_back("slot " + std::to_string(s) + ": never written, marked deleted");
      head.flag = 1;
    }
    if (head.flag > 1) {
      mended.push_back("slot " + std::to_string(s) + ": deleted flag " + std::to_string(head.flag) +
                       ", marked deleted");
      head.flag = 1;
    }
    if (head.flag == 0 && head.link != s) head.link = s;
    if (head.id <= 0 || !ids.insert(head.id).second) {
      head.id = highest == INT32_MAX ? 1 : ++highest;
      ids.insert(head.id);
      mended.push_back("slot " + std::to_string(s) + ": record ID used twice or invalid, now " +
                       std::to_string(head.id));
    }
  }
  // Keep a sound chain; otherwise chain every deleted slot, highest first.
  std::vector<int32_t> deleted;
  for (int32_t s = 1; s <= slots; ++s) {
    if (fixed[s].flag == 1) deleted.push_back(s);
  }
  std::set<int32_t> chained;
  bool sound = true;
  for (int32_t link = h.ChainHead(); link != 0;) {
    sound = link > 0 && link <= slots && fixed[link].flag == 1 && chained.insert(link).second;
    if (!sound) break;
    link = fixed[link].link;
  }
  sound = sound && chained.size() == deleted.size();
  int32_t head_slot = h.ChainHead();
  if (!sound) {
    head_slot = deleted.empty() ? 0 : deleted.back();
    for (size_t i = deleted.size(); i-- > 0;) fixed[deleted[i]].link = i == 0 ? 0 : deleted[i - 1];
    mended.push_back("rebuilt the deleted chain of " + std::to_string(deleted.size()) + " slots");
  }

  for (int32_t s = 1; s <= slots; ++s) {
    const SlotHead& a = heads[s];
    const SlotHead& b = fixed[s];
    if (a.flag == b.flag && a.link == b.link && a.id == b.id) continue;
    uint8_t head[kRecordHeaderSize];
    SetRecordHeader(head, b.flag != 0, b.link);
    SetRecordId(head, b.id);
    file.TFileHandler::Write(layout.region + uint64_t{rs} * (s - 1), head, sizeof head);
    if (a.flag == b.flag && a.id == b.id && b.flag == 0) {
      mended.push_back("slot " + std::to_string(s) + ": active slot's link set to itself");
    }
  }
  bool header_changed = false;
  if (h.NextRecordNumber() != slots + 1) {
    mended.push_back("next record number " + std::to_string(h.NextRecordNumber()) + " set to " +
                     std::to_string(slots + 1));
    h.SetNextRecordNumber(slots + 1);
    header_changed = true;
  }
  if (h.LastRecordId() != highest) {
    mended.push_back("last record ID " + std::to_string(h.LastRecordId()) + " set to " +
                     std::to_string(highest));
    h.SetLastRecordId(highest);
    header_changed = true;
  }
  if (h.ChainHead() != head_slot) {
    h.SetChainHead(head_slot);
    header_changed = true;
  }
  if (header_changed) {
    h.SetChangeCounter(static_cast<int32_t>(static_cast<uint32_t>(h.ChangeCounter()) + 1));
    h.SetLastUpdate(NowLocal() - kDateDelta);
    file.TFileHandler::Write(0, h.Image(), DataFileHeader::kSize);
  }
  return dropped;
}

// A name for the in-memory index file a recovery builds, unique in the
// process.
std::string ScratchName(const std::string& index_file_name) {
  static std::atomic<unsigned> counter{0};
  return index_file_name + "#recovery" + std::to_string(counter.fetch_add(1));
}

// Builds the indexes of `definition` from the records of the data file
// `data_name` (records whose key a unique index already holds are marked
// deleted) in memory, and returns the whole index file's bytes. Counts the
// records kept and dropped.
std::vector<uint8_t> BuildIndexImage(const std::string& data_name,
                                     const std::string& index_file_name,
                                     const StoredDefinition& definition,
                                     std::vector<std::string>& mended, int& kept, int& dropped) {
  TDataFile data(data_name);
  data.Open(false, false, false);
  data.CheckFileLength();
  const std::string scratch = ScratchName(index_file_name);
  std::vector<uint8_t> image;
  try {
    TIndexFile index(scratch, data_name, data.Fields());
    index.SetInMemory(true);
    index.Create(false);
    AddIndexDefinitions(definition, index);
    for (int32_t slot : RebuildIndexes(data, index, DuplicatePolicy::kDropRecord)) {
      ++dropped;
      mended.push_back("record in slot " + std::to_string(slot) +
                       " marked deleted: its key is another record's in a unique index");
    }
    kept = index.RecordCount();
    mended.push_back("rebuilt every index from " + std::to_string(kept) + " active records");
    index.FlushBuffers(true);
    image = memory_files::Find(scratch)->Bytes();
    index.Close();
    data.FlushBuffers(false);
    data.Close();
  } catch (...) {
    memory_files::Remove(scratch);
    throw;
  }
  memory_files::Remove(scratch);
  return image;
}

}  // namespace

bool NeedsRecovery(const TFileHandler& data_file, const TFileHandler& index_file) {
  RawLayout layout;
  try {
    layout = ReadLayout(data_file);
  } catch (const EDbEngineError&) {
    return false;
  }
  const uint64_t rs = layout.header.RecordSize();
  const uint64_t bytes = data_file.Size() - layout.region;
  if (bytes % rs != 0 || bytes / rs + 1 != static_cast<uint64_t>(layout.header.NextRecordNumber())) {
    return true;
  }
  if (index_file.Size() < ih::kSize) return false;
  return ReadUpdateMark(index_file);
}

std::vector<std::string> RecoverTableFiles(TFileHandler& data_file, TFileHandler& index_file) {
  const RawLayout layout = ReadLayout(data_file);
  const StoredDefinition definition = ReadIndexDefinitions(index_file, layout.fields);
  uint8_t old_header[ih::kSize];
  index_file.TFileHandler::Read(0, old_header, sizeof old_header);
  if (old_header[ih::kUpdateInProgress] == 0) {
    WriteUpdateMark(index_file, true);
    index_file.Flush();
  }

  std::vector<std::string> mended;
  int dropped = MendDataFile(data_file, mended);
  data_file.Flush();
  int kept = 0;
  std::vector<uint8_t> image = BuildIndexImage(data_file.FileName(), index_file.FileName(),
                                               definition, mended, kept, dropped);
  data_file.Flush();

  // The pages first, then the header that makes them the index.
  const auto old_counter = static_cast<uint32_t>(GetLE<int32_t>(old_header + ih::kCounter));
  PutLE<int32_t>(image.data() + ih::kCounter, static_cast<int32_t>(old_counter + 1));
  image[ih::kUpdateInProgress] = 0;
  image[ih::kModified] = 0;
  if (image.size() > ih::kSize) {
    index_file.TFileHandler::Write(ih::kSize, image.data() + ih::kSize, image.size() - ih::kSize);
  }
  if (index_file.Size() != image.size()) index_file.Truncate(image.size());
  index_file.Flush();
  index_file.TFileHandler::Write(0, image.data(), ih::kSize);
  index_file.Flush();
  mended.push_back("kept " + std::to_string(kept) + " records, dropped " +
                   std::to_string(dropped));
  return mended;
}

std::vector<std::string> RecoverTable(const std::string& data_file_name,
                                      const std::string& index_file_name, int lock_retry_count,
                                      int lock_wait_time_ms, bool always) {
  TFileHandler data(data_file_name, data_file_name);
  TFileHandler index(index_file_name, data_file_name);
  data.Open(false, false, false);
  index.Open(false, false, false);
  if (data.IsReadOnly() || index.IsReadOnly()) {
    throw EDbEngineError(kErrAccessDenied, data_file_name);
  }
  std::vector<std::string> mended;
  {
    TableLocks locks(data, index, true, lock_retry_count, lock_wait_time_ms);
    locks.AcquireWriteLock();
    if (always || NeedsRecovery(data, index)) mended = RecoverTableFiles(data, index);
    locks.ReleaseWriteLock();
  }
  return mended;
}

}  // namespace quoldex::tables
