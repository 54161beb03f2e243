#include "platform/posix_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern char** environ;

namespace quoldex::platform {
namespace {

int StatusFromWait(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// The environment's regional settings for dates are the plain C ones when
// no locale is configured: then the text is ISO 8601, not "%m/%d/%y".
bool StatOf(const std::string& path, struct stat& st) {
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// Why `path`, an existing file, cannot run as a program here; empty when it
// can (a Windows program counts as runnable when `wine_available`).
std::string ProgramProblem(const std::string& path, bool wine_available) {
  switch (ClassifyProgram(path)) {
    case ProgramKind::kNative:
      return {};
    case ProgramKind::kWindows:
      return wine_available ? std::string() : "it is a Windows program and wine is not installed";
    case ProgramKind::kNotRunnable:
      break;
  }
  return ::access(path.c_str(), X_OK) == 0 ? "it is not a program this system can run"
                                           : "it is not executable";
}

}  // namespace

bool CommandAvailable(const std::string& command) {
  if (command.empty()) return false;
  if (command.find('/') != std::string::npos) {
    return ClassifyProgram(command) == ProgramKind::kNative;
  }
  const char* path = std::getenv("PATH");
  std::string_view folders = path != nullptr ? path : "";
  while (!folders.empty()) {
    const size_t colon = folders.find(':');
    const std::string_view folder = folders.substr(0, colon);
    folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    // An empty entry of PATH is the current folder.
    std::string candidate(folder.empty() ? std::string_view(".") : folder);
    candidate.append("/").append(command);
    struct stat st {};
    if (StatOf(candidate, st) && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
      return true;
    }
  }
  return false;
}

ProgramKind ClassifyProgram(const std::string& path) {
  struct stat st {};
  if (!StatOf(path, st) || !S_ISREG(st.st_mode)) return ProgramKind::kNotRunnable;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ProgramKind::kNotRunnable;
  char head[4] = {};
  ssize_t n;
  do n = ::read(fd, head, sizeof head);
  while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n >= 2 && head[0] == 'M' && head[1] == 'Z') return ProgramKind::kWindows;
  const bool elf = n == 4 && std::memcmp(head,
                                         "\x7f"
                                         "ELF",
                                         4) == 0;
  const bool script = n >= 2 && head[0] == '#' && head[1] == '!';
  if ((elf || script) && ::access(path.c_str(), X_OK) == 0) return ProgramKind::kNative;
  return ProgramKind::kNotRunnable;
}

PosixPlatform::PosixPlatform(PosixShellCommands commands) : commands_(std::move(commands)) {}

PosixPlatform::~PosixPlatform() { ReapFinished(); }

bool PosixPlatform::IsKeyDown(Key key) { return key == Key::kEscape && IsEscapeDown(); }

void PosixPlatform::Beep() {
  if (::isatty(STDERR_FILENO)) {
    ssize_t ignored = ::write(STDERR_FILENO, "\a", 1);
    (void)ignored;
  }
}

void PosixPlatform::Sleep(uint32_t ms) {
  struct timespec until {};
  clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += ms / 1000;
  until.tv_nsec += static_cast<long>(ms % 1000) * 1'000'000L;
  if (until.tv_nsec >= 1'000'000'000L) {
    until.tv_sec += 1;
    until.tv_nsec -= 1'000'000'000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

uint32_t PosixPlatform::TickCount() {
  struct timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1'000'000u;
  return static_cast<uint32_t>(ms);
}

std::vector<std::string> PosixPlatform::ProgramArgv(
    const std::string& program, const std::vector<std::string>& arguments) const {
  std::vector<std::string> argv;
  // A bare name is a command to be found in PATH when it is started.
  const ProgramKind kind = program.find('/') == std::string::npos && !program.empty()
                               ? ProgramKind::kNative
                               : ClassifyProgram(program);
  if (kind == ProgramKind::kNotRunnable) return argv;
  if (kind == ProgramKind::kWindows) {
    if (commands_.wine.empty()) return argv;
    argv = commands_.wine;
  }
  argv.push_back(program);
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return argv;
}

std::optional<pid_t> PosixPlatform::Spawn(const std::vector<std::string>& argv, bool detached) {
  ReapFinished();
  if (argv.empty()) return std::nullopt;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int sig : {SIGINT, SIGQUIT, SIGTERM, SIGPIPE}) sigaddset(&defaults, sig);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return std::nullopt;
  children_[pid] = Child{detached, std::nullopt};
  return pid;
}

void PosixPlatform::ReapFinished() {
  for (auto it = children_.begin(); it != children_.end();) {
    Child& child = it->second;
    if (!child.exit_status) {
      int status = 0;
      pid_t r = ::waitpid(it->first, &status, WNOHANG);
      if (r == it->first)
        child.exit_status = StatusFromWait(status);
      else if (r < 0 && errno == ECHILD)
        child.exit_status = -1;  // reaped elsewhere
    }
    if (child.exit_status && child.detached)
      it = children_.erase(it);
    else
      ++it;
  }
}

bool PosixPlatform::ShellOpen(const std::string& file, const std::vector<std::string>& parameters) {
  if (ClassifyProgram(file) != ProgramKind::kNotRunnable) {
    // A program in the current folder must not be looked up in PATH.
    const std::string path = file.find('/') == std::string::npos ? "./" + file : file;
    return Spawn(ProgramArgv(path, parameters), true).has_value();
  }
  if (commands_.open.empty()) return false;
  std::vector<std::string> argv = commands_.open;
  argv.push_back(file);
  return Spawn(argv, true).has_value();
}

bool PosixPlatform::ShellPrint(const std::string& file) {
  for (const std::vector<std::string>& command : commands_.print) {
    if (command.empty()) continue;
    std::vector<std::string> argv = command;
    argv.push_back(file);
    if (Spawn(argv, true)) return true;
  }
  return false;
}

std::optional<ProgramHandle> PosixPlatform::StartProgram(
    const std::string& program, const std::vector<std::string>& arguments) {
  std::optional<pid_t> pid = Spawn(ProgramArgv(program, arguments), false);
  if (!pid) return std::nullopt;
  return static_cast<ProgramHandle>(*pid);
}

bool PosixPlatform::IsProgramRunning(ProgramHandle handle) {
  auto it = children_.find(static_cast<pid_t>(handle));
  if (it == children_.end() || it->second.detached) return false;
  if (!it->second.exit_status) {
    int status = 0;
    pid_t r = ::waitpid(it->first, &status, WNOHANG);
    if (r == 0) return true;
    it->second.exit_status = r == it->first ? StatusFromWait(status) : -1;
  }
  return false;
}

int PosixPlatform::WaitForProgram(ProgramHandle handle) {
  auto it = children_.find(static_cast<pid_t>(handle));
  if (it == children_.end() || it->second.detached) return -1;
  if (!it->second.exit_status) {
    int status = 0;
    pid_t r;
    do r = ::waitpid(it->first, &status, 0);
    while (r < 0 && errno == EINTR);
    it->second.exit_status = r == it->first ? StatusFromWait(status) : -1;
  }
  const int result = *it->second.exit_status;
  children_.erase(it);
  return result;
}

Platform::CompilerChoice PosixPlatform::FindCompiler(const std::string& system_dir) {
  const std::string native = MatchFileName(system_dir + "ucc-bin");
  if (FileExists(native) && ClassifyProgram(native) == ProgramKind::kNative) return {native, {}};
  const std::string program = MatchFileName(system_dir + "ucc.exe");
  if (!FileExists(program)) {
    return {program, "neither ucc-bin nor ucc.exe is in the folder"};
  }
  const bool wine_available = !commands_.wine.empty() && CommandAvailable(commands_.wine[0]);
  return {program, ProgramProblem(program, wine_available)};
}

std::string PosixPlatform::ExecutableDir() {
  std::string path(256, '\0');
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < path.size()) {
      path.resize(static_cast<size_t>(n));
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string PosixPlatform::UserDataDir() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/quoldex/";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/quoldex/";
  return {};
}

bool PosixPlatform::CreateDir(const std::string& path) {
  return !path.empty() && ::mkdir(path.c_str(), 0777) == 0;
}

bool PosixPlatform::FileExists(const std::string& path) {
  struct stat st {};
  return StatOf(path, st) && !S_ISDIR(st.st_mode);
}

std::string PosixPlatform::MatchFileName(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) == 0) return path;
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const std::string_view name = std::string_view(path).substr(slash + 1);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return path;
  std::string match = path;
  while (const struct dirent* entry = ::readdir(dir)) {
    if (EqualIgnoringCase(entry->d_name, name)) {
      match.assign(path, 0, slash + 1).append(entry->d_name);
      break;
    }
  }
  ::closedir(dir);
  return match;
}

bool PosixPlatform::DirectoryExists(const std::string& path) {
  struct stat st {};
  return StatOf(path, st) && S_ISDIR(st.st_mode);
}

bool PosixPlatform::IsDirectoryWritable(const std::string& path) {
  return DirectoryExists(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool PosixPlatform::RemoveFile(const std::string& path) {
  return !path.empty() && ::unlink(path.c_str()) == 0;
}

bool PosixPlatform::RenameFile(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) return false;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  // The file system cannot refuse a replacement itself.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

text::TDateTime PosixPlatform::Now() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  text::TDateTime value = UnixTimeToDateTime(now.tv_sec);
  const double ms = static_cast<double>(now.tv_nsec / 1'000'000) / 86'400'000.0;
  return value >= 0 ? value + ms : value - ms;
}

text::TDateTime PosixPlatform::UnixTimeToDateTime(int64_t unix_seconds) {
  const time_t t = static_cast<time_t>(unix_seconds);
  struct tm local {};
  if (localtime_r(&t, &local) == nullptr) return text::kUnixEpochDateTime + unix_seconds / 86400.0;
  return text::EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                               local.tm_min, local.tm_sec, 0});
}

std::optional<int64_t> PosixPlatform::DateTimeToUnixTime(text::TDateTime value) {
  const text::DateTimeParts p = text::DecodeDateTime(value);
  struct tm local {};
  local.tm_year = p.year - 1900;
  local.tm_mon = p.month - 1;
  local.tm_mday = p.day;
  local.tm_hour = p.hour;
  local.tm_min = p.minute;
  local.tm_sec = p.second;
  local.tm_isdst = -1;
  const time_t t = mktime(&local);
  if (t == static_cast<time_t>(-1)) {
    // -1 is also 1969-12-31 23:59:59 UTC: accept it only when it round-trips.
    struct tm check {};
    const time_t minus_one = -1;
    if (localtime_r(&minus_one, &check) == nullptr || check.tm_year != p.year - 1900 ||
        check.tm_mon != p.month - 1 || check.tm_mday != p.day || check.tm_hour != p.hour ||
        check.tm_min != p.minute || check.tm_sec != p.second)
      return std::nullopt;
  }
  return static_cast<int64_t>(t);
}

}  // namespace quoldex::platform
