#include "tables/cursor/table_integrity.h"

#include <algorithm>
#include <unordered_set>

#include "tables/base/engine_error.h"
#include "tables/cursor/table_keys.h"
#include "tables/records/data_file_record.h"

namespace quoldex::tables {
namespace {

constexpr size_t kMaxFindings = 100;

class Findings {
 public:
  void Add(std::string line) {
    if (lines_.size() < kMaxFindings) {
      lines_.push_back(std::move(line));
    } else {
      ++more_;
    }
  }
  std::vector<std::string> Take() {
    if (more_ > 0) lines_.push_back("... and " + std::to_string(more_) + " more findings");
    return std::move(lines_);
  }

 private:
  std::vector<std::string> lines_;
  size_t more_ = 0;
};

std::string Slot(int32_t number) { return "slot " + std::to_string(number); }

// True when `index_number` holds `key` and the entry names `slot`.
bool HasEntry(TIndexFile& index, int index_number, const uint8_t* key, int32_t slot) {
  index.SelectIndex(index_number);
  return index.FindKey(key, index.KeyLength(index_number)) && index.CurrentRecord() == slot;
}

}  // namespace

std::vector<std::string> CheckTableIntegrity(TDataFile& data, TIndexFile& index) {
  Findings findings;
  const DataFileHeader& header = data.Header();
  const int32_t next = header.NextRecordNumber();
  const uint16_t size = data.RecordSize();
  try {
    data.CheckFileLength();
  } catch (const EDbEngineError&) {
    findings.Add("data file: its length does not hold exactly " + std::to_string(next - 1) +
                 " records");
  }
  // Only slots that the file really holds can be read.
  const uint64_t region =
      data.Size() > data.RecordRegionStart() ? data.Size() - data.RecordRegionStart() : 0;
  const int32_t readable =
      static_cast<int32_t>(std::min<uint64_t>(region / size, static_cast<uint64_t>(next - 1)));

  const bool has_primary = index.HasPrimaryIndex();
  const std::vector<int> user = UserIndexes(index);
  std::vector<uint8_t> deleted_flag(static_cast<size_t>(next), 2);  // 2: unknown
  std::unordered_set<int32_t> ids;
  int64_t active = 0, deleted = 0;
  int32_t highest_id = 0;
  std::vector<uint8_t> rec;
  for (int32_t slot = 1; slot <= readable; ++slot) {
    try {
      TRecord* r = data.GetRecord(slot, ReadAhead::Physical());
      rec.assign(r->Data(), r->Data() + size);
      data.Unpin(r);
    } catch (const EDbEngineError& e) {
      findings.Add(Slot(slot) + ": cannot be read: " + e.what());
      continue;
    }
    const uint8_t flag = rec[0];
    const int32_t id = RecordId(rec.data());
    if (flag > 1) {
      findings.Add(Slot(slot) + ": deleted flag " + std::to_string(flag));
      continue;
    }
    deleted_flag[static_cast<size_t>(slot)] = flag;
    highest_id = std::max(highest_id, id);
    if (!ids.insert(id).second) {
      findings.Add(Slot(slot) + ": record ID " + std::to_string(id) + " also used by another slot");
    }
    if (flag == 0) {
      ++active;
      if (RecordLink(rec.data()) != slot) {
        findings.Add(Slot(slot) + ": active, but links to " +
                     std::to_string(RecordLink(rec.data())));
      }
      try {
        RecordKeys keys(index, user, rec.data(), size);
        for (size_t i = 0; i < user.size(); ++i) {
          if (!HasEntry(index, user[i], keys.Key(i), slot)) {
            findings.Add("record " + std::to_string(slot) + " (ID " + std::to_string(id) +
                         "): no entry in index " + index.IndexName(user[i]));
          }
        }
      } catch (const EDbEngineError& e) {
        findings.Add("record " + std::to_string(slot) +
                     ": its keys cannot be looked up: " + e.what());
      }
    } else {
      ++deleted;
    }
    if (has_primary) {
      try {
        auto sys = SysKey(flag != 0, id);
        if (!HasEntry(index, TIndexFile::kSystemIndex, sys.data(), slot)) {
          findings.Add(Slot(slot) + ": system index lacks its entry (" +
                       (flag != 0 ? "deleted" : "active") + ", ID " + std::to_string(id) + ")");
        }
      } catch (const EDbEngineError& e) {
        findings.Add(Slot(slot) + ": system index cannot be searched: " + e.what());
      }
    }
  }
  if (highest_id > header.LastRecordId()) {
    findings.Add("data file: record ID " + std::to_string(highest_id) +
                 " lies above the last record ID issued, " + std::to_string(header.LastRecordId()));
  }

  // The deleted chain.
  std::unordered_set<int32_t> chained;
  for (int32_t link = header.ChainHead(); link != 0;) {
    if (link < 0 || link >= next || deleted_flag[static_cast<size_t>(link)] != 1) {
      findings.Add("deleted chain: reaches " + Slot(link) + ", which is not a deleted slot");
      break;
    }
    if (!chained.insert(link).second) {
      findings.Add("deleted chain: loops at " + Slot(link));
      break;
    }
    try {
      TRecord* r = data.GetRecord(link);
      link = RecordLink(r->Data());
      data.Unpin(r);
    } catch (const EDbEngineError& e) {
      findings.Add("deleted chain: " + Slot(link) + " cannot be read: " + e.what());
      break;
    }
  }
  if (has_primary && static_cast<int64_t>(chained.size()) != deleted) {
    findings.Add("deleted chain: holds " + std::to_string(chained.size()) + " of " +
                 std::to_string(deleted) + " deleted slots");
  }

  // Counts.
  if (index.RecordCount() != active) {
    findings.Add("index file: header counts " + std::to_string(index.RecordCount()) +
                 " active records, the data file holds " + std::to_string(active));
  }
  auto check_count = [&](int number, int64_t expected) {
    try {
      int64_t entries = index.EntryCount(number);
      if (entries != expected) {
        findings.Add("index " + index.IndexName(number) + ": " + std::to_string(entries) +
                     " entries for " + std::to_string(expected) + " slots");
      }
    } catch (const EDbEngineError& e) {
      findings.Add("index " + index.IndexName(number) + ": cannot be counted: " + e.what());
    }
  };
  for (int number : user) check_count(number, active);
  if (has_primary) check_count(TIndexFile::kSystemIndex, next - 1);

  for (std::string& problem : index.Verify()) findings.Add("index file: " + problem);
  return findings.Take();
}

}  // namespace quoldex::tables
