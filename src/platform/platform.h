// Platform: everything the program asks of the operating system beyond the
// table engine and directory walking. The models (main window, tree, tools,
// grep) hold a Platform& and never call the operating system themselves, so
// that tests drive them with a scripted fake and each operating system gets
// one implementation (PosixPlatform today).
//
// Paths are native (separator "/" on POSIX) and are bytes as the operating
// system gives them. Arguments of programs are always argument vectors: no
// call here ever builds or parses a shell command line.
//
// Not thread-safe: every call comes from the one user-interface thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "text/date_time.h"

namespace quoldex::platform {

enum class Key {
  kEscape,
};

// Identifies a program started by StartProgram for as long as the Platform
// that started it lives.
using ProgramHandle = int64_t;

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Input and feedback ---------------------------------------------------

  // True while `key` is held down (polled by long operations to cancel).
  virtual bool IsKeyDown(Key key) = 0;
  // The system's default beep.
  virtual void Beep() = 0;
  // Blocks the calling thread for `ms` milliseconds.
  virtual void Sleep(uint32_t ms) = 0;
  // Milliseconds since an arbitrary start, never decreasing except when it
  // wraps around at 2^32 (callers use unsigned 32-bit arithmetic).
  virtual uint32_t TickCount() = 0;

  // --- Shell and programs ---------------------------------------------------

  // The shell's "open" of `file`: a program file (a native executable, or a
  // Windows executable that can run here) is started with `parameters`; any
  // other file is handed to the desktop's handler for its type, and
  // `parameters` are not used. Does not wait. True when the program or the
  // handler could be started; what the handler then does is not reported.
  virtual bool ShellOpen(const std::string& file, const std::vector<std::string>& parameters) = 0;
  // The shell's "print" of `file`: hands it to the system's print command.
  // Does not wait. True when the print command could be started.
  virtual bool ShellPrint(const std::string& file) = 0;
  // Starts `program` with `arguments` (its argv[1..]) in the current folder
  // and returns at once. A native executable runs directly; a Windows
  // executable runs under wine when wine is installed. Empty when the
  // program could not be started.
  virtual std::optional<ProgramHandle> StartProgram(const std::string& program,
                                                    const std::vector<std::string>& arguments) = 0;
  // True while the program started as `handle` has not ended; false for a
  // handle this Platform does not know (or no longer knows, see below).
  virtual bool IsProgramRunning(ProgramHandle handle) = 0;
  // Waits until the program ends and returns its exit status (128 + the
  // signal number when a signal ended it). The handle is then forgotten.
  // -1 for an unknown handle.
  virtual int WaitForProgram(ProgramHandle handle) = 0;

  // The game's compiler of the System folder `system_dir` (ending in the
  // separator), as StartProgram would run it: `program` is its full path
  // and `problem` is empty when it can be started here. Otherwise
  // `problem` says why not (none there, not executable, no runner for a
  // Windows program) and `program` names the file looked for last.
  struct CompilerChoice {
    std::string program;
    std::string problem;
  };
  virtual CompilerChoice FindCompiler(const std::string& system_dir) = 0;

  // --- Folders and files ----------------------------------------------------

  // Folder of the running executable, ending in the separator. Does not
  // depend on the current folder. Empty when it cannot be found.
  virtual std::string ExecutableDir() = 0;
  // Per-user folder for the program's data, ending in the separator, for
  // when the executable's folder cannot be written. Not created here.
  virtual std::string UserDataDir() = 0;
  // Creates one directory (its parent must exist). False when it could not
  // be created, also when it exists already.
  virtual bool CreateDir(const std::string& path) = 0;
  // True when `path` names an existing file that is not a directory.
  virtual bool FileExists(const std::string& path) = 0;
  // `path` with its last component spelt as an existing entry of its folder
  // spells it: `path` itself when that entry exists exactly so, else the
  // first entry whose name equals it without regard to letter case (A-Z
  // only), else `path` unchanged. File names are matched so on every
  // system, whether its file system tells letter case apart or not.
  virtual std::string MatchFileName(const std::string& path) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  // True when files can be created in the existing directory `path`.
  virtual bool IsDirectoryWritable(const std::string& path) = 0;
  // Removes a file; false when it could not be removed. (Not "DeleteFile":
  // that name is a macro on Windows.)
  virtual bool RemoveFile(const std::string& path) = 0;
  // Renames a file. Never replaces an existing `to`: false then, as when the
  // rename fails for any other reason.
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;

  // --- Local time -------------------------------------------------------------

  // The current local date and time.
  virtual text::TDateTime Now() = 0;
  // A file time (seconds since 1970-01-01 UTC, as the file system stores
  // it) as a local date-time.
  virtual text::TDateTime UnixTimeToDateTime(int64_t unix_seconds) = 0;
  // The inverse: the UTC seconds of a local date-time (whole seconds,
  // rounded down). Empty when the value cannot be represented.
  virtual std::optional<int64_t> DateTimeToUnixTime(text::TDateTime value) = 0;
};

}  // namespace quoldex::platform
