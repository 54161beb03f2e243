// The input of the table-files target: a data file and its index file in one
// byte string, so that the fuzzer can change both and their lengths.
//
// Layout: the data file's length as four bytes, least significant first,
// then the data file, then the index file (the rest). A length past the end
// of the input takes all of it as the data file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quoldex::fuzz {

struct TablePair {
  std::string_view data;
  std::string_view index;
};

inline TablePair SplitTablePair(std::string_view input) {
  if (input.size() < 4) return {{}, {}};
  uint32_t length = 0;
  for (int i = 3; i >= 0; --i) length = (length << 8) | static_cast<uint8_t>(input[i]);
  input.remove_prefix(4);
  const size_t cut = length < input.size() ? length : input.size();
  return {input.substr(0, cut), input.substr(cut)};
}

inline std::string JoinTablePair(std::string_view data, std::string_view index) {
  std::string out;
  const auto length = static_cast<uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
  out.append(data).append(index);
  return out;
}

}  // namespace quoldex::fuzz
