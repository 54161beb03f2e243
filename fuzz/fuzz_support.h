// What the fuzz targets share: a scratch folder of their own, files written
// whole, and a small catalogue whose objects table holds a few classes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tables/cursor/table_cursor.h"

namespace quoldex::fuzz {

// A folder (ending in '/') for this process alone, on a memory file system
// when there is one, made on first use and removed with its contents when
// the process exits normally.
const std::string& ScratchDir();

// Replaces `path` with exactly `bytes`; aborts when it cannot be written
// (a fuzz run on a broken scratch folder tells nothing).
void WriteWholeFile(const std::string& path, std::string_view bytes);
std::string ReadWholeFile(const std::string& path);

// Settings for a handle on `table` in `directory` that gives up a refused
// lock at once instead of waiting.
tables::TableSettings QuickSettings(const std::string& directory, const std::string& table);

// Creates the catalogue's five tables in `directory` (ending in '/') and
// fills objects.dat with a small inheritance tree of classes over three
// packages (one class with an accented name and no package, one whose name
// holds a "*" and ends in a blank), and one class deleted again so that the
// deleted chain is used.
void CreateSmallCatalogue(const std::string& directory);

// Calls `f`; an engine error (EDatabaseError and its kinds) is an answer the
// input may deserve and is swallowed, anything else escapes.
template <typename F>
void IgnoringEngineErrors(F&& f);

}  // namespace quoldex::fuzz

#include "tables/base/engine_error.h"

template <typename F>
void quoldex::fuzz::IgnoringEngineErrors(F&& f) {
  try {
    f();
  } catch (const tables::EDatabaseError&) {
  }
}
