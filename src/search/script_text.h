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

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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

  // Opens `name`, relative to the folder open as `dir_fd` (AT_FDCWD: the
  // current folder; an absolute name ignores it), closing any file open
  // before. Reads nothing: the first Read learns the encoding from the
  // bytes it reads.
  OpenResult Open(int dir_fd, const char* name);
  OpenResult Open(const std::string& path) { return Open(AT_FDCWD, path.c_str()); }
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Of the open file: its status when opened.
  const struct stat& Status() const { return status_; }
  // No more than this many bytes of text are still to come.
  uint64_t RemainingBound() const;

  // Puts the next bytes of text, at most `capacity` (>= kMinReadSize), at
  // `out`. Returns how many; 0 only at the end of the text; -1 when the
  // file cannot be read (the text then ends).
  ssize_t Read(char* out, size_t capacity);

 private:
  // The first Read: learns the encoding from the mark the bytes read start
  // with and gives the text they hold.
  ssize_t ReadFirst(char* out, size_t capacity);
  // Decodes UTF-16 into `out`; as Read.
  ssize_t ReadUtf16(char* out, size_t capacity);
  // Reads up to `size` raw bytes of what is left of the file; -1 on error.
  ssize_t ReadRaw(char* out, size_t size);

  int fd_ = -1;
  struct stat status_ {};
  Encoding encoding_ = Encoding::kBytes;
  bool sniffed_ = false;   // the encoding is known (the first Read ran)
  uint64_t raw_left_ = 0;  // bytes of the file not read yet
  // UTF-16 decoding state carried from one Read to the next.
  std::unique_ptr<char[]> raw_;
  size_t raw_capacity_ = 0;
  int carried_byte_ = -1;        // the first byte of a unit split by a read
  uint32_t high_surrogate_ = 0;  // a high surrogate waiting for its partner
};

}  // namespace quoldex::search
