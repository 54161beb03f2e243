#include "tables/records/field_descriptor.h"

#include <cstring>

#include "tables/base/coding.h"

namespace quoldex::tables {
namespace {

constexpr int kNumber = 0, kName = 2, kText = 33, kType = 84, kSubtype = 85, kSize = 86,
              kDecimals = 87, kPhysical = 88, kDecimalsCopy = 89, kOffset = 90, kRequired = 92,
              kMin = 94, kMax = 145, kDefault = 196, kComputed = 247;
constexpr size_t kNameRoom = 30, kTextRoom = 50;

}  // namespace

void EncodeFieldDescriptor(const FieldDesc& field, uint8_t* out) {
  std::memset(out, 0, kFieldDescriptorSize);
  PutLE<uint16_t>(out + kNumber, field.number);
  PutShortString(out + kName, kNameRoom, field.name);
  PutShortString(out + kText, kTextRoom, field.description);
  out[kType] = field.type;
  out[kSubtype] = field.subtype;
  out[kSize] = field.size;
  out[kDecimals] = field.decimals;
  out[kPhysical] = field.physical_size;
  out[kDecimalsCopy] = field.decimals;
  PutLE<uint16_t>(out + kOffset, field.offset);
  out[kRequired] = field.required ? 1 : 0;
  PutShortString(out + kMin, kTextRoom, field.min_text);
  PutShortString(out + kMax, kTextRoom, field.max_text);
  PutShortString(out + kDefault, kTextRoom, field.default_text);
  out[kComputed] = field.computed ? 1 : 0;
}

FieldDesc DecodeFieldDescriptor(const uint8_t* in) {
  FieldDesc f;
  f.number = GetLE<uint16_t>(in + kNumber);
  f.name = GetShortString(in + kName, kNameRoom);
  f.description = GetShortString(in + kText, kTextRoom);
  f.type = in[kType];
  f.subtype = in[kSubtype];
  f.size = in[kSize];
  f.decimals = in[kDecimals];
  f.physical_size = in[kPhysical];
  f.offset = GetLE<uint16_t>(in + kOffset);
  f.required = in[kRequired] != 0;
  f.min_text = GetShortString(in + kMin, kTextRoom);
  f.max_text = GetShortString(in + kMax, kTextRoom);
  f.default_text = GetShortString(in + kDefault, kTextRoom);
  f.computed = in[kComputed] != 0;
  return f;
}

}  // namespace quoldex::tables
