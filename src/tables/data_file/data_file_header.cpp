#include "tables/data_file/data_file_header.h"

namespace quoldex::tables {

DataFileHeader DataFileHeader::ForNewTable(uint16_t record_size, uint16_t field_count,
                                           uint32_t blob_block_size, std::string_view description,
                                           uint16_t language_id, uint16_t sort_id) {
  DataFileHeader h;
  h.Put<uint32_t>(4, blob_block_size);
  h.image_[8] = kVersion;
  h.Put<int32_t>(13, 1);
  h.Put<uint16_t>(21, record_size);
  h.Put<uint16_t>(23, field_count);
  PutShortString(h.image_.data() + 35, 50, description);
  h.Put<uint16_t>(103, language_id);
  h.Put<uint16_t>(105, sort_id);
  h.Put<uint16_t>(107, 1);
  h.Put<int16_t>(109, 0);
  h.SetModified(true);
  return h;
}

}  // namespace quoldex::tables
