#include "tables/sql/sql_tokenizer.h"

#include "tables/sql/sql_error.h"
#include "text/western.h"

namespace quoldex::tables {
namespace {

uint8_t Byte(char c) { return static_cast<uint8_t>(c); }

bool IsBlank(char c) { return Byte(c) <= 32; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A letter of the code page: a byte with a case partner, or sharp s.
bool IsLetter(char c) {
  uint8_t b = Byte(c);
  return text::ToLower(b) != b || text::ToUpper(b) != b || b == 0xDF;
}

bool IsNameStart(char c) { return IsLetter(c) || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || IsDigit(c); }

}  // namespace

bool SqlToken::IsKeyword(std::string_view keyword) const {
  return kind == SqlTokenKind::kName && text::SameText(text, keyword);
}

void TExpressionParser::Append(char c) {
  if (token_.text.size() < kMaxTokenLength) token_.text += c;
}

void TExpressionParser::SkipBlanksAndComment() {
  auto skip_blanks = [this] {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  };
  skip_blanks();
  if (text_.substr(pos_, 2) == "/*") {
    size_t close = text_.find("*/", pos_ + 2);
    if (close == std::string_view::npos) {
      ThrowSqlError("Missing ending comment slash and asterisk in SQL statement");
    }
    pos_ = close + 2;
    skip_blanks();
  }
}

const SqlToken& TExpressionParser::Next() {
  SkipBlanksAndComment();
  token_.text.clear();
  token_.offset = pos_;
  if (pos_ >= text_.size()) {
    token_.kind = SqlTokenKind::kEnd;
  } else {
    char c = text_[pos_];
    if (IsNameStart(c)) {
      ReadName();
    } else if (c == '\'' || c == '"') {
      ReadQuoted(c);
    } else if (c == '[') {
      ReadBracketed();
    } else if (IsDigit(c)) {
      ReadNumber();
    } else {
      token_.kind = SqlTokenKind::kSymbol;
      token_.text = c;
      ++pos_;
    }
  }
  token_.end = pos_;
  return token_;
}

void TExpressionParser::ReadName() {
  token_.kind = SqlTokenKind::kName;
  while (pos_ < text_.size() && IsNameChar(text_[pos_])) Append(text_[pos_++]);
}

void TExpressionParser::ReadQuoted(char quote) {
  token_.kind = quote == '\'' ? SqlTokenKind::kSingleQuoted : SqlTokenKind::kDoubleQuoted;
  ++pos_;
  for (;;) {
    if (pos_ >= text_.size()) {
      std::string message =
          quote == '\'' ? "Missing single quote after '" : "Missing double quote after '";
      ThrowSqlError(message + token_.text + "' in SQL statement");
    }
    char c = text_[pos_++];
    if (c == quote) {
      if (pos_ < text_.size() && text_[pos_] == quote) {
        Append(quote);
        ++pos_;
        continue;
      }
      return;
    }
    Append(c);
  }
}

void TExpressionParser::ReadBracketed() {
  token_.kind = SqlTokenKind::kBracketed;
  ++pos_;
  for (;;) {
    if (pos_ >= text_.size()) {
      ThrowSqlError("Missing right bracket after '" + token_.text + "' in SQL statement");
    }
    char c = text_[pos_++];
    if (c == ']') return;
    Append(c);
  }
}

void TExpressionParser::ReadNumber() {
  token_.kind = SqlTokenKind::kInteger;
  while (pos_ < text_.size()) {
    char c = text_[pos_];
    bool sign_after_exponent = (c == '+' || c == '-') && pos_ > token_.offset &&
                               (text_[pos_ - 1] == 'E' || text_[pos_ - 1] == 'e');
    if (c == '.' || c == 'E' || c == 'e') {
      token_.kind = SqlTokenKind::kDecimal;
    } else if (!IsDigit(c) && !sign_after_exponent) {
      break;
    }
    Append(c);
    ++pos_;
  }
}

}  // namespace quoldex::tables
