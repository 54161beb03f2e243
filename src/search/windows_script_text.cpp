#include <windows.h>

#include "search/script_text.h"
#include "search/windows_find_data.h"
#include "text/wide_text.h"

namespace quoldex::search {
namespace {

HANDLE AsHandle(intptr_t file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

ScriptText::OpenResult ScriptText::Open(const std::string& path) {
  Close();
  const std::wstring wide = text::Utf8ToWide(path);
  // Others may keep reading, writing, renaming or deleting the script.
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
               ? OpenResult::kNotRegularFile
               : OpenResult::kCannotOpen;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)) {
    CloseHandle(file);
    return OpenResult::kNotRegularFile;  // a console, pipe or device
  }
  file_ = reinterpret_cast<intptr_t>(file);
  description_ = MakeFindData({}, info.dwFileAttributes, info.nFileSizeHigh, info.nFileSizeLow,
                              info.ftLastWriteTime);
  return Start(description_.size);
}

ssize_t ScriptText::ReadSome(char* out, size_t size) {
  const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!ReadFile(AsHandle(file_), out, want, &got, nullptr)) return -1;
  return static_cast<ssize_t>(got);
}

bool ScriptText::SeekTo(uint64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(AsHandle(file_), to, nullptr, FILE_BEGIN) != 0;
}

void ScriptText::CloseFile() { CloseHandle(AsHandle(file_)); }

}  // namespace quoldex::search
