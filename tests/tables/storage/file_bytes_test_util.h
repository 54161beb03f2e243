// Reading a file the test holds open, for tests of the engine's files.
#pragma once

#include <cstdint>
#include <vector>

#include "tables/storage/file_handler.h"

namespace quoldex::tables {

// The bytes of the open `file`, read through its own handle (and not
// through a test's override of Read, so a counting wrapper counts nothing).
// An exclusive open shuts out any second open on Windows: a file a test
// holds exclusively is read this way.
inline std::vector<uint8_t> ReadWholeFileThrough(const TFileHandler& file) {
  std::vector<uint8_t> bytes(file.Size());
  if (!bytes.empty()) file.TFileHandler::Read(0, bytes.data(), bytes.size());
  return bytes;
}

}  // namespace quoldex::tables
