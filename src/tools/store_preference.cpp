#include "tools/store_preference.h"

namespace quoldex::tools {

void StorePreference(data::PrefRecord& prefs, std::string_view field, std::string_view value) {
  prefs.Edit();
  try {
    prefs.SetText(field, value);
    if (prefs.Modified()) {
      prefs.Post();
    } else {
      prefs.Cancel();
    }
  } catch (...) {
    prefs.Cancel();
    throw;
  }
}

}  // namespace quoldex::tools
