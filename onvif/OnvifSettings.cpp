#include "OnvifSettings.h"

#include <arpa/inet.h>

#include <cctype>
#include <cstring>

#include "OnvifDiscovery.h"
#include "OnvifXml.h"

namespace onvif {

const char kNameScopePrefix[] = "onvif://www.onvif.org/name/";

namespace {

constexpr std::size_t kMaxNtpServers = 8;
constexpr std::size_t kMaxHostname = 253;
constexpr std::size_t kMaxLabel = 63;

bool IsAsciiAlnum(unsigned char c) { return std::isalnum(c) != 0 && c < 0x80; }

std::string Element(const char* name, const std::string& text) {
    return std::string("<") + name + ">" + XmlEscape(text) + "</" + name + ">";
}

std::string TrimBlanks(const std::string& text) {
    const std::size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    return text.substr(b, text.find_last_not_of(" \t\r\n") - b + 1);
}

// True for valid UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool ValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        unsigned long code = 0, least = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2, code = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, code = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, code = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (t & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// A reader of a POSIX TZ string, one production per member.
class TimeZoneReader {
public:
    explicit TimeZoneReader(const std::string& text) : m_s(text) {}

    bool Read() {
        if (!Name() || !Offset(24))
            return false;
        if (AtEnd())
            return true;
        if (!Name())
            return false;
        m_dst = true;
        if (AtEnd())
            return true;
        if (Peek() != ',' && !Offset(24))
            return false;
        if (AtEnd())
            return true;
        return Take(',') && Rule() && Take(',') && Rule() && AtEnd();
    }
    bool HasDst() const { return m_dst; }

private:
    bool AtEnd() const { return m_at >= m_s.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_s[m_at]; }
    bool Take(char c) {
        if (Peek() != c)
            return false;
        ++m_at;
        return true;
    }
    // Three or more letters, or <three or more letters, digits, + or ->.
    bool Name() {
        const bool quoted = Take('<');
        const std::size_t start = m_at;
        while (!AtEnd()) {
            const unsigned char c = static_cast<unsigned char>(Peek());
            const bool ok = quoted ? (IsAsciiAlnum(c) || c == '+' || c == '-')
                                   : (std::isalpha(c) != 0 && c < 0x80);
            if (!ok)
                break;
            ++m_at;
        }
        return m_at - start >= 3 && (!quoted || Take('>'));
    }
    // Up to `digits` decimal digits (at least one) within lo..hi.
    bool Number(std::size_t digits, int lo, int hi, int* value) {
        const std::size_t start = m_at;
        int v = 0;
        while (!AtEnd() && m_at - start < digits &&
               std::isdigit(static_cast<unsigned char>(Peek())))
            v = v * 10 + (m_s[m_at++] - '0');
        if (m_at == start || v < lo || v > hi)
            return false;
        if (value != nullptr)
            *value = v;
        return true;
    }
    // [+-]hh[:mm[:ss]]
    bool Offset(int maxHours) {
        if (Peek() == '+' || Peek() == '-')
            ++m_at;
        if (!Number(3, 0, maxHours, nullptr))
            return false;
        for (int part = 0; part < 2 && Peek() == ':'; ++part) {
            ++m_at;
            if (!Number(2, 0, 59, nullptr))
                return false;
        }
        return true;
    }
    // Jn, n or Mm.w.d, then an optional /time.
    bool Rule() {
        bool ok = false;
        if (Take('J'))
            ok = Number(3, 1, 365, nullptr);
        else if (Take('M'))
            ok = Number(2, 1, 12, nullptr) && Take('.') && Number(1, 1, 5, nullptr) && Take('.') &&
                 Number(1, 0, 6, nullptr);
        else
            ok = Number(3, 0, 365, nullptr);
        return ok && (!Take('/') || Offset(167));
    }

    const std::string& m_s;
    std::size_t m_at = 0;
    bool m_dst = false;
};

bool Unicast4(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1)
        return false;
    const std::uint32_t h = ntohl(a.s_addr);
    const std::uint32_t first = h >> 24;
    return first != 0 && first != 127 && first < 224;
}

bool Unicast6(const std::string& text) {
    in6_addr a{};
    if (inet_pton(AF_INET6, text.c_str(), &a) != 1)
        return false;
    static const in6_addr kAny{}, kLoopback = IN6ADDR_LOOPBACK_INIT;
    return std::memcmp(&a, &kAny, sizeof a) != 0 && std::memcmp(&a, &kLoopback, sizeof a) != 0 &&
           a.s6_addr[0] != 0xFF;
}

std::string NtpAddressOf(const XmlElement& e) {
    for (const char* name : {"IPv4Address", "IPv6Address", "DNSname"}) {
        const std::string v = AnswerField(e.ChildText(kNsSchema, name));
        if (!v.empty())
            return v;
    }
    return std::string();
}

} // namespace

bool ValidCameraName(const std::string& name) {
    if (name.empty() || name.size() > kMaxCameraName || !ValidUtf8(name))
        return false;
    bool visible = false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return false;
        visible = visible || c != ' ';
    }
    return visible;
}

std::string NameScope(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = kNameScopePrefix;
    for (unsigned char c : name) {
        if (IsAsciiAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

bool IsNameScope(const std::string& scope) {
    const std::size_t n = std::strlen(kNameScopePrefix);
    if (scope.size() < n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(scope[i])) != kNameScopePrefix[i])
            return false;
    return true;
}

std::vector<std::string> ScopesWithName(const std::vector<Scope>& current,
                                        const std::string& name) {
    std::vector<std::string> out;
    for (const Scope& s : current)
        if (!s.fixed && !IsNameScope(s.item))
            out.push_back(s.item);
    out.push_back(NameScope(name));
    return out;
}

bool ValidHostname(const std::string& name) {
    if (name.empty() || name.size() > kMaxHostname)
        return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = name.find('.', start);
        const std::string label =
            name.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (label.empty() || label.size() > kMaxLabel || label.front() == '-' ||
            label.back() == '-')
            return false;
        for (unsigned char c : label)
            if (!IsAsciiAlnum(c) && c != '-')
                return false;
        if (dot == std::string::npos)
            return true;
        start = dot + 1;
    }
}

std::string HostnameFor(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (IsAsciiAlnum(c))
            out += static_cast<char>(c);
        else if (!out.empty() && out.back() != '-')
            out += '-';
    }
    if (out.size() > kMaxLabel)
        out.resize(kMaxLabel);
    while (!out.empty() && out.back() == '-')
        out.pop_back();
    return out;
}

bool ParseNtpServer(const std::string& text, NtpServer* out) {
    NtpServer server;
    server.address = text;
    if (Unicast4(text)) {
        server.kind = NtpServer::Kind::IPv4;
    } else if (Unicast6(text)) {
        server.kind = NtpServer::Kind::IPv6;
    } else if (text.find_first_not_of("0123456789.") != std::string::npos && ValidHostname(text)) {
        server.kind = NtpServer::Kind::Dns;
    } else {
        return false;
    }
    *out = server;
    return true;
}

bool ValidPosixTimeZone(const std::string& tz) {
    return tz.size() <= kMaxTimeZone && TimeZoneReader(tz).Read();
}

bool DaylightSavingIn(const std::string& tz) {
    TimeZoneReader reader(tz);
    return tz.size() <= kMaxTimeZone && reader.Read() && reader.HasDst();
}

std::string GetScopesBody() { return "<tds:GetScopes/>"; }
std::string GetHostnameBody() { return "<tds:GetHostname/>"; }
std::string GetNtpBody() { return "<tds:GetNTP/>"; }

std::string SetScopesBody(const std::vector<std::string>& scopes) {
    std::string body = "<tds:SetScopes>";
    for (const std::string& s : scopes)
        body += Element("tds:Scopes", s);
    return body + "</tds:SetScopes>";
}

std::string SetHostnameBody(const std::string& name) {
    return "<tds:SetHostname>" + Element("tds:Name", name) + "</tds:SetHostname>";
}

std::string SetNtpBody(const NtpServer& server) {
    const char* type = "IPv4";
    const char* element = "tt:IPv4Address";
    if (server.kind == NtpServer::Kind::IPv6)
        type = "IPv6", element = "tt:IPv6Address";
    else if (server.kind == NtpServer::Kind::Dns)
        type = "DNS", element = "tt:DNSname";
    return std::string("<tds:SetNTP><tds:FromDHCP>false</tds:FromDHCP><tds:NTPManual><tt:Type>") +
           type + "</tt:Type>" + Element(element, server.address) + "</tds:NTPManual></tds:SetNTP>";
}

std::string SetSystemDateAndTimeBody(const DateTimeSetting& setting) {
    std::string body =
        std::string("<tds:SetSystemDateAndTime><tds:DateTimeType>") +
        (setting.ntp ? "NTP" : "Manual") + "</tds:DateTimeType><tds:DaylightSavings>" +
        (DaylightSavingIn(setting.timeZone) ? "true" : "false") + "</tds:DaylightSavings>";
    if (!setting.timeZone.empty())
        body += "<tds:TimeZone>" + Element("tt:TZ", setting.timeZone) + "</tds:TimeZone>";
    if (!setting.ntp) {
        std::tm utc{};
        const std::time_t t = setting.utc;
        gmtime_r(&t, &utc);
        body += "<tds:UTCDateTime><tt:Time>" + Element("tt:Hour", std::to_string(utc.tm_hour)) +
                Element("tt:Minute", std::to_string(utc.tm_min)) +
                Element("tt:Second", std::to_string(utc.tm_sec)) + "</tt:Time><tt:Date>" +
                Element("tt:Year", std::to_string(utc.tm_year + 1900)) +
                Element("tt:Month", std::to_string(utc.tm_mon + 1)) +
                Element("tt:Day", std::to_string(utc.tm_mday)) + "</tt:Date></tds:UTCDateTime>";
    }
    return body + "</tds:SetSystemDateAndTime>";
}

SoapRead ReadScopes(const std::string& body, std::vector<Scope>* out, SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    const SoapRead r = ReadAnswer(body, kNsDevice, "GetScopesResponse", &root, &answer, fault);
    if (r != SoapRead::Ok)
        return r;
    std::vector<Scope> list;
    for (const XmlElement& e : answer->children) {
        if (e.ns != kNsDevice || e.local != "Scopes")
            continue;
        if (list.size() >= kMaxScopeItems)
            return SoapRead::NotSoap;
        Scope s;
        const std::string def = TrimBlanks(e.ChildText(kNsSchema, "ScopeDef"));
        if (def != "Fixed" && def != "Configurable")
            return SoapRead::NotSoap;
        s.fixed = def == "Fixed";
        s.item = TrimBlanks(e.ChildText(kNsSchema, "ScopeItem"));
        if (s.item.empty() || s.item.size() > kMaxScopeBytes)
            return SoapRead::NotSoap;
        for (unsigned char c : s.item)
            if (c < 0x20 || c == 0x7F)
                return SoapRead::NotSoap;
        list.push_back(s);
    }
    if (list.empty())
        return SoapRead::NotSoap;
    *out = list;
    return SoapRead::Ok;
}

SoapRead ReadHostname(const std::string& body, std::string* name, SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    const SoapRead r = ReadAnswer(body, kNsDevice, "GetHostnameResponse", &root, &answer, fault);
    if (r != SoapRead::Ok)
        return r;
    const XmlElement* info = answer->Child(kNsDevice, "HostnameInformation");
    if (info == nullptr)
        return SoapRead::NotSoap;
    *name = AnswerField(info->ChildText(kNsSchema, "Name"));
    return SoapRead::Ok;
}

SoapRead ReadNtp(const std::string& body, NtpSettings* out, SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    const SoapRead r = ReadAnswer(body, kNsDevice, "GetNTPResponse", &root, &answer, fault);
    if (r != SoapRead::Ok)
        return r;
    const XmlElement* info = answer->Child(kNsDevice, "NTPInformation");
    if (info == nullptr)
        return SoapRead::NotSoap;
    NtpSettings settings;
    const std::string dhcp = TrimBlanks(info->ChildText(kNsSchema, "FromDHCP"));
    settings.fromDhcp = dhcp == "true" || dhcp == "1";
    for (const char* kind : {"NTPManual", "NTPFromDHCP"})
        for (const XmlElement& e : info->children)
            if (e.ns == kNsSchema && e.local == kind && settings.servers.size() < kMaxNtpServers) {
                const std::string address = NtpAddressOf(e);
                if (!address.empty())
                    settings.servers.push_back(address);
            }
    *out = settings;
    return SoapRead::Ok;
}

SoapRead ReadClockSettings(const std::string& body, std::time_t hostNow, ClockSettings* out,
                           SoapFault* fault) {
    ClockSettings settings;
    const SoapRead r = ReadSystemDateAndTime(body, hostNow, &settings.offset, fault);
    if (r != SoapRead::Ok)
        return r;
    XmlElement root;
    const XmlElement* answer = nullptr;
    if (ReadAnswer(body, kNsDevice, "GetSystemDateAndTimeResponse", &root, &answer, nullptr) !=
        SoapRead::Ok)
        return SoapRead::NotSoap;
    const XmlElement* when = answer->Child(kNsDevice, "SystemDateAndTime");
    if (when == nullptr)
        return SoapRead::NotSoap;
    settings.type = AnswerField(when->ChildText(kNsSchema, "DateTimeType"), 16);
    const std::string dst = TrimBlanks(when->ChildText(kNsSchema, "DaylightSavings"));
    settings.daylightSavings = dst == "true" || dst == "1";
    if (const XmlElement* tz = when->Child(kNsSchema, "TimeZone"))
        settings.timeZone = AnswerField(tz->ChildText(kNsSchema, "TZ"), kMaxTimeZone * 2);
    *out = settings;
    return SoapRead::Ok;
}

} // namespace onvif
