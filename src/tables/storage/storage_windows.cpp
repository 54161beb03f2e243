// The storage of Windows: files through handles opened with the sharing
// modes the engine asks for (the system refuses a conflicting open itself),
// byte-range locks with LockFileEx, read-only views with MapViewOfFile.
// Paths are UTF-8 inside the engine and UTF-16 at each call.
#include <windows.h>
// windows.h defines Yield as a macro, which would rename Storage::Yield.
#undef Yield

#include <algorithm>
#include <vector>

#include "tables/storage/storage.h"
#include "text/wide_text.h"

namespace quoldex::tables {
namespace {

using text::Utf8ToWide;
using text::WideToUtf8;

// The system's error as the engine's errno-style number.
int ErrorNumber(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
      return EACCES;
    case ERROR_SHARING_VIOLATION:
      return kShareConflict;
    case ERROR_LOCK_VIOLATION:
    case ERROR_LOCK_FAILED:
      return kLockHeld;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_LOCKED:
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    default:
      return EIO;
  }
}

int LastError() { return ErrorNumber(GetLastError()); }

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// The most one ReadFile or WriteFile call moves.
constexpr size_t kMaxTransfer = size_t{1} << 30;

// True when `file` lies on another machine, where a mapping would not show
// the writes of other machines' processes.
bool IsRemote(HANDLE file) {
  wchar_t path[MAX_PATH + 16];
  const DWORD n = GetFinalPathNameByHandleW(file, path, MAX_PATH + 16, FILE_NAME_NORMALIZED);
  if (n == 0 || n >= MAX_PATH + 16) return true;  // cannot tell: do not map
  return std::wstring_view(path, n).starts_with(L"\\\\?\\UNC\\");
}

struct View {
  View(HANDLE section, const void* data) : section(section), data(data) {}
  ~View() {
    UnmapViewOfFile(data);
    CloseHandle(section);
  }
  View(const View&) = delete;
  View& operator=(const View&) = delete;
  HANDLE section;
  const void* data;
};

class WindowsFile final : public StorageFile {
 public:
  WindowsFile(HANDLE handle, bool read_only) : handle_(handle), read_only_(read_only) {}
  ~WindowsFile() override { CloseHandle(handle_); }  // releases this handle's locks
  WindowsFile(const WindowsFile&) = delete;
  WindowsFile& operator=(const WindowsFile&) = delete;

  IoResult Read(uint64_t offset, void* buffer, size_t count) override {
    IoResult result;
    auto* p = static_cast<char*>(buffer);
    while (result.bytes < count) {
      OVERLAPPED at = At(offset + result.bytes);
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min(count - result.bytes, kMaxTransfer));
      if (!ReadFile(handle_, p + result.bytes, want, &got, &at)) {
        const DWORD error = GetLastError();
        if (error != ERROR_HANDLE_EOF) result.error = ErrorNumber(error);
        break;
      }
      if (got == 0) break;
      result.bytes += got;
    }
    return result;
  }

  IoResult Write(uint64_t offset, const void* buffer, size_t count) override {
    IoResult result;
    if (read_only_) return {EBADF, 0};
    auto* p = static_cast<const char*>(buffer);
    while (result.bytes < count) {
      OVERLAPPED at = At(offset + result.bytes);
      DWORD put = 0;
      const DWORD want = static_cast<DWORD>(std::min(count - result.bytes, kMaxTransfer));
      if (!WriteFile(handle_, p + result.bytes, want, &put, &at)) {
        result.error = LastError();
        break;
      }
      if (put == 0) {
        result.error = ENOSPC;
        break;
      }
      result.bytes += put;
    }
    return result;
  }

  int Size(uint64_t* size) override {
    LARGE_INTEGER value;
    if (!GetFileSizeEx(handle_, &value)) return LastError();
    *size = static_cast<uint64_t>(value.QuadPart);
    return 0;
  }

  int SetEndOfFile(uint64_t size) override {
    if (read_only_) return EBADF;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return SetFileInformationByHandle(handle_, FileEndOfFileInfo, &end, sizeof end) ? 0
                                                                                    : LastError();
  }

  int Flush() override {
    if (read_only_) return 0;  // nothing written through this handle
    return FlushFileBuffers(handle_) ? 0 : LastError();
  }

  // The system's locks are taken and released only as whole ranges, and
  // one handle's exclusive lock excludes that handle too. This handle's
  // locks are therefore kept in a list: a range it holds already is
  // converted by releasing and taking it again, and an unlock of part of a
  // range takes the parts on either side again. Neither happens atomically;
  // the engine's lock protocol never asks for either. A range inside one
  // this handle holds at least as strongly is held already: the system
  // would refuse it (its own exclusive lock excluding it), so nothing is
  // taken, and an unlock of it releases the enclosing lock's part there.
  int Lock(uint64_t offset, uint64_t length, bool exclusive) override {
    if (length == 0) return 0;
    for (size_t i = 0; i < held_.size(); ++i) {
      const Held& h = held_[i];
      if (h.offset == offset && h.length == length) {
        if (h.exclusive == exclusive) return 0;
        if (int err = Release(i)) return err;
        break;
      }
      const bool inside = h.offset <= offset && offset + length <= h.offset + h.length;
      if (inside && (h.exclusive || !exclusive)) return 0;
    }
    if (int err = Take(offset, length, exclusive)) return err;
    held_.push_back({offset, length, exclusive});
    return 0;
  }

  int Unlock(uint64_t offset, uint64_t length) override {
    const uint64_t end = offset + length;
    std::vector<Held> keep;
    for (size_t i = held_.size(); i-- > 0;) {
      const Held h = held_[i];
      if (h.offset >= end || h.offset + h.length <= offset) continue;
      if (int err = Release(i)) return err;
      if (h.offset < offset) keep.push_back({h.offset, offset - h.offset, h.exclusive});
      if (h.offset + h.length > end) keep.push_back({end, h.offset + h.length - end, h.exclusive});
    }
    for (const Held& k : keep) {
      if (int err = Lock(k.offset, k.length, k.exclusive)) return err;
    }
    return 0;
  }

  FileView MapForReading(uint64_t length) override {
    uint64_t size = 0;
    if (length == 0 || Size(&size) != 0 || size < length || IsRemote(handle_)) return {};
    const HANDLE section = CreateFileMappingW(handle_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (section == nullptr) return {};
    // Only the length asked for is mapped: the file cannot be cut shorter
    // than a view while the view lives.
    const void* data = MapViewOfFile(section, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(length));
    if (data == nullptr) {
      CloseHandle(section);
      return {};
    }
    auto view = std::make_shared<const View>(section, data);
    return FileView(std::move(view), static_cast<const uint8_t*>(data), length);
  }

 private:
  struct Held {
    uint64_t offset;
    uint64_t length;
    bool exclusive;
  };

  int Take(uint64_t offset, uint64_t length, bool exclusive) {
    OVERLAPPED at = At(offset);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (LockFileEx(handle_, flags, 0, static_cast<DWORD>(length), static_cast<DWORD>(length >> 32),
                   &at)) {
      return 0;
    }
    return LastError();
  }

  int Release(size_t i) {
    const Held h = held_[i];
    OVERLAPPED at = At(h.offset);
    if (!UnlockFileEx(handle_, 0, static_cast<DWORD>(h.length), static_cast<DWORD>(h.length >> 32),
                      &at)) {
      return LastError();
    }
    held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(i));
    return 0;
  }

  HANDLE handle_;
  bool read_only_;
  std::vector<Held> held_;
};

// Shared handles let one another read, write, rename and delete; an
// exclusive one lets nobody else open the file to read or write it. Both
// allow a rename or delete, which POSIX systems never refuse either.
DWORD ShareModeOf(FileSharing sharing) {
  return sharing == FileSharing::kShared ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                                         : FILE_SHARE_DELETE;
}

DWORD AttributesOf(const std::string& path) { return GetFileAttributesW(Utf8ToWide(path).c_str()); }

bool IsDirectory(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class WindowsStorage final : public Storage {
 public:
  int Open(const std::string& path, const OpenOptions& options,
           std::unique_ptr<StorageFile>* file) override {
    const bool read_only = options.access == FileAccess::kRead;
    const HANDLE handle = CreateFileW(
        Utf8ToWide(path).c_str(), read_only ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
        ShareModeOf(options.sharing), nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | (options.write_through ? FILE_FLAG_WRITE_THROUGH : 0), nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const int err = LastError();
      return err == EACCES && IsDirectory(path) ? EISDIR : err;
    }
    *file = std::make_unique<WindowsFile>(handle, read_only);
    return 0;
  }

  int Create(const std::string& path, bool write_through,
             std::unique_ptr<StorageFile>* file) override {
    const HANDLE handle =
        CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                    ShareModeOf(FileSharing::kExclusive), nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | (write_through ? FILE_FLAG_WRITE_THROUGH : 0), nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const int err = LastError();
      return err == EACCES && IsDirectory(path) ? EISDIR : err;
    }
    auto created = std::make_unique<WindowsFile>(handle, false);
    uint64_t size = 0;
    if (int err = created->Size(&size); err != 0) return err;
    if (size != 0) {
      if (int err = created->SetEndOfFile(0); err != 0) return err;
    }
    *file = std::move(created);
    return 0;
  }

  int Facts(const std::string& path, FileFacts* facts) override {
    const DWORD attributes = AttributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
    facts->is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts->read_only_attribute = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    return 0;
  }

  bool Exists(const std::string& path) override {
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  // Windows keeps the name of a deleted file that a handle has open until
  // the last handle closes, so a file of that name could not be made
  // again. The file is therefore moved aside first (its handles keep it)
  // and deleted under the other name; when that fails (a read-only file)
  // it gets its name back.
  int Delete(const std::string& path) override {
    const std::wstring wide = Utf8ToWide(path);
    const std::wstring aside = wide + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                               std::to_wstring(GetTickCount64()) + L".del";
    if (!MoveFileExW(wide.c_str(), aside.c_str(), 0)) {
      return DeleteFileW(wide.c_str()) ? 0 : LastError();
    }
    if (DeleteFileW(aside.c_str())) return 0;
    const int err = LastError();
    MoveFileExW(aside.c_str(), wide.c_str(), 0);
    return err;
  }

  // Windows refuses to replace a file that is open, even when every handle
  // lets it be deleted. Such a file is first moved aside (its handles keep
  // it) and deleted once `from` has its name; for that moment `to` does not
  // exist.
  int Rename(const std::string& from, const std::string& to) override {
    const std::wstring wide_from = Utf8ToWide(from);
    const std::wstring wide_to = Utf8ToWide(to);
    if (MoveFileExW(wide_from.c_str(), wide_to.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return 0;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) {
      return ErrorNumber(error);
    }
    const DWORD attributes = GetFileAttributesW(wide_to.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return ErrorNumber(error);
    }
    const std::wstring aside = wide_to + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
                               std::to_wstring(GetTickCount64()) + L".old";
    if (!MoveFileExW(wide_to.c_str(), aside.c_str(), 0)) return ErrorNumber(error);
    if (!MoveFileExW(wide_from.c_str(), wide_to.c_str(), MOVEFILE_WRITE_THROUGH)) {
      const int err = LastError();
      MoveFileExW(aside.c_str(), wide_to.c_str(), 0);  // the old file back in its place
      return err;
    }
    DeleteFileW(aside.c_str());  // gone once the last handle of it closes
    return 0;
  }

  // A rename is written through to the disk before it returns (above); the
  // folder needs no flush of its own.
  int FlushFolder(const std::string&) override { return 0; }

  int ListFolder(const std::string& folder,
                 const std::function<bool(std::string_view name)>& each) override {
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileExW(Utf8ToWide(folder + "*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_NOT_FOUND) return ErrorNumber(error);
      return 0;  // a folder with no entries at all
    }
    do {
      const std::wstring_view name = found.cFileName;
      if (name != L"." && name != L".." && !each(WideToUtf8(name))) break;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return 0;
  }

  // The system finds a name without regard to letter case and tells how
  // the folder spells it. A folder whose names tell case apart (possible
  // since Windows 10) finds only the exact spelling: the look-up by listing
  // then does the rest.
  std::string MatchFileName(const std::string& folder, const std::string& name) override {
    if (name.empty() || name.find_first_of("*?") != std::string::npos) return folder + name;
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileExW(Utf8ToWide(folder + name).c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return Storage::MatchFileName(folder, name);
    FindClose(find);
    return folder + WideToUtf8(found.cFileName);
  }

  std::string TemporaryFolder() override {
    wchar_t path[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, path);
    std::string folder = n == 0 || n > MAX_PATH ? std::string(".\\") : WideToUtf8({path, n});
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder;
  }

  uint64_t CurrentThreadId() override { return GetCurrentThreadId(); }

  void Yield() override { SwitchToThread(); }

  void Sleep(int milliseconds) override { ::Sleep(static_cast<DWORD>(std::max(milliseconds, 0))); }

  // The performance counter rather than the tick count, whose steps of
  // 10 to 16 ms make short waits read as no time at all.
  int64_t MonotonicMs() override {
    static const int64_t frequency = [] {
      LARGE_INTEGER f;
      QueryPerformanceFrequency(&f);
      return static_cast<int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const int64_t ticks = now.QuadPart;
    return ticks / frequency * 1000 + ticks % frequency * 1000 / frequency;
  }

  text::DateTimeParts LocalNow() override {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
  }

  std::optional<std::string> Environment(const std::string& name) override {
    const wchar_t* value = _wgetenv(Utf8ToWide(name).c_str());
    if (value == nullptr) return std::nullopt;
    return WideToUtf8(value);
  }

  // The user's short date and long time formats of the Regional settings.
  std::string RegionalDateTimeText(const text::DateTimeParts& moment, bool with_time) override {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(moment.year);
    t.wMonth = static_cast<WORD>(moment.month);
    t.wDay = static_cast<WORD>(moment.day);
    t.wHour = static_cast<WORD>(moment.hour);
    t.wMinute = static_cast<WORD>(moment.minute);
    t.wSecond = static_cast<WORD>(moment.second);
    wchar_t buffer[128];
    int n = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, buffer, 128,
                            nullptr);
    std::string text = n > 0 ? WideToUtf8({buffer, static_cast<size_t>(n - 1)}) : std::string();
    if (with_time) {
      n = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &t, nullptr, buffer, 128);
      text += ' ';
      if (n > 0) text += WideToUtf8({buffer, static_cast<size_t>(n - 1)});
    }
    return text;
  }
};

}  // namespace

Storage& PlatformStorage() {
  static auto* storage = new WindowsStorage;
  return *storage;
}

}  // namespace quoldex::tables
