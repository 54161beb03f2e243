// FakePlatform: a Platform for headless tests. Time is a fake tick counter
// that only Sleep, WaitForProgram and the test move; keys, programs and the
// shell are scripted and recorded. Files and folders are real (tests work
// in temporary folders), but a delete or rename can be scripted to fail.
// Local time is UTC, so date-time values do not depend on the machine.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/native_platform.h"
#include "platform/platform.h"

namespace quoldex::testing {

class FakePlatform : public platform::Platform {
 public:
  using Key = platform::Key;
  using ProgramHandle = platform::ProgramHandle;

  struct ShellCall {
    std::string verb;  // "open" or "print"
    std::string file;
    std::vector<std::string> parameters;
    uint32_t tick = 0;
  };
  struct ProgramStart {
    std::string program;
    std::vector<std::string> arguments;
    uint32_t tick = 0;
    ProgramHandle handle = 0;
  };
  // How every started program behaves.
  struct ProgramBehaviour {
    bool fails_to_start = false;
    uint32_t run_ms = 0;  // runs while TickCount() < start tick + run_ms
    int exit_status = 0;
    // Runs when the program starts: a fake compiler writes its files here.
    std::function<void(const ProgramStart&)> on_start;
  };

  FakePlatform();

  // --- The script -------------------------------------------------------------
  void SetKeyDown(Key key, bool down) { keys_[key].down = down; }
  // The key reads as down from the n-th query of it on (n >= 1).
  void PressKeyAfterQueries(Key key, int n) { keys_[key].down_from_query = n; }
  // The key reads as down once the tick counter has reached `tick`.
  void PressKeyAtTick(Key key, uint32_t tick) { keys_[key].down_from_tick = tick; }
  void SetTickCount(uint32_t tick) { tick_ = tick; }
  void AdvanceTicks(uint32_t ms);
  void SetExecutableDir(std::string dir) { executable_dir_ = std::move(dir); }
  void SetUserDataDir(std::string dir) { user_data_dir_ = std::move(dir); }
  void SetNow(text::TDateTime now) { now_ = now; }
  void SetProgramBehaviour(ProgramBehaviour behaviour) { behaviour_ = std::move(behaviour); }
  // FindCompiler answers with system_dir + "ucc.exe" and this problem
  // (empty unless set: the compiler can be started).
  void SetCompilerProblem(std::string problem) { compiler_problem_ = std::move(problem); }
  // What ShellOpen and ShellPrint report (true unless set).
  void SetShellResult(bool ok) { shell_result_ = ok; }
  void FailRemove(std::string path) { failing_removes_.insert(std::move(path)); }
  // Renames of `from` fail (a file held open by another program).
  void FailRename(std::string from) { failing_renames_.insert(std::move(from)); }
  void SetDirectoryUnwritable(std::string path) { unwritable_dirs_.insert(std::move(path)); }

  // --- What was done ----------------------------------------------------------
  int beeps() const { return beeps_; }
  const std::vector<uint32_t>& sleeps() const { return sleeps_; }
  const std::vector<ShellCall>& shell_calls() const { return shell_calls_; }
  const std::vector<ProgramStart>& program_starts() const { return program_starts_; }
  const std::vector<std::string>& created_dirs() const { return created_dirs_; }
  const std::vector<std::string>& removed_files() const { return removed_files_; }
  const std::vector<std::pair<std::string, std::string>>& renamed_files() const {
    return renamed_files_;
  }
  int key_queries(Key key) const;

  // --- platform::Platform -----------------------------------------------------
  bool IsKeyDown(Key key) override;
  void Beep() override { ++beeps_; }
  void Sleep(uint32_t ms) override;
  uint32_t TickCount() override { return tick_; }
  bool ShellOpen(const std::string& file, const std::vector<std::string>& parameters) override;
  bool ShellPrint(const std::string& file) override;
  std::optional<ProgramHandle> StartProgram(const std::string& program,
                                            const std::vector<std::string>& arguments) override;
  bool IsProgramRunning(ProgramHandle handle) override;
  int WaitForProgram(ProgramHandle handle) override;
  CompilerChoice FindCompiler(const std::string& system_dir) override {
    return {system_dir + "ucc.exe", compiler_problem_};
  }
  std::string ExecutableDir() override { return executable_dir_; }
  std::string UserDataDir() override { return user_data_dir_; }
  bool CreateDir(const std::string& path) override;
  bool FileExists(const std::string& path) override { return real_.FileExists(path); }
  bool DirectoryExists(const std::string& path) override { return real_.DirectoryExists(path); }
  std::string MatchFileName(const std::string& path) override { return real_.MatchFileName(path); }
  bool IsDirectoryWritable(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool RenameFile(const std::string& from, const std::string& to) override;
  text::TDateTime Now() override { return now_; }
  text::TDateTime UnixTimeToDateTime(int64_t unix_seconds) override;
  std::optional<int64_t> DateTimeToUnixTime(text::TDateTime value) override;

 private:
  struct KeyScript {
    bool down = false;
    std::optional<int> down_from_query;
    std::optional<uint32_t> down_from_tick;
    int queries = 0;
  };
  struct Running {
    uint32_t start_tick = 0;
    uint32_t run_ms = 0;
    int exit_status = 0;
  };

  platform::NativePlatform real_;
  std::map<Key, KeyScript> keys_;
  uint32_t tick_ = 1000;
  text::TDateTime now_;
  std::string executable_dir_;
  std::string user_data_dir_;
  ProgramBehaviour behaviour_;
  bool shell_result_ = true;
  std::string compiler_problem_;
  std::set<std::string> failing_removes_;
  std::set<std::string> failing_renames_;
  std::set<std::string> unwritable_dirs_;
  ProgramHandle next_handle_ = 1;
  std::map<ProgramHandle, Running> running_;

  int beeps_ = 0;
  std::vector<uint32_t> sleeps_;
  std::vector<ShellCall> shell_calls_;
  std::vector<ProgramStart> program_starts_;
  std::vector<std::string> created_dirs_;
  std::vector<std::string> removed_files_;
  std::vector<std::pair<std::string, std::string>> renamed_files_;
};

}  // namespace quoldex::testing
