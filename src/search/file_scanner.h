// FileScanner: searches the text of an open script with a prepared
// TTISearch, reading it into one buffer that is reused from file to file.
//
// A text that fits in one chunk costs a single read and no copy beyond it.
// Longer texts are read chunk by chunk, each chunk searched together with the
// last (pattern length - 1) bytes of the one before, so matches across chunk
// boundaries are found and memory stays bounded whatever the file's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "search/script_text.h"
#include "search/ti_search.h"

namespace quoldex::search {

class FileScanner {
 public:
  static constexpr size_t kDefaultChunkSize = size_t{8} << 20;

  explicit FileScanner(size_t chunk_size = kDefaultChunkSize) : chunk_size_(chunk_size) {}

  // The 1-based byte position, within what is left of `text`, of the first
  // match of `searcher`'s pattern, or 0 when there is none or a read fails.
  // `searcher` is left holding the results of the last chunk searched.
  int64_t FirstMatch(ScriptText& text, TTISearch& searcher);

 private:
  size_t chunk_size_;
  std::unique_ptr<char[]> buffer_;
  size_t capacity_ = 0;
};

}  // namespace quoldex::search
