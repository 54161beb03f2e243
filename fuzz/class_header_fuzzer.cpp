// The class header reader on arbitrary bytes written as a script file. What
// it returns must be a parent name as promised (lower case, no blank, "/"
// or ";", at most 255 bytes) or "<none>"; and the same text must give the
// same answer when the file starts with a UTF-8 byte-order mark, and, for a
// text of ASCII characters, when written as UTF-16 of either byte order
// with its mark. A reader is reused from one input to the next, as a scan
// reuses it from file to file.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/class_header_reader.h"
#include "fakes/fake_ui.h"
#include "fuzz_support.h"

namespace {

using namespace quoldex;

std::optional<std::string> ReadAs(catalogue::ClassHeaderReader& reader, std::string_view bytes) {
  const std::string path = fuzz::ScratchDir() + "Script.uc";
  fuzz::WriteWholeFile(path, bytes);
  return reader.ReadClassHeader(path);
}

bool IsParentName(const std::string& parent) {
  if (parent == "<none>") return true;
  if (parent.empty() || parent.size() > 255) return false;
  for (const char ch : parent) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 32 || c == '/' || c == ';' || (c >= 'A' && c <= 'Z')) return false;
  }
  return true;
}

std::string Utf16(std::string_view ascii, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char c : ascii) {
    if (big_endian) out.push_back('\0');
    out.push_back(c);
    if (!big_endian) out.push_back('\0');
  }
  return out;
}

void Expect(bool holds, const char* what, const std::optional<std::string>& got) {
  if (holds) return;
  std::fprintf(stderr, "%s: got %s\n", what, got ? got->c_str() : "no declaration");
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static testing::FakeUi ui;
  static catalogue::ClassHeaderReader reader(ui);
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);

  const std::optional<std::string> parent = ReadAs(reader, input);
  Expect(!parent || IsParentName(*parent), "not a parent name", parent);

  // The text ends at a NUL byte, so only what comes before one counts.
  const std::string_view text = input.substr(0, input.find('\0'));
  const bool marked = !text.empty() && (static_cast<unsigned char>(text[0]) == 0xEF ||
                                        static_cast<unsigned char>(text[0]) >= 0xFE);
  if (!marked) {
    Expect(ReadAs(reader, "\xEF\xBB\xBF" + std::string(text)) == parent,
           "differs after a UTF-8 mark", parent);
  }
  bool ascii = true;
  for (const char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    Expect(ReadAs(reader, Utf16(text, false)) == parent, "differs as UTF-16LE", parent);
    Expect(ReadAs(reader, Utf16(text, true)) == parent, "differs as UTF-16BE", parent);
  }
  if (size % 7 == 0) reader.ReleaseLineBuffer();
  return 0;
}
