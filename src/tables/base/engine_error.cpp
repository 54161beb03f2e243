#include "tables/base/engine_error.h"

#include <cerrno>
#include <cstring>

namespace quoldex::tables {
namespace {

std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string s;
  for (auto p : parts) s.append(p);
  return s;
}

std::string MakeMessage(int code, std::string_view file, std::string_view name,
                        std::string_view name2) {
  std::string text = EngineErrorText(code, file, name, name2);
  if (text.size() > 127) text.resize(127);
  return "Table Engine Error # " + std::to_string(code) + " " + text;
}

}  // namespace

std::string EngineErrorText(int code, std::string_view f, std::string_view n,
                            std::string_view n2) {
  switch (code) {
    case 8705: return Cat({"Beginning of file encountered in data file ", f});
    case 8706: return Cat({"End of file encountered in data file ", f});
    case 8708: return Cat({"Key not found in index ", n, " of data file ", f});
    case 8710: return Cat({"Record not found in data file ", f});
    case 8711: return Cat({"End of blob data in data file ", f, " reached prematurely"});
    case 8961: return Cat({"Header information corrupt in data file ", f});
    case 8962: return Cat({"Data record buffers corrupt in data file ", f});
    case 8963: return Cat({"BLOB block buffers corrupt in data file ", f});
    case 8965: return Cat({"Index page buffers corrupt in data file ", f});
    case 9217: return Cat({"Error reading from data file ", f});
    case 9218: return Cat({"Error writing to data file ", f});
    case 9220: return Cat({"Cannot delete data file ", f});
    case 9221: return Cat({"Error accessing file header information for data file ", f});
    case 9477: return Cat({"Maximum record size exceeded in data file ", f});
    case 9479: return Cat({"The data file ", f, " is full and cannot contain any more data"});
    case 9482: return Cat({"Too many filters defined for data file ", f});
    case 9487:
      return Cat({"Maximum or minimum limits on number of indexes or fields in an index exceeded "
                  "in data file ",
                  f});
    case 9492:
      return Cat({"Maximum or minimum limits on number of fields or field size exceeded in data "
                  "file ",
                  f});
    case 9494: return Cat({"Too many blobs opened in data file ", f});
    case 9498:
      return Cat({"Too many blob fields or invalid blob block size specified for data file ", f});
    case 9729: return Cat({"Duplicate key found in index ", n, " of data file ", f});
    case 9730:
      return Cat({"The value for the field ", n, " in data file ", f,
                  " is below the minimum allowable value"});
    case 9731:
      return Cat({"The value for the field ", n, " in data file ", f,
                  " is above the maximum allowable value"});
    case 9732: return Cat({"A value must be provided for the field ", n, " in data file ", f});
    case 9985:
      return Cat({"Invalid field number or name ", n, " specified for data file ", f});
    case 9993:
      return Cat({"A primary index is already defined for data file ", f,
                  " and cannot be added again"});
    case 9998: return Cat({"Invalid blob offset into data file ", f, " specified"});
    case 10000:
      return Cat({"Invalid field definition specified for the field ", n, " in data file ", f});
    case 10006:
      return Cat({"Invalid default, min or max validity check, or expression specified for ", n,
                  " in data file ", f});
    case 10010:
      return Cat({"The secondary index name is missing or not specified for data file ", f});
    case 10015: return Cat({"Password provided for data file ", f, "is invalid"});
    case 10022:
      return Cat({"Invalid secondary index name ", n, " specified for data file ", f});
    case 10023:
      return Cat({"Invalid field number ", n, " specified in index ", n2, " for data file ", f});
    case 10026: return Cat({"Invalid key size specified in index ", n, " for data file ", f});
    case 10027: return Cat({"The secondary index ", n, " already exists for data file ", f});
    case 10029: return Cat({"Invalid blob length in data file ", f});
    case 10030: return Cat({"Invalid blob handle for data file ", f, " specified"});
    case 10031: return Cat({"Data file ", f, " is already in use"});
    case 10038:
      return Cat({"Invalid or duplicate field name ", n, " specified for data file ", f});
    case 10050: return Cat({"Invalid filter handle specified for data file ", f});
    case 10051: return Cat({"Invalid filter expression specified for data file ", f});
    case 10055: return Cat({"The primary index cannot be removed from data file ", f});
    case 10241: return Cat({"The data file ", f, " is already locked by another user"});
    case 10242: return Cat({"Cannot unlock data file or record in data file ", f});
    case 10249: return Cat({"General lock failure with data file ", f});
    case 10253: return Cat({"Data file ", f, " must be opened exclusively"});
    case 10258: return Cat({"Record in data file ", f, " is in use by another user"});
    case 10498:
      return Cat({"Insufficient rights to data file ", f, ", a password is required"});
    case 10753: return Cat({"Invalid blob field ", n, " specified for data file ", f});
    case 10758: return "Table engine not initialized";
    case 11010: return Cat({"Invalid path or file name for data file ", f});
    case 11012:
      return Cat({"Too many files open while attempting to open data file ", f});
    case 11013: return Cat({"Access denied to data file ", f});
    case 11014: return Cat({"Invalid file handle for data file ", f});
    case 11016:
      return "There is insufficient operating system memory available for the current "
             "operation";
    case 11017: return Cat({"Invalid length for in-memory data file ", f});
    case 11023:
      return Cat({"Access denied to logical operating system device for data file ", f});
    case 11025: return Cat({"Data file ", f, " has been moved"});
    case 11047:
      return Cat({"An unknown operating system error #", n, " occurred with data file ", f});
    case 11949: return Cat({"SQL - ", n});
    case 12035: return Cat({"Data file ", f, " is not the correct version"});
    case 12292:
      return Cat({"Invalid field type specified for index ", n, " in data file ", f});
    case 15878:
      return Cat({"The language driver for data file ", f, " is not available or installed"});
    default: return Cat({"Unknown error occurred with data file ", f});
  }
}

EDbEngineError::EDbEngineError(int code, std::string_view file, std::string_view name,
                               std::string_view name2)
    : EDatabaseError(MakeMessage(code, file, name, name2)), code_(code) {}

EDbEngineError::EDbEngineError(int code, WholeMessage message)
    : EDatabaseError(message.text), code_(code) {}

EDbEngineError EDbEngineError::WithOsReason(int code, std::string_view file, int os_error) {
  return WithReason(code, file, os_error == 0 ? "no bytes transferred" : std::strerror(os_error));
}

EDbEngineError EDbEngineError::WithReason(int code, std::string_view file,
                                          std::string_view reason) {
  return EDbEngineError(code,
                        WholeMessage{MakeMessage(code, file, {}, {}) + ": " + std::string(reason)});
}

bool IsStorageFailure(int code) {
  switch (code) {
    case kErrRead:
    case kErrWrite:
    case kErrCannotDelete:
    case kErrHeaderAccess:
    case kErrUnlock:
    case kErrLockFailure:
    case kErrAccessDenied:
    case kErrHandle:
    case kErrInMemoryLength:
    case kErrFileFull:
      return true;
    default:
      return false;
  }
}

int EngineCodeForOpenErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kErrPath;
    case EMFILE:
    case ENFILE:
      return kErrTooManyFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY:
    case EISDIR:
      return kErrAccessDenied;
    case EBADF:
      return kErrHandle;
    case ENOMEM:
      return kErrMemory;
    case ENODEV:
    case ENXIO:
      return kErrDevice;
    case EXDEV:
      return kErrMoved;
    default:
      return kErrUnknownOs;
  }
}

}  // namespace quoldex::tables
