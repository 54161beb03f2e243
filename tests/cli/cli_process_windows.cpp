#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "platform/windows_platform.h"

namespace quoldex::cli {
namespace {

std::wstring Wide(const std::string& utf8) { return testing::Utf8Path(utf8).wstring(); }

// A handle on `path` (created afresh) that a child process inherits. Shared
// for writing too: a console helper of the last run may hold it a moment
// longer than the child itself.
HANDLE InheritableFile(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE file =
      CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw std::runtime_error("cannot create " + path + " (error " + std::to_string(GetLastError()) +
                             ")");
  }
  return file;
}

// `text` with each CR LF line end written as LF: the program's text output
// ends lines the Windows way, and the tests compare lines.
std::string LineFeeds(std::string text) {
  size_t kept = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    text[kept++] = text[i];
  }
  text.resize(kept);
  return text;
}

}  // namespace

CliResult CliCopy::Run(const std::vector<std::string>& args, const std::string& cwd) const {
  // Each run writes files of its own.
  static int runs = 0;
  ++runs;
  const std::string out_file = folder_.Path("stdout" + std::to_string(runs) + ".txt");
  const std::string err_file = folder_.Path("stderr" + std::to_string(runs) + ".txt");
  std::vector<std::wstring> wide_args;
  for (const std::string& arg : args) wide_args.push_back(Wide(arg));
  std::wstring command_line = platform::BuildCommandLine(Wide(program_), wide_args);

  const HANDLE out = InheritableFile(out_file);
  const HANDLE err = InheritableFile(err_file);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION info{};
  const std::wstring folder = Wide(cwd.empty() ? folder_.path() : cwd);
  const bool started =
      CreateProcessW(Wide(program_).c_str(), command_line.data(), nullptr, nullptr, TRUE,
                     CREATE_NO_WINDOW, nullptr, folder.c_str(), &startup, &info) != 0;
  CloseHandle(out);
  CloseHandle(err);
  if (!started) throw std::runtime_error("cannot start " + program_);
  CloseHandle(info.hThread);
  DWORD code = static_cast<DWORD>(-1);
  WaitForSingleObject(info.hProcess, INFINITE);
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);

  CliResult result;
  result.status = static_cast<int>(code);
  result.out = LineFeeds(ReadOutput(out_file));
  result.err = LineFeeds(ReadOutput(err_file));
  return result;
}

}  // namespace quoldex::cli
