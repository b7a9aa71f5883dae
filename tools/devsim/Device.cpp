#include "Device.h"

#include <arpa/inet.h>
#include <sodium.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace devsim {
namespace {

constexpr std::size_t kMaxAttributes = 32;

void Elem(std::string& out, const char* name, const std::string& value) {
    out += '<';
    out += name;
    out += '>';
    out += XmlEscape(value);
    out += "</";
    out += name;
    out += '>';
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string Unescape(const std::string& v) {
    static const std::pair<const char*, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (std::size_t i = 0; i < v.size();) {
        bool hit = false;
        for (const auto& [text, ch] : kEntities) {
            const std::size_t n = std::strlen(text);
            if (v.compare(i, n, text) == 0) {
                out += ch;
                i += n;
                hit = true;
                break;
            }
        }
        if (!hit)
            out += v[i++];
    }
    return out;
}

// Reads one name="value" pair at `at`; false at the end of the element or on
// malformed text.
bool NextAttribute(const std::string& xml, std::size_t* at, std::string* name, std::string* value) {
    std::size_t i = *at;
    while (i < xml.size() && std::strchr(" \t\r\n", xml[i]))
        ++i;
    const std::size_t start = i;
    while (i < xml.size() && IsNameChar(xml[i]))
        ++i;
    if (i == start || i + 1 >= xml.size() || xml[i] != '=')
        return false;
    const char quote = xml[i + 1];
    if (quote != '"' && quote != '\'')
        return false;
    const std::size_t end = xml.find(quote, i + 2);
    if (end == std::string::npos)
        return false;
    *name = xml.substr(start, i - start);
    *value = Unescape(xml.substr(i + 2, end - i - 2));
    *at = end + 1;
    return true;
}

bool IsAddress(const std::string& text) {
    in_addr a{};
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

bool IsPort(const std::string& text) {
    if (text.empty() || text.size() > 5)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    const int v = std::atoi(text.c_str());
    return v >= 1 && v <= 65535;
}

std::string Get(const std::map<std::string, std::string>& m, const char* key) {
    auto it = m.find(key);
    return it == m.end() ? std::string() : it->second;
}

bool ClockFieldsWellFormed(const std::map<std::string, std::string>& a) {
    if (a.count("ntpServer") && !lorvex::wire::IsClockNtpServer(Get(a, "ntpServer")))
        return false;
    if (a.count("timeZone") && !lorvex::wire::IsClockTimeZone(Get(a, "timeZone")))
        return false;
    return !a.count("time") || lorvex::wire::ReadClockTime(Get(a, "time"), nullptr);
}

// The NTP server's kind as the standard camera side reports it.
std::string NtpKindOf(const std::string& server) {
    if (server.find(':') != std::string::npos)
        return "IPv6";
    in_addr a{};
    return inet_pton(AF_INET, server.c_str(), &a) == 1 ? "IPv4" : "DNS";
}

bool WellFormed(const std::map<std::string, std::string>& a) {
    if (!IsAddress(Get(a, "ipAddr")) || !IsAddress(Get(a, "maskAddr")))
        return false;
    if (!IsAddress(Get(a, "route")))
        return false;
    if (a.count("httpPort") && !IsPort(Get(a, "httpPort")))
        return false;
    if (a.count("devName") && !lorvex::wire::IsDeviceName(Get(a, "devName")))
        return false;
    if (!ClockFieldsWellFormed(a))
        return false;
    return !a.count("dataPort") || IsPort(Get(a, "dataPort"));
}

} // namespace

Device::~Device() {
    for (std::string* secret : {&password, &factoryPassword, &setupCode})
        if (!secret->empty())
            sodium_memzero(secret->data(), secret->size());
}

std::string XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
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
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string AnswerXml(const Device& d, std::int64_t nowEpoch) {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><multicastSearchResult><productInfo>";
    Elem(x, "productSeries", d.type);
    Elem(x, "devName", d.devName);
    Elem(x, "productModel", d.productModel);
    Elem(x, "softwareVer", d.softwareVer);
    Elem(x, "build", d.build);
    Elem(x, "softwareBulildDate", d.softwareBuildDate);
    Elem(x, "hardwareVer", d.hardwareVer);
    Elem(x, "kernelVer", d.kernelVer);
    Elem(x, "bootTime", BootTimeText(d));
    Elem(x, "runningTime", std::to_string(nowEpoch > d.bootEpoch ? nowEpoch - d.bootEpoch : 0));
    Elem(x, "timeZone", d.onvif.timeZone);
    if (d.onvif.clockNtp)
        Elem(x, "ntpServer", d.onvif.ntpServer);
    Elem(x, "clockSets", std::to_string(d.clockSets));
    Elem(x, "deviceActivated", std::to_string(d.activated));
    x += "</productInfo><tcpIp><ipAddr><item>";
    Elem(x, "ip", d.ip);
    Elem(x, "mask", d.mask);
    Elem(x, "route", d.gateway);
    Elem(x, "dhcpSwitch", d.dhcp ? "true" : "false");
    x += "</item><item>";
    Elem(x, "ip", d.ip2);
    Elem(x, "mask", "255.255.0.0");
    x += "</item></ipAddr>";
    Elem(x, "dns1", d.dns1);
    Elem(x, "dns2", d.dns2);
    Elem(x, "encryptType", d.encryptType);
    x += "</tcpIp><port>";
    Elem(x, "dataPort", std::to_string(d.dataPort));
    Elem(x, "httpPort", std::to_string(d.httpPort));
    Elem(x, "rtspPort", std::to_string(d.rtspInAnswer ? d.rtspPort : 0));
    x += "</port>";
    Elem(x, "httpType", std::to_string(d.httpType));
    return x + "</multicastSearchResult>";
}

std::string ConfigResultXml(int result) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><multicastSearchResult><setIPResult>" +
           std::to_string(result) + "</setIPResult></multicastSearchResult>";
}

bool ParseSetIp(const std::string& xml, std::map<std::string, std::string>* attrs) {
    const std::size_t open = xml.find("<searchSetIP");
    if (open == std::string::npos)
        return false;
    std::size_t at = open + std::strlen("<searchSetIP");
    if (at < xml.size() && IsNameChar(xml[at]))
        return false;
    std::string name, value;
    while (attrs->size() < kMaxAttributes && NextAttribute(xml, &at, &name, &value))
        (*attrs)[name] = value;
    while (at < xml.size() && std::strchr(" \t\r\n", xml[at]))
        ++at;
    return at < xml.size() && (xml[at] == '/' || xml[at] == '>');
}

int ApplySetIp(Device* d, const std::map<std::string, std::string>& a) {
    auto pw = a.find("password");
    if (pw == a.end() || pw->second != d->password || !WellFormed(a))
        return 1;
    d->ip = Get(a, "ipAddr");
    d->mask = Get(a, "maskAddr");
    d->gateway = Get(a, "route");
    if (a.count("dns1"))
        d->dns1 = Get(a, "dns1");
    if (a.count("dns2"))
        d->dns2 = Get(a, "dns2");
    if (a.count("encryptType"))
        d->encryptType = Get(a, "encryptType");
    d->dhcp = Get(a, "dhcpSwitch") == "true";
    // Every type, the IP camera too, takes its ports from the sealed request,
    // so no credential has to cross the link for them.
    if (a.count("httpPort"))
        d->httpPort = std::atoi(Get(a, "httpPort").c_str());
    if (a.count("dataPort"))
        d->dataPort = std::atoi(Get(a, "dataPort").c_str());
    // The new name is announced in every later answer; --change-every
    // revisions count from it.
    if (a.count("devName"))
        d->devName = d->baseName = Get(a, "devName");
    ApplyClock(d, a, static_cast<std::int64_t>(std::time(nullptr)));
    return 0;
}

std::string BootTimeText(const Device& d) {
    const std::time_t t = static_cast<std::time_t>(d.bootEpoch + d.onvif.clockOffset);
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr)
        return {};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

void ApplyClock(Device* d, const std::map<std::string, std::string>& a, std::int64_t nowEpoch) {
    if (a.count("timeZone") || a.count("ntpServer") || a.count("time"))
        ++d->clockSets;
    if (a.count("timeZone") && !d->onvif.zoneFixed)
        d->onvif.timeZone = Get(a, "timeZone");
    if (a.count("ntpServer")) {
        d->onvif.clockNtp = true;
        d->onvif.ntpServer = Get(a, "ntpServer");
        d->onvif.ntpType = NtpKindOf(d->onvif.ntpServer);
        d->onvif.clockOffset = 0; // synchronised with its server at once
        return;
    }
    std::int64_t utc = 0;
    if (a.count("time") && lorvex::wire::ReadClockTime(Get(a, "time"), &utc)) {
        d->onvif.clockNtp = false;
        d->onvif.clockOffset = utc - nowEpoch;
    }
}

void ChangeVisibly(Device* d) {
    ++d->revision;
    d->devName = d->baseName + " r" + std::to_string(d->revision);
}

} // namespace devsim
