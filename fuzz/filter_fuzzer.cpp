// A record filter text on the objects table. The first input byte chooses
// the filter options (bit 0 case-insensitive, bit 1 no partial compare); the
// rest up to a NUL byte is the filter text, and up to three NUL-separated
// pieces after it are the ObjectName, InheritsFrom and Package of one more
// record. The filter is tried on that record and on every record of a
// small catalogue, and the cheap test on record bytes must agree with the
// whole condition: it never turns away a record the condition passes, and
// where it claims to be the whole condition it passes exactly those.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "tables/query/db_record_row.h"
#include "tables/sql/sql_filter.h"

namespace {

using namespace quoldex;

tables::TableCursor* objects = nullptr;

void Check(const tables::RecordFilter& filter, const tables::SourcePrefilter& prefilter,
           tables::RecordSqlRow& row, const uint8_t* record) {
  row.SetRecord(record);
  const bool passes = filter.Passes(row);
  const bool prefilter_passes = prefilter.Passes(record);
  if ((passes && !prefilter_passes) || (prefilter.Exact() && passes != prefilter_passes)) {
    std::fprintf(stderr, "filter passes %d, prefilter passes %d (exact %d) for '%s'\n", passes,
                 prefilter_passes, prefilter.Exact(),
                 objects->GetField(objects->FieldNumber("ObjectName"), record).text.c_str());
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::CreateSmallCatalogue(fuzz::ScratchDir());
  tables::TableSettings settings = fuzz::QuickSettings(fuzz::ScratchDir(), "objects.dat");
  settings.read_only = true;
  objects = new tables::TableCursor(settings);  // lives as long as the process
  objects->Open();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size == 0) return 0;
  tables::FilterOptions options;
  options.case_insensitive = (bytes[0] & 1) != 0;
  options.no_partial_compare = (bytes[0] & 2) != 0;
  std::string_view input(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  const size_t nul = input.find('\0');
  const std::string_view text = input.substr(0, nul);

  fuzz::IgnoringEngineErrors([&] {
    // The extra record, from the pieces after the text.
    std::vector<uint8_t> image = objects->NewRecord();
    static const char* const kColumns[] = {"ObjectName", "InheritsFrom", "Package"};
    size_t at = nul;
    for (const char* column : kColumns) {
      if (at == std::string_view::npos) break;
      const size_t end = input.find('\0', at + 1);
      const std::string_view piece = input.substr(at + 1, end - at - 1);
      objects->SetField(objects->FieldNumber(column),
                        tables::FieldValue::String(std::string(piece)), image.data());
      at = end;
    }

    tables::RecordFilter filter = tables::RecordFilter::Parse(text, options);
    filter.Resolve(tables::SqlColumnsOf(objects->Fields()), "objects");
    const tables::SourcePrefilter prefilter = filter.Prefilter(objects->Fields());
    tables::RecordSqlRow row(objects->Fields());
    Check(filter, prefilter, row, image.data());
    objects->ScanSlots([&](const uint8_t* record) { Check(filter, prefilter, row, record); });
  });
  return 0;
}
