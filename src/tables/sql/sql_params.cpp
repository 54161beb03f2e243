#include "tables/sql/sql_params.h"

namespace quoldex::tables {
namespace {

bool IsNameDelimiter(char c) {
  return c == '\n' || c == '\r' || c == ' ' || c == ')' || c == ',' || c == ';';
}

bool IsQuote(char c) { return c == '\'' || c == '"'; }

}  // namespace

ParameterizedSql ExtractParameters(std::string_view sql) {
  ParameterizedSql out;
  out.text.reserve(sql.size());
  char quote = 0;  // the quote character of the quoted text we are in, or 0
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      out.text += c;
      ++i;
    } else if (IsQuote(c)) {
      quote = c;
      out.text += c;
      ++i;
    } else if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {
      out.text += ':';
      i += 2;
    } else if (c == ':') {
      // A marker: the name runs to a delimiter outside quotes; quotes inside
      // the name only protect delimiters and are dropped.
      std::string name;
      char name_quote = 0;
      ++i;
      for (; i < sql.size(); ++i) {
        char n = sql[i];
        if (name_quote != 0) {
          if (n == name_quote)
            name_quote = 0;
          else
            name += n;
        } else if (IsQuote(n)) {
          name_quote = n;
        } else if (IsNameDelimiter(n)) {
          break;
        } else {
          name += n;
        }
      }
      out.text += '?';
      out.names.push_back(std::move(name));
    } else {
      out.text += c;
      ++i;
    }
  }
  return out;
}

std::string EngineParameterName(std::string_view name) {
  return std::string(name.substr(0, kMaxEngineParameterName));
}

}  // namespace quoldex::tables
