#include "cli/output.h"

namespace quoldex::cli {
namespace {

template <typename Fields>
void WriteFields(std::ostream& out, const Fields& fields) {
  bool first = true;
  for (std::string_view field : fields) {
    if (!first) out << '\t';
    out << OutputField(field);
    first = false;
  }
  out << '\n';
}

}  // namespace

std::string OutputField(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void WriteLine(std::ostream& out, const std::vector<std::string>& fields) {
  WriteFields(out, fields);
}

void WriteLine(std::ostream& out, std::initializer_list<std::string_view> fields) {
  WriteFields(out, fields);
}

}  // namespace quoldex::cli
