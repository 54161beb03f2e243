#include "platform/windows_platform.h"

#include <windows.h>
// Shell headers after windows.h, which they need.
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string_view>

#include "text/wide_text.h"

namespace quoldex::platform {

using text::Utf8ToWide;
using text::WideToUtf8;
namespace {

// Windows' FILETIME ticks (100 ns since 1601-01-01 UTC) of 1970-01-01.
constexpr int64_t kUnixEpochTicks = 116444736000000000LL;
constexpr int64_t kTicksPerSecond = 10000000LL;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; }

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

DWORD AttributesOf(const std::string& path) {
  if (path.empty()) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesW(Utf8ToWide(path).c_str());
}

// True when the file starts with "MZ", the mark of a Windows program.
bool IsWindowsProgram(const std::wstring& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char head[2] = {};
  DWORD got = 0;
  const bool read = ReadFile(file, head, sizeof head, &got, nullptr) != 0;
  CloseHandle(file);
  return read && got == 2 && head[0] == 'M' && head[1] == 'Z';
}

// True when the window in front belongs to this process or is its console.
bool OwnWindowInFront() {
  const HWND front = GetForegroundWindow();
  if (front == nullptr) return false;
  if (front == GetConsoleWindow()) return true;
  DWORD owner = 0;
  GetWindowThreadProcessId(front, &owner);
  return owner == GetCurrentProcessId();
}

text::TDateTime FromSystemTime(const SYSTEMTIME& t) {
  return text::EncodeDateTime(
      {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds});
}

std::wstring ParametersText(const std::vector<std::string>& parameters) {
  std::vector<std::wstring> wide;
  for (const std::string& p : parameters) wide.push_back(Utf8ToWide(p));
  // The shell takes the parameters without the program: drop the leading
  // empty program name and its blank.
  std::wstring text = BuildCommandLine(L"", wide);
  return text.size() >= 3 ? text.substr(3) : std::wstring();
}

}  // namespace

std::wstring BuildCommandLine(const std::wstring& program,
                              const std::vector<std::wstring>& arguments) {
  std::wstring line;
  auto append = [&line](const std::wstring& arg) {
    if (!line.empty()) line += L' ';
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
      line += arg;
      return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (const wchar_t c : arg) {
      if (c == L'\\') {
        ++backslashes;
        continue;
      }
      // Backslashes are literal unless a quote follows them.
      line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, L'\\');  // the closing quote follows
    line += L'"';
  };
  // A program name is never escaped: it cannot hold a quote.
  line = L"\"" + program + L"\"";
  for (const std::wstring& arg : arguments) append(arg);
  return line;
}

WindowsPlatform::~WindowsPlatform() {
  for (const auto& child : children_) CloseHandle(child.second);
}

bool WindowsPlatform::IsKeyDown(Key key) {
  if (key != Key::kEscape) return false;
  if (IsEscapeDown()) return true;
  return (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0 && OwnWindowInFront();
}

void WindowsPlatform::Beep() { MessageBeep(MB_OK); }

void WindowsPlatform::Sleep(uint32_t ms) { ::Sleep(ms); }

uint32_t WindowsPlatform::TickCount() { return GetTickCount(); }

bool WindowsPlatform::ShellOpen(const std::string& file,
                                const std::vector<std::string>& parameters) {
  const std::wstring params = ParametersText(parameters);
  const HINSTANCE result =
      ShellExecuteW(nullptr, L"open", Utf8ToWide(file).c_str(),
                    params.empty() ? nullptr : params.c_str(), nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

bool WindowsPlatform::ShellPrint(const std::string& file) {
  const HINSTANCE result =
      ShellExecuteW(nullptr, L"print", Utf8ToWide(file).c_str(), nullptr, nullptr, SW_HIDE);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

std::optional<ProgramHandle> WindowsPlatform::StartProgram(
    const std::string& program, const std::vector<std::string>& arguments) {
  if (program.empty()) return std::nullopt;
  const std::wstring wide_program = Utf8ToWide(program);
  std::vector<std::wstring> wide_arguments;
  for (const std::string& a : arguments) wide_arguments.push_back(Utf8ToWide(a));
  std::wstring command_line = BuildCommandLine(wide_program, wide_arguments);

  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inheritable, OPEN_EXISTING, 0, nullptr);
  HANDLE err = INVALID_HANDLE_VALUE;
  const HANDLE own_err = GetStdHandle(STD_ERROR_HANDLE);
  if (own_err != nullptr && own_err != INVALID_HANDLE_VALUE) {
    DuplicateHandle(GetCurrentProcess(), own_err, GetCurrentProcess(), &err, 0, TRUE,
                    DUPLICATE_SAME_ACCESS);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = err;
  startup.hStdError = err;
  PROCESS_INFORMATION info{};
  // A program name with a folder is run as given; a bare one is looked up
  // in the current folder, then the system's folders and PATH.
  const bool started =
      CreateProcessW(
          wide_program.find_first_of(L"\\/") == std::wstring::npos ? nullptr : wide_program.c_str(),
          command_line.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP, nullptr, nullptr,
          &startup, &info) != 0;
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
  if (!started) return std::nullopt;
  CloseHandle(info.hThread);
  const ProgramHandle handle = info.dwProcessId;
  children_[handle] = info.hProcess;
  return handle;
}

bool WindowsPlatform::IsProgramRunning(ProgramHandle handle) {
  const auto it = children_.find(handle);
  return it != children_.end() && WaitForSingleObject(it->second, 0) == WAIT_TIMEOUT;
}

int WindowsPlatform::WaitForProgram(ProgramHandle handle) {
  const auto it = children_.find(handle);
  if (it == children_.end()) return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(it->second, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(it->second, &code)) {
    code = static_cast<DWORD>(-1);
  }
  CloseHandle(it->second);
  children_.erase(it);
  return static_cast<int>(code);
}

Platform::CompilerChoice WindowsPlatform::FindCompiler(const std::string& system_dir) {
  const std::string program = MatchFileName(system_dir + "ucc.exe");
  if (!FileExists(program)) return {program, "ucc.exe is not in the folder"};
  if (!IsWindowsProgram(Utf8ToWide(program))) {
    return {program, "it is not a program this system can run"};
  }
  return {program, {}};
}

std::string WindowsPlatform::ExecutableDir() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::string() : WideToUtf8(path.substr(0, slash + 1));
}

std::string WindowsPlatform::UserDataDir() {
  std::wstring base;
  PWSTR known = nullptr;
  if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known) == S_OK) base = known;
  CoTaskMemFree(known);
  if (base.empty()) {
    const wchar_t* env = _wgetenv(L"LOCALAPPDATA");
    if (env != nullptr) base = env;
  }
  if (base.empty()) return {};
  if (!IsSeparator(base.back())) base += L'\\';
  return WideToUtf8(base) + "Quoldex\\";
}

bool WindowsPlatform::CreateDir(const std::string& path) {
  return !path.empty() && CreateDirectoryW(Utf8ToWide(path).c_str(), nullptr) != 0;
}

bool WindowsPlatform::FileExists(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string WindowsPlatform::MatchFileName(const std::string& path) {
  if (path.empty()) return path;
  const std::wstring wide = Utf8ToWide(path);
  const size_t slash = wide.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"" : wide.substr(0, slash + 1);
  const std::wstring_view name = std::wstring_view(wide).substr(slash + 1);
  if (name.empty() || name.find_first_of(L"*?") != std::wstring_view::npos) return path;
  WIN32_FIND_DATAW found;
  // The system finds the entry without regard to letter case and tells how
  // the folder spells it (the file exists whatever the case asked for, but
  // a rename or a new file beside it takes the spelling it is given).
  HANDLE find =
      FindFirstFileExW(wide.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (find != INVALID_HANDLE_VALUE) {
    FindClose(find);
    return WideToUtf8(folder + found.cFileName);
  }
  // A folder whose names tell letter case apart (possible since Windows
  // 10) needs the look-up by hand.
  find = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                          nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return path;
  std::string match = path;
  do {
    if (EqualIgnoringCase(found.cFileName, name)) {
      match = WideToUtf8(folder + found.cFileName);
      break;
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return match;
}

bool WindowsPlatform::DirectoryExists(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WindowsPlatform::IsDirectoryWritable(const std::string& path) {
  if (!DirectoryExists(path)) return false;
  // Access lists decide, and only trying tells: a file of our own that goes
  // again when its handle closes.
  std::wstring probe = Utf8ToWide(path);
  if (!IsSeparator(probe.back())) probe += L'\\';
  probe += L"quoldex-write-test-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool WindowsPlatform::RemoveFile(const std::string& path) {
  return !path.empty() && DeleteFileW(Utf8ToWide(path).c_str()) != 0;
}

bool WindowsPlatform::RenameFile(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) return false;
  // Without MOVEFILE_REPLACE_EXISTING an existing `to` is never replaced.
  return MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(), 0) != 0;
}

text::TDateTime WindowsPlatform::Now() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return FromSystemTime(now);
}

text::TDateTime WindowsPlatform::UnixTimeToDateTime(int64_t unix_seconds) {
  const text::TDateTime fallback =
      text::kUnixEpochDateTime + static_cast<double>(unix_seconds) / 86400.0;
  if (unix_seconds < -kUnixEpochTicks / kTicksPerSecond ||
      unix_seconds > (INT64_MAX - kUnixEpochTicks) / kTicksPerSecond) {
    return fallback;
  }
  const uint64_t ticks = static_cast<uint64_t>(unix_seconds * kTicksPerSecond + kUnixEpochTicks);
  const FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc_parts, local;
  if (!FileTimeToSystemTime(&utc, &utc_parts) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc_parts, &local)) {
    return fallback;
  }
  return FromSystemTime(local);
}

std::optional<int64_t> WindowsPlatform::DateTimeToUnixTime(text::TDateTime value) {
  const text::DateTimeParts p = text::DecodeDateTime(value);
  if (p.year < 1601 || p.year > 30827) return std::nullopt;
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(p.year);
  local.wMonth = static_cast<WORD>(p.month);
  local.wDay = static_cast<WORD>(p.day);
  local.wHour = static_cast<WORD>(p.hour);
  local.wMinute = static_cast<WORD>(p.minute);
  local.wSecond = static_cast<WORD>(p.second);
  SYSTEMTIME utc_parts;
  FILETIME utc;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc_parts) ||
      !SystemTimeToFileTime(&utc_parts, &utc)) {
    return std::nullopt;
  }
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime);
  const int64_t since_epoch = ticks - kUnixEpochTicks;
  // Whole seconds, rounded down also before 1970.
  return since_epoch >= 0 ? since_epoch / kTicksPerSecond
                          : -((-since_epoch + kTicksPerSecond - 1) / kTicksPerSecond);
}

}  // namespace quoldex::platform
