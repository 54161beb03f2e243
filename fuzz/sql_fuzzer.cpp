// A statement of the query language run on a small catalogue, as the `sql`
// command runs one: the input up to its first NUL byte is the statement
// (lines split at line feeds), each NUL-separated piece after it the value
// of the next parameter (parameters beyond them get "botpack"). Every row of
// the result is read. Engine errors (a statement refused, a parameter
// without a value) are answers; anything else is a fault.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "tables/components/db_query.h"
#include "tables/query/query_executor.h"

namespace {

// The rows any statement here can give are few; a result claiming more is
// read only so far.
constexpr int kMaxRows = 1000;

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    parts.emplace_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  quoldex::fuzz::CreateSmallCatalogue(quoldex::fuzz::ScratchDir());
  quoldex::tables::SetQueryExecutor(quoldex::tables::RunSelectQuery);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace quoldex;
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);
  const size_t nul = input.find('\0');
  const std::string_view statement = input.substr(0, nul);
  std::vector<std::string> values;
  if (nul != std::string_view::npos) values = Split(input.substr(nul + 1), '\0');

  fuzz::IgnoringEngineErrors([&] {
    tables::TDbQuery query;
    query.SetDatabaseName(fuzz::ScratchDir());
    query.SetLockRetryCount(0);
    query.SetLockWaitTime(0);
    query.SetSQL(Split(statement, '\n'));
    for (int i = 0; i < query.Params().Count(); ++i)
      query.Params()[i].SetAsString(i < static_cast<int>(values.size()) ? values[i] : "botpack");
    query.Open();
    int rows = 0;
    for (query.First(); !query.Eof() && rows < kMaxRows; query.Next(), ++rows)
      for (int f = 0; f < query.FieldCount(); ++f) query.Field(f).AsString();
    query.RecordCount();
    query.Close();
  });
  return 0;
}
