// fake_ucc: a stand-in for the game's command-line compiler, for tests that
// run the real process path. Copy it into a System folder as ucc.exe (or
// ucc-bin) and start it there.
//
//   make                                   rebuilds every package whose
//       compiled file was moved aside ("X.u.old" present, "X.u" absent) by
//       writing "X.u", and writes ucc.log (CR LF line ends) in its own
//       folder.
//   batchexport PACKAGE mesh uc FOLDER     reads PACKAGE, a text file of
//       "Class Parent" lines, and writes FOLDER/Class.uc for each (a class
//       may carry a relative folder: "Sub/Class Parent").
//
// Every run first writes its process id to fake_ucc.pid and appends a line
// "<current folder>\t<argument>..." to fake_ucc.calls, both in its folder.
// fake_ucc.conf in its folder, lines "key=value", changes its behaviour:
//   delay_ms=N   waits N ms before doing anything else (a slow compiler);
//   hang=1       then never finishes on its own (it ends after 10 minutes);
//   fail=1       writes a log saying it failed, no package, exits 1;
//   errors=1     writes a log with compiler errors, no package, exits 1.
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> ReadConfig(const fs::path& file) {
  std::map<std::string, std::string> config;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) config[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return config;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void WriteLog(const fs::path& folder, const std::vector<std::string>& lines) {
  std::ofstream log(folder / "ucc.log", std::ios::binary);
  for (const std::string& line : lines) log << line << "\r\n";
}

int Make(const fs::path& folder, const std::map<std::string, std::string>& config) {
  std::vector<std::string> packages;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (!EndsWith(name, ".u.old")) continue;
    const std::string package = name.substr(0, name.size() - 4);
    if (!fs::exists(folder / package)) packages.push_back(package);
  }
  std::vector<std::string> log = {"Analyzing..."};
  for (const std::string& package : packages) log.push_back("Compiling " + package);
  if (config.contains("fail")) {
    log.push_back("Failure - cannot write packages");
    WriteLog(folder, log);
    return 1;
  }
  if (config.contains("errors")) {
    for (const std::string& package : packages) {
      log.push_back("Error: " + package + "(3) : Error, Unexpected 'end of file'");
    }
    log.push_back("Compile aborted due to errors.");
    log.push_back("Failure - " + std::to_string(packages.size()) + " error(s), 0 warning(s)");
    WriteLog(folder, log);
    return 1;
  }
  for (const std::string& package : packages) {
    std::ofstream(folder / package, std::ios::binary) << "compiled " << package << "\n";
  }
  log.push_back("Success - 0 error(s), 0 warning(s)");
  WriteLog(folder, log);
  return 0;
}

int BatchExport(const std::vector<std::string>& args) {
  if (args.size() != 5 || args[2] != "mesh" || args[3] != "uc") {
    std::cerr << "fake_ucc: batchexport PACKAGE mesh uc FOLDER\n";
    return 2;
  }
  std::ifstream package(args[1]);
  if (!package) {
    std::cerr << "fake_ucc: cannot load package " << args[1] << "\n";
    return 1;
  }
  const fs::path target = args[4];
  std::string line;
  while (std::getline(package, line)) {
    std::istringstream fields(line);
    std::string class_path, parent;
    if (!(fields >> class_path >> parent)) continue;
    const fs::path file = target / (class_path + ".uc");
    fs::create_directories(file.parent_path());
    const std::string name = fs::path(class_path).filename().string();
    std::ofstream(file, std::ios::binary) << "//=====\r\n// " << name << ".\r\n//=====\r\nclass "
                                          << name << " extends " << parent << ";\r\n\r\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = fs::absolute(argv[0]).parent_path();
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::ofstream(folder / "fake_ucc.pid") << ::getpid() << "\n";
  {
    std::ofstream calls(folder / "fake_ucc.calls", std::ios::app);
    calls << fs::current_path().string();
    for (const std::string& arg : args) calls << '\t' << arg;
    calls << '\n';
  }
  const std::map<std::string, std::string> config = ReadConfig(folder / "fake_ucc.conf");
  if (auto delay = config.find("delay_ms"); delay != config.end()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(delay->second)));
  }
  if (config.contains("hang")) std::this_thread::sleep_for(std::chrono::minutes(10));
  if (args.size() == 1 && args[0] == "make") return Make(folder, config);
  if (!args.empty() && args[0] == "batchexport") return BatchExport(args);
  std::cerr << "fake_ucc: unknown command\n";
  return 2;
}
