// TableCursor::Repair: bringing a damaged table back to a sound state from
// its record slots.
//
// First the table is opened exclusively and checked; when it opens and the
// check finds nothing, nothing is written. Otherwise:
//   1. The index definitions are read from the index file's header (the one
//      part of the index file that cannot be rebuilt); without them nothing
//      is changed and the error is raised.
//   2. The data file is mended at the byte level, because its own open
//      refuses exactly the damage being mended: a partly written last slot
//      is cut off; slot flags and links are put right; a record ID used twice
//      is replaced by a fresh one; the deleted chain is rebuilt unless it is
//      sound; the next record number and last record ID follow the slots.
//      Only bytes that change are written.
//   3. The index file is created anew with those definitions and filled
//      from the slots; a record whose key duplicates an earlier record's in
//      a unique index is marked deleted.
//   4. The table is checked again; whatever is still wrong is reported.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "tables/coding.h"
#include "tables/data_file_header.h"
#include "tables/data_file_record.h"
#include "tables/engine_error.h"
#include "tables/field_datetime.h"
#include "tables/field_descriptor.h"
#include "tables/index_file_defs.h"
#include "tables/index_file_header.h"
#include "tables/table_cursor.h"
#include "tables/table_definition.h"
#include "tables/table_files.h"
#include "tables/table_rebuild.h"

namespace quoldex::tables {
namespace {

bool IsDamage(int code) {
  return code == kErrHeaderCorrupt || code == kErrRecordBuffersCorrupt ||
         code == kErrIndexPagesCorrupt || code == kErrKeyNotFound || code == kErrRecordNotFound ||
         code == kErrRead;
}

// The index definitions stored in the index file's header, checked against
// the table's fields. 8961 when they cannot be read.
StoredDefinition ReadIndexDefinitions(const std::string& index_name,
                                      const std::vector<FieldDesc>& fields,
                                      const std::string& error_name) {
  namespace ih = index_header;
  TFileHandler file(index_name, error_name);
  file.Open(true, true, false);
  if (file.Size() < ih::kSize) throw EDbEngineError(kErrHeaderCorrupt, error_name);
  std::vector<uint8_t> header(ih::kSize);
  file.Read(0, header.data(), header.size());
  file.Close();
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

// Field layout of a data file read at the byte level, checked as an open
// checks it.
struct RawLayout {
  DataFileHeader header;
  std::vector<FieldDesc> fields;
  uint64_t region = 0;  // start of the record slots
};

RawLayout ReadLayout(TFileHandler& file, const std::string& name) {
  RawLayout layout;
  const uint64_t size = file.Size();
  if (size < DataFileHeader::kSize) throw EDbEngineError(kErrHeaderCorrupt, name);
  file.Read(0, layout.header.Image(), DataFileHeader::kSize);
  const DataFileHeader& h = layout.header;
  if (h.Version() != DataFileHeader::kVersion) throw EDbEngineError(kErrVersion, name);
  if (h.Encrypted()) throw EDbEngineError(kErrPasswordRequired, name);
  const uint16_t count = h.FieldCount();
  layout.region = DataFileHeader::kSize + uint64_t{kFieldDescriptorSize} * count;
  if (count == 0 || count > kMaxFields || size < layout.region || h.RecordSize() < 9) {
    throw EDbEngineError(kErrHeaderCorrupt, name);
  }
  std::vector<uint8_t> image(uint64_t{kFieldDescriptorSize} * count);
  file.Read(DataFileHeader::kSize, image.data(), image.size());
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

struct SlotHead {
  uint8_t flag;
  int32_t link;
  int32_t id;
};

void MendDataFile(const std::string& name, std::vector<std::string>& mended) {
  TFileHandler file(name, name);
  file.Open(true, false, false);
  RawLayout layout = ReadLayout(file, name);
  DataFileHeader& h = layout.header;
  const uint16_t rs = h.RecordSize();
  const uint64_t bytes = file.Size() - layout.region;
  const int32_t slots = static_cast<int32_t>(
      std::min<uint64_t>(bytes / rs, static_cast<uint64_t>(TDataFile::kMaxRecords - 1)));
  if (bytes % rs != 0 || bytes / rs != static_cast<uint64_t>(slots)) {
    file.Truncate(layout.region + uint64_t{rs} * slots);
    mended.push_back("dropped " + std::to_string(bytes - uint64_t{rs} * slots) +
                     " bytes of a partly written last slot");
  }

  // Every slot's 9-byte head, read in runs of slots.
  std::vector<SlotHead> heads(static_cast<size_t>(slots) + 1);
  const int32_t per_read = std::max(1, (1 << 20) / rs);
  std::vector<uint8_t> chunk;
  for (int32_t first = 1; first <= slots; first += per_read) {
    int32_t n = std::min(per_read, slots - first + 1);
    chunk.resize(size_t{rs} * n);
    file.Read(layout.region + uint64_t{rs} * (first - 1), chunk.data(), chunk.size());
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
    file.Write(layout.region + uint64_t{rs} * (s - 1), head, sizeof head);
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
    file.Write(0, h.Image(), DataFileHeader::kSize);
  }
  file.Close();
}

void RebuildIndexFile(const std::string& name, const StoredDefinition& definition,
                      std::vector<std::string>& mended) {
  TDataFile data(name);
  data.Open(true, false, false);
  data.CheckFileLength();
  TIndexFile index(IndexFileNameFor(name), name, data.Fields());
  index.Create(false);
  AddIndexDefinitions(definition, index);
  std::vector<int32_t> dropped = RebuildIndexes(data, index, DuplicatePolicy::kDropRecord);
  for (int32_t slot : dropped) {
    mended.push_back("record in slot " + std::to_string(slot) +
                     " marked deleted: its key is another record's in a unique index");
  }
  mended.push_back("rebuilt every index from " + std::to_string(index.RecordCount()) +
                   " active records");
  index.Close();
  data.Close();
}

}  // namespace

std::vector<std::string> TableCursor::Repair(const TableSettings& settings) {
  const std::string name = DataFileName(settings);
  if (!TFileHandler::FileExists(name)) throw EDbEngineError(kErrPath, name);
  TableSettings exclusive = settings;
  exclusive.exclusive = true;
  exclusive.read_only = false;

  std::vector<std::string> report;
  {
    TableCursor cursor(exclusive);
    try {
      cursor.Open();
      std::vector<std::string> findings = cursor.CheckIntegrity();
      cursor.Close();
      if (findings.empty()) return {};
      for (std::string& f : findings) report.push_back("found: " + f);
    } catch (const EDbEngineError& e) {
      if (!IsDamage(e.ErrorCode())) throw;
      report.push_back(std::string("found: ") + e.what());
    }
  }

  std::vector<FieldDesc> fields;
  {
    TFileHandler file(name, name);
    file.Open(true, true, false);
    fields = ReadLayout(file, name).fields;
  }
  const StoredDefinition definition = ReadIndexDefinitions(IndexFileNameFor(name), fields, name);
  std::vector<std::string> mended;
  MendDataFile(name, mended);
  RebuildIndexFile(name, definition, mended);
  for (std::string& m : mended) report.push_back("mended: " + m);

  TableCursor cursor(exclusive);
  cursor.Open();
  for (std::string& left : cursor.CheckIntegrity()) report.push_back("not mended: " + left);
  cursor.Close();
  return report;
}

}  // namespace quoldex::tables
