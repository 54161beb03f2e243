#include "fakes/fake_platform.h"

#include <cmath>

namespace quoldex::testing {

FakePlatform::FakePlatform() : now_(text::EncodeDateTime({2026, 12, 8, 12, 0, 0, 0})) {}

void FakePlatform::AdvanceTicks(uint32_t ms) {
  tick_ += ms;
  now_ += ms / 86'400'000.0;
}

int FakePlatform::key_queries(Key key) const {
  auto it = keys_.find(key);
  return it == keys_.end() ? 0 : it->second.queries;
}

bool FakePlatform::IsKeyDown(Key key) {
  KeyScript& k = keys_[key];
  ++k.queries;
  if (k.down_from_query && k.queries >= *k.down_from_query) k.down = true;
  if (k.down_from_tick && tick_ >= *k.down_from_tick) k.down = true;
  return k.down;
}

void FakePlatform::Sleep(uint32_t ms) {
  sleeps_.push_back(ms);
  AdvanceTicks(ms);
}

bool FakePlatform::ShellOpen(const std::string& file, const std::vector<std::string>& parameters) {
  shell_calls_.push_back({"open", file, parameters, tick_});
  return shell_result_;
}

bool FakePlatform::ShellPrint(const std::string& file) {
  shell_calls_.push_back({"print", file, {}, tick_});
  return shell_result_;
}

std::optional<platform::ProgramHandle> FakePlatform::StartProgram(
    const std::string& program, const std::vector<std::string>& arguments) {
  if (behaviour_.fails_to_start) {
    program_starts_.push_back({program, arguments, tick_, 0});
    return std::nullopt;
  }
  const ProgramHandle handle = next_handle_++;
  program_starts_.push_back({program, arguments, tick_, handle});
  running_[handle] = {tick_, behaviour_.run_ms, behaviour_.exit_status};
  if (behaviour_.on_start) behaviour_.on_start(program_starts_.back());
  return handle;
}

bool FakePlatform::IsProgramRunning(ProgramHandle handle) {
  auto it = running_.find(handle);
  return it != running_.end() && tick_ - it->second.start_tick < it->second.run_ms;
}

int FakePlatform::WaitForProgram(ProgramHandle handle) {
  auto it = running_.find(handle);
  if (it == running_.end()) return -1;
  const uint32_t elapsed = tick_ - it->second.start_tick;
  if (elapsed < it->second.run_ms) AdvanceTicks(it->second.run_ms - elapsed);
  const int status = it->second.exit_status;
  running_.erase(it);
  return status;
}

bool FakePlatform::CreateDir(const std::string& path) {
  created_dirs_.push_back(path);
  return real_.CreateDir(path);
}

bool FakePlatform::IsDirectoryWritable(const std::string& path) {
  return !unwritable_dirs_.contains(path) && real_.IsDirectoryWritable(path);
}

bool FakePlatform::RemoveFile(const std::string& path) {
  removed_files_.push_back(path);
  return !failing_removes_.contains(path) && real_.RemoveFile(path);
}

bool FakePlatform::RenameFile(const std::string& from, const std::string& to) {
  renamed_files_.emplace_back(from, to);
  return !failing_renames_.contains(from) && real_.RenameFile(from, to);
}

text::TDateTime FakePlatform::UnixTimeToDateTime(int64_t unix_seconds) {
  return text::kUnixEpochDateTime + static_cast<double>(unix_seconds) / 86400.0;
}

std::optional<int64_t> FakePlatform::DateTimeToUnixTime(text::TDateTime value) {
  const text::DateTimeParts p = text::DecodeDateTime(value);
  const auto day = std::llround(text::EncodeDateTime({p.year, p.month, p.day, 0, 0, 0, 0}));
  return (day - static_cast<int64_t>(text::kUnixEpochDateTime)) * 86400 + p.hour * 3600 +
         p.minute * 60 + p.second;
}

}  // namespace quoldex::testing
