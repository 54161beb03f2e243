// Reading a whole text file as lines, as the program's string lists do.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quoldex::platform {

// A file could not be opened for reading: "Cannot open file <path>".
class EFOpenError : public std::runtime_error {
 public:
  explicit EFOpenError(const std::string& path)
      : std::runtime_error("Cannot open file " + path), path_(path) {}
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Splits text into lines: a line ends at CR, at LF, or at CR LF taken
// together; a NUL byte ends the text; a line break at the very end does not
// add an empty last line. Replaces the contents of `lines` (reusing its
// storage).
void SplitTextLines(std::string_view text, std::vector<std::string>& lines);

// Reads the whole file `path` and splits it as SplitTextLines does.
// Throws EFOpenError when the file cannot be opened or read.
void LoadTextLines(const std::string& path, std::vector<std::string>& lines);

}  // namespace quoldex::platform
