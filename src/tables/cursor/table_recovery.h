// Bringing a table back to a sound state from its record slots: after a
// writer died in the middle of a change (the index file's update mark is
// still set), after a data file was cut inside its last slot or grew by a
// slot its header does not count, and on a user's repair.
//
// What is kept: every complete record, with its record ID and its slot. What
// goes: a partly written last slot; a record whose key another record already
// has in a unique index (marked deleted). The deleted chain, the next record
// number and the last record ID follow the slots, and every index is built anew
// from the records. The index definitions come from the index file's header,
// the one part of the index file that cannot be rebuilt; without them nothing
// is changed (kErrHeaderCorrupt).
//
// Order of writes, so that dying at any point leaves a table the next
// recovery takes up again: the update mark is set first, then the data file
// is mended and made durable, then the new index pages are written and made
// durable, and the index header, written last, clears the mark and moves the
// change counter so that every other handle drops what it holds.
#pragma once

#include <string>
#include <vector>

#include "tables/storage/file_handler.h"

namespace quoldex::tables {

// True when the files show a change that never finished: the index file's
// update mark is set, or the data file's length is not the slots its header
// counts. Reads the files at the byte level; false when the data file's
// header cannot be read (damage of another kind).
bool NeedsRecovery(const TFileHandler& data_file, const TFileHandler& index_file);

// Recovers the table whose open, writable files these are (`data_file`
// names the data file, `index_file` its index file). The caller holds the
// table's write lock, or has the files alone. Returns what was mended, one
// line each, the last "kept N records, dropped M". Errors of reading and
// writing are raised as they come.
std::vector<std::string> RecoverTableFiles(TFileHandler& data_file, TFileHandler& index_file);

// Opens the table `data_file_name` (index file `index_file_name`) shared for
// writing (kErrAccessDenied when it cannot be written), takes its write lock
// (retries and pauses as a table's) and, when NeedsRecovery still says so under
// it or `always`, recovers it. Returns what was mended; empty when nothing
// needed it (another handle recovered it first, or the writer whose mark was
// seen finished after all).
std::vector<std::string> RecoverTable(const std::string& data_file_name,
                                      const std::string& index_file_name, int lock_retry_count,
                                      int lock_wait_time_ms, bool always = false);

}  // namespace quoldex::tables
