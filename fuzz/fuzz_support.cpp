#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "data/createobject.h"

namespace quoldex::fuzz {
namespace {

// A new folder of this process's own (a fast one where the system has it),
// made without POSIX calls so that the seed replays run on Windows too.
std::string MakeScratchDir() {
  std::error_code ec;
  std::filesystem::path base = "/dev/shm";
  if (!std::filesystem::is_directory(base, ec)) base = std::filesystem::temp_directory_path();
  std::random_device seed;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path dir = base / ("quoldex-fuzz-" + std::to_string(seed()));
    if (std::filesystem::create_directory(dir, ec)) return dir.string() + "/";
  }
  std::fprintf(stderr, "no scratch folder in %s: %s\n", base.string().c_str(),
               ec.message().c_str());
  std::abort();
}

void RemoveScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(ScratchDir(), ec);
}

}  // namespace

const std::string& ScratchDir() {
  // Never destroyed: the exit handler that removes the folder still needs it.
  static const std::string* const dir = [] {
    auto* made = new std::string(MakeScratchDir());
    std::atexit(RemoveScratchDir);
    return made;
  }();
  return *dir;
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::abort();
  }
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

tables::TableSettings QuickSettings(const std::string& directory, const std::string& table) {
  tables::TableSettings settings;
  settings.directory = directory;
  settings.table_name = table;
  settings.lock_retry_count = 0;
  settings.lock_wait_time = 0;
  return settings;
}

void CreateSmallCatalogue(const std::string& directory) {
  data::CreateDataTables(directory);
  struct Class {
    const char* name;
    const char* parent;
    const char* package;
  };
  static const Class kClasses[] = {
      {"Object", "<none>", "Core"},
      {"Actor", "object", "Engine"},
      {"Pawn", "actor", "Engine"},
      {"Info", "actor", "Engine"},
      {"Inventory", "actor", "Engine"},
      {"Weapon", "inventory", "Engine"},
      {"Enforcer", "weapon", "Botpack"},
      {"Ripper", "weapon", "Botpack"},
      {"Bot", "pawn", "Botpack"},
      {"TournamentGame", "info", "Botpack"},
      {"DeathMatchPlus", "tournamentgame", "Botpack"},
      {"\xC9"
       "clair",
       "weapon", ""},
      {"Star*Gate ", "object", "botpack"},
      {"Scratch", "object", "Botpack"},
  };
  tables::TableCursor cursor(QuickSettings(directory, "objects.dat"));
  cursor.Open();
  const int name = cursor.FieldNumber("ObjectName");
  const int parent = cursor.FieldNumber("InheritsFrom");
  const int file = cursor.FieldNumber("Filename");
  const int stamp = cursor.FieldNumber("FileTimeStamp");
  const int package = cursor.FieldNumber("Package");
  for (const Class& c : kClasses) {
    cursor.Append();
    cursor.SetField(name, tables::FieldValue::String(c.name));
    cursor.SetField(parent, tables::FieldValue::String(c.parent));
    cursor.SetField(file, tables::FieldValue::String(std::string("/ut/") + c.package + "/Classes/" +
                                                     c.name + ".uc"));
    cursor.SetField(stamp, tables::FieldValue::String("2001-01-01"));
    if (*c.package != '\0') cursor.SetField(package, tables::FieldValue::String(c.package));
    cursor.Post();
  }
  // The last class goes again: its slot heads the deleted chain.
  const tables::FieldValue scratch[] = {tables::FieldValue::String("Scratch")};
  const int name_field[] = {name};
  if (cursor.Locate(name_field, scratch, false, false)) cursor.Delete();
  cursor.Close();
}

}  // namespace quoldex::fuzz
