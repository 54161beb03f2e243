#include "fakes/fake_compiler.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quoldex::testing {

namespace fs = std::filesystem;

std::string InstallFakeUcc(const std::string& folder, const std::string& name) {
  const std::string path = folder + name;
  fs::copy_file(QUOLDEX_FAKE_UCC, path, fs::copy_options::overwrite_existing);
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  return path;
}

void ConfigureFakeUcc(const std::string& folder, const std::string& lines) {
  std::ofstream(folder + "fake_ucc.conf") << lines;
}

pid_t FakeUccPid(const std::string& folder) {
  std::ifstream in(folder + "fake_ucc.pid");
  pid_t pid = -1;
  in >> pid;
  return in ? pid : -1;
}

std::string FakeUccCalls(const std::string& folder) {
  std::ifstream in(folder + "fake_ucc.calls");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace quoldex::testing
