#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "cli/cli_process.h"

namespace quoldex::cli {
namespace {

// In the child: redirects `fd` to `path` (created afresh).
void RedirectTo(int fd, const std::string& path) {
  int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (file < 0 || ::dup2(file, fd) < 0) ::_exit(126);
  ::close(file);
}

// In the child: runs `program` with `args` in `cwd`.
[[noreturn]] void Exec(const std::string& program, const std::vector<std::string>& args,
                       const std::string& cwd) {
  if (::chdir(cwd.c_str()) != 0) ::_exit(126);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  ::_exit(127);
}

}  // namespace

CliResult CliCopy::Run(const std::vector<std::string>& args, const std::string& cwd) const {
  const std::string out_file = folder_.Path("stdout.txt");
  const std::string err_file = folder_.Path("stderr.txt");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    RedirectTo(STDOUT_FILENO, out_file);
    RedirectTo(STDERR_FILENO, err_file);
    Exec(program_, args, cwd.empty() ? folder_.path() : cwd);
  }
  CliResult result;
  result.status = WaitFor(pid);
  result.out = ReadOutput(out_file);
  result.err = ReadOutput(err_file);
  return result;
}

pid_t CliCopy::Start(const std::vector<std::string>& args, const std::string& out_file,
                     int& err_fd) const {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::close(pipe_fds[0]);
    RedirectTo(STDOUT_FILENO, out_file);
    if (::dup2(pipe_fds[1], STDERR_FILENO) < 0) ::_exit(126);
    Exec(program_, args, folder_.path());
  }
  ::close(pipe_fds[1]);
  err_fd = pipe_fds[0];
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) throw std::runtime_error("waitpid failed");
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

std::string InterruptWhenSeen(pid_t pid, int err_fd, const std::string& marker) {
  std::string err;
  char buffer[4096];
  while (err.find(marker) == std::string::npos) {
    const ssize_t n = ::read(err_fd, buffer, sizeof buffer);
    if (n <= 0) {
      ::close(err_fd);
      return {};
    }
    err.append(buffer, static_cast<size_t>(n));
  }
  ::kill(pid, SIGINT);
  for (ssize_t n; (n = ::read(err_fd, buffer, sizeof buffer)) > 0;) {
    err.append(buffer, static_cast<size_t>(n));
  }
  ::close(err_fd);
  return err;
}

}  // namespace quoldex::cli
