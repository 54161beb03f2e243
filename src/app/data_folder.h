// Where the catalogue's tables live.
#pragma once

#include <string>

#include "platform/platform.h"

namespace quoldex::app {

// The data folder, ending in the separator: the executable's folder +
// "Data/", whatever the current folder. When that folder cannot be written
// and holds no "Data/" yet (a system-wide installation), or the
// executable's folder is unknown, the per-user data folder + "Data/"
// instead; the per-user folder and its missing parents are created then
// (failures are left for the table creation to report). With neither
// folder known, "Data/" in the current folder is the last resort.
std::string ChooseDataFolder(platform::Platform& platform);

// Creates `folder` and each of its missing parents. Raises ECommandError
// "Cannot create the data folder <folder>." when it does not exist
// afterwards (a parent is a file, or may not be written).
void CreateDataFolder(platform::Platform& platform, const std::string& folder);

// `folder` ending in exactly one separator ("" stays "").
std::string WithSeparator(std::string folder);

}  // namespace quoldex::app
