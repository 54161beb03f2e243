#include "catalogue/class_header_reader.h"

#include <cstring>
#include <string_view>

#include "search/script_text.h"
#include "text/ascii.h"

namespace quoldex::catalogue {
namespace {

constexpr size_t kBufferSize = size_t{64} << 10;
constexpr size_t kMaxParentLength = 255;

// Walks the text of an open script byte by byte with a little look-ahead,
// refilling `buffer` from the file as it goes. A NUL byte ends the text.
class TextCursor {
 public:
  TextCursor(search::ScriptText& text, std::vector<char>& buffer, const std::string& file_name)
      : text_(text), buffer_(buffer), file_name_(file_name) {}

  // The byte `ahead` places on (ahead well below the buffer's size), or -1
  // past the end of the text.
  int Peek(size_t ahead = 0) {
    if (begin_ + ahead >= end_ && !at_end_) Fill(ahead + 1);
    if (begin_ + ahead >= end_) return -1;
    const auto c = static_cast<unsigned char>(buffer_[begin_ + ahead]);
    return c == 0 ? -1 : c;
  }
  // Moves past `count` bytes that Peek has shown.
  void Skip(size_t count = 1) { begin_ += count; }

 private:
  // Reads until `need` bytes are held or the text ends.
  void Fill(size_t need) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    while (end_ < need && !at_end_) {
      const ssize_t got = text_.Read(buffer_.data() + end_, buffer_.size() - end_);
      if (got < 0) throw platform::EFOpenError(file_name_);
      if (got == 0) at_end_ = true;
      end_ += static_cast<size_t>(got);
    }
  }

  search::ScriptText& text_;
  std::vector<char>& buffer_;
  const std::string& file_name_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool at_end_ = false;
};

bool IsIdentifierChar(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

int AsciiLower(int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

void SkipRestOfLine(TextCursor& cur) {
  for (int c = cur.Peek(); c >= 0 && c != '\n' && c != '\r'; c = cur.Peek()) cur.Skip();
}

// Skips the comment that starts here, if one does. True when one was
// skipped; `line_break` is set when it held a line break.
bool SkipComment(TextCursor& cur, bool& line_break) {
  if (cur.Peek() != '/') return false;
  if (cur.Peek(1) == '/') {
    SkipRestOfLine(cur);
    return true;
  }
  if (cur.Peek(1) != '*') return false;
  cur.Skip(2);
  for (int c = cur.Peek(); c >= 0; c = cur.Peek()) {
    if (c == '*' && cur.Peek(1) == '/') {
      cur.Skip(2);
      break;
    }
    if (c == '\n' || c == '\r') line_break = true;
    cur.Skip();
  }
  return true;
}

// Skips characters 1-32 and comments.
void SkipSpace(TextCursor& cur) {
  bool line_break = false;
  for (;;) {
    const int c = cur.Peek();
    if (c > 0 && c <= 32) {
      cur.Skip();
    } else if (!SkipComment(cur, line_break)) {
      return;
    }
  }
}

// True when the text here is `word` (lower-case letters) in any letter
// case, as a whole word.
bool AtWord(TextCursor& cur, std::string_view word) {
  for (size_t i = 0; i < word.size(); ++i)
    if (AsciiLower(cur.Peek(i)) != word[i]) return false;
  return !IsIdentifierChar(cur.Peek(word.size()));
}

// Reads what follows the word "class": the parent, "<none>", or nothing
// when no class name follows.
std::optional<std::string> ReadDeclaration(TextCursor& cur) {
  SkipSpace(cur);
  if (!IsIdentifierChar(cur.Peek())) return std::nullopt;
  while (IsIdentifierChar(cur.Peek())) cur.Skip();
  SkipSpace(cur);
  if (!AtWord(cur, "extends") && !AtWord(cur, "expands")) return "<none>";
  cur.Skip(std::string_view("extends").size());
  SkipSpace(cur);
  std::string parent;
  for (int c = cur.Peek(); c > 32 && c != '/' && c != ';' && parent.size() < kMaxParentLength;
       c = cur.Peek()) {
    parent += static_cast<char>(AsciiLower(c));
    cur.Skip();
  }
  if (parent.empty()) return "<none>";
  return parent;
}

// The parent named by the first declaration of the text; nothing without
// one.
std::optional<std::string> FindParent(TextCursor& cur) {
  bool line_start = true;
  for (;;) {
    const int c = cur.Peek();
    if (c < 0) return std::nullopt;
    if (c == '\n' || c == '\r') {
      line_start = true;
      cur.Skip();
      continue;
    }
    if (c <= 32) {
      cur.Skip();
      continue;
    }
    bool line_break = false;
    if (SkipComment(cur, line_break)) {
      line_start = line_start || line_break;
      continue;
    }
    if (line_start && c == '#') {
      SkipRestOfLine(cur);
      continue;
    }
    if (line_start && AtWord(cur, "class")) {
      cur.Skip(std::string_view("class").size());
      if (std::optional<std::string> parent = ReadDeclaration(cur)) return parent;
    } else if (IsIdentifierChar(c)) {
      while (IsIdentifierChar(cur.Peek())) cur.Skip();
    } else {
      cur.Skip();
    }
    line_start = false;
  }
}

}  // namespace

ClassHeaderReader::ClassHeaderReader(ui::Ui& ui) : ui_(ui) {}

std::optional<std::string> ClassHeaderReader::ReadClassHeader(const std::string& file_name) {
  ui::ShowStatus(ui_, "Examining " + file_name);
  search::ScriptText text;
  switch (text.Open(file_name)) {
    case search::ScriptText::OpenResult::kOpened:
      break;
    case search::ScriptText::OpenResult::kNotRegularFile:
      throw ENotRegularFile(file_name);
    case search::ScriptText::OpenResult::kCannotOpen:
      throw platform::EFOpenError(file_name);
  }
  if (!buffer_) buffer_ = std::make_unique<std::vector<char>>(kBufferSize);
  TextCursor cursor(text, *buffer_, file_name);
  return FindParent(cursor);
}

}  // namespace quoldex::catalogue
