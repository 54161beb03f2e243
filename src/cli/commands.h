// The commands of quoldex-cli, run over a main window that has been
// created and shown (its tables open, its tree built). Each writes its
// results to `out`, one item a line with its fields separated by a tab
// (output.h), and raises its errors for the main window's top-level
// handler, which shows their own text.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/quoldex_browser.h"

namespace quoldex::cli {

// Scan Directories on each folder in turn, as if the folder picker had
// returned it (its full path): each ends with the status text "Done.",
// which is written. Ctrl+C during the scans is the Escape key: the scan
// running then ends early as Escape ends it (rows kept, tree rebuilt,
// "Done.") and later folders are not scanned. Every folder is checked
// before the first scan: one that is not a folder raises the system's
// message for it ("<path>: No such file or directory").
void ScanCommand(app::TfrmQuoldexBrowser& browser, const std::vector<std::string>& folders,
                 std::ostream& out);

// Add Files once per file, as if the open dialog had returned that one file
// (its full path): no time stamp, the tree rebuilt, nothing written. Every
// path is checked first: one that is not an existing file raises the
// system's message for it.
void AddCommand(app::TfrmQuoldexBrowser& browser, const std::vector<std::string>& files,
                std::ostream& out);

// The rows of dsqlBase for `name` lower-cased (A-Z only): ObjectName a line.
// "<none>" lists the root classes.
void ChildrenCommand(app::TfrmQuoldexBrowser& browser, const std::string& name, std::ostream& out);

// The rows of dsqlPackages, run afresh: the package a line.
void PackagesCommand(app::TfrmQuoldexBrowser& browser, std::ostream& out);

// The rows of dsqlPackageLevel for `name` lower-cased: ObjectName a line.
// (The comparison is exact, so "Unknown" lists nothing.)
void PackageCommand(app::TfrmQuoldexBrowser& browser, const std::string& name, std::ostream& out);

// LocateClass(name); writes the status text it shows ("Inheritance is ...")
// and the selected node's path from its root, joined by "/".
void FindCommand(app::TfrmQuoldexBrowser& browser, const std::string& name, std::ostream& out);

// The class record view of the class `name` (ignoring case): each row as
// label and value ("Name", "Inherits From", "Filename", "Last updated",
// "Package"). A class that is not catalogued raises
// "Unable to locate object "<name>".".
void ShowCommand(app::TfrmQuoldexBrowser& browser, const std::string& name, std::ostream& out);

// Runs `statement`, a SELECT of the query language, over the data folder's
// tables with the parameters given as "NAME=VALUE": writes the column
// names, then each row. The query engine refuses statements that would
// change a table.
void SqlCommand(app::TfrmQuoldexBrowser& browser, const std::string& statement,
                const std::vector<std::string>& parameters, std::ostream& out);

// With no items, writes every field of the preference record as name and
// value (empty when null). Otherwise each item is "FIELD" or "FIELD=VALUE":
// the assignments are made in one edit of the record (creating it on first
// use) and posted together, "FIELD=" clearing the field; a failure cancels
// the edit. Then each named field is written as it now reads.
void PrefsCommand(app::TfrmQuoldexBrowser& browser, const std::vector<std::string>& items,
                  std::ostream& out);

// Splits "NAME=VALUE" at its first "="; nothing when there is none or the
// name is empty.
std::optional<std::pair<std::string, std::string>> SplitAssignment(const std::string& item);

}  // namespace quoldex::cli
