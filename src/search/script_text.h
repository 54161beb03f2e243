// ScriptText: the text of one script file, read piece by piece. The class
// header reader, PosInFile and the content test of a file search all read
// scripts through it, so they agree on what a script's text is.
//
// Only a regular file is read (a symbolic link counts as its target). The
// file is opened without blocking, so a pipe, a device or a socket named like
// a script is refused at once instead of being waited on or read without end.
// At most the size the file had when it was opened is read, and the caller's
// buffer bounds each piece: the memory a read costs does not grow with the
// file.
//
// The text is the file's bytes with two exceptions:
//   - a UTF-8 byte-order mark (EF BB BF) at the start is not part of it;
//   - a file that starts with a UTF-16 byte-order mark (FF FE little-endian,
//     FE FF big-endian) is decoded and given as UTF-8, without the mark. An
//     unpaired surrogate becomes U+FFFD; a last odd byte is dropped.
// Positions in the text therefore count the bytes given, not the file's.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "search/find_data.h"

namespace quoldex::search {

class ScriptText {
 public:
  enum class OpenResult {
    kOpened,
    kCannotOpen,      // missing, not permitted, or another error of the system
    kNotRegularFile,  // a folder, pipe, device or socket
  };
  enum class Encoding { kBytes, kUtf16LittleEndian, kUtf16BigEndian };

  // The least buffer Read accepts.
  static constexpr size_t kMinReadSize = 8;

  ScriptText() = default;
  ~ScriptText() { Close(); }
  ScriptText(const ScriptText&) = delete;
  ScriptText& operator=(const ScriptText&) = delete;

  // Opens the file `path`, closing any file open before. The encoding is
  // learnt from the first bytes the first Read gets, so that a small
  // script costs one read.
  OpenResult Open(const std::string& path);
  // POSIX systems only: as Open, of `name` relative to the folder open as
  // `dir_fd` (an absolute name ignores it).
  OpenResult Open(int dir_fd, const char* name);
  void Close();
  bool IsOpen() const { return file_ != kNoFile; }

  // Of the open file: its size, time and attributes when opened (no name),
  // and its encoding (known once Read has run; kBytes before).
  const FindData& Description() const { return description_; }
  Encoding GetEncoding() const { return encoding_; }
  // No more than this many bytes of text are still to come.
  uint64_t RemainingBound() const;

  // Puts the next bytes of text, at most `capacity` (>= kMinReadSize), at
  // `out`. Returns how many; 0 only at the end of the text; -1 when the
  // file cannot be read (the text then ends).
  ssize_t Read(char* out, size_t capacity);

 private:
  // A POSIX file descriptor or a Windows file handle; -1 is neither.
  static constexpr intptr_t kNoFile = -1;

  // Readies the file just opened, of `size` bytes, for its first Read.
  OpenResult Start(uint64_t size);
  // The first Read: reads raw bytes, learns the encoding from them and
  // leaves out the byte-order mark (a UTF-16 file is read again from
  // behind its mark).
  ssize_t ReadFirst(char* out, size_t capacity);
  // Decodes UTF-16 into `out`; as Read.
  ssize_t ReadUtf16(char* out, size_t capacity);
  // Reads up to `size` raw bytes of what is left of the file; -1 on error.
  ssize_t ReadRaw(char* out, size_t size);

  // What each system does (posix_script_text.cpp, windows_script_text.cpp):
  // reads up to `size` bytes at the file position (0 at the end, -1 on an
  // error); moves the position; closes the file.
  ssize_t ReadSome(char* out, size_t size);
  bool SeekTo(uint64_t offset);
  void CloseFile();

  intptr_t file_ = kNoFile;
  FindData description_;
  Encoding encoding_ = Encoding::kBytes;
  uint64_t size_ = 0;          // bytes of the file when opened
  uint64_t raw_left_ = 0;      // bytes of the file not read yet
  bool mark_pending_ = false;  // nothing read yet: the encoding is unknown
  // UTF-16 decoding state carried from one Read to the next.
  std::unique_ptr<char[]> raw_;
  size_t raw_capacity_ = 0;
  int carried_byte_ = -1;        // the first byte of a unit split by a read
  uint32_t high_surrogate_ = 0;  // a high surrogate waiting for its partner
};

}  // namespace quoldex::search
