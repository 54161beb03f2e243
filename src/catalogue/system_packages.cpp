#include "catalogue/system_packages.h"

#include "tables/base/engine_error.h"

namespace quoldex::catalogue {

void dtblSystemUAfterOpen(tables::TDataSet& data_set) {
  tables::TField& package = data_set.FieldByName("Package");
  if (!package.AsString().empty()) return;
  for (std::string_view name : kDefaultSystemPackages) {
    data_set.Append();
    try {
      package.SetAsString(name);
      data_set.Post();
    } catch (const tables::EDbEngineError& error) {
      data_set.Cancel();
      // Another instance opening the empty table at the same time added
      // this name first.
      if (error.ErrorCode() != tables::kErrDuplicateKey) throw;
    } catch (...) {
      data_set.Cancel();
      throw;
    }
  }
}

bool IsSystemPackage(tables::TDataSet& dtbl_system_u, std::string_view package) {
  return dtbl_system_u.Locate("Package", package, {.case_insensitive = true});
}

}  // namespace quoldex::catalogue
