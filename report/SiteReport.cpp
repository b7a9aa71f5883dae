#include "SiteReport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace report {

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";

// Reads one UTF-8 sequence at *pos; false (and *pos past one byte) for an
// invalid one: overlong forms, surrogates and values past U+10FFFF included.
bool NextChar(std::string_view text, size_t* pos, uint32_t* cp) {
    const unsigned char lead = static_cast<unsigned char>(text[*pos]);
    size_t length;
    uint32_t value, minimum;
    if (lead < 0x80) {
        *cp = lead;
        ++*pos;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        ++*pos;
        return false;
    }
    if (*pos + length > text.size()) {
        ++*pos;
        return false;
    }
    for (size_t i = 1; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[*pos + i]);
        if ((c & 0xC0) != 0x80) {
            ++*pos;
            return false;
        }
        value = value << 6 | (c & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        ++*pos;
        return false;
    }
    *pos += length;
    *cp = value;
    return true;
}

bool IsControl(uint32_t cp) { return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0); }

// The page's styles: a table that fits a landscape page, a header that
// repeats on every printed page, rows never split across pages, pictures
// sized for paper.
const char kStyle[] = R"(
body{font-family:"DejaVu Sans",Arial,sans-serif;font-size:10pt;color:#111;margin:16px}
h1{font-size:16pt;margin:0 0 8px}
table.head{border-collapse:collapse;margin-bottom:12px}
table.head th{text-align:left;padding:2px 12px 2px 0;color:#444;font-weight:normal}
table.head td{padding:2px 0;font-weight:bold}
table.devices{border-collapse:collapse;width:100%}
table.devices th,table.devices td{border:1px solid #999;padding:3px 4px;vertical-align:top;text-align:left;overflow-wrap:break-word;word-wrap:break-word}
table.devices th{background:#e6e6e6}
td.mono{font-family:"DejaVu Sans Mono",monospace;white-space:nowrap}
td.long{white-space:normal;word-break:break-all}
td.nowrap{white-space:nowrap}
td.pic img{display:block;max-width:160px;height:auto}
td.pic span{color:#666}
tr.unverified td.id{color:#a00}
@page{size:A4 landscape;margin:10mm}
@media print{
body{margin:0;font-size:7pt}
table.devices th,table.devices td{padding:2px 3px}
thead{display:table-header-group}
tr{break-inside:avoid;page-break-inside:avoid}
td.pic img{max-width:34mm;max-height:26mm}
table.devices th{background:#e6e6e6;-webkit-print-color-adjust:exact;print-color-adjust:exact}
}
)";

const char* IdentityText(Identity identity, const Labels& labels) {
    switch (identity) {
    case Identity::Certified:
        return labels.certified.c_str();
    case Identity::Confirmed:
        return labels.confirmed.c_str();
    case Identity::Unverified:
        break;
    }
    return labels.unverified.c_str();
}

const std::string& VerifiedText(Verified verified, const Labels& labels) {
    static const std::string none;
    switch (verified) {
    case Verified::Yes:
        return labels.yes;
    case Verified::No:
        return labels.no;
    case Verified::NotApplicable:
        break;
    }
    return none;
}

std::string ActionText(const Row& row, const Labels& labels) {
    return row.action.empty() ? labels.nothing : row.action;
}

void Cell(std::string* out, std::string_view text, const char* cls = nullptr) {
    *out += cls ? std::string("<td class=\"") + cls + "\">" : std::string("<td>");
    *out += HtmlText(text);
    *out += "</td>";
}

void PictureCell(std::string* out, const Row& row) {
    *out += "<td class=\"pic\">";
    if (!row.thumbnailJpeg.empty()) {
        *out += "<img alt=\"\" src=\"data:image/jpeg;base64,";
        *out += Base64(row.thumbnailJpeg);
        *out += '"';
        if (row.thumbnailWidth > 0 && row.thumbnailHeight > 0)
            *out += " width=\"" + std::to_string(row.thumbnailWidth) + "\" height=\"" +
                    std::to_string(row.thumbnailHeight) + '"';
        *out += '>';
    } else if (!row.snapshotNote.empty()) {
        *out += "<span>" + HtmlText(row.snapshotNote) + "</span>";
    }
    *out += "</td>";
}

bool WriteFile(const std::string& path, const std::string& data, std::string* error) {
    const std::string temporary = path + ".part";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = path + ": " + std::strerror(n < 0 ? errno : EIO);
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 || std::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = path + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool EndsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

} // namespace

std::string CleanText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        const size_t start = pos;
        uint32_t cp = 0;
        if (!NextChar(text, &pos, &cp))
            out += kReplacement;
        else if (cp == '\t')
            out += ' ';
        else if (!IsControl(cp))
            out.append(text.substr(start, pos - start));
    }
    return out;
}

std::string HtmlText(std::string_view text) {
    std::string out;
    for (char c : CleanText(text)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string CsvField(std::string_view text) {
    std::string clean = CleanText(text);
    if (!clean.empty() && std::strchr("=+-@", clean[0]) != nullptr)
        clean.insert(0, 1, '\'');
    if (clean.find_first_of(",\"") == std::string::npos)
        return clean;
    std::string out = "\"";
    for (char c : clean) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string Base64(std::string_view bytes) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                           static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += kAlphabet[v >> 6 & 63];
        out += kAlphabet[v & 63];
    }
    if (i < bytes.size()) {
        uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size())
            v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += i + 1 < bytes.size() ? kAlphabet[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::string OffsetText(long long offset, const std::string& unit) {
    const unsigned long long s =
        offset < 0 ? 0ULL - static_cast<unsigned long long>(offset) : offset;
    std::string out = offset < 0 ? "-" : "+";
    if (s >= 86400)
        return out + std::to_string(s / 86400) + " d " + std::to_string(s % 86400 / 3600) + " h";
    if (s >= 3600)
        return out + std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) + " min";
    if (s >= 60)
        return out + std::to_string(s / 60) + " min " + std::to_string(s % 60) + " " + unit;
    return out + std::to_string(s) + " " + unit;
}

std::string Html(const Header& header, const std::vector<Row>& rows, const Labels& labels) {
    std::string out;
    size_t pictures = 0;
    for (const Row& row : rows)
        pictures += (row.thumbnailJpeg.size() + 2) / 3 * 4;
    out.reserve(4096 + rows.size() * 1024 + pictures);
    out += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>";
    out += HtmlText(labels.title) + " \xE2\x80\x93 " + HtmlText(header.site);
    out += "</title>\n<style>";
    out += kStyle;
    out += "</style></head>\n<body>\n<h1>" + HtmlText(labels.title) + "</h1>\n";
    out += "<table class=\"head\">\n";
    const std::pair<const std::string*, const std::string*> head[] = {
        {&labels.site, &header.site},
        {&labels.date, &header.date},
        {&labels.pc, &header.pc},
        {&labels.version, &header.version}};
    for (const auto& h : head)
        out += "<tr><th>" + HtmlText(*h.first) + "</th><td>" + HtmlText(*h.second) + "</td></tr>\n";
    out += "<tr><th>" + HtmlText(labels.devices) + "</th><td>" + std::to_string(rows.size()) +
           "</td></tr>\n</table>\n";
    out += "<table class=\"devices\">\n<thead><tr>";
    for (const std::string* title :
         {&labels.name, &labels.type, &labels.model, &labels.mac, &labels.address, &labels.mask,
          &labels.gateway, &labels.firmware, &labels.identity, &labels.activation, &labels.action,
          &labels.verified, &labels.clock, &labels.snapshot})
        out += "<th>" + HtmlText(*title) + "</th>";
    out += "</tr></thead>\n<tbody>\n";
    for (const Row& row : rows) {
        out += row.identity == Identity::Unverified ? "<tr class=\"unverified\">" : "<tr>";
        Cell(&out, row.name);
        Cell(&out, row.type);
        Cell(&out, row.model);
        // A MAC stays on one line; an endpoint (a URN or URL) breaks anywhere.
        Cell(&out, row.macOrEndpoint, row.macOrEndpoint.size() > 17 ? "mono long" : "mono");
        Cell(&out, row.address, "mono");
        Cell(&out, row.mask, "mono");
        Cell(&out, row.gateway, "mono");
        Cell(&out, row.firmware);
        Cell(&out, IdentityText(row.identity, labels), "id");
        Cell(&out, row.activation);
        Cell(&out, ActionText(row, labels));
        Cell(&out, VerifiedText(row.verified, labels));
        Cell(&out, row.clockKnown ? OffsetText(row.clockOffset, labels.seconds) : std::string(),
             "nowrap");
        PictureCell(&out, row);
        out += "</tr>\n";
    }
    out += "</tbody>\n</table>\n</body></html>\n";
    return out;
}

std::string Csv(const std::vector<Row>& rows, const Labels& labels) {
    std::string out;
    bool first = true;
    for (const std::string* title :
         {&labels.name, &labels.type, &labels.model, &labels.mac, &labels.address, &labels.mask,
          &labels.gateway, &labels.firmware, &labels.identity, &labels.activation, &labels.action,
          &labels.verified, &labels.clockSeconds, &labels.snapshot}) {
        out += (first ? "" : ",") + CsvField(*title);
        first = false;
    }
    out += "\r\n";
    for (const Row& row : rows) {
        const std::string picture = row.thumbnailJpeg.empty() ? row.snapshotNote : labels.yes;
        const std::string cells[] = {CsvField(row.name),
                                     CsvField(row.type),
                                     CsvField(row.model),
                                     CsvField(row.macOrEndpoint),
                                     CsvField(row.address),
                                     CsvField(row.mask),
                                     CsvField(row.gateway),
                                     CsvField(row.firmware),
                                     CsvField(IdentityText(row.identity, labels)),
                                     CsvField(row.activation),
                                     CsvField(ActionText(row, labels)),
                                     CsvField(VerifiedText(row.verified, labels)),
                                     row.clockKnown ? std::to_string(row.clockOffset) : "",
                                     CsvField(picture)};
        first = true;
        for (const std::string& cell : cells) {
            out += (first ? "" : ",") + cell;
            first = false;
        }
        out += "\r\n";
    }
    return out;
}

std::string CsvPathFor(const std::string& htmlPath) {
    for (const char* suffix : {".html", ".htm", ".HTML", ".HTM"})
        if (EndsWith(htmlPath, suffix))
            return htmlPath.substr(0, htmlPath.size() - std::strlen(suffix)) + ".csv";
    return htmlPath + ".csv";
}

bool WriteReport(const std::string& htmlPath, const Header& header, const std::vector<Row>& rows,
                 std::string* error, const Labels& labels) {
    return WriteFile(htmlPath, Html(header, rows, labels), error) &&
           WriteFile(CsvPathFor(htmlPath), Csv(rows, labels), error);
}

} // namespace report
