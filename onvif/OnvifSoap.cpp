#include "OnvifSoap.h"

#include <openssl/evp.h>
#include <sodium.h>

#include <cctype>
#include <cstdio>

#include "DeviceIds.h"
#include "OnvifXml.h"
#include "Secret.h"

namespace onvif {
namespace {

constexpr std::size_t kMaxField = 256; // longest text kept from an answer field
constexpr std::size_t kMaxInterfaces = 16;
constexpr int kMaxSubcodes = 8;

const char kPasswordDigestType[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0"
    "#PasswordDigest";
const char kBase64Type[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-soap-message-security-1.0"
    "#Base64Binary";

std::string Field(const std::string& text) { return AnswerField(text, kMaxField); }

bool IsTrue(const std::string& text) {
    const std::string t = Field(text);
    return t == "true" || t == "1";
}

bool ReadInt(const std::string& text, long lo, long hi, long* out) {
    const std::string t = Field(text);
    if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long v = std::stol(t);
    if (v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

void ReadFaultElement(const XmlElement& f, SoapFault* out) {
    SoapFault fault;
    const XmlElement* value = f.Path({{kNsSoap, "Code"}, {kNsSoap, "Value"}});
    if (value != nullptr)
        fault.code = ResolveQName(*value, Field(value->text));
    const XmlElement* code = f.Child(kNsSoap, "Code");
    for (int depth = 0; code != nullptr && depth < kMaxSubcodes; ++depth) {
        code = code->Child(kNsSoap, "Subcode");
        if (code == nullptr)
            break;
        if (const XmlElement* v = code->Child(kNsSoap, "Value"))
            fault.subcode = ResolveQName(*v, Field(v->text));
    }
    if (const XmlElement* reason = f.Path({{kNsSoap, "Reason"}, {kNsSoap, "Text"}}))
        fault.reason = Field(reason->text);
    *out = fault;
}

// The body of an answer: Ok with *answer the body element (kNsDevice, local).
SoapRead Answer(const std::string& text, const char* local, XmlElement* root,
                const XmlElement** answer, SoapFault* fault) {
    return ReadAnswer(text, kNsDevice, local, root, answer, fault);
}

std::string Element(const char* name, const std::string& text) {
    return std::string("<") + name + ">" + XmlEscape(text) + "</" + name + ">";
}

} // namespace

std::string AnswerField(const std::string& text, std::size_t max) {
    std::string out;
    for (unsigned char c : text)
        if (c >= 0x20 && c != 0x7F && out.size() < max)
            out.push_back(static_cast<char>(c));
    const size_t b = out.find_first_not_of(' ');
    if (b == std::string::npos)
        return std::string();
    return out.substr(b, out.find_last_not_of(' ') - b + 1);
}

SoapRead ReadAnswer(const std::string& text, const char* ns, const char* local, XmlElement* root,
                    const XmlElement** answer, SoapFault* fault) {
    if (ReadXml(text.data(), text.size(), root) != XmlRead::Ok)
        return SoapRead::BadXml;
    if (root->ns != kNsSoap || root->local != "Envelope")
        return SoapRead::NotSoap;
    const XmlElement* body = root->Child(kNsSoap, "Body");
    if (body == nullptr)
        return SoapRead::NotSoap;
    if (const XmlElement* f = body->Child(kNsSoap, "Fault")) {
        if (fault != nullptr)
            ReadFaultElement(*f, fault);
        return SoapRead::Fault;
    }
    *answer = body->Child(ns, local);
    return *answer != nullptr ? SoapRead::Ok : SoapRead::NotSoap;
}

std::string Base64(const std::string& bytes) {
    std::string out(sodium_base64_encoded_len(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(&out[0], out.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                      bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    out.resize(out.size() - 1); // the terminating zero
    return out;
}

std::string PasswordDigest(const std::string& nonce, const std::string& created,
                           const std::string& password) {
    std::string input = nonce + created + password;
    SecretGuard wipeInput(&input);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(input.data(), input.size(), digest, &length, EVP_sha1(), nullptr) != 1)
        return std::string();
    return Base64(std::string(reinterpret_cast<const char*>(digest), length));
}

std::string FormatDateTime(std::time_t time) {
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

UsernameToken MakeToken(const std::string& user, const std::string& password, std::time_t hostNow,
                        long long offsetSeconds) {
    UsernameToken t;
    t.user = user;
    t.nonce.resize(16);
    randombytes_buf(&t.nonce[0], t.nonce.size());
    t.created = FormatDateTime(static_cast<std::time_t>(hostNow + offsetSeconds));
    t.digest = PasswordDigest(t.nonce, t.created, password);
    return t;
}

std::string Envelope(const std::string& body, const UsernameToken* token) {
    std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><s:Envelope xmlns:s=\"";
    s += kNsSoap;
    s += "\" xmlns:tds=\"";
    s += kNsDevice;
    s += "\" xmlns:tt=\"";
    s += kNsSchema;
    s += "\">";
    if (token != nullptr) {
        s += "<s:Header><wsse:Security s:mustUnderstand=\"1\" xmlns:wsse=\"";
        s += kNsSecurity;
        s += "\" xmlns:wsu=\"";
        s += kNsUtility;
        s += "\"><wsse:UsernameToken>";
        s += Element("wsse:Username", token->user);
        s += "<wsse:Password Type=\"";
        s += kPasswordDigestType;
        s += "\">" + token->digest + "</wsse:Password><wsse:Nonce EncodingType=\"";
        s += kBase64Type;
        s += "\">" + Base64(token->nonce) + "</wsse:Nonce>";
        s += Element("wsu:Created", token->created);
        s += "</wsse:UsernameToken></wsse:Security></s:Header>";
    }
    s += "<s:Body>" + body + "</s:Body></s:Envelope>";
    return s;
}

std::string GetSystemDateAndTimeBody() { return "<tds:GetSystemDateAndTime/>"; }
std::string GetDeviceInformationBody() { return "<tds:GetDeviceInformation/>"; }
std::string GetNetworkInterfacesBody() { return "<tds:GetNetworkInterfaces/>"; }
std::string GetNetworkDefaultGatewayBody() { return "<tds:GetNetworkDefaultGateway/>"; }
std::string SystemRebootBody() { return "<tds:SystemReboot/>"; }

std::string SetNetworkInterfacesBody(const std::string& token, const std::string& ip,
                                     int prefixLength) {
    return "<tds:SetNetworkInterfaces>" + Element("tds:InterfaceToken", token) +
           "<tds:NetworkInterface><tt:Enabled>true</tt:Enabled><tt:IPv4>"
           "<tt:Enabled>true</tt:Enabled><tt:Manual>" +
           Element("tt:Address", ip) + Element("tt:PrefixLength", std::to_string(prefixLength)) +
           "</tt:Manual><tt:DHCP>false</tt:DHCP></tt:IPv4></tds:NetworkInterface>"
           "</tds:SetNetworkInterfaces>";
}

std::string SetNetworkDefaultGatewayBody(const std::string& gateway) {
    return "<tds:SetNetworkDefaultGateway>" + Element("tds:IPv4Address", gateway) +
           "</tds:SetNetworkDefaultGateway>";
}

bool ReadFault(const std::string& body, SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    return Answer(body, "-", &root, &answer, fault) == SoapRead::Fault;
}

SoapRead ReadSystemDateAndTime(const std::string& body, std::time_t hostNow,
                               long long* offsetSeconds, SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    const SoapRead r = Answer(body, "GetSystemDateAndTimeResponse", &root, &answer, fault);
    if (r != SoapRead::Ok)
        return r;
    const XmlElement* utc =
        answer->Path({{kNsDevice, "SystemDateAndTime"}, {kNsSchema, "UTCDateTime"}});
    if (utc == nullptr)
        return SoapRead::NotSoap;
    const XmlElement* date = utc->Child(kNsSchema, "Date");
    const XmlElement* time = utc->Child(kNsSchema, "Time");
    long y, mo, d, h, mi, s;
    if (date == nullptr || time == nullptr ||
        !ReadInt(date->ChildText(kNsSchema, "Year"), 1970, 9999, &y) ||
        !ReadInt(date->ChildText(kNsSchema, "Month"), 1, 12, &mo) ||
        !ReadInt(date->ChildText(kNsSchema, "Day"), 1, 31, &d) ||
        !ReadInt(time->ChildText(kNsSchema, "Hour"), 0, 23, &h) ||
        !ReadInt(time->ChildText(kNsSchema, "Minute"), 0, 59, &mi) ||
        !ReadInt(time->ChildText(kNsSchema, "Second"), 0, 60, &s))
        return SoapRead::NotSoap;
    std::tm tm{};
    tm.tm_year = static_cast<int>(y - 1900);
    tm.tm_mon = static_cast<int>(mo - 1);
    tm.tm_mday = static_cast<int>(d);
    tm.tm_hour = static_cast<int>(h);
    tm.tm_min = static_cast<int>(mi);
    tm.tm_sec = static_cast<int>(s);
    const std::time_t camera = timegm(&tm);
    *offsetSeconds = static_cast<long long>(camera) - static_cast<long long>(hostNow);
    return SoapRead::Ok;
}

SoapRead ReadDeviceInformation(const std::string& body, DeviceInformation* out, SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    const SoapRead r = Answer(body, "GetDeviceInformationResponse", &root, &answer, fault);
    if (r != SoapRead::Ok)
        return r;
    DeviceInformation info;
    info.manufacturer = Field(answer->ChildText(kNsDevice, "Manufacturer"));
    info.model = Field(answer->ChildText(kNsDevice, "Model"));
    info.firmware = Field(answer->ChildText(kNsDevice, "FirmwareVersion"));
    info.serial = Field(answer->ChildText(kNsDevice, "SerialNumber"));
    info.hardwareId = Field(answer->ChildText(kNsDevice, "HardwareId"));
    *out = info;
    return SoapRead::Ok;
}

SoapRead ReadNetworkInterfaces(const std::string& body, std::vector<NetworkInterface>* out,
                               SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    const SoapRead r = Answer(body, "GetNetworkInterfacesResponse", &root, &answer, fault);
    if (r != SoapRead::Ok)
        return r;
    std::vector<NetworkInterface> list;
    for (const XmlElement& e : answer->children) {
        if (e.ns != kNsDevice || e.local != "NetworkInterfaces" || list.size() >= kMaxInterfaces)
            continue;
        NetworkInterface n;
        n.token = Field(e.Attribute("token"));
        if (n.token.empty())
            continue; // nothing to name it by in SetNetworkInterfaces
        const std::string enabled = e.ChildText(kNsSchema, "Enabled");
        n.enabled = Field(enabled).empty() || IsTrue(enabled);
        if (const XmlElement* hw = e.Path({{kNsSchema, "Info"}, {kNsSchema, "HwAddress"}}))
            n.mac = devicelist::CanonicalMac(Field(hw->text), devicelist::MacSpelling::Any);
        if (const XmlElement* config = e.Path({{kNsSchema, "IPv4"}, {kNsSchema, "Config"}})) {
            if (const XmlElement* manual = config->Child(kNsSchema, "Manual")) {
                n.ip = Field(manual->ChildText(kNsSchema, "Address"));
                long prefix = 0;
                if (ReadInt(manual->ChildText(kNsSchema, "PrefixLength"), 0, 32, &prefix))
                    n.prefixLength = static_cast<int>(prefix);
            }
            if (const XmlElement* ll = config->Child(kNsSchema, "LinkLocal"))
                n.linkLocal = Field(ll->ChildText(kNsSchema, "Address"));
            n.dhcp = IsTrue(config->ChildText(kNsSchema, "DHCP"));
            if (const XmlElement* given = config->Child(kNsSchema, "FromDHCP")) {
                n.dhcpIp = Field(given->ChildText(kNsSchema, "Address"));
                long prefix = 0;
                if (ReadInt(given->ChildText(kNsSchema, "PrefixLength"), 0, 32, &prefix))
                    n.dhcpPrefixLength = static_cast<int>(prefix);
            }
        }
        list.push_back(n);
    }
    if (list.empty())
        return SoapRead::NotSoap;
    *out = list;
    return SoapRead::Ok;
}

SoapRead ReadNetworkDefaultGateway(const std::string& body, std::string* gateway,
                                   SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    const SoapRead r = Answer(body, "GetNetworkDefaultGatewayResponse", &root, &answer, fault);
    if (r != SoapRead::Ok)
        return r;
    const XmlElement* list = answer->Child(kNsDevice, "NetworkGateway");
    gateway->clear();
    if (list == nullptr)
        return SoapRead::Ok;
    for (const XmlElement& e : list->children) {
        std::uint32_t value = 0;
        const std::string text = AnswerField(e.text, 32);
        if (e.ns == kNsSchema && e.local == "IPv4Address" && ParseIPv4(text, &value)) {
            *gateway = text;
            break;
        }
    }
    return SoapRead::Ok;
}

SoapRead ReadSetNetworkInterfaces(const std::string& body, bool* rebootNeeded, SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    const SoapRead r = Answer(body, "SetNetworkInterfacesResponse", &root, &answer, fault);
    if (r != SoapRead::Ok)
        return r;
    *rebootNeeded = IsTrue(answer->ChildText(kNsDevice, "RebootNeeded"));
    return SoapRead::Ok;
}

SoapRead ReadEmptyAnswer(const std::string& body, const char* local, SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    return Answer(body, local, &root, &answer, fault);
}

} // namespace onvif
