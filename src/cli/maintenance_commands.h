// quoldex-cli check and repair: the table engine's integrity check and
// repair over the tables of the data folder, run before (and without) the
// browser opening them, so that a table the browser could not open can
// still be checked and repaired.
//
//   check [TABLE...]   a line "TABLE: sound" per sound table, or a line
//                      "TABLE: fault" per fault found; exit 1 when any
//   repair [TABLE...]  for each damaged table: copies of its files in a new
//                      folder "repair-YYYYMMDD-HHMMSS" of the data folder,
//                      then the repair's lines and "TABLE: kept N records,
//                      dropped M"; a sound table "TABLE: sound, nothing to
//                      repair"; exit 1 when any table could not be repaired
//
// TABLE is one of objects, pref, systemu, maps, items (with or without an
// extension, any letter case); none names all five.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace quoldex::cli {

// The catalogue's five table names in their usual order.
const std::vector<std::string>& CatalogueTableNames();

// Each returns the exit status. `folder` ends with a separator.
int CheckCommand(const std::string& folder, const std::vector<std::string>& tables,
                 std::ostream& out, std::ostream& err);
int RepairCommand(const std::string& folder, const std::vector<std::string>& tables,
                  std::ostream& out, std::ostream& err);

}  // namespace quoldex::cli
