// TExpressionParser: the tokenizer of the query language (statements and
// record filters).
//
// Before each token it skips characters with codes 0 to 32, then at most one
// block comment "/* ... */", then again characters 0 to 32. A second comment
// directly after the first is therefore not skipped: its "/" comes back as a
// symbol token, which the grammar refuses.
//
// Tokens:
//  - name: a letter or "_" followed by letters, digits and "_" (letters are
//    those of the Western code page);
//  - single- or double-quoted string: ends at the next quote of its kind that
//    is not doubled; a doubled quote stands for one quote character;
//  - bracketed name: "[" up to the next "]";
//  - number: a digit, then digits, ".", "E"/"e" and a sign directly after an
//    exponent letter; decimal when it holds any of ".", "E", "e", else integer;
//  - symbol: any other single character;
//  - end: the end of the text (empty token text).
// A token's text holds at most 255 characters (quotes and brackets are not
// part of it); the rest of an over-long token is read and dropped.
//
// Failures (EDbEngineError, code kErrSql): an unterminated comment, string or
// bracketed name, with the engine's messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quoldex::tables {

enum class SqlTokenKind {
  kEnd,
  kName,
  kSingleQuoted,
  kDoubleQuoted,
  kBracketed,
  kInteger,
  kDecimal,
  kSymbol,
};

inline constexpr size_t kMaxTokenLength = 255;

struct SqlToken {
  SqlTokenKind kind = SqlTokenKind::kEnd;
  std::string text;
  size_t offset = 0;  // where the token starts in the statement text
  size_t end = 0;     // one past its last character (closing quote included)

  // A bare name equal to `keyword` ignoring case. Quoted and bracketed names
  // are never keywords.
  bool IsKeyword(std::string_view keyword) const;
  bool IsSymbol(char c) const { return kind == SqlTokenKind::kSymbol && text[0] == c; }
  // Any token the grammar accepts where it wants a name: a bare name, either
  // kind of quoted string or a bracketed name.
  bool IsNameLike() const {
    return kind == SqlTokenKind::kName || kind == SqlTokenKind::kSingleQuoted ||
           kind == SqlTokenKind::kDoubleQuoted || kind == SqlTokenKind::kBracketed;
  }
};

class TExpressionParser {
 public:
  // `text` must outlive the parser. No token is read until Next().
  explicit TExpressionParser(std::string_view text) : text_(text) {}

  // Reads the next token and makes it current. After the end token every
  // further call returns the end token again.
  const SqlToken& Next();
  const SqlToken& Current() const { return token_; }

 private:
  void SkipBlanksAndComment();
  void ReadName();
  void ReadQuoted(char quote);
  void ReadBracketed();
  void ReadNumber();
  // Appends `c` to the current token unless it already holds 255 characters.
  void Append(char c);

  std::string_view text_;
  size_t pos_ = 0;
  SqlToken token_;
};

}  // namespace quoldex::tables
