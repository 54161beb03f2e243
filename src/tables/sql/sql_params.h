// Named parameters of a statement text.
//
// Before a statement is parsed its text is scanned once for parameter
// markers: outside single- or double-quoted text, a colon starts a parameter
// whose name runs up to the next line feed, carriage return, blank, ")", ","
// or ";" or the end of the text. A name may itself be quoted (":"My name"",
// ":'x y'"), in which case the quotes are not part of it. Each marker is
// replaced by "?" and its name is listed in the order of appearance, once per
// marker, so that values bind to the "?" markers by position. "::" stands for
// one literal colon. Quoted text is copied unchanged (a doubled quote inside
// it simply closes and reopens the quote).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quoldex::tables {

struct ParameterizedSql {
  std::string text;                // the statement with every marker replaced by "?"
  std::vector<std::string> names;  // one name per "?", in order; may be empty names
};

ParameterizedSql ExtractParameters(std::string_view sql);

// Parameter names are handed to the engine cut to this many characters.
inline constexpr size_t kMaxEngineParameterName = 30;

// The name under which the engine knows a parameter: its first 30 characters.
std::string EngineParameterName(std::string_view name);

}  // namespace quoldex::tables
