#include "DeviceFormat.h"

#include "AddressPlan.h"
#include "Csv.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace format {

namespace {

#define TEXT_FIELD(f)                                                                              \
    Field { #f, FieldKind::Text, offsetof(SEARCH_INFO, f), sizeof(SEARCH_INFO::f) }
#define INT_FIELD(f)                                                                               \
    Field { #f, FieldKind::Int32, offsetof(SEARCH_INFO, f), sizeof(int32_t) }

const char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

// Decodes one UTF-8 character at text[*pos]; on an invalid sequence returns
// false and moves past one byte only.
bool NextChar(const std::string& text, size_t* pos, uint32_t* out) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(*pos);
    const int extra = lead < 0x80   ? 0
                      : lead < 0xC2 ? -1
                      : lead < 0xE0 ? 1
                      : lead < 0xF0 ? 2
                      : lead < 0xF5 ? 3
                                    : -1;
    if (extra < 0)
        return ++*pos, false;
    uint32_t cp = extra == 0 ? lead : lead & (0x3Fu >> extra);
    for (size_t k = 1; k <= static_cast<size_t>(extra); ++k) {
        if (*pos + k >= text.size() || (byte(*pos + k) & 0xC0) != 0x80)
            return ++*pos, false;
        cp = (cp << 6) | (byte(*pos + k) & 0x3Fu);
    }
    const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return ++*pos, false;
    *pos += static_cast<size_t>(extra) + 1;
    *out = cp;
    return true;
}

bool IsControl(uint32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

// Characters of valid UTF-8 text (for column alignment).
size_t CharCount(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text)
        n += (c & 0xC0) != 0x80;
    return n;
}

std::string Pad(const std::string& text, size_t width) {
    const size_t n = CharCount(text);
    return n >= width ? text : text + std::string(width - n, ' ');
}

} // namespace

bool ParseFormat(const std::string& text, Format* out) {
    if (text == "table")
        return *out = Format::Table, true;
    if (text == "json")
        return *out = Format::Json, true;
    if (text == "csv")
        return *out = Format::Csv, true;
    return false;
}

const std::vector<Field>& RecordFields() {
    static const std::vector<Field> fields = {
        INT_FIELD(event),
        TEXT_FIELD(devName),
        TEXT_FIELD(ipAddr),
        TEXT_FIELD(mask),
        TEXT_FIELD(ipAddr2),
        TEXT_FIELD(route),
        TEXT_FIELD(dns1),
        TEXT_FIELD(dns2),
        INT_FIELD(dataPort),
        INT_FIELD(httpPort),
        INT_FIELD(rtspPort),
        TEXT_FIELD(mac),
        TEXT_FIELD(productSeries),
        TEXT_FIELD(softwareVer),
        TEXT_FIELD(softwareBulildDate),
        TEXT_FIELD(hardwareVer),
        TEXT_FIELD(kernelVer),
        TEXT_FIELD(productModel),
        TEXT_FIELD(runningTime),
        TEXT_FIELD(bootTime),
        Field{"dhcpSwitch", FieldKind::Flag, offsetof(SEARCH_INFO, dhcpSwitch), 1},
        TEXT_FIELD(encryptType),
        INT_FIELD(deviceActivated),
        INT_FIELD(httpType)};
    return fields;
}

std::string FieldValue(const SEARCH_INFO& record, const Field& field) {
    const char* base = reinterpret_cast<const char*>(&record) + field.offset;
    if (field.kind == FieldKind::Text)
        return std::string(base, strnlen(base, field.width));
    if (field.kind == FieldKind::Flag)
        return std::to_string(static_cast<unsigned char>(*base));
    int32_t value;
    std::memcpy(&value, base, sizeof value);
    return std::to_string(value);
}

std::string DisplayValue(const SEARCH_INFO& record, const Field& field) {
    const std::string value = FieldValue(record, field);
    if (std::strcmp(field.name, "deviceActivated") != 0)
        return value;
    const std::string series(record.productSeries,
                             strnlen(record.productSeries, sizeof record.productSeries));
    if (series.find("ZVK") == std::string::npos)
        return std::string();
    if (value == "0")
        return "activated";
    return value == "1" ? "not activated" : value;
}

std::string EventName(int event) {
    if (event == SEARCH_EVENT_NEW)
        return "new";
    if (event == SEARCH_EVENT_GONE)
        return "gone";
    if (event == SEARCH_EVENT_CHANGED)
        return "changed";
    return "event " + std::to_string(event);
}

std::string ValidUtf8(const std::string& text) {
    std::string out;
    for (size_t pos = 0; pos < text.size();) {
        const size_t start = pos;
        uint32_t cp;
        if (NextChar(text, &pos, &cp))
            out.append(text, start, pos - start);
        else
            out += kReplacement;
    }
    return out;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : ValidUtf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string TerminalText(const std::string& text) {
    const std::string valid = ValidUtf8(text);
    std::string out;
    for (size_t pos = 0; pos < valid.size();) {
        const size_t start = pos;
        uint32_t cp = 0;
        NextChar(valid, &pos, &cp);
        if (!IsControl(cp))
            out.append(valid, start, pos - start);
    }
    return out;
}

// The CSV rules (quoting, neutralised formula cells) are the plan files'.
std::string CsvField(const std::string& text) { return commission::CsvCell(text); }

std::string IdentityName(int state) {
    static const char* const kNames[] = {"unknown", "verified", "unverified", "confirmed",
                                         "conflict"};
    return state >= 0 && state <= 4 ? kNames[state] : "unknown";
}

std::string RecordJson(const SEARCH_INFO& record, bool withEvent, const std::string* identity,
                       const std::string* endpoint, const Extras* extras) {
    std::string out = "{";
    for (const Field& f : RecordFields()) {
        if (!withEvent && std::strcmp(f.name, "event") == 0)
            continue;
        if (out.size() > 1)
            out += ", ";
        const std::string value = FieldValue(record, f);
        out += JsonString(f.name) + ": " + (f.kind == FieldKind::Text ? JsonString(value) : value);
    }
    for (const auto& extra : extras ? *extras : Extras())
        out += ", " + JsonString(extra.first) + ": " + JsonString(extra.second);
    if (endpoint)
        out += ", \"endpoint\": " + JsonString(*endpoint);
    if (identity)
        out += ", \"identity\": " + JsonString(*identity);
    return out + "}";
}

std::string CsvHeader(bool withEvent, bool withIdentity, bool withEndpoint,
                      const std::vector<std::string>& extraNames) {
    std::string out;
    for (const Field& f : RecordFields())
        if (withEvent || std::strcmp(f.name, "event") != 0)
            out += (out.empty() ? "" : ",") + std::string(f.name);
    for (const std::string& name : extraNames)
        out += "," + CsvField(name);
    if (withEndpoint)
        out += ",endpoint";
    return withIdentity ? out + ",identity" : out;
}

std::string RecordCsv(const SEARCH_INFO& record, bool withEvent, const std::string* identity,
                      const std::string* endpoint, const Extras* extras) {
    std::string out;
    bool first = true;
    for (const Field& f : RecordFields()) {
        if (!withEvent && std::strcmp(f.name, "event") == 0)
            continue;
        out += (first ? "" : ",") + CsvField(DisplayValue(record, f));
        first = false;
    }
    for (const auto& extra : extras ? *extras : Extras())
        out += "," + CsvField(extra.second);
    if (endpoint)
        out += "," + CsvField(*endpoint);
    return identity ? out + "," + CsvField(*identity) : out;
}

namespace {

// The address of a row as a number for sorting; rows without one last.
uint64_t AddressKey(const SEARCH_INFO& record) {
    uint32_t address = 0;
    const std::string text(record.ipAddr, strnlen(record.ipAddr, sizeof record.ipAddr));
    return commission::ReadAddress(text, &address) ? address : uint64_t{1} << 32;
}

// The order of the table's lines: by address, then by MAC.
std::vector<size_t> AddressOrder(const std::vector<SEARCH_INFO>& records) {
    std::vector<size_t> order(records.size());
    std::vector<uint64_t> keys;
    for (size_t i = 0; i < records.size(); ++i)
        order[i] = i, keys.push_back(AddressKey(records[i]));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (keys[a] != keys[b])
            return keys[a] < keys[b];
        return std::strncmp(records[a].mac, records[b].mac, sizeof records[a].mac) < 0;
    });
    return order;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

std::vector<std::string> TableColumns(const std::vector<SEARCH_INFO>& records,
                                      const std::vector<std::string>& identities,
                                      const std::vector<std::string>& endpoints,
                                      const std::vector<Extras>& extras) {
    std::vector<std::string> names;
    for (const Field& f : RecordFields())
        if (std::strcmp(f.name, "event") != 0)
            names.push_back(f.name);
    if (!records.empty() && extras.size() == records.size())
        for (const auto& extra : extras[0])
            names.push_back(extra.first);
    if (!records.empty() && endpoints.size() == records.size())
        names.push_back("endpoint");
    if (!records.empty() && identities.size() == records.size())
        names.push_back("identity");
    return names;
}

std::vector<std::string> DefaultTableColumns(const std::vector<SEARCH_INFO>& records,
                                             const std::vector<std::string>& identities,
                                             const std::vector<std::string>& endpoints,
                                             const std::vector<Extras>& extras) {
    const std::vector<std::string> offered = TableColumns(records, identities, endpoints, extras);
    std::vector<std::string> names = {"ipAddr",       "mac",     "productSeries",
                                      "productModel", "devName", "deviceActivated"};
    if (!records.empty() && extras.size() == records.size())
        for (const auto& extra : extras[0])
            names.push_back(extra.first);
    bool endpointOnly = false;
    for (size_t i = 0; i < endpoints.size() && i < records.size(); ++i)
        endpointOnly = endpointOnly || (records[i].mac[0] == '\0' && !endpoints[i].empty());
    if (endpointOnly && Contains(offered, "endpoint"))
        names.push_back("endpoint");
    if (Contains(offered, "identity"))
        names.push_back("identity");
    return names;
}

bool ParseColumnList(const std::string& list, const std::vector<std::string>& offered,
                     std::vector<std::string>* columns, std::string* unknown) {
    columns->clear();
    unknown->clear();
    size_t at = 0;
    while (at <= list.size()) {
        const size_t comma = std::min(list.find(',', at), list.size());
        std::string name = list.substr(at, comma - at);
        name.erase(0, name.find_first_not_of(' '));
        name.erase(name.find_last_not_of(' ') + 1);
        if (!Contains(offered, name)) {
            *unknown = name;
            return false;
        }
        columns->push_back(name);
        at = comma + 1;
    }
    return true;
}

std::string RecordTable(const std::vector<SEARCH_INFO>& records,
                        const std::vector<std::string>& identities,
                        const std::vector<std::string>& endpoints,
                        const std::vector<Extras>& extras,
                        const std::vector<std::string>* columns) {
    const std::vector<std::string> all = TableColumns(records, identities, endpoints, extras);
    const std::vector<std::string>& names = columns ? *columns : all;
    // The text of one cell: a field of the record, an extra, the endpoint
    // or the identity, as offered for this table.
    const auto cell = [&](size_t row, const std::string& name) -> std::string {
        if (!Contains(all, name))
            return std::string();
        for (const Field& f : RecordFields())
            if (name == f.name)
                return DisplayValue(records[row], f);
        if (name == "endpoint")
            return endpoints[row];
        if (name == "identity")
            return identities[row];
        for (const auto& extra : extras[row])
            if (extra.first == name)
                return extra.second;
        return std::string();
    };
    std::vector<std::vector<std::string>> rows(1);
    for (const std::string& name : names)
        rows[0].push_back(TerminalText(name));
    for (size_t i : AddressOrder(records)) {
        rows.emplace_back();
        for (const std::string& name : names)
            rows.back().push_back(TerminalText(cell(i, name)));
    }
    std::vector<size_t> widths(names.size(), 0);
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], CharCount(row[c]));
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c)
            line += (c ? "  " : "") + Pad(row[c], widths[c]);
        out += line.erase(line.find_last_not_of(' ') + 1) + "\n";
    }
    return out;
}

std::string EventLine(const SEARCH_INFO& r, const std::string* identity,
                      const std::string* endpoint) {
    auto text = [&](const char* value, size_t width) {
        return TerminalText(std::string(value, strnlen(value, width)));
    };
    std::string line = Pad(EventName(r.event), 8) + text(r.mac, sizeof r.mac);
    if (r.event == SEARCH_EVENT_GONE)
        return endpoint && !endpoint->empty() ? line + "  " + TerminalText(*endpoint) : line;
    line += "  " + Pad(text(r.ipAddr, sizeof r.ipAddr), 15) + "  " +
            Pad(text(r.productSeries, sizeof r.productSeries), 15) + "  " +
            Pad(text(r.productModel, sizeof r.productModel), 16) + "  " +
            text(r.devName, sizeof r.devName);
    if (identity && *identity != "verified")
        line += "  [" + TerminalText(*identity) + "]";
    if (endpoint && !endpoint->empty())
        line += "  " + TerminalText(*endpoint);
    return line;
}

} // namespace format
