#include "fakes/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "text/path_separator.h"

namespace quoldex::testing {

std::string MakeTempFolder(std::string_view prefix) {
  // A name nobody has: creating the folder fails when it exists.
  static std::mt19937_64 names{std::random_device{}()};
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder =
        base / (std::string(prefix) + std::to_string(names() % 1000000007));
    std::error_code error;
    if (std::filesystem::create_directory(folder, error)) return folder.string();
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::TempDir() : path_(MakeTempFolder("quoldex-") + text::kPathSeparator) {}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
  const std::string file = Path(name);
  std::ofstream out(Utf8Path(file), std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + file);
  return file;
}

std::string TempDir::Read(const std::string& name) const {
  std::ifstream in(Utf8Path(Path(name)), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace quoldex::testing
