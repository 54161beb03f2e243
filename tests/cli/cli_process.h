// Running quoldex-cli as a user would: a fresh copy of the built program in
// a folder of its own (so the Data folder beside it starts absent), run as
// a child process with its standard output and error captured. Running it
// is the system's part (cli_process_posix.cpp, cli_process_windows.cpp).
#pragma once

#ifndef _WIN32
#include <sys/types.h>
#endif

#include <string>
#include <vector>

#include "fakes/native_path.h"
#include "fakes/temp_dir.h"

namespace quoldex::cli {

using testing::NativePath;

struct CliResult {
  int status = -1;  // exit status; 128 + signal when a signal ended it
  std::string out;
  std::string err;
};

class CliCopy {
 public:
  // Copies the built program into a new temporary folder.
  CliCopy();

  const std::string& Program() const { return program_; }
  // The Data folder beside the copy, ending in the separator.
  std::string DataFolder() const { return folder_.Path(NativePath("Data/")); }
  // Runs the copy with `args` in `cwd` (the copy's folder when empty) and
  // waits for it.
  CliResult Run(const std::vector<std::string>& args, const std::string& cwd = "") const;
#ifndef _WIN32
  // Starts the copy with `args`, its standard error going into a pipe
  // whose read end is returned in `err_fd` and its standard output into
  // `out_file`. Returns the child's process id.
  pid_t Start(const std::vector<std::string>& args, const std::string& out_file, int& err_fd) const;
#endif

 private:
  testing::TempDir folder_;
  std::string program_;
};

#ifndef _WIN32
// Ctrl+C sent to a running program: SIGINT on POSIX systems. (On Windows
// it reaches a program through a console shared with the sender; that form
// is not written yet.)

// Waits for `pid`; its exit status as CliResult::status gives it.
int WaitFor(pid_t pid);

// Reads the standard error of a child started by CliCopy::Start until it
// holds `marker`, sends the child SIGINT (Ctrl+C), reads on to the end,
// closes `err_fd` and returns all that was read. A child that keeps writing
// to an unread pipe stands still, so the interrupt arrives mid-run. Empty
// (and no interrupt) when the pipe ends before the marker shows.
std::string InterruptWhenSeen(pid_t pid, int err_fd, const std::string& marker);
#endif

// The whole content of the file `path`; empty when it cannot be read.
std::string ReadOutput(const std::string& path);

// Writes `files` (path relative to `root` -> content) below `root`,
// creating folders as needed.
void WriteTree(const std::string& root,
               const std::vector<std::pair<std::string, std::string>>& files);

// The lines of `text` (without their line feeds).
std::vector<std::string> Lines(const std::string& text);

}  // namespace quoldex::cli
