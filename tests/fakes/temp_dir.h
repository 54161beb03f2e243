// TempDir: a fresh folder under the system's temporary folder, removed with
// everything in it when the object goes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quoldex::testing {

// The path `utf8` names, whatever the system's code page (names beyond it
// reach Windows only as wide characters).
inline std::filesystem::path Utf8Path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Creates a folder of a fresh name, `prefix` and a number, under the
// system's temporary folder and returns its path (no trailing separator).
// Throws std::runtime_error when none can be created.
std::string MakeTempFolder(std::string_view prefix);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, ending in the separator ("/", on Windows "\\").
  const std::string& path() const { return path_; }
  // path() + name.
  std::string Path(const std::string& name) const { return path_ + name; }
  // Writes `bytes` to path() + name and returns that path.
  std::string Write(const std::string& name, const std::string& bytes) const;
  // The whole content of path() + name; empty when it cannot be read.
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace quoldex::testing
