#include <windows.h>

#include <functional>
#include <string>

#include "data/table_creation_lock.h"
#include "text/wide_text.h"

namespace quoldex::data {
namespace {

// The mutex name of a folder: its full path in lower case (Windows names
// are caseless), backslashes made slashes, which mutex names may not hold.
// A path too long for a name is replaced by its hash.
std::wstring MutexName(const std::string& folder) {
  const std::wstring wide = text::Utf8ToWide(folder);
  wchar_t full[32768];
  const DWORD n = GetFullPathNameW(wide.c_str(), 32768, full, nullptr);
  std::wstring path = n > 0 && n < 32768 ? std::wstring(full, n) : wide;
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  CharLowerBuffW(path.data(), static_cast<DWORD>(path.size()));
  for (wchar_t& c : path) {
    if (c == L'\\') c = L'/';
  }
  if (path.size() > 200) path = std::to_wstring(std::hash<std::wstring>{}(path));
  return L"Local\\Quoldex tables " + path;
}

}  // namespace

TableCreationLock::TableCreationLock(const std::string& folder) {
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, MutexName(folder).c_str());
  if (mutex == nullptr) return;
  // An owner that ended without releasing leaves the mutex abandoned: it is
  // then ours, as a lock released by a process's end would be.
  const DWORD waited = WaitForSingleObject(mutex, INFINITE);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return;
  }
  lock_ = reinterpret_cast<intptr_t>(mutex);
  held_ = true;
}

TableCreationLock::~TableCreationLock() {
  if (!held_) return;
  const HANDLE mutex = reinterpret_cast<HANDLE>(lock_);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

}  // namespace quoldex::data
