// Runs one command and measures it, for bench/app_scan_compare.sh.
//
// Usage: app_measure_tool COMMAND [ARGS...]
//
// The command's standard output and error are discarded. Prints one line,
// "SECONDS PEAK_KB STATUS": the wall time, the peak resident set size of
// the command's process (getrusage of the child, in kilobytes) and its exit
// status (128 + the signal when a signal ended it). Exits with that status.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s COMMAND [ARGS...]\n", argv[0]);
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0 || dup2(null, STDERR_FILENO) < 0) _exit(126);
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return 2;
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  const int code = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  std::printf("%.6f %ld %d\n", elapsed.count(), usage.ru_maxrss, code);
  return code;
}
