// UTF-8 inside the program, UTF-16 at the Windows API: the conversions
// between the two. Windows builds only.
#pragma once

#include <string>
#include <string_view>

namespace quoldex::text {

// `text` (UTF-8) as UTF-16. An invalid sequence becomes U+FFFD.
std::wstring Utf8ToWide(std::string_view text);
// `text` (UTF-16) as UTF-8. An unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(std::wstring_view text);

}  // namespace quoldex::text
