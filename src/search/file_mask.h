// File-name masks of the file search: parsing a mask list and matching a
// name against one mask.
//
// Masks use "*" (any run of characters) and "?" (one character). Matching
// takes each literal after a "*" at its first occurrence and never tries a
// later one, so it runs in linear time and deliberately rejects some names a
// backtracking matcher would accept ("*.uc" does not match "x.uc.uc").
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quoldex::search {

// Parses a FileMask value into its mask list, never empty:
// - an empty value gives the single mask "*";
// - otherwise "," counts as ";", the entries between ";" (a last one without
//   a closing ";" included, a single trailing ";" adding nothing) are trimmed
//   of bytes up to the blank and lower-cased with the Western table;
// - an entry with neither "*" nor "." becomes "*entry*" (an empty entry "**"),
//   one with "*" but no "." gets a "*" appended unless it ends in one, one
//   with a "." stays as it is;
// - the list is sorted alphabetically; duplicate entries are kept.
std::vector<std::string> ParseFileMask(std::string_view value);

// True when `name` matches `mask`; both must already be lower case, and the
// comparison is exact byte for byte. "*" matches all; "*.*" matches names
// containing "."; a mask without wildcards must equal the name.
bool MatchMask(std::string_view name, std::string_view mask);

}  // namespace quoldex::search
