#include "cli/maintenance_commands.h"

#include <ctime>
#include <filesystem>

#include "cli/utf8_path.h"
#include "tables/base/engine_error.h"
#include "tables/cursor/table_cursor.h"
#include "tables/cursor/table_repair.h"

namespace quoldex::cli {
namespace {

// The table's name without extension, lower case, for the output lines.
std::string ShortName(std::string name) {
  if (size_t dot = name.find_last_of('.'); dot != std::string::npos) name.resize(dot);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

tables::TableSettings SettingsFor(const std::string& folder, const std::string& table) {
  tables::TableSettings settings;
  settings.directory = folder;
  settings.table_name = table;
  return settings;
}

// The tables named, or all five; an unknown name is an error line.
std::vector<std::string> Chosen(const std::vector<std::string>& named, std::ostream& err,
                                bool& unknown) {
  if (named.empty()) return CatalogueTableNames();
  std::vector<std::string> out;
  for (const std::string& name : named) {
    bool found = false;
    for (const std::string& known : CatalogueTableNames()) {
      if (ShortName(known) == ShortName(name)) {
        out.push_back(known);
        found = true;
      }
    }
    if (!found) {
      err << "Unknown table \"" << name << "\" (objects, pref, systemu, maps or items)\n";
      unknown = true;
    }
  }
  return out;
}

std::string BackupFolderName() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "repair-%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

const std::vector<std::string>& CatalogueTableNames() {
  static const std::vector<std::string> kNames = {"objects.dat", "Pref.DAT", "SystemU.DAT",
                                                  "Maps.DAT", "items.dat"};
  return kNames;
}

int CheckCommand(const std::string& folder, const std::vector<std::string>& tables,
                 std::ostream& out, std::ostream& err) {
  bool failed = false;
  for (const std::string& table : Chosen(tables, err, failed)) {
    const std::string name = ShortName(table);
    tables::TableSettings settings = SettingsFor(folder, table);
    settings.read_only = true;
    try {
      tables::TableCursor cursor(settings);
      cursor.Open();
      const std::vector<std::string> findings = cursor.CheckIntegrity();
      cursor.Close();
      if (findings.empty()) out << name << ": sound\n";
      for (const std::string& finding : findings) out << name << ": " << finding << '\n';
      failed = failed || !findings.empty();
    } catch (const tables::EDbEngineError& e) {
      out << name << ": " << e.what();
      if (e.ErrorCode() == tables::kErrHeaderCorrupt ||
          e.ErrorCode() == tables::kErrIndexPagesCorrupt) {
        out << " (a table left in the middle of a change is recovered when the program next "
               "opens it; otherwise run repair)";
      }
      out << '\n';
      failed = true;
    } catch (const tables::EDatabaseError& e) {
      out << name << ": " << e.what() << '\n';
      failed = true;
    }
  }
  return failed ? 1 : 0;
}

int RepairCommand(const std::string& folder, const std::vector<std::string>& tables,
                  std::ostream& out, std::ostream& err) {
  bool failed = false;
  const std::vector<std::string> chosen = Chosen(tables, err, failed);
  const std::filesystem::path backup = Utf8Path(folder) / BackupFolderName();
  std::error_code ec;
  std::filesystem::create_directory(backup, ec);
  if (ec) {
    err << "Cannot create the folder for copies " << PathText(backup) << ": " << ec.message()
        << '\n';
    return 1;
  }
  for (const std::string& table : chosen) {
    const std::string name = ShortName(table);
    try {
      const std::vector<std::string> report =
          tables::RepairTable(SettingsFor(folder, table), PathText(backup) + "/");
      if (report.empty()) out << name << ": sound, nothing to repair\n";
      for (const std::string& line : report) out << name << ": " << line << '\n';
      for (const std::string& line : report) failed = failed || line.rfind("not mended", 0) == 0;
    } catch (const tables::EDbEngineError& e) {
      if (e.ErrorCode() == tables::kErrAccessDenied) {
        out << name
            << ": not repaired: another program has it open exclusively, or its files "
               "cannot be written ("
            << e.what() << ")\n";
      } else {
        out << name << ": not repaired: " << e.what() << '\n';
      }
      failed = true;
    }
  }
  if (std::filesystem::is_empty(backup, ec)) {
    std::filesystem::remove(backup, ec);
  } else {
    out << "Copies of the files before the repair: " << PathText(backup) << '\n';
  }
  return failed ? 1 : 0;
}

}  // namespace quoldex::cli
