// Helpers for tests that run table work in separate processes: children
// forked from the test (each opens its own handles; nothing open in the
// parent is used by a child), a watchdog that kills children that do not
// finish, and line logs that survive a child's sudden death.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tables/base/engine_error.h"

namespace quoldex::tables::test {

// Exit statuses of a child: 0 when its work returned.
constexpr int kChildEngineError = 2;  // an EDbEngineError left the work
constexpr int kChildOtherError = 3;   // any other exception

// Forks a child that runs `work` and ends with _exit (no atexit handlers,
// no second flush of the parent's buffered output). The child must not use
// table handles the parent has open: their locks belong to the open file
// descriptions the two processes would share. Returns the child's pid.
inline pid_t ForkChild(const std::function<void()>& work) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid > 0) return pid;
  int status = 0;
  try {
    work();
  } catch (const EDbEngineError& e) {
    std::fprintf(stderr, "child %d: %s\n", getpid(), e.what());
    status = kChildEngineError;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "child %d: %s\n", getpid(), e.what());
    status = kChildOtherError;
  } catch (...) {
    status = kChildOtherError;
  }
  std::fflush(nullptr);
  _exit(status);
}

// Waits for every child until `timeout` has passed; children still running
// then are killed with SIGKILL and reaped. Returns the wait status of each
// child in the order given, and sets `timed_out` when any had to be killed.
inline std::vector<int> WaitForChildren(const std::vector<pid_t>& pids,
                                        std::chrono::milliseconds timeout, bool* timed_out) {
  std::vector<int> status(pids.size(), 0);
  std::vector<bool> done(pids.size(), false);
  size_t left = pids.size();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  *timed_out = false;
  while (left > 0) {
    for (size_t i = 0; i < pids.size(); ++i) {
      if (!done[i] && waitpid(pids[i], &status[i], WNOHANG) == pids[i]) {
        done[i] = true;
        --left;
      }
    }
    if (left == 0) break;
    if (std::chrono::steady_clock::now() > deadline) {
      *timed_out = true;
      for (size_t i = 0; i < pids.size(); ++i) {
        if (done[i]) continue;
        kill(pids[i], SIGKILL);
        waitpid(pids[i], &status[i], 0);
        done[i] = true;
      }
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status;
}

inline std::string DescribeStatus(int status) {
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

// An append-only log of lines, each handed to the kernel by one write()
// before Line returns, so a line is either wholly in the file or absent
// when the process is killed at any moment (a SIGKILL loses nothing the
// kernel already has). With `sync`, each line is also forced to the disk.
class LineLog {
 public:
  LineLog(const std::string& path, bool sync = false)
      : fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)), sync_(sync) {
    if (fd_ < 0) throw std::runtime_error("cannot open log " + path);
  }
  ~LineLog() { close(fd_); }
  LineLog(const LineLog&) = delete;
  LineLog& operator=(const LineLog&) = delete;

  void Line(const std::string& text) {
    std::string line = text + "\n";
    if (write(fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
      throw std::runtime_error("log write failed");
    }
    if (sync_ && fdatasync(fd_) != 0) throw std::runtime_error("log sync failed");
  }

 private:
  int fd_;
  bool sync_;
};

// The lines of a log, each split at blanks into words.
inline std::vector<std::vector<std::string>> ReadLogLines(const std::string& path) {
  std::vector<std::vector<std::string>> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::vector<std::string> split;
    for (std::string w; words >> w;) split.push_back(w);
    if (!split.empty()) lines.push_back(std::move(split));
  }
  return lines;
}

// A positive integer from the environment, or `fallback` when unset or
// not a number.
inline int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr) return fallback;
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && value > 0 && value < 100000000 ? static_cast<int>(value)
                                                                       : fallback;
}

}  // namespace quoldex::tables::test
