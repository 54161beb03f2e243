// WindowsPlatform: Platform on Windows, through the wide-character Windows
// API (paths are UTF-8 inside the program and UTF-16 at each call).
//
// - Escape is held down while GetAsyncKeyState reports it and one of this
//   process's windows (or its console) is in front, or while the flag of
//   interrupt_as_escape.h is set (Ctrl+C in the command-line front end).
// - "open" and "print" are the shell's verbs (ShellExecuteW), so the user's
//   file associations decide what opens or prints a document.
// - The compiler is started with CreateProcessW, in a process group of its
//   own (Ctrl+C at the console does not reach it), with standard input from
//   NUL and standard output sent to our standard error; the process handle
//   tells when it ends. The handle, not a top-level window titled "ucc", is
//   the signal: it is the compiler this instance started (a window would
//   as well be another instance's compile or the user's own), it exists
//   when the compiler has no window (started from a console program it
//   shares that console), and it gives the exit status.
// - The per-user data folder is %LOCALAPPDATA%\Quoldex\.
// - File names are compared without regard to letter case, as Windows does.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/interrupt_as_escape.h"
#include "platform/platform.h"

namespace quoldex::platform {

// The command line that hands `arguments` to a program whose C library
// splits its command line the usual way (CommandLineToArgvW's rules):
// `program` first, each element separated by a blank, quoted when it is
// empty or holds a blank, tab or quote, with quotes and the backslashes
// before them escaped.
std::wstring BuildCommandLine(const std::wstring& program,
                              const std::vector<std::wstring>& arguments);

class WindowsPlatform : public Platform {
 public:
  WindowsPlatform() = default;
  ~WindowsPlatform() override;
  WindowsPlatform(const WindowsPlatform&) = delete;
  WindowsPlatform& operator=(const WindowsPlatform&) = delete;

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
  // "ucc.exe" of the folder (any letter case), when it is a Windows program.
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
  // Process handles (HANDLE) of the programs started and not yet waited
  // for, by process id.
  std::map<ProgramHandle, void*> children_;
};

}  // namespace quoldex::platform
