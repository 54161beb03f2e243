#include "tables/base/table_defs.h"

namespace quoldex::tables {

uint8_t PhysicalSize(uint8_t type, uint8_t size) {
  switch (type) {
    case kTypeString: return static_cast<uint8_t>(size + 1);
    case kTypeDate:
    case kTypeBlob:
    case kTypeInteger:
    case kTypeTime:
    case kTypeUInt32: return 4;
    case kTypeBoolean:
    case kTypeSmallInt:
    case kTypeWord: return 2;
    case kTypeFloat:
    case kTypeBcd:
    case kTypeTimestamp: return 8;
    case kTypeBytes:
    case kTypeVarBytes: return size;
    case kTypeExtended: return 10;
    default: return 0;
  }
}

}  // namespace quoldex::tables
