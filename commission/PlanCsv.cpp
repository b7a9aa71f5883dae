#include "PlanCsv.h"

#include <arpa/inet.h>

#include <cctype>
#include <cstring>
#include <map>
#include <set>

#include "DeviceIds.h"
#include "NetParam.h"
#include "SearchWire.h"
#include "SetupCodes.h"

namespace commission {

// Each column is added after the others, so that the columns older plans
// have keep their places.
const char* const kPlanColumns[] = {"mac",      "devName", "productSeries", "ipAddr",
                                    "newIp",    "newMask", "newGateway",    "httpPort",
                                    "dataPort", "status",  "detail",        "endpoint",
                                    "name",     "ntp",     "timeZone"};
const char kGeneratePasswordCell[] = "(generate)";
const size_t kPlanColumnCount = sizeof kPlanColumns / sizeof kPlanColumns[0];

namespace {

// Where each column the import reads sits in a record; -1 when absent.
struct Columns {
    int mac = -1, endpoint = -1, ip = -1, mask = -1, gateway = -1, httpPort = -1, dataPort = -1,
        password = -1, setupCode = -1, name = -1, ntp = -1, timeZone = -1;
};

int Pick(const std::map<std::string, int>& at, const char* preferred, const char* fallback) {
    auto it = at.find(preferred);
    if (it == at.end() && fallback != nullptr)
        it = at.find(fallback);
    return it == at.end() ? -1 : it->second;
}

bool ReadHeader(const CsvRecord& header, Columns* c, CsvError* error) {
    std::map<std::string, int> at;
    for (size_t i = 0; i < header.fields.size(); ++i) {
        if (!at.emplace(header.fields[i], static_cast<int>(i)).second) {
            *error = {header.line, "the column \"" + header.fields[i] + "\" appears twice"};
            return false;
        }
    }
    c->mac = Pick(at, "mac", nullptr);
    c->endpoint = Pick(at, "endpoint", nullptr);
    c->ip = Pick(at, "newIp", "ipAddr");
    c->mask = Pick(at, "newMask", "mask");
    c->gateway = Pick(at, "newGateway", "route");
    c->httpPort = Pick(at, "httpPort", nullptr);
    c->dataPort = Pick(at, "dataPort", nullptr);
    c->password = Pick(at, "password", nullptr);
    c->setupCode = Pick(at, "setupCode", nullptr);
    c->name = Pick(at, "name", nullptr);
    c->ntp = Pick(at, "ntp", nullptr);
    c->timeZone = Pick(at, "timeZone", nullptr);
    if ((c->mac < 0 && c->endpoint < 0) || c->ip < 0 || c->mask < 0 || c->gateway < 0) {
        *error = {header.line, "the header needs the columns mac (or endpoint), newIp (or ipAddr), "
                               "newMask (or mask) and newGateway (or route)"};
        return false;
    }
    return true;
}

std::string At(const CsvRecord& r, int column) {
    return column < 0 ? std::string() : r.fields[static_cast<size_t>(column)];
}

// Empty or "0" keeps the port; else 1 to 5 digits worth 1 to 65535.
bool ReadPort(const std::string& text, std::string* out) {
    if (text.empty() || text == "0")
        return out->clear(), true;
    if (text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long value = std::stol(text);
    if (value < 1 || value > 65535)
        return false;
    *out = std::to_string(value);
    return true;
}

// An endpoint as a camera announces it: at most as long as discovery keeps
// one, and no control character (the text reaches the terminal in messages).
bool IsEndpointText(const std::string& text) {
    if (text.empty() || text.size() > kMaxPlanEndpointBytes)
        return false;
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

// A text of 1 to `most` bytes, each a letter, a digit or one of `signs`.
bool OfCharacters(const std::string& text, size_t most, const char* signs) {
    if (text.empty() || text.size() > most)
        return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && std::strchr(signs, c) == nullptr)
            return false;
    return true;
}

bool Blank(const CsvRecord& r) {
    for (const std::string& f : r.fields)
        if (!f.empty())
            return false;
    return true;
}

class Importer {
public:
    explicit Importer(const std::vector<PlanDevice>& listed) {
        for (const PlanDevice& d : listed) {
            if (!d.mac.empty())
                m_listed.emplace(d.mac, &d);
            if (!d.endpoint.empty())
                m_byEndpoint.emplace(d.endpoint, &d);
            for (const std::string* a : {&d.ip, &d.ip2})
                if (!a->empty())
                    m_holders.emplace(*a, DeviceKey(d));
        }
    }

    // The entry of one record, or the fault in `error`; `unchanged` when
    // the device already has every value the record asks for.
    bool Read(const CsvRecord& r, const Columns& c, PlanEntry* e, bool* unchanged,
              CsvError* error) {
        const auto fail = [&](const std::string& message) {
            *error = {r.line, message};
            return false;
        };
        const PlanDevice* device = nullptr;
        if (!Identify(r, c, &device, error))
            return false;
        const std::string mac = DeviceKey(*device);
        if (!m_keys.insert(mac).second)
            return fail(mac + " appears twice");
        e->device = *device;
        e->ip = At(r, c.ip);
        e->mask = At(r, c.mask);
        e->gateway = At(r, c.gateway);
        uint32_t ip = 0, mask = 0, gateway = 0;
        if (!ReadAddress(e->ip, &ip) || !ReadAddress(e->mask, &mask) ||
            !ReadAddress(e->gateway, &gateway))
            return fail("the address, mask and gateway must be dotted quads such as 192.168.1.64");
        int32_t rule = NETPARAM_OK;
        if (!CheckNetParam(htonl(ip), htonl(mask), htonl(gateway), &rule)) {
            PlanError pe{PlanFault::Rule, mac, e->ip, rule};
            return fail(PlanErrorText(pe));
        }
        if (!ReadPort(At(r, c.httpPort), &e->httpPort) ||
            !ReadPort(At(r, c.dataPort), &e->dataPort))
            return fail("a port must be a number from 1 to 65535");
        if (!ReadSteps(r, c, e, fail))
            return false;
        // A device already at the row's values is asked nothing: an exported
        // list with a few rows edited, or a saved plan run again, carries
        // rows for devices that are done, several of them perhaps still
        // sharing one factory address.
        *unchanged = Unchanged(*e);
        if (*unchanged)
            return true;
        if (!m_targets.insert(e->ip).second)
            return fail(e->ip + " is the new address of another device too");
        const auto holders = m_holders.equal_range(e->ip);
        for (auto h = holders.first; h != holders.second; ++h)
            if (h->second != mac)
                return fail(e->ip + " is held by " + h->second);
        if (!e->generatePassword)
            e->password = At(r, c.password);
        return true;
    }

private:
    // The listed device a record names: by its MAC when the mac cell holds
    // one, else by the endpoint cell (a camera without a MAC).
    bool Identify(const CsvRecord& r, const Columns& c, const PlanDevice** device,
                  CsvError* error) const {
        const std::string macText = At(r, c.mac), endpoint = At(r, c.endpoint);
        std::string mac;
        if (macText.empty() && endpoint.empty())
            return *error = {r.line, "the line names no device: its mac and endpoint are empty"},
                   false;
        if (!macText.empty()) {
            mac = devicelist::CanonicalMac(macText);
            if (mac.empty())
                return *error = {r.line, "\"" + macText + "\" is not a MAC address"}, false;
            const auto it = m_listed.find(mac);
            if (it == m_listed.end())
                return *error = {r.line, mac + " is not in the device list"}, false;
            *device = it->second;
            return true;
        }
        if (!IsEndpointText(endpoint))
            return *error = {r.line, "the endpoint is longer than " +
                                         std::to_string(kMaxPlanEndpointBytes) +
                                         " bytes or holds control characters"},
                   false;
        const auto it = m_byEndpoint.find(endpoint);
        if (it == m_byEndpoint.end())
            return *error = {r.line, "\"" + endpoint + "\" is not in the device list"}, false;
        *device = it->second;
        return true;
    }

    // The name, setup code and clock of a record.
    template <class Fail>
    static bool ReadSteps(const CsvRecord& r, const Columns& c, PlanEntry* e, const Fail& fail) {
        e->name = At(r, c.name);
        if (!e->name.empty() && !IsPlanName(e->name))
            return fail("the name must be 1 to " +
                        std::to_string(lorvex::wire::kMaxDeviceNameBytes) +
                        " bytes of UTF-8 without control characters or spaces at either end");
        std::string code = At(r, c.setupCode);
        const SetupCodeProblem problem =
            code.empty() ? SetupCodeProblem::None : CheckSetupCode(code, &e->setupCode);
        WipeSecret(&code);
        if (problem != SetupCodeProblem::None)
            return fail(std::string("the setup code is not one: ") + SetupCodeProblemText(problem));
        e->generatePassword =
            c.password >= 0 && r.fields[static_cast<size_t>(c.password)] == kGeneratePasswordCell;
        e->ntp = At(r, c.ntp);
        if (!e->ntp.empty() && !IsPlanNtpServer(e->ntp))
            return fail("the NTP server must be an address or host name");
        e->timeZone = At(r, c.timeZone);
        if (!e->timeZone.empty() && !IsPlanTimeZone(e->timeZone))
            return fail("the time zone must be a POSIX TZ text such as CET-1CEST,M3.5.0,M10.5.0/3");
        return true;
    }

    static bool Unchanged(const PlanEntry& e) {
        const PlanDevice& d = e.device;
        return (e.name.empty() || e.name == d.name) && e.setupCode.empty() && !e.AsksClock() &&
               !e.generatePassword && e.ip == d.ip && e.mask == d.mask && e.gateway == d.gateway &&
               (e.httpPort.empty() || e.httpPort == std::to_string(d.httpPort)) &&
               (e.dataPort.empty() || e.dataPort == std::to_string(d.dataPort));
    }

    std::map<std::string, const PlanDevice*> m_listed;     // by MAC
    std::map<std::string, const PlanDevice*> m_byEndpoint; // cameras, by endpoint
    std::multimap<std::string, std::string> m_holders;     // address -> DeviceKey
    std::set<std::string> m_keys, m_targets;
};

} // namespace

bool ImportPlan(std::string_view text, const std::vector<PlanDevice>& listed,
                std::vector<PlanEntry>* plan, CsvError* error) {
    plan->clear();
    std::vector<CsvRecord> records;
    // The records may hold passwords; they are wiped on every way out.
    struct Wipe {
        std::vector<CsvRecord>* records;
        ~Wipe() {
            for (CsvRecord& r : *records)
                for (std::string& f : r.fields)
                    WipeSecret(&f);
        }
    } wipe{&records};
    if (!ReadCsv(text, &records, error))
        return false;
    if (records.empty()) {
        *error = {1, "the file is empty"};
        return false;
    }
    Columns columns;
    if (!ReadHeader(records[0], &columns, error))
        return false;
    Importer importer(listed);
    for (size_t i = 1; i < records.size(); ++i) {
        const CsvRecord& r = records[i];
        if (Blank(r))
            continue;
        if (r.fields.size() != records[0].fields.size()) {
            *error = {r.line, "the line has " + std::to_string(r.fields.size()) +
                                  " fields, the header " +
                                  std::to_string(records[0].fields.size())};
            plan->clear();
            return false;
        }
        PlanEntry entry;
        bool unchanged = false;
        if (!importer.Read(r, columns, &entry, &unchanged, error)) {
            WipeSecret(&entry.password);
            WipeSecret(&entry.setupCode);
            for (PlanEntry& e : *plan) {
                WipeSecret(&e.password);
                WipeSecret(&e.setupCode);
            }
            plan->clear();
            return false;
        }
        if (unchanged)
            WipeSecret(&entry.password);
        else
            plan->push_back(std::move(entry));
    }
    return true;
}

bool IsPlanName(const std::string& name) { return lorvex::wire::IsDeviceName(name); }

bool IsPlanNtpServer(const std::string& server) {
    return OfCharacters(server, kMaxPlanNtpBytes, ".-:");
}

bool IsPlanTimeZone(const std::string& zone) {
    return OfCharacters(zone, kMaxPlanTimeZoneBytes, ",./:+-<>_");
}

std::string ExportPlan(const std::vector<PlanEntry>& plan,
                       const std::vector<DeviceStatus>& statuses,
                       const std::vector<std::string>& extraHeaders,
                       const std::function<std::vector<std::string>(size_t index)>& extraCells) {
    std::vector<std::string> header(kPlanColumns, kPlanColumns + kPlanColumnCount);
    header.insert(header.end(), extraHeaders.begin(), extraHeaders.end());
    std::string out = CsvLine(header);
    for (size_t i = 0; i < plan.size(); ++i) {
        const PlanEntry& e = plan[i];
        std::string status, detail;
        if (i < statuses.size()) {
            status = BatchStateName(statuses[i].state);
            detail = StatusText(statuses[i]);
        }
        std::vector<std::string> cells = {
            e.device.mac, e.device.name,     e.device.type, e.device.ip, e.ip,
            e.mask,       e.gateway,         e.httpPort,    e.dataPort,  status,
            detail,       e.device.endpoint, e.name,        e.ntp,       e.timeZone};
        std::vector<std::string> extra = extraCells ? extraCells(i) : std::vector<std::string>();
        extra.resize(extraHeaders.size());
        cells.insert(cells.end(), extra.begin(), extra.end());
        out += CsvLine(cells);
    }
    return out;
}

} // namespace commission
