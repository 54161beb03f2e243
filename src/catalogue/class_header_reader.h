// ClassHeaderReader: finds the parent class in a script file's declaration
// ("class Name extends Parent;", older scripts "expands") and hands the
// parent's name, in lower case, to a writer that stores it for the class's
// catalogue row.
//
// The writer receives "<none>" for a declaration that names no parent (a
// root class) and is not called at all when no usable declaration is found
// (the row then keeps what it had). Names are passed whole; the column they
// are stored in cuts them to its width. Errors of the writer propagate.
//
// The reader owns one line buffer, created on first use and reused for
// every file until ReleaseLineBuffer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/ui.h"

namespace quoldex::catalogue {

class ClassHeaderReader {
 public:
  // Stores `parent_name` as the parent of the row with `object_id`.
  using ParentWriter = std::function<void(int32_t object_id, const std::string& parent_name)>;

  ClassHeaderReader(ui::Ui& ui, ParentWriter writer);

  // Shows "Examining <file_name>", reads the file and examines each line
  // that has a line after it, the following line serving as its
  // continuation, until CheckHeaderLine ends the search. A file of fewer
  // than two lines is never examined. Throws platform::EFOpenError
  // ("Cannot open file <file_name>") when the file cannot be read.
  void ReadClassHeader(const std::string& file_name, int32_t object_id);

  // Tests one line: false (search on) when the line, trimmed of characters
  // 0-32 and lower-cased, is empty, starts with "//" or does not start with
  // "class". Otherwise passes that line, one blank and `next_line` as the
  // file holds it to StoreParentName and returns its result.
  bool CheckHeaderLine(std::string_view line, std::string_view next_line, int32_t object_id);

  // Takes the name after the first "extends " of `declaration` (or, when
  // there is none, after the first "expands "), case-sensitively, up to the
  // first backspace, tab, blank, "/" or ";" (a terminator). No keyword gives
  // "<none>". A non-empty name is written lower-cased. True (search ends)
  // when a terminator was met or a name was written.
  bool StoreParentName(std::string_view declaration, int32_t object_id);

  // Frees the line buffer; the next read creates it again.
  void ReleaseLineBuffer() { lines_.reset(); }
  bool HasLineBuffer() const { return lines_ != nullptr; }

 private:
  ui::Ui& ui_;
  ParentWriter writer_;
  std::unique_ptr<std::vector<std::string>> lines_;
};

}  // namespace quoldex::catalogue
