// Text rules of the Western (Windows-1252) code page, used wherever the
// program folds case or orders strings "as the user's language does":
// case-insensitive text search, file-mask lower-casing, query result
// ordering and filters.
//
// Folding changes ASCII letters and the accented Latin letters of the code
// page (À..Þ except ×, Š, Œ, Ž, Ÿ) and nothing else. Bytes are bytes: no
// multi-byte decoding takes place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quoldex::text {

// The 256-entry lower-case table of the code page.
const uint8_t* LowerTable();

inline uint8_t ToLower(uint8_t c) { return LowerTable()[c]; }
uint8_t ToUpper(uint8_t c);

std::string LowerCase(std::string_view s);

// True when a and b are equal after folding case.
bool SameText(std::string_view a, std::string_view b);

// Language order: alphabetical first (letters ignoring case and accents,
// with punctuation before digits before letters), then accents, then case as
// the tie-break (lower case before upper case). With ignore_case, strings
// differing only in case compare equal. Returns <0, 0 or >0.
int CompareLanguage(std::string_view a, std::string_view b, bool ignore_case);

// Sort keys: byte strings whose unsigned byte-wise (memcmp) order is the
// language order, so that an index can hold strings in that order.
//
// SortKey(s, chars, ignore_case, out) writes SortKeyLength(chars,
// ignore_case) bytes for the first `chars` characters of `s`: one primary
// weight per character (never zero, so the zero padding after a shorter
// string sorts it first), then one accent byte per character (the folded
// character), then, unless `ignore_case`, one bit per character (set for a
// character that folds to another, i.e. upper case), packed from the high
// bit. For any two strings of at most `chars` characters,
// sign(memcmp(key(a), key(b))) == sign(CompareLanguage(a, b, ignore_case));
// with case regarded, equal keys mean equal strings.
size_t SortKeyLength(size_t chars, bool ignore_case);
void SortKey(std::string_view s, size_t chars, bool ignore_case, uint8_t* out);

}  // namespace quoldex::text
