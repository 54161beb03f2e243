// Test helpers: a temporary folder removed at the end of the test, and small
// file-system actions on paths inside it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "fakes/native_path.h"
#include "fakes/temp_dir.h"

namespace quoldex::search::testing {

class TempDir {
 public:
  TempDir() : path_(quoldex::testing::MakeTempFolder("quoldex-search-")) {}
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path, without a trailing separator.
  const std::string& path() const { return path_; }
  // `relative` (its folders separated by "/") inside the folder, written
  // with the system's separator as the file search writes paths.
  std::string Join(std::string_view relative) const {
    return quoldex::testing::NativePath(path_ + '/' + std::string(relative));
  }

 private:
  std::string path_;
};

// Writes `content` to `path`, creating its parent folders.
inline void WriteFile(const std::string& path, std::string_view content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline void MakeDir(const std::string& path) { std::filesystem::create_directories(path); }

// Sets the last-write time of `path` to `seconds` + `nanoseconds` after 1970.
inline void SetMtime(const std::string& path, time_t seconds, long nanoseconds = 0) {
#ifdef _WIN32
  // File times count 100 ns ticks from 1601-01-01, 11644473600 s before 1970.
  const uint64_t ticks = (static_cast<uint64_t>(seconds) + 11644473600ull) * 10000000ull +
                         static_cast<uint64_t>(nanoseconds) / 100;
  const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  HANDLE file = CreateFileW(quoldex::testing::Utf8Path(path).c_str(), FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  const bool set = SetFileTime(file, nullptr, &time, &time) != 0;
  CloseHandle(file);
  ASSERT_TRUE(set) << path;
#else
  const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
#endif
}

#ifndef _WIN32

// Sets TZ for the life of the object (and restores it), so local-time
// conversions are predictable.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = getenv("TZ")) old_ = old, had_ = true;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (had_)
      setenv("TZ", old_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::string old_;
  bool had_ = false;
};
#endif  // Windows takes its time zone from the system, not from TZ rules.

}  // namespace quoldex::search::testing
