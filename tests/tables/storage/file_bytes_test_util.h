// Reading what the engine's storage holds, for tests of the engine's files:
// the bytes of a file the test holds open, the names in a folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tables/storage/file_handler.h"
#include "tables/storage/storage.h"

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

// Every name `storage` lists in `folder`, in its order; a failed listing
// fails the test and gives the names listed before it.
inline std::vector<std::string> ListedNames(Storage& storage, const std::string& folder) {
  std::vector<std::string> names;
  EXPECT_EQ(storage.ListFolder(folder,
                               [&](std::string_view name) {
                                 names.emplace_back(name);
                                 return true;
                               }),
            0)
      << folder;
  return names;
}

}  // namespace quoldex::tables
