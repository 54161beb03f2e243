#include "cli/commands.h"

#include <filesystem>
#include <system_error>

#include "cli/output.h"
#include "platform/interrupt_as_escape.h"
#include "tables/components/db_query.h"
#include "tables/sql/sql_value.h"
#include "text/ascii.h"
#include "tree/class_finder.h"
#include "tree/tree_errors.h"

namespace quoldex::cli {
namespace {

namespace fs = std::filesystem;

// The full path of `path`, as the folder picker or the open dialog gives it.
std::string FullPath(const std::string& path) {
  return fs::absolute(fs::path(path)).lexically_normal().string();
}

// Raises the system's message for `path` unless it names an existing folder
// (`folder`) or an existing file that is not a folder.
void CheckPath(const std::string& path, bool folder) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!error && folder != fs::is_directory(status)) {
    error = std::make_error_code(folder ? std::errc::not_a_directory : std::errc::is_a_directory);
  }
  if (error) throw app::ECommandError(path + ": " + error.message());
}

// Writes `field` of each row of the open `data_set`, from the first.
void WriteColumn(tables::TDataSet& data_set, const tables::TField& field, std::ostream& out) {
  for (data_set.First(); !data_set.Eof(); data_set.Next()) WriteLine(out, {field.AsString()});
}

// Runs `query` with its one parameter set to `value` lower-cased and writes
// its ObjectName column; the query is closed afterwards.
void ListClassesOf(tables::TDbQuery& query, const char* parameter, const std::string& value,
                   std::ostream& out) {
  query.Close();
  query.ParamByName(parameter).SetAsString(text::AsciiLowerCase(value));
  query.Open();
  WriteColumn(query, query.FieldByName("ObjectName"), out);
  query.Close();
}

void WritePref(const tables::TField& field, std::ostream& out) {
  WriteLine(out, {field.FieldName(), field.AsString()});
}

}  // namespace

std::optional<std::pair<std::string, std::string>> SplitAssignment(const std::string& item) {
  const size_t equals = item.find('=');
  if (equals == std::string::npos || equals == 0) return std::nullopt;
  return std::pair(item.substr(0, equals), item.substr(equals + 1));
}

void ScanCommand(app::TfrmQuoldexBrowser& browser, const std::vector<std::string>& folders,
                 std::ostream& out) {
  std::vector<std::string> full_paths;
  for (const std::string& folder : folders) {
    CheckPath(folder, /*folder=*/true);
    full_paths.push_back(FullPath(folder));
  }
  platform::InterruptAsEscapeScope interrupt_as_escape;
  for (const std::string& folder : full_paths) {
    browser.Catalogue().ScanFolder(folder);
    WriteLine(out, {browser.GetUi().StatusText()});
    if (browser.GetPlatform().IsKeyDown(platform::Key::kEscape)) break;
  }
}

void AddCommand(app::TfrmQuoldexBrowser& browser, const std::vector<std::string>& files,
                std::ostream& /*out*/) {
  std::vector<std::string> full_paths;
  for (const std::string& file : files) {
    CheckPath(file, /*folder=*/false);
    full_paths.push_back(FullPath(file));
  }
  for (const std::string& file : full_paths) browser.Catalogue().AddChosenFiles({file});
}

void ChildrenCommand(app::TfrmQuoldexBrowser& browser, const std::string& name, std::ostream& out) {
  ListClassesOf(browser.Data().dsqlBase, "Ancestor", name, out);
}

void PackagesCommand(app::TfrmQuoldexBrowser& browser, std::ostream& out) {
  tables::TDbQuery& packages = browser.Data().dsqlPackages;
  packages.Close();
  packages.Open();
  WriteColumn(packages, *browser.Data().dsqlPackagespackage, out);
}

void PackageCommand(app::TfrmQuoldexBrowser& browser, const std::string& name, std::ostream& out) {
  ListClassesOf(browser.Data().dsqlPackageLevel, "Package", name, out);
}

void FindCommand(app::TfrmQuoldexBrowser& browser, const std::string& name, std::ostream& out) {
  browser.Finder().LocateClass(name);
  WriteLine(out, {browser.GetUi().StatusText()});
  const tree::TreeNode* selected = browser.Tree().TreeView1().Selected();
  WriteLine(out, {selected ? selected->Path("/") : std::string()});
}

void ShowCommand(app::TfrmQuoldexBrowser& browser, const std::string& name, std::ostream& out) {
  data::BrowserData& data = browser.Data();
  if (!data.dtblObjects.Locate("ObjectName", name, {.case_insensitive = true})) {
    throw tree::ELocateError("Unable to locate object \"" + name + "\".");
  }
  for (const ui::RecordRow& row : tree::ClassPropertiesView(data).rows) {
    WriteLine(out, {row.label, row.value});
  }
}

void SqlCommand(app::TfrmQuoldexBrowser& browser, const std::string& statement,
                const std::vector<std::string>& parameters, std::ostream& out) {
  tables::TDbQuery query;
  query.SetDatabaseName(browser.DataFolder());
  query.SetSQL({statement});
  for (const std::string& parameter : parameters) {
    auto assignment = SplitAssignment(parameter);
    if (!assignment) throw app::ECommandError("Parameter '" + parameter + "' has no value");
    query.ParamByName(assignment->first).SetAsString(assignment->second);
  }
  query.Open();
  // The result's own row-number column is how the engine keeps its rows in
  // order, not something the statement asked for.
  std::vector<const tables::TField*> columns;
  std::vector<std::string> fields;
  for (int i = 0; i < query.FieldCount(); ++i) {
    if (query.Field(i).FieldName() == tables::kRowNumberColumn) continue;
    columns.push_back(&query.Field(i));
    fields.push_back(columns.back()->FieldName());
  }
  WriteLine(out, fields);
  for (query.First(); !query.Eof(); query.Next()) {
    for (size_t i = 0; i < columns.size(); ++i) fields[i] = columns[i]->AsString();
    WriteLine(out, fields);
  }
  query.Close();
}

void PrefsCommand(app::TfrmQuoldexBrowser& browser, const std::vector<std::string>& items,
                  std::ostream& out) {
  data::PrefRecord& prefs = browser.Prefs();
  tables::TDbTable& table = prefs.Table();
  if (items.empty()) {
    for (int i = 0; i < table.FieldCount(); ++i) WritePref(table.Field(i), out);
    return;
  }
  std::vector<std::string> names;
  std::vector<std::pair<std::string, std::string>> assignments;
  for (const std::string& item : items) {
    auto assignment = SplitAssignment(item);
    names.push_back(assignment ? assignment->first : item);
    if (assignment) assignments.push_back(std::move(*assignment));
  }
  for (const std::string& name : names) table.FieldByName(name);  // unknown names fail first
  if (!assignments.empty()) {
    try {
      prefs.Edit();
      for (const auto& [name, value] : assignments) {
        tables::TField& field = table.FieldByName(name);
        if (value.empty()) {
          field.Clear();
        } else {
          field.SetAsString(value);
        }
      }
      prefs.Post();
    } catch (...) {
      prefs.Cancel();
      throw;
    }
  }
  for (const std::string& name : names) WritePref(table.FieldByName(name), out);
}

}  // namespace quoldex::cli
