// ClassHeaderReader: finds the parent class named by a script file's class
// declaration ("class Name extends Parent;", older scripts "expands"), the
// declaration the game's compiler reads.
//
// The script's text is read as ScriptText gives it (search/script_text.h):
// a UTF-8 byte-order mark is no text, a UTF-16 script with a mark is read as
// its text, a NUL byte ends the text. In it:
//   - comments ("//" to the end of the line, "/*" to the next "*/") count as
//     blanks, and a line whose first character is "#" (a directive such as
//     #exec) is passed over whole;
//   - the declaration is the first word "class" (any letter case, a whole
//     word) that begins a line, once comments count as blanks, followed by
//     the class's name (letters, digits, "_"); a "class" without a name
//     after it is no declaration and the search goes on;
//   - any white space (blanks, tabs, line breaks, comments) may separate
//     "class", the name, the keyword "extends" or "expands" (any letter case)
//     and the parent;
//   - the parent runs up to the first character 0-32, "/" or ";" and is
//     given lower-cased (A-Z only), at most its first 255 characters. A
//     declaration without the keyword, or whose keyword is followed by no
//     name ("class Foo extends;"), gives "<none>": a root class.
//
// The reader owns one text buffer, created on first use and reused for every
// file until ReleaseLineBuffer. Reading costs that buffer whatever the
// file's size, and stops at the declaration.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/text_file.h"
#include "ui/ui.h"

namespace quoldex::catalogue {

// The file is a folder, pipe, device or socket: no script is read from it.
class ENotRegularFile : public platform::EFOpenError {
 public:
  using EFOpenError::EFOpenError;
};

class ClassHeaderReader {
 public:
  explicit ClassHeaderReader(ui::Ui& ui);

  // Shows "Examining <file_name>" (handling messages), then reads the file
  // as above. The parent name (see above); nothing when the text holds no
  // declaration. Throws ENotRegularFile for a file that is no regular file
  // and platform::EFOpenError ("Cannot open file <file_name>") for one that
  // cannot be opened or read.
  std::optional<std::string> ReadClassHeader(const std::string& file_name);

  // Frees the text buffer; the next read creates it again.
  void ReleaseLineBuffer() { buffer_.reset(); }
  bool HasLineBuffer() const { return buffer_ != nullptr; }

 private:
  ui::Ui& ui_;
  std::unique_ptr<std::vector<char>> buffer_;
};

}  // namespace quoldex::catalogue
