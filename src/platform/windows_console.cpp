#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "platform/console.h"
#include "text/wide_text.h"

namespace quoldex::platform {
namespace {

UINT g_previous_output_code_page = 0;

void RestoreCodePage() {
  if (g_previous_output_code_page != 0) SetConsoleOutputCP(g_previous_output_code_page);
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(text::WideToUtf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

void PrepareConsole() {
  // Text mode would make every "\n" a "\r\n": the output is the same bytes
  // as on other systems, which every console shows alike.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  const UINT previous = GetConsoleOutputCP();
  if (previous != 0 && previous != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
    g_previous_output_code_page = previous;
    std::atexit(RestoreCodePage);
  }
}

}  // namespace quoldex::platform
