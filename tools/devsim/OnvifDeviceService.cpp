#include "OnvifDeviceService.h"

#include <arpa/inet.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sodium.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>

#include "Device.h"
#include "DeviceIds.h"
#include "SoapReader.h"
#include "WsDiscovery.h"

namespace devsim::onvif {
namespace {

constexpr std::size_t kMaxUsedNonces = 4096;
constexpr std::size_t kMaxDigestNonces = 64;
constexpr const char* kPasswordDigestType =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#"
    "PasswordDigest";

// ---- hashes (libcrypto) and encodings (libsodium) ----

std::string Digest(const EVP_MD* md, const std::string& text) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (EVP_Digest(text.data(), text.size(), out, &n, md, nullptr) != 1)
        return {};
    return std::string(reinterpret_cast<char*>(out), n);
}

std::string ToBase64(const std::string& bytes) {
    std::string out(sodium_base64_encoded_len(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                      bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    out.resize(std::strlen(out.c_str()));
    return out;
}

bool FromBase64(const std::string& text, std::string* bytes) {
    bytes->assign(text.size(), '\0');
    std::size_t n = 0;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(bytes->data()), bytes->size(),
                          text.data(), text.size(), " \t\r\n", &n, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0)
        return false;
    bytes->resize(n);
    return true;
}

bool SameSecret(const std::string& a, const std::string& b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string Trim(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return {};
    return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

// ---- answers ----

std::string Envelope(const std::string& body) {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><env:Envelope xmlns:env=\"") +
           soap::kEnvelopeNs + "\" xmlns:tds=\"" + soap::kDeviceNs + "\" xmlns:tt=\"" +
           soap::kSchemaNs + "\" xmlns:ter=\"" + soap::kErrorNs + "\"><env:Body>" + body +
           "</env:Body></env:Envelope>";
}

Response Fault(int status, const char* code, const char* subcode, const std::string& reason) {
    Response r;
    r.status = status;
    r.body = Envelope(std::string("<env:Fault><env:Code><env:Value>") + code +
                      "</env:Value><env:Subcode><env:Value>" + subcode +
                      "</env:Value></env:Subcode></env:Code><env:Reason><env:Text "
                      "xml:lang=\"en\">" +
                      XmlEscape(reason) + "</env:Text></env:Reason></env:Fault>");
    return r;
}

std::string El(const char* name, const std::string& value) {
    return std::string("<") + name + ">" + XmlEscape(value) + "</" + name + ">";
}

std::string MacText(const Device& d) {
    char buf[18];
    std::snprintf(buf, sizeof buf, "%02x:%02x:%02x:%02x:%02x:%02x", d.mac[0], d.mac[1], d.mac[2],
                  d.mac[3], d.mac[4], d.mac[5]);
    return buf;
}

std::string Serial(const Device& d) {
    if (!d.onvif.serial.empty())
        return d.onvif.serial;
    std::string mac = MacText(d), out = "SN";
    for (char c : mac)
        if (c != ':')
            out += static_cast<char>(c >= 'a' ? c - 32 : c);
    return out;
}

int PrefixOf(const std::string& mask) {
    in_addr a{};
    if (inet_pton(AF_INET, mask.c_str(), &a) != 1)
        return 24;
    return __builtin_popcount(ntohl(a.s_addr));
}

std::string MaskOf(int prefix) {
    const std::uint32_t m = prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix);
    in_addr a{htonl(m)};
    char buf[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

bool IsUnicastAddress(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1)
        return false;
    const std::uint32_t h = ntohl(a.s_addr);
    return h != 0 && (h >> 28) < 14 && (h >> 24) != 127;
}

std::string DateTimeXml(const char* name, std::int64_t epoch) {
    const std::time_t t = static_cast<std::time_t>(epoch);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return std::string("<tt:") + name + "><tt:Time><tt:Hour>" + std::to_string(tm.tm_hour) +
           "</tt:Hour><tt:Minute>" + std::to_string(tm.tm_min) + "</tt:Minute><tt:Second>" +
           std::to_string(tm.tm_sec) + "</tt:Second></tt:Time><tt:Date><tt:Year>" +
           std::to_string(tm.tm_year + 1900) + "</tt:Year><tt:Month>" +
           std::to_string(tm.tm_mon + 1) + "</tt:Month><tt:Day>" + std::to_string(tm.tm_mday) +
           "</tt:Day></tt:Date></tt:" + name + ">";
}

Response Ok(const std::string& body) {
    Response r;
    r.body = Envelope(body);
    return r;
}

// The standard time's offset east of UTC a POSIX TZ string names ("CST-8":
// 8 hours east), 0 when it names none that reads.
std::int64_t EastOf(const std::string& tz) {
    std::size_t at = 0;
    if (at < tz.size() && tz[at] == '<') {
        at = tz.find('>');
        at = at == std::string::npos ? tz.size() : at + 1;
    } else {
        while (at < tz.size() && std::isalpha(static_cast<unsigned char>(tz[at])))
            ++at;
    }
    int sign = -1; // POSIX counts west
    if (at < tz.size() && (tz[at] == '+' || tz[at] == '-'))
        sign = tz[at++] == '-' ? 1 : -1;
    int h = 0, m = 0;
    if (std::sscanf(tz.c_str() + at, "%2d:%2d", &h, &m) < 1)
        return 0;
    return sign * (h * 3600 + m * 60);
}

Response SystemDateAndTime(const Device& d, std::int64_t cameraEpoch) {
    const OnvifCamera& c = d.onvif;
    return Ok(std::string("<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>"
                          "<tt:DateTimeType>") +
              (c.clockNtp ? "NTP" : "Manual") + "</tt:DateTimeType><tt:DaylightSavings>" +
              (c.daylightSavings ? "true" : "false") + "</tt:DaylightSavings><tt:TimeZone>" +
              El("tt:TZ", c.timeZone) + "</tt:TimeZone>" + DateTimeXml("UTCDateTime", cameraEpoch) +
              DateTimeXml("LocalDateTime", cameraEpoch + EastOf(c.timeZone)) +
              "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>");
}

Response DeviceInformation(const Device& d) {
    return Ok("<tds:GetDeviceInformationResponse>" +
              El("tds:Manufacturer",
                 d.onvif.manufacturer.empty() ? "Lorvex Simulated" : d.onvif.manufacturer) +
              El("tds:Model", d.productModel) + El("tds:FirmwareVersion", d.softwareVer) +
              El("tds:SerialNumber", Serial(d)) + El("tds:HardwareId", d.hardwareVer) +
              "</tds:GetDeviceInformationResponse>");
}

Response NetworkInterfaces(const Device& d) {
    std::string link;
    if (!d.ip2.empty())
        link = "<tt:LinkLocal>" + El("tt:Address", d.ip2) +
               "<tt:PrefixLength>16</tt:PrefixLength></tt:LinkLocal>";
    return Ok("<tds:GetNetworkInterfacesResponse><tds:NetworkInterfaces token=\"eth0\">"
              "<tt:Enabled>true</tt:Enabled><tt:Info><tt:Name>eth0</tt:Name>" +
              El("tt:HwAddress", MacText(d)) +
              "<tt:MTU>1500</tt:MTU></tt:Info><tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Config>"
              "<tt:Manual>" +
              El("tt:Address", d.ip) + "<tt:PrefixLength>" + std::to_string(PrefixOf(d.mask)) +
              "</tt:PrefixLength></tt:Manual>" + link + El("tt:DHCP", d.dhcp ? "true" : "false") +
              "</tt:Config></tt:IPv4></tds:NetworkInterfaces></tds:GetNetworkInterfacesResponse>");
}

Response InvalidArg(const std::string& why) {
    return Fault(400, "env:Sender", "ter:InvalidArgVal", why);
}

const std::string& Text(const soap::Document& doc, int i) {
    return doc.elements[static_cast<std::size_t>(i)].text;
}

Response SetNetworkInterfaces(Device* d, const soap::Document& doc, int op) {
    const int token = doc.Child(op, soap::kDeviceNs, "InterfaceToken");
    const int iface = doc.Child(op, soap::kDeviceNs, "NetworkInterface");
    if (token < 0 || Trim(Text(doc, token)) != "eth0")
        return InvalidArg("no such network interface");
    const int ipv4 = iface < 0 ? -1 : doc.Child(iface, soap::kSchemaNs, "IPv4");
    if (ipv4 < 0)
        return InvalidArg("IPv4 settings missing");
    const int dhcp = doc.Child(ipv4, soap::kSchemaNs, "DHCP");
    const int manual = doc.Child(ipv4, soap::kSchemaNs, "Manual");
    const bool wantDhcp = dhcp >= 0 && Trim(Text(doc, dhcp)) == "true";
    std::string address = d->ip;
    int prefix = PrefixOf(d->mask);
    if (manual >= 0) {
        const int a = doc.Child(manual, soap::kSchemaNs, "Address");
        const int p = doc.Child(manual, soap::kSchemaNs, "PrefixLength");
        const std::string pt = p < 0 ? "" : Trim(Text(doc, p));
        if (a < 0 || !IsUnicastAddress(Trim(Text(doc, a))) || pt.empty() || pt.size() > 2 ||
            pt.find_first_not_of("0123456789") != std::string::npos || std::stoi(pt) < 1 ||
            std::stoi(pt) > 30)
            return InvalidArg("manual address or prefix length not valid");
        address = Trim(Text(doc, a));
        prefix = std::stoi(pt);
    } else if (!wantDhcp) {
        return InvalidArg("neither a manual address nor DHCP");
    }
    d->onvif.pendingAddress = true;
    d->onvif.pendingIp = address;
    d->onvif.pendingMask = MaskOf(prefix);
    d->onvif.pendingDhcp = wantDhcp;
    Response r = Ok(std::string("<tds:SetNetworkInterfacesResponse><tds:RebootNeeded>") +
                    (d->onvif.rebootNeeded ? "true" : "false") +
                    "</tds:RebootNeeded></tds:SetNetworkInterfacesResponse>");
    r.effect = d->onvif.rebootNeeded ? Effect::None : Effect::MoveNow;
    return r;
}

Response SetDefaultGateway(Device* d, const soap::Document& doc, int op) {
    const int a = doc.Child(op, soap::kDeviceNs, "IPv4Address");
    if (a < 0 || !IsUnicastAddress(Trim(Text(doc, a))))
        return InvalidArg("gateway address not valid");
    d->gateway = Trim(Text(doc, a));
    return Ok("<tds:SetNetworkDefaultGatewayResponse/>");
}

std::string ServiceAddress(const Device& d, const char* path) {
    return "http://" + d.ip + ":" + std::to_string(d.httpPort) + path;
}

Response Capabilities(const Device& d) {
    const std::string x = ServiceAddress(d, kServicePath);
    return Ok("<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Device>" + El("tt:XAddr", x) +
              "<tt:Network><tt:IPFilter>false</tt:IPFilter><tt:ZeroConfiguration>true</"
              "tt:ZeroConfiguration><tt:IPVersion6>false</tt:IPVersion6><tt:DynDNS>false</"
              "tt:DynDNS></tt:Network><tt:System><tt:DiscoveryResolve>false</"
              "tt:DiscoveryResolve><tt:DiscoveryBye>true</tt:DiscoveryBye><tt:RemoteDiscovery>"
              "false</tt:RemoteDiscovery><tt:SystemBackup>false</tt:SystemBackup><tt:SystemLogging>"
              "false</tt:SystemLogging><tt:FirmwareUpgrade>false</tt:FirmwareUpgrade>"
              "</tt:System></tt:Device><tt:Media>" +
              El("tt:XAddr", ServiceAddress(d, kMediaPath)) +
              "<tt:StreamingCapabilities><tt:RTPMulticast>false</tt:RTPMulticast><tt:RTP_TCP>true"
              "</tt:RTP_TCP><tt:RTP_RTSP_TCP>true</tt:RTP_RTSP_TCP></tt:StreamingCapabilities>"
              "</tt:Media></tds:Capabilities></tds:GetCapabilitiesResponse>");
}

Response NotSupported(const std::string& name) {
    return Fault(500, "env:Receiver", "ter:ActionNotSupported",
                 "The operation " + name.substr(0, 64) + " is not supported");
}

// ---- name: scopes and host name ----

constexpr std::size_t kMaxSetScopes = 32;
constexpr std::size_t kMaxScopeText = 256;
constexpr std::size_t kMaxName = 64;

bool IsHostnameLabel(const std::string& label) {
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
        return false;
    for (unsigned char c : label)
        if (!(std::isalnum(c) && c < 0x80) && c != '-')
            return false;
    return true;
}

// Letters, digits and hyphens in dot-separated labels of 1 to 63, none
// starting or ending with a hyphen; at most 253 bytes.
bool IsHostname(const std::string& name) {
    if (name.empty() || name.size() > 253)
        return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = name.find('.', start);
        if (!IsHostnameLabel(name.substr(start, dot == std::string::npos ? dot : dot - start)))
            return false;
        if (dot == std::string::npos)
            return true;
        start = dot + 1;
    }
}

std::string HostnameOf(const Device& d) {
    if (!d.onvif.hostname.empty())
        return d.onvif.hostname;
    std::string out;
    for (unsigned char c : d.devName)
        if (std::isalnum(c) && c < 0x80)
            out += static_cast<char>(std::tolower(c));
        else if (!out.empty() && out.back() != '-')
            out += '-';
    while (!out.empty() && out.back() == '-')
        out.pop_back();
    return out.empty() ? "camera" : out.substr(0, 63);
}

Response SetHostname(Device* d, const soap::Document& doc, int op) {
    const int n = doc.Child(op, soap::kDeviceNs, "Name");
    const std::string name = n < 0 ? std::string() : Trim(Text(doc, n));
    if (!IsHostname(name))
        return Fault(400, "env:Sender", "ter:InvalidHostname", "The host name is not valid");
    d->onvif.hostname = name;
    return Ok("<tds:SetHostnameResponse/>");
}

std::string ScopeList(const std::vector<std::string>& scopes, const char* def) {
    std::string out;
    for (const std::string& s : scopes)
        out += std::string("<tds:Scopes><tt:ScopeDef>") + def + "</tt:ScopeDef>" +
               El("tt:ScopeItem", s) + "</tds:Scopes>";
    return out;
}

Response GetScopes(const Device& d) {
    return Ok("<tds:GetScopesResponse>" + ScopeList(wsd::FixedScopes(d), "Fixed") +
              ScopeList(wsd::ConfigurableScopes(d), "Configurable") + "</tds:GetScopesResponse>");
}

// The percent-decoded text; false for a broken escape.
bool PercentDecode(const std::string& text, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *out += text[i];
            continue;
        }
        const int hi = i + 2 < text.size() ? devicelist::HexValue(text[i + 1]) : -1;
        const int lo = i + 2 < text.size() ? devicelist::HexValue(text[i + 2]) : -1;
        if (hi < 0 || lo < 0)
            return false;
        *out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

bool IsNameScope(const std::string& scope) {
    static const std::string kPrefix = "onvif://www.onvif.org/name/";
    if (scope.size() < kPrefix.size())
        return false;
    for (std::size_t i = 0; i < kPrefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(scope[i])) != kPrefix[i])
            return false;
    return true;
}

// SetScopes replaces every configurable scope; a fixed one among them is
// refused whole, as is a scope that is no URI or a name that is no text.
Response SetScopes(Device* d, const soap::Document& doc, int op) {
    std::vector<std::string> scopes;
    for (int i = doc.Child(op, soap::kDeviceNs, "Scopes"); i >= 0;
         i = doc.Child(op, soap::kDeviceNs, "Scopes", i)) {
        const std::string scope = Trim(Text(doc, i));
        if (scopes.size() >= kMaxSetScopes)
            return Fault(400, "env:Sender", "ter:TooManyScopes", "Too many scopes");
        if (scope.empty() || scope.size() > kMaxScopeText || scope.find(':') == std::string::npos ||
            scope.find_first_of(" \t\r\n") != std::string::npos)
            return InvalidArg("a scope is not a URI");
        scopes.push_back(scope);
    }
    const std::vector<std::string> fixed = wsd::FixedScopes(*d);
    std::string name;
    bool named = false;
    std::vector<std::string> extra;
    for (const std::string& scope : scopes) {
        for (const std::string& f : fixed)
            if (f == scope || (IsNameScope(scope) && d->onvif.nameFixed))
                return Fault(400, "env:Sender", "ter:ScopeOverwrite",
                             "A fixed scope cannot be changed");
        if (!IsNameScope(scope) || named) {
            extra.push_back(scope);
            continue;
        }
        if (!PercentDecode(scope.substr(27), &name) || name.empty() || name.size() > kMaxName)
            return InvalidArg("the name scope is not valid");
        for (unsigned char c : name)
            if (c < 0x20 || c == 0x7F)
                return InvalidArg("the name scope is not valid");
        named = true;
    }
    if (named)
        d->devName = d->baseName = name;
    d->onvif.nameScope = named || d->onvif.nameFixed;
    d->onvif.extraScopes = extra;
    ++d->onvif.metadataVersion;
    Response r = Ok("<tds:SetScopesResponse/>");
    r.effect = Effect::Announce;
    return r;
}

// ---- clock ----

bool IsPlainTimeZone(const std::string& tz) {
    if (tz.empty() || tz.size() > 64 ||
        !(std::isalpha(static_cast<unsigned char>(tz[0])) || tz[0] == '<'))
        return false;
    for (unsigned char c : tz)
        if (c <= 0x20 || c >= 0x7F)
            return false;
    return true;
}

int NumberOf(const soap::Document& doc, int parent, const char* local, int lo, int hi) {
    const int e = parent < 0 ? -1 : doc.Child(parent, soap::kSchemaNs, local);
    const std::string t = e < 0 ? std::string() : Trim(Text(doc, e));
    if (t.empty() || t.size() > 4 || t.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const int v = std::stoi(t);
    return v < lo || v > hi ? -1 : v;
}

Response SetDateAndTime(Device* d, const soap::Document& doc, int op, std::int64_t hostEpoch) {
    const int typeAt = doc.Child(op, soap::kDeviceNs, "DateTimeType");
    const std::string type = typeAt < 0 ? std::string() : Trim(Text(doc, typeAt));
    if (type != "Manual" && type != "NTP")
        return InvalidArg("DateTimeType must be Manual or NTP");
    const int zone = doc.Child(op, soap::kDeviceNs, "TimeZone");
    const int tzAt = zone < 0 ? -1 : doc.Child(zone, soap::kSchemaNs, "TZ");
    const std::string tz = tzAt < 0 ? std::string() : Trim(Text(doc, tzAt));
    if (tzAt >= 0 && !IsPlainTimeZone(tz))
        return Fault(400, "env:Sender", "ter:InvalidTimeZone", "The time zone is not valid");
    std::int64_t epoch = 0;
    if (type == "Manual") {
        const int utc = doc.Child(op, soap::kDeviceNs, "UTCDateTime");
        const int date = utc < 0 ? -1 : doc.Child(utc, soap::kSchemaNs, "Date");
        const int time = utc < 0 ? -1 : doc.Child(utc, soap::kSchemaNs, "Time");
        std::tm tm{};
        tm.tm_year = NumberOf(doc, date, "Year", 1970, 2099) - 1900;
        tm.tm_mon = NumberOf(doc, date, "Month", 1, 12) - 1;
        tm.tm_mday = NumberOf(doc, date, "Day", 1, 31);
        tm.tm_hour = NumberOf(doc, time, "Hour", 0, 23);
        tm.tm_min = NumberOf(doc, time, "Minute", 0, 59);
        tm.tm_sec = NumberOf(doc, time, "Second", 0, 59);
        if (tm.tm_year < 70 || tm.tm_mon < 0 || tm.tm_mday < 1 || tm.tm_hour < 0 || tm.tm_min < 0 ||
            tm.tm_sec < 0)
            return Fault(400, "env:Sender", "ter:InvalidDateTime", "The date or time is not valid");
        epoch = static_cast<std::int64_t>(timegm(&tm));
    }
    const int dst = doc.Child(op, soap::kDeviceNs, "DaylightSavings");
    d->onvif.daylightSavings = dst >= 0 && Trim(Text(doc, dst)) == "true";
    if (tzAt >= 0 && !d->onvif.zoneFixed)
        d->onvif.timeZone = tz;
    d->onvif.clockNtp = type == "NTP";
    if (type == "Manual")
        d->onvif.clockOffset = epoch - hostEpoch;
    else if (!d->onvif.ntpServer.empty())
        d->onvif.clockOffset = 0; // synchronised with its server at once
    return Ok("<tds:SetSystemDateAndTimeResponse/>");
}

Response GetNtp(const Device& d) {
    std::string manual;
    if (!d.onvif.ntpType.empty()) {
        const char* element = d.onvif.ntpType == "IPv4"   ? "tt:IPv4Address"
                              : d.onvif.ntpType == "IPv6" ? "tt:IPv6Address"
                                                          : "tt:DNSname";
        manual = "<tt:NTPManual>" + El("tt:Type", d.onvif.ntpType) +
                 El(element, d.onvif.ntpServer) + "</tt:NTPManual>";
    }
    return Ok("<tds:GetNTPResponse><tds:NTPInformation><tt:FromDHCP>false</tt:FromDHCP>" + manual +
              "</tds:NTPInformation></tds:GetNTPResponse>");
}

Response SetNtp(Device* d, const soap::Document& doc, int op) {
    const int manual = doc.Child(op, soap::kDeviceNs, "NTPManual");
    const int typeAt = manual < 0 ? -1 : doc.Child(manual, soap::kSchemaNs, "Type");
    const std::string type = typeAt < 0 ? std::string() : Trim(Text(doc, typeAt));
    const char* element = type == "IPv4"   ? "IPv4Address"
                          : type == "IPv6" ? "IPv6Address"
                          : type == "DNS"  ? "DNSname"
                                           : nullptr;
    const int at = element == nullptr ? -1 : doc.Child(manual, soap::kSchemaNs, element);
    const std::string address = at < 0 ? std::string() : Trim(Text(doc, at));
    in6_addr v6{};
    const bool ok = (type == "IPv4" && IsUnicastAddress(address)) ||
                    (type == "IPv6" && inet_pton(AF_INET6, address.c_str(), &v6) == 1) ||
                    (type == "DNS" && IsHostname(address));
    if (!ok)
        return InvalidArg("the NTP server is not a valid address or name");
    d->onvif.ntpType = type;
    d->onvif.ntpServer = address;
    if (d->onvif.clockNtp)
        d->onvif.clockOffset = 0;
    return Ok("<tds:SetNTPResponse/>");
}

// ---- media ----

struct ProfileInfo {
    const char* token;
    bool video;
    int width, height;
};

std::vector<ProfileInfo> ProfilesOf(const OnvifCamera& c) {
    std::vector<ProfileInfo> out;
    if (c.audioFirst)
        out.push_back({"Audio_1", false, 0, 0});
    const ProfileInfo video[] = {{"Profile_1", true, 1280, 720}, {"Profile_2", true, 640, 360}};
    for (int i = 0; i < std::min(c.mediaProfiles, 2); ++i)
        out.push_back(video[i]);
    return out;
}

Response Services(const Device& d) {
    auto service = [&](const char* ns, const char* path) {
        return std::string("<tds:Service><tds:Namespace>") + ns + "</tds:Namespace>" +
               El("tds:XAddr", ServiceAddress(d, path)) +
               "<tds:Version><tt:Major>2</tt:Major><tt:Minor>60</tt:Minor></tds:Version>"
               "</tds:Service>";
    };
    return Ok("<tds:GetServicesResponse>" + service(soap::kDeviceNs, kServicePath) +
              service(soap::kMediaNs, kMediaPath) + "</tds:GetServicesResponse>");
}

Response MediaOk(const std::string& body) {
    Response r = Ok(body);
    // The media answers' prefix, declared where it is used.
    const std::string decl = std::string(" xmlns:trt=\"") + soap::kMediaNs + "\"";
    r.body.insert(r.body.find("<env:Body>") - 1, decl);
    return r;
}

Response Profiles(const Device& d) {
    std::string body = "<trt:GetProfilesResponse>";
    for (const ProfileInfo& p : ProfilesOf(d.onvif)) {
        body += std::string("<trt:Profiles token=\"") + p.token + "\" fixed=\"true\">" +
                El("tt:Name", p.video ? (p.width > 640 ? "MainStream" : "SubStream") : "Audio");
        if (p.video)
            body += "<tt:VideoSourceConfiguration token=\"VideoSource_1\"><tt:Name>VideoSource"
                    "</tt:Name><tt:UseCount>2</tt:UseCount><tt:SourceToken>VideoSource_1"
                    "</tt:SourceToken><tt:Bounds x=\"0\" y=\"0\" width=\"1280\" height=\"720\"/>"
                    "</tt:VideoSourceConfiguration><tt:VideoEncoderConfiguration token=\"Encoder_" +
                    std::to_string(p.width) +
                    "\"><tt:Name>H264</tt:Name><tt:Encoding>H264"
                    "</tt:Encoding><tt:Resolution><tt:Width>" +
                    std::to_string(p.width) + "</tt:Width><tt:Height>" + std::to_string(p.height) +
                    "</tt:Height></tt:Resolution></tt:VideoEncoderConfiguration>";
        else
            body += "<tt:AudioSourceConfiguration token=\"AudioSource_1\"><tt:Name>Audio"
                    "</tt:Name><tt:SourceToken>AudioSource_1</tt:SourceToken>"
                    "</tt:AudioSourceConfiguration>";
        body += "</trt:Profiles>";
    }
    return MediaOk(body + "</trt:GetProfilesResponse>");
}

Response SnapshotUri(const Device& d, const soap::Document& doc, int op) {
    const int t = doc.Child(op, soap::kMediaNs, "ProfileToken");
    const std::string token = t < 0 ? std::string() : Trim(Text(doc, t));
    for (const ProfileInfo& p : ProfilesOf(d.onvif)) {
        if (token != p.token)
            continue;
        if (!p.video)
            return InvalidArg("the profile has no video source");
        const std::string host = d.onvif.snapshotHost.empty() ? d.ip : d.onvif.snapshotHost;
        return MediaOk("<trt:GetSnapshotUriResponse><trt:MediaUri>" +
                       El("tt:Uri", "http://" + host + ":" + std::to_string(d.httpPort) +
                                        kSnapshotPath + "?profile=" + p.token) +
                       "<tt:InvalidAfterConnect>false</tt:InvalidAfterConnect>"
                       "<tt:InvalidAfterReboot>false</tt:InvalidAfterReboot><tt:Timeout>PT0S"
                       "</tt:Timeout></trt:MediaUri></trt:GetSnapshotUriResponse>");
    }
    return Fault(400, "env:Sender", "ter:NoProfile", "No such profile");
}

Response Operate(Device* d, const soap::Document& doc, int op, std::int64_t hostEpoch) {
    const std::string& name = doc.elements[static_cast<std::size_t>(op)].local;
    if (name == "GetDeviceInformation")
        return DeviceInformation(*d);
    if ((name == "GetNetworkInterfaces" || name == "GetNetworkDefaultGateway") &&
        !d->onvif.networkOffered)
        return NotSupported(name);
    if (name == "GetNetworkInterfaces")
        return NetworkInterfaces(*d);
    if (name == "SetNetworkInterfaces")
        return SetNetworkInterfaces(d, doc, op);
    if (name == "SetNetworkDefaultGateway")
        return SetDefaultGateway(d, doc, op);
    if (name == "GetNetworkDefaultGateway")
        return Ok("<tds:GetNetworkDefaultGatewayResponse><tds:NetworkGateway>" +
                  El("tt:IPv4Address", d->gateway) +
                  "</tds:NetworkGateway></tds:GetNetworkDefaultGatewayResponse>");
    if ((name == "GetHostname" || name == "SetHostname") && !d->onvif.hostnameOffered)
        return NotSupported(name);
    if (name == "GetHostname")
        return Ok("<tds:GetHostnameResponse><tds:HostnameInformation><tt:FromDHCP>false</"
                  "tt:FromDHCP>" +
                  El("tt:Name", HostnameOf(*d)) +
                  "</tds:HostnameInformation></tds:GetHostnameResponse>");
    if (name == "SetHostname")
        return SetHostname(d, doc, op);
    if (name == "GetScopes")
        return GetScopes(*d);
    if (name == "SetScopes")
        return SetScopes(d, doc, op);
    if (name == "GetNTP")
        return GetNtp(*d);
    if (name == "SetNTP")
        return SetNtp(d, doc, op);
    if (name == "SetSystemDateAndTime")
        return SetDateAndTime(d, doc, op, hostEpoch);
    if (name == "GetServices")
        return Services(*d);
    if (name == "GetCapabilities")
        return Capabilities(*d);
    if (name == "SystemReboot") {
        char message[64];
        std::snprintf(message, sizeof message, "Rebooting in %g seconds", d->onvif.rebootSeconds);
        Response r = Ok("<tds:SystemRebootResponse>" + El("tds:Message", message) +
                        "</tds:SystemRebootResponse>");
        r.effect = Effect::Reboot;
        return r;
    }
    return NotSupported(name);
}

// The media service's operations.
Response OperateMedia(Device* d, const soap::Document& doc, int op) {
    const std::string& name = doc.elements[static_cast<std::size_t>(op)].local;
    if (name == "GetProfiles")
        return Profiles(*d);
    if (name == "GetSnapshotUri")
        return SnapshotUri(*d, doc, op);
    return NotSupported(name);
}

// ---- login ----

enum class Login { Right, Wrong, Missing, Refused }; // Refused: not counted (stale, replay, clock)

bool Locked(Device* d, Clock::time_point now) {
    if (d->onvif.wrongLogins < kLockAfter)
        return false;
    if (now < d->onvif.lockedUntil)
        return true;
    d->onvif.wrongLogins = 0; // the lock has run out
    return false;
}

void Forget(Device* d, Clock::time_point now) {
    auto& used = d->onvif.usedNonces;
    while (!used.empty() &&
           (now - used.front().second > kNonceMemory || used.size() > kMaxUsedNonces))
        used.pop_front();
    auto& issued = d->onvif.digestNonces;
    while (!issued.empty() &&
           (now - issued.front().issued > kNonceMemory || issued.size() > kMaxDigestNonces))
        issued.pop_front();
}

Login CheckUsernameToken(Device* d, const soap::Document& doc, int token, std::int64_t cameraEpoch,
                         Clock::time_point now) {
    const int user = doc.Child(token, soap::kSecurityNs, "Username");
    const int password = doc.Child(token, soap::kSecurityNs, "Password");
    const int nonce = doc.Child(token, soap::kSecurityNs, "Nonce");
    const int created = doc.Child(token, soap::kUtilityNs, "Created");
    if (user < 0 || password < 0 || nonce < 0 || created < 0 ||
        doc.Attribute(password, "Type") != kPasswordDigestType)
        return Login::Wrong;
    std::int64_t when = 0;
    std::string nonceBytes;
    const std::string createdText = Trim(Text(doc, created));
    if (!ParseDateTime(createdText, &when) || !FromBase64(Trim(Text(doc, nonce)), &nonceBytes) ||
        nonceBytes.empty())
        return Login::Wrong;
    if (when > cameraEpoch + kClockWindow || when < cameraEpoch - kClockWindow)
        return Login::Refused;
    for (const auto& [seen, at] : d->onvif.usedNonces)
        if (seen == nonceBytes)
            return Login::Refused;
    const std::string expected = PasswordDigest(nonceBytes, createdText, d->password);
    if (Trim(Text(doc, user)) != d->onvif.user || !SameSecret(Trim(Text(doc, password)), expected))
        return Login::Wrong;
    d->onvif.usedNonces.emplace_back(nonceBytes, now);
    return Login::Right;
}

// The name="value" (or name=token) pairs after "Digest ".
std::map<std::string, std::string> DigestParams(const std::string& header) {
    std::map<std::string, std::string> out;
    std::size_t at = 7;
    while (at < header.size() && out.size() < 16) {
        at = header.find_first_not_of(" \t,", at);
        if (at == std::string::npos)
            break;
        const std::size_t eq = header.find('=', at);
        if (eq == std::string::npos)
            break;
        const std::string name = Trim(header.substr(at, eq - at));
        std::string value;
        if (eq + 1 < header.size() && header[eq + 1] == '"') {
            const std::size_t end = header.find('"', eq + 2);
            if (end == std::string::npos)
                break;
            value = header.substr(eq + 2, end - eq - 2);
            at = end + 1;
        } else {
            const std::size_t end = std::min(header.find(',', eq + 1), header.size());
            value = Trim(header.substr(eq + 1, end - eq - 1));
            at = end;
        }
        out[name] = value;
    }
    return out;
}

Login CheckDigest(Device* d, const Request& req) {
    auto p = DigestParams(req.authorization);
    const std::string algorithm = p.count("algorithm") ? p["algorithm"] : "MD5";
    if (p["realm"] != kRealm || p["qop"] != "auth" || algorithm != "MD5" || p["uri"] != req.uri ||
        p["nc"].size() != 8 ||
        p["nc"].find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return Login::Wrong;
    OnvifCamera::DigestNonce* nonce = nullptr;
    for (auto& n : d->onvif.digestNonces)
        if (SameSecret(n.value, p["nonce"]))
            nonce = &n;
    if (nonce == nullptr)
        return Login::Refused; // stale or never ours: a fresh challenge follows
    const unsigned long count = std::strtoul(p["nc"].c_str(), nullptr, 16);
    const std::string ha1 = Md5Hex(p["username"] + ":" + kRealm + ":" + d->password);
    const std::string ha2 = Md5Hex(req.method + ":" + req.uri);
    const std::string expected =
        Md5Hex(ha1 + ":" + p["nonce"] + ":" + p["nc"] + ":" + p["cnonce"] + ":auth:" + ha2);
    if (p["username"] != d->onvif.user || !SameSecret(p["response"], expected))
        return Login::Wrong;
    if (count <= nonce->lastCount)
        return Login::Refused; // a replayed request
    nonce->lastCount = count;
    return Login::Right;
}

std::string Challenge(Device* d, Clock::time_point now, bool stale) {
    unsigned char raw[16];
    randombytes_buf(raw, sizeof raw);
    char hex[33];
    sodium_bin2hex(hex, sizeof hex, raw, sizeof raw);
    auto& issued = d->onvif.digestNonces;
    issued.push_back({hex, now, 0});
    while (issued.size() > kMaxDigestNonces) // challenges cost nothing to ask for
        issued.pop_front();
    return std::string("Digest realm=\"") + kRealm + "\", qop=\"auth\", nonce=\"" + hex +
           "\", algorithm=MD5" + (stale ? ", stale=true" : "");
}

Response NotAuthorized(Device* d, Clock::time_point now, bool stale) {
    Response r = Fault(401, "env:Sender", "ter:NotAuthorized", "Sender not authorized");
    if (d->onvif.auth != OnvifAuth::Wsse)
        r.wwwAuthenticate = Challenge(d, now, stale);
    return r;
}

// The login of `req`: the answer to send instead of the operation's, or
// nothing when the login is right.
std::optional<Response> Authenticate(Device* d, const Request& req, const soap::Document& doc,
                                     int envelope, std::int64_t cameraEpoch,
                                     Clock::time_point now) {
    Forget(d, now);
    if (Locked(d, now))
        return Fault(403, "env:Sender", "ter:NotAuthorized",
                     "Account locked after too many wrong logins; try again later");
    Login login = Login::Missing;
    const OnvifAuth auth = d->onvif.auth;
    if (auth != OnvifAuth::Wsse && req.authorization.compare(0, 7, "Digest ") == 0) {
        login = CheckDigest(d, req);
    } else if (auth != OnvifAuth::Digest) {
        const int header = doc.Child(envelope, soap::kEnvelopeNs, "Header");
        const int security = header < 0 ? -1 : doc.Child(header, soap::kSecurityNs, "Security");
        const int token =
            security < 0 ? -1 : doc.Child(security, soap::kSecurityNs, "UsernameToken");
        // A token without a user name is no login attempt: some clients
        // sign their look-around calls that way before the user is known.
        const int user = token < 0 ? -1 : doc.Child(token, soap::kSecurityNs, "Username");
        if (user >= 0 && !Trim(Text(doc, user)).empty())
            login = CheckUsernameToken(d, doc, token, cameraEpoch, now);
    }
    if (login == Login::Right) {
        d->onvif.wrongLogins = 0;
        return std::nullopt;
    }
    if (login == Login::Wrong && ++d->onvif.wrongLogins >= kLockAfter)
        d->onvif.lockedUntil = now + kLockTime;
    return NotAuthorized(d, now, login == Login::Refused);
}

} // namespace

Response Handle(Device* d, const Request& request, std::int64_t hostEpoch, Clock::time_point now) {
    soap::Document doc;
    const int envelope =
        soap::Read(request.body, &doc) ? doc.Child(-1, soap::kEnvelopeNs, "Envelope") : -1;
    const int body = envelope < 0 ? -1 : doc.Child(envelope, soap::kEnvelopeNs, "Body");
    int op = -1;
    if (body >= 0)
        for (std::size_t i = static_cast<std::size_t>(body) + 1; i < doc.elements.size() && op < 0;
             ++i)
            if (doc.elements[i].parent == body)
                op = static_cast<int>(i);
    if (op < 0) {
        // HTTP clients that do Digest send their first request without the
        // body (curl does) and expect the challenge, not a complaint.
        const bool challenge =
            d->onvif.auth != OnvifAuth::Wsse && request.authorization.compare(0, 7, "Digest ") != 0;
        Response r = challenge
                         ? NotAuthorized(d, now, false)
                         : Fault(400, "env:Sender", "ter:WellFormed", "Not a SOAP 1.2 request");
        r.operation = "?";
        return r;
    }
    const std::int64_t cameraEpoch = hostEpoch + d->onvif.clockOffset;
    const soap::Element& opElement = doc.elements[static_cast<std::size_t>(op)];
    Response r;
    if (opElement.ns != soap::kDeviceNs && opElement.ns != soap::kMediaNs) {
        r = NotSupported(opElement.local);
    } else if (opElement.ns == soap::kDeviceNs && opElement.local == "GetSystemDateAndTime") {
        r = SystemDateAndTime(*d, cameraEpoch);
    } else {
        auto refused = Authenticate(d, request, doc, envelope, cameraEpoch, now);
        r = refused                          ? std::move(*refused)
            : opElement.ns == soap::kMediaNs ? OperateMedia(d, doc, op)
                                             : Operate(d, doc, op, hostEpoch);
    }
    r.operation = opElement.local.substr(0, 64);
    return r;
}

std::optional<Response> AuthenticatePicture(Device* d, const Request& request,
                                            Clock::time_point now) {
    Forget(d, now);
    Response refused;
    refused.operation = "snapshot";
    if (Locked(d, now)) {
        refused.status = 403;
        refused.body = "Account locked after too many wrong logins; try again later";
        return refused;
    }
    const bool basic = d->onvif.snapshotFault == SnapshotFault::BasicOnly;
    Login login = Login::Missing;
    if (basic && request.authorization.compare(0, 6, "Basic ") == 0)
        login = SameSecret(request.authorization,
                           "Basic " + ToBase64(d->onvif.user + ":" + d->password))
                    ? Login::Right
                    : Login::Wrong;
    else if (!basic && request.authorization.compare(0, 7, "Digest ") == 0)
        login = CheckDigest(d, request);
    if (login == Login::Right) {
        d->onvif.wrongLogins = 0;
        return std::nullopt;
    }
    if (login == Login::Wrong && ++d->onvif.wrongLogins >= kLockAfter)
        d->onvif.lockedUntil = now + kLockTime;
    refused.status = 401;
    refused.body = "Unauthorized";
    refused.wwwAuthenticate = basic ? std::string("Basic realm=\"") + kRealm + "\""
                                    : Challenge(d, now, login == Login::Refused);
    return refused;
}

bool ApplyPendingAddress(Device* d) {
    if (!d->onvif.pendingAddress)
        return false;
    d->onvif.pendingAddress = false;
    d->ip = d->onvif.pendingIp;
    d->mask = d->onvif.pendingMask;
    d->dhcp = d->onvif.pendingDhcp;
    ++d->onvif.metadataVersion;
    return true;
}

std::string PasswordDigest(const std::string& nonce, const std::string& created,
                           const std::string& password) {
    return ToBase64(Digest(EVP_sha1(), nonce + created + password));
}

std::string Md5Hex(const std::string& text) {
    const std::string raw = Digest(EVP_md5(), text);
    std::string hex(raw.size() * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), reinterpret_cast<const unsigned char*>(raw.data()),
                   raw.size());
    hex.pop_back();
    return hex;
}

bool ParseDateTime(const std::string& text, std::int64_t* epoch) {
    int y = 0, mo = 0, da = 0, h = 0, mi = 0, s = 0, used = 0;
    if (text.size() > 40 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &y, &mo, &da, &h, &mi, &s, &used) !=
            6 ||
        used != 19 || mo < 1 || mo > 12 || da < 1 || da > 31 || h > 23 || mi > 59 || s > 60)
        return false;
    std::size_t at = 19;
    if (at < text.size() && text[at] == '.') {
        ++at;
        const std::size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            ++at;
        if (at == start)
            return false;
    }
    std::int64_t offset = 0;
    const std::string zone = text.substr(at);
    if (zone == "Z" || zone.empty()) {
        offset = 0;
    } else {
        int oh = 0, om = 0, n = 0;
        if ((zone[0] != '+' && zone[0] != '-') ||
            std::sscanf(zone.c_str() + 1, "%2d:%2d%n", &oh, &om, &n) != 2 || n != 5 || oh > 14 ||
            om > 59)
            return false;
        offset = (zone[0] == '+' ? 1 : -1) * (oh * 3600 + om * 60);
    }
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = da;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    *epoch = static_cast<std::int64_t>(timegm(&tm)) - offset;
    return true;
}

std::string FormatDateTime(std::int64_t epoch) {
    const std::time_t t = static_cast<std::time_t>(epoch);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

} // namespace devsim::onvif
