// PosixPlatform: Platform on Linux and other POSIX systems.
//
// - Escape is the process-wide flag of interrupt_as_escape.h.
// - Programs are started with posix_spawnp from an argument vector, in a
//   process group of their own (an interrupt at the terminal does not reach
//   them), with standard input from /dev/null and standard output sent to
//   our standard error, so that a child never mixes its text into ours.
// - "open" of a document runs the desktop's opener (xdg-open); "print" runs
//   the system's print command (lp, else lpr).
// - The beep is the terminal bell on standard error when that is a terminal.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/interrupt_as_escape.h"
#include "platform/platform.h"

namespace quoldex::platform {

// --- How a program file runs here ---------------------------------------------

enum class ProgramKind {
  kNotRunnable,
  kNative,   // an executable file starting with an ELF header or "#!"
  kWindows,  // a file starting with "MZ": runs under wine
};

// Judges `path` by its first bytes and, for native programs, its execute
// permission. The content, not the name, decides: a script file that
// happens to carry execute permission (as on a Windows-formatted drive) is
// not a program.
ProgramKind ClassifyProgram(const std::string& path);

// True when `command` names a program that can be started: a path to a
// native executable, or a bare name found as an executable file in one of
// the folders of PATH.
bool CommandAvailable(const std::string& command);

// Commands the platform runs for the shell operations; the defaults suit a
// desktop Linux. Each is an argument vector to which the file is appended.
struct PosixShellCommands {
  std::vector<std::string> open = {"xdg-open"};
  // Tried in order until one can be started.
  std::vector<std::vector<std::string>> print = {{"lp"}, {"lpr"}};
  // The runner of Windows executables (the program and its arguments follow).
  std::vector<std::string> wine = {"wine"};
};

class PosixPlatform : public Platform {
 public:
  explicit PosixPlatform(PosixShellCommands commands = {});
  ~PosixPlatform() override;
  PosixPlatform(const PosixPlatform&) = delete;
  PosixPlatform& operator=(const PosixPlatform&) = delete;

  bool IsKeyDown(Key key) override;
  void Beep() override;
  void Sleep(uint32_t ms) override;
  uint32_t TickCount() override;

  bool ShellOpen(const std::string& file, const std::vector<std::string>& parameters) override;
  bool ShellPrint(const std::string& file) override;
  std::optional<ProgramHandle> StartProgram(const std::string& program,
                                            const std::vector<std::string>& arguments) override;
  bool IsProgramRunning(ProgramHandle handle) override;
  int WaitForProgram(ProgramHandle handle) override;
  // The native "ucc-bin" of the Linux releases first, then "ucc.exe": run
  // directly when it is a native executable, under the wine command when
  // it is a Windows program and that command is available. Names are
  // matched without regard to letter case.
  CompilerChoice FindCompiler(const std::string& system_dir) override;

  std::string ExecutableDir() override;
  std::string UserDataDir() override;
  bool CreateDir(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  std::string MatchFileName(const std::string& path) override;
  bool DirectoryExists(const std::string& path) override;
  bool IsDirectoryWritable(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool RenameFile(const std::string& from, const std::string& to) override;

  text::TDateTime Now() override;
  text::TDateTime UnixTimeToDateTime(int64_t unix_seconds) override;
  std::optional<int64_t> DateTimeToUnixTime(text::TDateTime value) override;

 private:
  struct Child {
    bool detached = false;           // started by ShellOpen/ShellPrint: nobody waits
    std::optional<int> exit_status;  // known once reaped
  };

  // The argument vector that runs `program`, or empty when it cannot run.
  std::vector<std::string> ProgramArgv(const std::string& program,
                                       const std::vector<std::string>& arguments) const;
  std::optional<pid_t> Spawn(const std::vector<std::string>& argv, bool detached);
  // Collects the exit status of children that have ended, without waiting,
  // and forgets detached ones.
  void ReapFinished();

  PosixShellCommands commands_;
  std::map<pid_t, Child> children_;
};

}  // namespace quoldex::platform
