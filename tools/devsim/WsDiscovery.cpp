#include "WsDiscovery.h"

#include <cstdio>
#include <ctime>

#include "Device.h"
#include "DeviceIds.h"
#include "SoapReader.h"

namespace devsim::wsd {
namespace {

constexpr const char* kOnvifScope = "onvif://www.onvif.org/";
constexpr const char* kPrinterNs = "http://schemas.microsoft.com/windows/2006/08/wdp/print";
constexpr const char* kDevProfNs = "http://schemas.xmlsoap.org/ws/2006/02/devprof";
constexpr std::size_t kMaxScopes = 32;

// Instance of this run, for AppSequence: a restarted simulator is a new instance.
const std::string& InstanceId() {
    static const std::string id = std::to_string(static_cast<long long>(std::time(nullptr)));
    return id;
}

std::string MacText(const Device& d, const char* format) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, d.mac[0], d.mac[1], d.mac[2], d.mac[3], d.mac[4],
                  d.mac[5]);
    return buf;
}

bool IsCamera(const Device& d) { return d.onvif.role == WsdRole::Camera; }

bool AnswersType(const Device& d, const std::pair<std::string, std::string>& type) {
    const ProbeTypes p = d.onvif.probeTypes;
    if (type.first == soap::kNetworkNs && type.second == "NetworkVideoTransmitter")
        return p != ProbeTypes::Device;
    if (type.first == soap::kDeviceNs && type.second == "Device")
        return p != ProbeTypes::NetworkVideoTransmitter;
    return false;
}

bool ScopeMatches(const std::string& asked, const std::vector<std::string>& own) {
    for (const std::string& s : own)
        if (s == asked || (s.size() > asked.size() && s.compare(0, asked.size(), asked) == 0 &&
                           (asked.back() == '/' || s[asked.size()] == '/')))
            return true;
    return false;
}

std::string Envelope(const std::string& header, const std::string& body) {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                       "<env:Envelope xmlns:env=\"") +
           soap::kEnvelopeNs + "\" xmlns:wsa=\"" + soap::kAddressingNs + "\" xmlns:d=\"" +
           soap::kDiscoveryNs + "\" xmlns:dn=\"" + soap::kNetworkNs + "\" xmlns:tds=\"" +
           soap::kDeviceNs + "\" xmlns:wprt=\"" + kPrinterNs + "\" xmlns:wsdp=\"" + kDevProfNs +
           "\"><env:Header>" + header + "</env:Header><env:Body>" + body +
           "</env:Body></env:Envelope>";
}

std::string Header(const std::string& action, const std::string& to, const std::string& relatesTo,
                   std::uint32_t messageNumber) {
    std::string h = "<wsa:MessageID>" + devicelist::NewMessageId() + "</wsa:MessageID>";
    if (!relatesTo.empty())
        h += "<wsa:RelatesTo>" + XmlEscape(relatesTo) + "</wsa:RelatesTo>";
    h += "<wsa:To>" + to + "</wsa:To><wsa:Action>" + std::string(soap::kDiscoveryNs) + "/" +
         action + "</wsa:Action><d:AppSequence InstanceId=\"" + InstanceId() +
         "\" MessageNumber=\"" + std::to_string(messageNumber) + "\"/>";
    return h;
}

std::string Types(const Device& d) {
    return IsCamera(d) ? "dn:NetworkVideoTransmitter tds:Device"
                       : "wprt:PrintDeviceType wsdp:Device";
}

std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& s : items)
        out += (out.empty() ? "" : " ") + s;
    return out;
}

// EndpointReference, Types, Scopes, XAddrs and MetadataVersion of `d`.
std::string Description(const Device& d) {
    std::string x = "<wsa:EndpointReference><wsa:Address>" + XmlEscape(Endpoint(d)) +
                    "</wsa:Address></wsa:EndpointReference><d:Types>" + Types(d) + "</d:Types>";
    const std::vector<std::string> scopes = Scopes(d);
    if (!scopes.empty())
        x += "<d:Scopes>" + XmlEscape(Join(scopes)) + "</d:Scopes>";
    x += "<d:XAddrs>" + XmlEscape(Join(XAddrs(d))) + "</d:XAddrs><d:MetadataVersion>" +
         std::to_string(d.onvif.metadataVersion) + "</d:MetadataVersion>";
    return x;
}

} // namespace

bool ParseProbe(const std::string& text, Probe* out) {
    soap::Document doc;
    if (!soap::Read(text, &doc))
        return false;
    const int envelope = doc.Child(-1, soap::kEnvelopeNs, "Envelope");
    const int header = envelope < 0 ? -1 : doc.Child(envelope, soap::kEnvelopeNs, "Header");
    const int body = envelope < 0 ? -1 : doc.Child(envelope, soap::kEnvelopeNs, "Body");
    const int id = header < 0 ? -1 : doc.Child(header, soap::kAddressingNs, "MessageID");
    const int probe = body < 0 ? -1 : doc.Child(body, soap::kDiscoveryNs, "Probe");
    if (probe < 0 || id < 0)
        return false;
    out->messageId = doc.elements[static_cast<std::size_t>(id)].text;
    const std::size_t first = out->messageId.find_first_not_of(" \t\r\n");
    const std::size_t last = out->messageId.find_last_not_of(" \t\r\n");
    if (first == std::string::npos || out->messageId.size() > kMaxMessageId)
        return false;
    out->messageId = out->messageId.substr(first, last - first + 1);
    out->types.clear();
    out->scopes.clear();
    const int types = doc.Child(probe, soap::kDiscoveryNs, "Types");
    if (types >= 0)
        out->types = doc.QNames(types);
    const int scopes = doc.Child(probe, soap::kDiscoveryNs, "Scopes");
    if (scopes >= 0) {
        const std::string& s = doc.elements[static_cast<std::size_t>(scopes)].text;
        for (std::size_t at = s.find_first_not_of(" \t\r\n"); at != std::string::npos;) {
            const std::size_t end = std::min(s.find_first_of(" \t\r\n", at), s.size());
            if (out->scopes.size() >= kMaxScopes)
                return false;
            out->scopes.push_back(s.substr(at, end - at));
            at = s.find_first_not_of(" \t\r\n", end);
        }
    }
    return true;
}

bool Answers(const Device& d, const Probe& probe) {
    if (d.onvif.role == WsdRole::Printer)
        return true;
    if (!IsCamera(d))
        return false;
    for (const auto& type : probe.types)
        if (!AnswersType(d, type))
            return false;
    const std::vector<std::string> own = Scopes(d);
    for (const std::string& s : probe.scopes)
        if (!ScopeMatches(s, own))
            return false;
    return true;
}

std::string Endpoint(const Device& d) {
    if (!d.onvif.endpoint.empty())
        return d.onvif.endpoint;
    return MacText(d, "urn:uuid:6f6e7669-6600-4000-8000-%02x%02x%02x%02x%02x%02x");
}

std::vector<std::string> FixedScopes(const Device& d) {
    if (!IsCamera(d))
        return {};
    const std::string base = kOnvifScope;
    std::vector<std::string> s = {base + "type/video_encoder",
                                  base + "type/NetworkVideoTransmitter", base + "Profile/Streaming",
                                  base + "hardware/" + PercentEncode(d.productModel)};
    if (d.onvif.macInScopes)
        s.push_back(base + "MAC/" + MacText(d, "%02x:%02x:%02x:%02x:%02x:%02x"));
    if (d.onvif.nameFixed)
        s.push_back(base + "name/" + PercentEncode(d.devName));
    return s;
}

std::vector<std::string> ConfigurableScopes(const Device& d) {
    if (!IsCamera(d))
        return {};
    std::vector<std::string> s;
    if (d.onvif.nameScope && !d.onvif.nameFixed)
        s.push_back(std::string(kOnvifScope) + "name/" + PercentEncode(d.devName));
    s.insert(s.end(), d.onvif.extraScopes.begin(), d.onvif.extraScopes.end());
    return s;
}

std::vector<std::string> Scopes(const Device& d) {
    std::vector<std::string> s = FixedScopes(d);
    const std::vector<std::string> c = ConfigurableScopes(d);
    s.insert(s.end(), c.begin(), c.end());
    return s;
}

std::vector<std::string> XAddrs(const Device& d) {
    const std::string tail = ":" + std::to_string(d.httpPort) + "/onvif/device_service";
    const std::string secure = ":" + std::to_string(d.onvif.httpsPort) + "/onvif/device_service";
    std::vector<std::string> out;
    const bool linkLocal = d.onvif.linkLocalXAddr && !d.ip2.empty() && d.ip2 != d.ip;
    if (d.onvif.https) {
        out.push_back("https://" + d.ip + secure);
        if (linkLocal)
            out.push_back("https://" + d.ip2 + secure);
    }
    out.push_back("http://" + d.ip + tail);
    if (linkLocal)
        out.push_back("http://" + d.ip2 + tail);
    return out;
}

std::string ProbeMatches(const Device& d, const std::string& relatesTo) {
    return Envelope(
        Header("ProbeMatches", "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous",
               relatesTo, d.onvif.messageNumber),
        "<d:ProbeMatches><d:ProbeMatch>" + Description(d) + "</d:ProbeMatch></d:ProbeMatches>");
}

std::string Hello(Device* d) {
    ++d->onvif.messageNumber;
    return Envelope(
        Header("Hello", "urn:schemas-xmlsoap-org:ws:2005:04:discovery", "", d->onvif.messageNumber),
        "<d:Hello>" + Description(*d) + "</d:Hello>");
}

std::string Bye(Device* d) {
    ++d->onvif.messageNumber;
    return Envelope(
        Header("Bye", "urn:schemas-xmlsoap-org:ws:2005:04:discovery", "", d->onvif.messageNumber),
        "<d:Bye><wsa:EndpointReference><wsa:Address>" + XmlEscape(Endpoint(*d)) +
            "</wsa:Address></wsa:EndpointReference></d:Bye>");
}

std::string PercentEncode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

} // namespace devsim::wsd
