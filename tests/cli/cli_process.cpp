#include "cli/cli_process.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quoldex::cli {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr const char* kProgramName = "quoldex-cli.exe";
#else
constexpr const char* kProgramName = "quoldex-cli";
#endif

CliCopy::CliCopy() : program_(folder_.Path(kProgramName)) {
  fs::copy_file(QUOLDEX_CLI_PATH, testing::Utf8Path(program_));
}

std::string ReadOutput(const std::string& path) {
  std::ifstream in(testing::Utf8Path(path), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteTree(const std::string& root,
               const std::vector<std::pair<std::string, std::string>>& files) {
  for (const auto& [name, content] : files) {
    const fs::path path = testing::Utf8Path(root) / testing::Utf8Path(name);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path.string());
  }
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace quoldex::cli
