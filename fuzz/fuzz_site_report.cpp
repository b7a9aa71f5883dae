// The site report's writer over hostile device texts: the input is a row's
// fields separated by 0x01. Whatever the bytes, a text escaped for the page
// holds no markup character but in its own character references, a CSV
// field starts with no formula character and doubles its quotes, and
// cleaning is idempotent (its output is valid UTF-8 without controls).
#include "SiteReport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void CheckHtml(const std::string& html) {
    for (size_t i = 0; i < html.size(); ++i) {
        if (std::strchr("<>\"'", html[i]) != nullptr && html[i] != '\0')
            std::abort();
        if (html[i] != '&')
            continue;
        bool known = false;
        for (const char* entity : {"&amp;", "&lt;", "&gt;", "&quot;", "&#39;"})
            known = known || html.compare(i, std::strlen(entity), entity) == 0;
        if (!known)
            std::abort();
    }
}

void CheckCsv(const std::string& field) {
    std::string inner = field;
    if (!field.empty() && field.front() == '"') {
        if (field.size() < 2 || field.back() != '"')
            std::abort();
        inner = field.substr(1, field.size() - 2);
        for (size_t i = 0; i < inner.size(); ++i)
            if (inner[i] == '"' && (i + 1 >= inner.size() || inner[++i] != '"'))
                std::abort();
    } else if (field.find_first_of(",\"\r\n") != std::string::npos) {
        std::abort();
    }
    if (!inner.empty() && std::strchr("=+-@", inner[0]) != nullptr)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> fields;
    for (size_t at = 0; at <= input.size();) {
        const size_t end = std::min(input.find('\x01', at), input.size());
        fields.push_back(input.substr(at, end - at));
        at = end + 1;
    }
    for (const std::string& f : fields) {
        const std::string clean = report::CleanText(f);
        if (report::CleanText(clean) != clean)
            std::abort();
        CheckHtml(report::HtmlText(f));
        CheckCsv(report::CsvField(f));
    }
    fields.resize(9);
    report::Row row;
    row.name = fields[0], row.type = fields[1], row.model = fields[2];
    row.macOrEndpoint = fields[3], row.address = fields[4], row.mask = fields[5];
    row.gateway = fields[6], row.firmware = fields[7], row.snapshotNote = fields[8];
    const std::string page = report::Html({fields[0], "", "", ""}, {row});
    if (page.find("<script") != std::string::npos || page.find("<img") != std::string::npos)
        std::abort();
    const std::string csv = report::Csv({row});
    size_t lines = 0;
    for (char c : csv)
        lines += c == '\n';
    if (lines != 2)
        std::abort();
    return 0;
}
