#include <windows.h>

#include "platform/whole_file.h"
#include "text/wide_text.h"

namespace quoldex::platform {

using text::Utf8ToWide;
using text::WideToUtf8;

std::optional<std::string> ReadWholeFile(const std::string& path) {
  // Others may go on reading and writing the file while it is read, as a
  // POSIX system would let them.
  const HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;  // also a folder
  std::string text;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      CloseHandle(file);
      return std::nullopt;
    }
    if (got == 0) break;
    text.append(buffer, got);
  }
  CloseHandle(file);
  return text;
}

}  // namespace quoldex::platform
