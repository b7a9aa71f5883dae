// Fuzzes the CSV reader and the plan import behind it with arbitrary files.
// Checks what the reader promises: records only when it succeeds, lines in
// rising order, and every field written by CsvLine reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Csv.h"
#include "PlanCsv.h"

namespace {

const std::string kBom = "\xEF\xBB\xBF";

std::vector<commission::PlanDevice> Listed() {
    // Two of the maker's devices, a camera known by its endpoint alone and
    // one known by MAC and endpoint.
    std::vector<commission::PlanDevice> out(4);
    out[0].mac = "02:4C:56:00:00:01";
    out[0].ip = "192.168.1.64";
    out[1].mac = "02:4C:56:00:00:02";
    out[1].ip2 = "169.254.0.2";
    out[2].endpoint = "urn:uuid:cam-no-mac";
    out[2].ip = "192.168.1.80";
    out[3].mac = "02:4F:4E:00:00:07";
    out[3].endpoint = "urn:uuid:cam-mac";
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<commission::CsvRecord> records;
    commission::CsvError error;
    if (!commission::ReadCsv(text, &records, &error)) {
        if (!records.empty() || error.message.empty())
            abort();
    } else {
        size_t line = 0;
        for (const commission::CsvRecord& r : records) {
            if (r.line <= line || r.fields.empty() || r.fields.size() > commission::kMaxCsvFields)
                abort();
            line = r.line;
        }
        // Written as the tool writes files, after a byte-order mark, so that
        // a first cell that itself begins with one survives. Fields are valid UTF-8 here, so a
        // field without a leading formula character comes back unchanged through the writer.
        if (!records.empty()) {
            std::vector<commission::CsvRecord> again;
            if (!commission::ReadCsv(kBom + commission::CsvLine(records[0].fields), &again,
                                     &error) ||
                again.size() != 1 || again[0].fields.size() != records[0].fields.size())
                abort();
            for (size_t i = 0; i < again[0].fields.size(); ++i) {
                const std::string& f = records[0].fields[i];
                const bool neutralised =
                    !f.empty() && std::string_view("=+-@\t\r").find(f[0]) != std::string_view::npos;
                if (!neutralised && again[0].fields[i] != f)
                    abort();
            }
        }
    }
    std::vector<commission::PlanEntry> plan;
    if (!commission::ImportPlan(text, Listed(), &plan, &error) && !plan.empty())
        abort();
    return 0;
}
