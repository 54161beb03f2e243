// Writes the seed corpus of the table-files target into the folder given:
// objects and pref tables as the engine makes them, sound, cut inside their
// last slot, left marked mid-change and empty, each as one input
// (table_pair.h).
#include <cstdio>
#include <filesystem>
#include <string>

#include "data/createobject.h"
#include "fuzz_support.h"
#include "table_pair.h"
#include "tables/index_file/index_file_header.h"

namespace {

using namespace quoldex::fuzz;

void Write(const std::string& out_dir, const std::string& name, const std::string& data,
           const std::string& index) {
  WriteWholeFile(out_dir + "/" + name, JoinTablePair(data, index));
}

void WriteTable(const std::string& out_dir, const std::string& name, const std::string& dir,
                const std::string& table) {
  const std::string data = ReadWholeFile(dir + table + ".DAT");
  const std::string index = ReadWholeFile(dir + table + ".IDX");
  Write(out_dir, name, data, index);
  // A writer that died inside its last slot.
  Write(out_dir, name + "-cut", data.substr(0, data.size() - 40), index);
  // A writer that died in the middle of a change, its update mark still set.
  std::string marked = index;
  if (marked.size() > quoldex::tables::index_header::kUpdateInProgress) {
    marked[quoldex::tables::index_header::kUpdateInProgress] = 1;
    Write(out_dir, name + "-marked", data, marked);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
    return 2;
  }
  const std::string out_dir = argv[1];
  std::filesystem::create_directories(out_dir);

  const std::string filled = ScratchDir() + "filled/";
  std::filesystem::create_directories(filled);
  CreateSmallCatalogue(filled);
  WriteTable(out_dir, "objects", filled, "objects");

  const std::string fresh = ScratchDir() + "fresh/";
  std::filesystem::create_directories(fresh);
  quoldex::data::CreateDataTables(fresh);
  Write(out_dir, "objects-empty", ReadWholeFile(fresh + "objects.DAT"),
        ReadWholeFile(fresh + "objects.IDX"));
  WriteTable(out_dir, "pref", fresh, "pref");
  return 0;
}
