#include "OnvifDeviceService.h"

#include <arpa/inet.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sodium.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>

#include "Device.h"
#include "SoapReader.h"

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

Response SystemDateAndTime(std::int64_t cameraEpoch) {
    return Ok("<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:DateTimeType>Manual</"
              "tt:DateTimeType><tt:DaylightSavings>false</tt:DaylightSavings><tt:TimeZone><tt:TZ>"
              "UTC0</tt:TZ></tt:TimeZone>" +
              DateTimeXml("UTCDateTime", cameraEpoch) + DateTimeXml("LocalDateTime", cameraEpoch) +
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

Response Capabilities(const Device& d) {
    const std::string x = "http://" + d.ip + ":" + std::to_string(d.httpPort) + kServicePath;
    return Ok("<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Device>" + El("tt:XAddr", x) +
              "<tt:Network><tt:IPFilter>false</tt:IPFilter><tt:ZeroConfiguration>true</"
              "tt:ZeroConfiguration><tt:IPVersion6>false</tt:IPVersion6><tt:DynDNS>false</"
              "tt:DynDNS></tt:Network><tt:System><tt:DiscoveryResolve>false</"
              "tt:DiscoveryResolve><tt:DiscoveryBye>true</tt:DiscoveryBye><tt:RemoteDiscovery>"
              "false</tt:RemoteDiscovery><tt:SystemBackup>false</tt:SystemBackup><tt:SystemLogging>"
              "false</tt:SystemLogging><tt:FirmwareUpgrade>false</tt:FirmwareUpgrade>"
              "</tt:System></tt:Device></tds:Capabilities></tds:GetCapabilitiesResponse>");
}

Response Operate(Device* d, const soap::Document& doc, int op) {
    const std::string& name = doc.elements[static_cast<std::size_t>(op)].local;
    if (name == "GetDeviceInformation")
        return DeviceInformation(*d);
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
    if (name == "GetHostname")
        return Ok("<tds:GetHostnameResponse><tds:HostnameInformation><tt:FromDHCP>false</"
                  "tt:FromDHCP>" +
                  El("tt:Name", d->devName) +
                  "</tds:HostnameInformation></tds:GetHostnameResponse>");
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
    return Fault(500, "env:Receiver", "ter:ActionNotSupported",
                 "The operation " + name + " is not supported");
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
    if (opElement.ns != soap::kDeviceNs) {
        r = Fault(500, "env:Receiver", "ter:ActionNotSupported",
                  "The operation " + opElement.local + " is not supported");
    } else if (opElement.local == "GetSystemDateAndTime") {
        r = SystemDateAndTime(cameraEpoch);
    } else {
        auto refused = Authenticate(d, request, doc, envelope, cameraEpoch, now);
        r = refused ? std::move(*refused) : Operate(d, doc, op);
    }
    r.operation = opElement.local.substr(0, 64);
    return r;
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
