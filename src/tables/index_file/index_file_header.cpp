#include "tables/index_file/index_file_header.h"

#include <algorithm>
#include <cstring>

#include "tables/base/coding.h"

namespace quoldex::tables::index_header {
namespace {

constexpr size_t kName = 0;
constexpr size_t kNameCapacity = 30;
constexpr size_t kKeyLength = 31;
constexpr size_t kDescending = 33;
constexpr size_t kCaseInsensitive = 34;
constexpr size_t kUnique = 35;
constexpr size_t kCompression = 36;
constexpr size_t kFieldCount = 37;
constexpr size_t kFieldDescending = 38;
constexpr size_t kFieldNumbers = 54;
constexpr size_t kRoot = 86;
constexpr size_t kFreeHead = 90;

}  // namespace

void EncodeDescriptor(const IndexDesc& index, uint8_t* out) {
  std::memset(out, 0, kRoot + 8);
  PutShortString(out + kName, kNameCapacity, index.name);
  PutLE(out + kKeyLength, index.key_length);
  out[kDescending] = index.descending ? 1 : 0;
  out[kCaseInsensitive] = index.case_insensitive ? 1 : 0;
  out[kUnique] = index.unique ? 1 : 0;
  out[kCompression] = index.compression;
  size_t n = std::min<size_t>(index.fields.size(), kMaxIndexFields);
  out[kFieldCount] = static_cast<uint8_t>(n);
  for (size_t i = 0; i < kMaxIndexFields; ++i) {
    out[kFieldDescending + i] = index.field_descending[i] ? 1 : 0;
  }
  for (size_t i = 0; i < n; ++i) PutLE(out + kFieldNumbers + 2 * i, index.fields[i]);
  PutLE(out + kRoot, index.root);
  PutLE(out + kFreeHead, index.free_head);
}

IndexDesc DecodeDescriptor(const uint8_t* in, int* field_count) {
  IndexDesc index;
  index.name = GetShortString(in + kName, kNameCapacity);
  index.key_length = GetLE<uint16_t>(in + kKeyLength);
  index.descending = in[kDescending] != 0;
  index.case_insensitive = in[kCaseInsensitive] != 0;
  index.unique = in[kUnique] != 0;
  index.compression = in[kCompression];
  *field_count = in[kFieldCount];
  size_t n = std::min<size_t>(in[kFieldCount], kMaxIndexFields);
  for (size_t i = 0; i < kMaxIndexFields; ++i) {
    index.field_descending[i] = in[kFieldDescending + i] != 0;
  }
  for (size_t i = 0; i < n; ++i)
    index.fields.push_back(GetLE<uint16_t>(in + kFieldNumbers + 2 * i));
  index.root = GetLE<int32_t>(in + kRoot);
  index.free_head = GetLE<int32_t>(in + kFreeHead);
  return index;
}

}  // namespace quoldex::tables::index_header
