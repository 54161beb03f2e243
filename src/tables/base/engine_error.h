// Errors of the table engine and of the data-set layer above it.
//
// EDatabaseError is the data-set layer's own error ("Missing table name.",
// "Field 'X' must have a value", ...). EDbEngineError is every failure of the
// engine itself: a numeric code and the message
//   "Table Engine Error # " + code + " " + text
// where text is the engine's fixed wording for the code, filled with the data
// file's name (as opened, with its directory) and, for some codes, an index or
// field name, and cut to 127 characters.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace quoldex::tables {

class EDatabaseError : public std::runtime_error {
 public:
  explicit EDatabaseError(const std::string& message) : std::runtime_error(message) {}
};

// Engine error codes used across the engine. The text of each is fixed by
// EngineErrorText.
enum EngineErrorCode : int {
  kErrBof = 8705,
  kErrEof = 8706,
  kErrKeyNotFound = 8708,
  kErrRecordNotFound = 8710,
  kErrBlobEnd = 8711,
  kErrHeaderCorrupt = 8961,
  kErrRecordBuffersCorrupt = 8962,
  kErrBlobBuffersCorrupt = 8963,
  kErrIndexPagesCorrupt = 8965,
  kErrRead = 9217,
  kErrWrite = 9218,
  kErrCannotDelete = 9220,
  kErrHeaderAccess = 9221,
  kErrMaxRecordSize = 9477,
  kErrFileFull = 9479,
  kErrTooManyFilters = 9482,
  kErrIndexLimits = 9487,
  kErrFieldLimits = 9492,
  kErrTooManyBlobs = 9494,
  kErrBlobFields = 9498,
  kErrDuplicateKey = 9729,
  kErrBelowMinimum = 9730,
  kErrAboveMaximum = 9731,
  kErrRequired = 9732,
  kErrInvalidField = 9985,
  kErrPrimaryExists = 9993,
  kErrBlobOffset = 9998,
  kErrFieldDefinition = 10000,
  kErrValidityCheck = 10006,
  kErrIndexNameMissing = 10010,
  kErrPassword = 10015,
  kErrIndexName = 10022,
  kErrIndexField = 10023,
  kErrKeySize = 10026,
  kErrIndexExists = 10027,
  kErrBlobLength = 10029,
  kErrBlobHandle = 10030,
  kErrInUse = 10031,
  kErrFieldName = 10038,
  kErrFilterHandle = 10050,
  kErrFilterExpression = 10051,
  kErrPrimaryRemove = 10055,
  kErrTableLocked = 10241,
  kErrUnlock = 10242,
  kErrLockFailure = 10249,
  kErrNotExclusive = 10253,
  kErrRecordLocked = 10258,
  kErrPasswordRequired = 10498,
  kErrBlobField = 10753,
  kErrNotInitialized = 10758,
  kErrPath = 11010,
  kErrTooManyFiles = 11012,
  kErrAccessDenied = 11013,
  kErrHandle = 11014,
  kErrMemory = 11016,
  kErrInMemoryLength = 11017,
  kErrDevice = 11023,
  kErrMoved = 11025,
  kErrUnknownOs = 11047,
  kErrSql = 11949,
  kErrVersion = 12035,
  kErrIndexFieldType = 12292,
  kErrLanguage = 15878,
};

// The engine's text for `code`, uncut. `file` is the data file name; `name`
// is the index name (8708, 9729, 10022, 10023, 10026, 10027, 12292), the
// field name (9730-9732, 9985, 10000, 10006, 10038, 10753), the operating
// system's error number (11047) or the query engine's message (11949).
// Code 10023 names both a field and an index: pass the field in `name` and
// the index in `name2`.
std::string EngineErrorText(int code, std::string_view file, std::string_view name = {},
                            std::string_view name2 = {});

class EDbEngineError : public EDatabaseError {
 public:
  // Builds the full message from the code's text, cut to 127 characters.
  EDbEngineError(int code, std::string_view file, std::string_view name = {},
                 std::string_view name2 = {});

  // The error for a failed system call on a table file: the engine's text
  // for `code` (9217, 9218, 10249, ...), then ": " and the system's reason
  // for `os_error` (an errno value, e.g. "No space left on device"), which
  // the cut to 127 characters leaves whole.
  static EDbEngineError WithOsReason(int code, std::string_view file, int os_error);
  // The engine's text for `code`, then ": " and `reason`, left whole.
  static EDbEngineError WithReason(int code, std::string_view file, std::string_view reason);

  int ErrorCode() const { return code_; }

 private:
  struct WholeMessage {
    std::string text;
  };
  EDbEngineError(int code, WholeMessage message);

  int code_;
};

// Whether `code` says that the files of a table could not be read or
// written, or that the table may not be changed (9217, 9218, 9220, 9221,
// 10249, 11013, ...): the failures after which a run of changes must stop
// instead of skipping the one item, because every later change would meet
// them too.
bool IsStorageFailure(int code);

// Maps an errno value from opening a file to the engine code for it
// (not found 11010, too many files 11012, access denied 11013, ...).
int EngineCodeForOpenErrno(int err);

}  // namespace quoldex::tables
