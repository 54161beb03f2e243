// Writing one preference the way the commands do: edit the record, set the
// field, post it when that changed it (else the edit is dropped).
#pragma once

#include <string_view>

#include "data/pref_record.h"

namespace quoldex::tools {

// Stores `value` in the text field `field`. On an error the edit is
// cancelled and the error propagates.
void StorePreference(data::PrefRecord& prefs, std::string_view field, std::string_view value);

}  // namespace quoldex::tools
