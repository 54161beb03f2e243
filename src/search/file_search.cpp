#include "search/file_search.h"

#include <algorithm>
#include <utility>

#include "search/file_mask.h"
#include "text/western.h"

namespace quoldex::search {

TFileSearch::TFileSearch() {
  SetRecurseDirs(true);
  SetAttributes(kFaAll);
  SetFindString("");
  SetFirstTime(0.0);
  SetLastTime(2147483647.0);
  SetMinFileSize(0);
  SetMaxFileSize(2147483647);
  SetFileMask("");
}

std::string TFileSearch::FileMask() const {
  std::string value;
  for (size_t i = 0; i < mask_list_.size(); ++i) {
    if (i > 0) value += ';';
    value += mask_list_[i];
  }
  return value;
}

void TFileSearch::SetFileMask(std::string_view value) { mask_list_ = ParseFileMask(value); }

void TFileSearch::SetFindString(std::string_view value) {
  if (value == find_string_) return;
  find_string_ = value;
  PrepareSearcher(find_string_);
}

void TFileSearch::PrepareSearcher(std::string_view pattern) {
  if (searcher_.Pattern() != pattern) searcher_.SetPattern(pattern);
}

bool TFileSearch::MatchesMask(std::string_view name) const {
  if (name.empty()) return true;
  const std::string lower = text::LowerCase(name);
  return std::any_of(mask_list_.begin(), mask_list_.end(),
                     [&](const std::string& mask) { return MatchMask(lower, mask); });
}

bool TFileSearch::PassesTests(const std::string& dir, bool regular, const FindData& data,
                              ScriptText& text, const OpenText& open_text, bool& cancel) {
  const int64_t low_size = static_cast<uint32_t>(data.size);
  if (low_size < min_file_size_ || low_size > max_file_size_) return false;
  if (data.last_write_time < first_time_ || data.last_write_time > last_time_) return false;
  if ((data.attributes & excluded_attributes_) != 0) return false;
  if (!regular) ++non_regular_files_;
  if (find_string_.empty()) return regular;
  if (on_scan_file_) on_scan_file_(dir + data.name, cancel);
  if (!regular) return false;
  PrepareSearcher(find_string_);  // a PosInFile may have run in between
  if (!text.IsOpen() && open_text(text) != ScriptText::OpenResult::kOpened) return false;
  return scanner_.FirstMatch(text, searcher_) > 0;
}

void TFileSearch::SwapReversedBounds() {
  if (LastTime() < FirstTime()) std::swap(first_time_, last_time_);
  if (max_file_size_ < min_file_size_) std::swap(min_file_size_, max_file_size_);
}

int64_t TFileSearch::PosInFile(const std::string& file_name, std::string_view text) {
  if (file_name.empty() || text.empty()) return 0;
  PrepareSearcher(text);
  int64_t position = 0;
  ScriptText script;
  if (script.Open(file_name) == ScriptText::OpenResult::kOpened)
    position = scanner_.FirstMatch(script, searcher_);
  return position;
}

}  // namespace quoldex::search
