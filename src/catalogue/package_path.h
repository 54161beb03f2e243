// The package of a script file, from the folder that holds it.
#pragma once

#include <string>
#include <string_view>

namespace quoldex::catalogue {

// A package is the folder that holds a "Classes" folder. Returns the last
// component before the last "/classes/" of `folder_path` (letters compared
// without regard to case), in lower case (A-Z only); "Unknown" when the
// path holds no "/classes/". Only the first 255 characters after each
// "/classes/" are looked at for another one.
//   /games/UT/Botpack/Classes/      -> "botpack"
//   /work/Classes/Mod/Classes/      -> "mod"
//   /scripts/                       -> "Unknown"
//   C:/Classes/                     -> "c:"
std::string PackageFromPath(std::string_view folder_path);

}  // namespace quoldex::catalogue
