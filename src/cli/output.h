// How quoldex-cli writes its results: one item a line on standard output,
// the fields of an item separated by one tab.
//
// A value that itself holds a tab, a line feed or a carriage return (a file
// name may) would break that shape, so those three characters are written
// as the two-character escapes "\t", "\n" and "\r". Every other byte,
// backslashes included, is written as it is.
#pragma once

#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace quoldex::cli {

// `value` with its tabs, line feeds and carriage returns escaped.
std::string OutputField(std::string_view value);

// Writes the fields, escaped and separated by tabs, and ends the line.
void WriteLine(std::ostream& out, const std::vector<std::string>& fields);
void WriteLine(std::ostream& out, std::initializer_list<std::string_view> fields);

}  // namespace quoldex::cli
