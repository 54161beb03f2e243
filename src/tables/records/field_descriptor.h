// The 768-byte field descriptor of the data file, one per field in
// field-number order after the 127-byte header:
//   0 u16 field number   2 name (length byte + 30)   33 free text (1 + 50)
//   84 type   85 subtype   86 declared size   87 decimals   88 physical size
//   89 copy of decimals   90 u16 slot offset   92 required   93 zero
//   94 minimum (1 + 50)   145 maximum (1 + 50)   196 default (1 + 50)
//   247 computed flag     248..767 zero (504..507 a run-time slot)
#pragma once

#include <cstdint>

#include "tables/base/table_defs.h"

namespace quoldex::tables {

constexpr int kFieldDescriptorSize = 768;

// String, bytes and varbytes fields have a declared size (byte 86, 1..250);
// every other type stores 0 there.
inline bool HasDeclaredSize(uint8_t type) {
  return type == kTypeString || type == kTypeBytes || type == kTypeVarBytes;
}

// Writes `field` into `out` (768 bytes), every byte not listed above zero.
// Texts longer than their room are cut.
void EncodeFieldDescriptor(const FieldDesc& field, uint8_t* out);

// Loads the descriptor at `in` (768 bytes). Texts whose length byte exceeds
// their room are clamped; physical_size is the stored byte (the data file
// recomputes and checks it). Bytes 248..767, among them the run-time slot at
// 504..507, carry nothing a reader keeps.
FieldDesc DecodeFieldDescriptor(const uint8_t* in);

}  // namespace quoldex::tables
