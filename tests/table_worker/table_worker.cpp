// table_worker: table work in a process of its own, started by the
// multi-process tests through Platform::StartProgram, so that the same tests
// run wherever the program does (no fork). Every command works on the
// objects table of the data folder FOLDER (ending in the separator):
//
//   table_worker insert FOLDER TAG COUNT
//       appends COUNT rows named TAG-0 .. TAG-<COUNT-1>, each in its own post
//   table_worker hold-exclusive FOLDER READY RELEASE
//   table_worker hold-record FOLDER READY RELEASE
//       opens the table exclusively, or opens it shared and edits its first
//       record (holding that record's lock); then writes the file READY and
//       waits until the file RELEASE exists (60 s at most) before closing
//   table_worker try-open FOLDER OUT
//       opens the table shared, and edits its first record, and writes to
//       OUT "<code>\n<message>\n" of the engine error raised, or "0\n"
//
// Exit status 0 when the command ran, 2 on an engine error it did not expect,
// 3 on any other failure, 64 on a usage error.
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <thread>

#include "data/browser_data.h"
#include "tables/base/engine_error.h"

namespace {

using quoldex::data::BrowserData;
using quoldex::tables::EDbEngineError;

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

void WaitFor(const std::string& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!Exists(path) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void Insert(BrowserData& data, const std::string& tag, int count) {
  data.dtblObjects.Open();
  for (int i = 0; i < count; ++i) {
    data.dtblObjects.Append();
    data.dtblObjectsObjectName->SetAsString(tag + "-" + std::to_string(i));
    data.dtblObjectsInheritsFrom->SetAsString("object");
    data.dtblObjects.FieldByName("Filename").SetAsString(tag + ".uc");
    data.dtblObjects.Post();
  }
  data.dtblObjects.Close();
}

int Run(int argc, char** argv) {
  if (argc < 3) return 64;
  const std::string command = argv[1];
  BrowserData data;
  data.dtblObjects.SetDatabaseName(argv[2]);
  if (command == "insert" && argc == 5) {
    Insert(data, argv[3], std::stoi(argv[4]));
    return 0;
  }
  if ((command == "hold-exclusive" || command == "hold-record") && argc == 5) {
    if (command == "hold-exclusive") {
      data.dtblObjects.SetExclusive(true);
      data.dtblObjects.Open();
    } else {
      data.dtblObjects.Open();
      data.dtblObjects.First();
      data.dtblObjects.Edit();
    }
    WriteFile(argv[3], "ready\n");
    WaitFor(argv[4]);
    if (command == "hold-record") data.dtblObjects.Cancel();
    data.dtblObjects.Close();
    return 0;
  }
  if (command == "try-open" && argc == 4) {
    std::string outcome = "0\n";
    try {
      data.dtblObjects.Open();
      data.dtblObjects.First();
      data.dtblObjects.Edit();
      data.dtblObjects.Cancel();
    } catch (const EDbEngineError& e) {
      outcome = std::to_string(e.ErrorCode()) + "\n" + e.what() + "\n";
    }
    WriteFile(argv[3], outcome);
    return 0;
  }
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const EDbEngineError& e) {
    std::fprintf(stderr, "table_worker: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "table_worker: %s\n", e.what());
    return 3;
  }
}
