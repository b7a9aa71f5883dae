#include "OnvifDiscovery.h"

#include <cctype>
#include <cstdio>

#include "HttpTransport.h"
#include "OnvifXml.h"

namespace onvif {

const char kDiscoveryGroup[] = "239.255.255.250";

namespace {

// Longest endpoint, scope, XAddr or type text kept; longer ones are dropped.
constexpr std::size_t kMaxItemLength = 512;
constexpr std::size_t kMaxTypes = 16;

std::string Trim(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    return text.substr(b, e - b);
}

// The white-space separated items of text, at most limit of them, each at
// most kMaxItemLength long (longer ones are skipped).
std::vector<std::string> Items(const std::string& text, std::size_t limit) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size() && out.size() < limit) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        size_t j = i;
        while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j])))
            ++j;
        if (j > i && j - i <= kMaxItemLength)
            out.push_back(text.substr(i, j - i));
        i = j;
    }
    return out;
}

bool ReadMatch(const XmlElement& at, DiscoveryMatch* out) {
    const XmlElement* address =
        at.Path({{kNsAddressing, "EndpointReference"}, {kNsAddressing, "Address"}});
    if (address == nullptr)
        return false;
    out->endpoint = Trim(address->text);
    if (out->endpoint.empty() || out->endpoint.size() > kMaxItemLength)
        return false;
    if (const XmlElement* types = at.Child(kNsDiscovery, "Types"))
        for (const std::string& qname : Items(types->text, kMaxTypes)) {
            std::string resolved = ResolveQName(*types, qname);
            if (!resolved.empty())
                out->types.push_back(std::move(resolved));
        }
    out->scopes = Items(at.ChildText(kNsDiscovery, "Scopes"), kMaxScopes);
    out->xaddrs = Items(at.ChildText(kNsDiscovery, "XAddrs"), kMaxXAddrs);
    const std::string version = Trim(at.ChildText(kNsDiscovery, "MetadataVersion"));
    unsigned long v = 0;
    if (!version.empty() && version.size() <= 10 &&
        version.find_first_not_of("0123456789") == std::string::npos)
        v = std::stoul(version);
    out->metadataVersion = v > 0xFFFFFFFFul ? 0 : static_cast<std::uint32_t>(v);
    return true;
}

bool StartsWithNoCase(const std::string& text, size_t at, const std::string& prefix) {
    if (at > text.size() || text.size() - at < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[at + i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size() + 0 && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            c = static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        }
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F)
            out.push_back(c);
    }
    return out;
}

const char kScopePrefix[] = "onvif://www.onvif.org/";

bool ParsePort(const std::string& text, std::uint16_t* out) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long v = std::stoul(text);
    if (v == 0 || v > 65535)
        return false;
    *out = static_cast<std::uint16_t>(v);
    return true;
}

} // namespace

DiscoveryRead ParseDiscovery(const char* data, std::size_t size, DiscoveryMessage* out) {
    XmlElement root;
    if (ReadXml(data, size, &root) != XmlRead::Ok)
        return DiscoveryRead::BadXml;
    if (root.ns != kNsSoap || root.local != "Envelope")
        return DiscoveryRead::NotSoap;
    const XmlElement* body = root.Child(kNsSoap, "Body");
    if (body == nullptr)
        return DiscoveryRead::NotSoap;
    DiscoveryMessage message;
    if (const XmlElement* header = root.Child(kNsSoap, "Header")) {
        message.messageId = Trim(header->ChildText(kNsAddressing, "MessageID"));
        message.relatesTo = Trim(header->ChildText(kNsAddressing, "RelatesTo"));
    }
    const XmlElement* first = body->children.empty() ? nullptr : &body->children.front();
    if (first != nullptr && first->ns == kNsDiscovery) {
        if (first->local == "ProbeMatches") {
            message.kind = DiscoveryKind::ProbeMatches;
            for (const XmlElement& m : first->children) {
                if (m.ns != kNsDiscovery || m.local != "ProbeMatch")
                    continue;
                if (message.matches.size() == kMaxMatchesPerMessage)
                    break;
                message.matches.emplace_back();
                if (!ReadMatch(m, &message.matches.back()))
                    return DiscoveryRead::NoEndpoint;
            }
        } else if (first->local == "Hello" || first->local == "Bye") {
            message.kind = first->local == "Hello" ? DiscoveryKind::Hello : DiscoveryKind::Bye;
            message.matches.emplace_back();
            if (!ReadMatch(*first, &message.matches.back()))
                return DiscoveryRead::NoEndpoint;
        } else if (first->local == "Probe") {
            message.kind = DiscoveryKind::Probe;
        }
    }
    *out = std::move(message);
    return DiscoveryRead::Ok;
}

std::string BuildProbe(const std::string& messageId, ProbeType type) {
    const bool nvt = type == ProbeType::NetworkVideoTransmitter;
    std::string s;
    s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    s += "<s:Envelope xmlns:s=\"";
    s += kNsSoap;
    s += "\" xmlns:a=\"";
    s += kNsAddressing;
    s += "\" xmlns:d=\"";
    s += kNsDiscovery;
    s += nvt ? "\" xmlns:dn=\"" : "\" xmlns:tds=\"";
    s += nvt ? kNsNetwork : kNsDevice;
    s += "\"><s:Header><a:Action s:mustUnderstand=\"1\">";
    s += kNsDiscovery;
    s += "/Probe</a:Action><a:MessageID>";
    s += XmlEscape(messageId);
    s += "</a:MessageID><a:To s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:"
         "discovery</a:To></s:Header><s:Body><d:Probe><d:Types>";
    s += nvt ? "dn:NetworkVideoTransmitter" : "tds:Device";
    s += "</d:Types></d:Probe></s:Body></s:Envelope>";
    return s;
}

bool IsVideoDevice(const DiscoveryMatch& match) {
    const std::string nvt = std::string("{") + kNsNetwork + "}NetworkVideoTransmitter";
    for (const std::string& t : match.types)
        if (t == nvt)
            return true;
    const std::string prefix = std::string(kScopePrefix) + "type/";
    for (const std::string& scope : match.scopes) {
        if (!StartsWithNoCase(scope, 0, prefix))
            continue;
        const std::string value = PercentDecode(scope.substr(prefix.size()));
        if (value == "video_encoder" || value == "NetworkVideoTransmitter")
            return true;
    }
    return false;
}

std::string ScopeValue(const std::vector<std::string>& scopes, const std::string& key) {
    const std::string prefix = std::string(kScopePrefix) + key + "/";
    for (const std::string& scope : scopes)
        if (StartsWithNoCase(scope, 0, prefix))
            return PercentDecode(scope.substr(prefix.size()));
    return std::string();
}

bool ParseIPv4(const std::string& text, std::uint32_t* out) {
    std::uint32_t value = 0;
    int parts = 0;
    size_t i = 0;
    while (parts < 4) {
        size_t j = i;
        while (j < text.size() && j - i < 4 && std::isdigit(static_cast<unsigned char>(text[j])))
            ++j;
        if (j == i || j - i > 3)
            return false;
        const unsigned long part = std::stoul(text.substr(i, j - i));
        if (part > 255)
            return false;
        value = (value << 8) | static_cast<std::uint32_t>(part);
        ++parts;
        if (parts < 4) {
            if (j >= text.size() || text[j] != '.')
                return false;
            i = j + 1;
        } else if (j != text.size()) {
            return false;
        }
    }
    *out = value;
    return true;
}

bool ParseXAddr(const std::string& text, XAddr* out) {
    XAddr x;
    size_t at = 0;
    if (StartsWithNoCase(text, 0, "https://")) {
        x.scheme = "https";
        at = 8;
        x.port = 443;
    } else if (StartsWithNoCase(text, 0, "http://")) {
        x.scheme = "http";
        at = 7;
        x.port = 80;
    } else {
        return false;
    }
    const size_t slash = text.find('/', at);
    const std::string authority =
        text.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
    x.path = slash == std::string::npos ? "/" : text.substr(slash);
    if (!IsPlainPath(x.path) || authority.empty())
        return false;
    std::string portText;
    if (authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string::npos || close < 3)
            return false;
        x.host = authority.substr(0, close + 1);
        for (size_t i = 1; i < close; ++i)
            if (!std::isxdigit(static_cast<unsigned char>(x.host[i])) && x.host[i] != ':' &&
                x.host[i] != '.')
                return false;
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':')
                return false;
            portText = authority.substr(close + 2);
            if (!ParsePort(portText, &x.port))
                return false;
        }
    } else {
        const size_t colon = authority.find(':');
        x.host = authority.substr(0, colon);
        std::uint32_t ip = 0;
        if (!ParseIPv4(x.host, &ip))
            return false;
        if (colon != std::string::npos && !ParsePort(authority.substr(colon + 1), &x.port))
            return false;
    }
    *out = x;
    return true;
}

int ChooseXAddr(const std::vector<std::string>& xaddrs, const Subnet& subnet,
                const std::string& source, Reach* reach, bool anySource) {
    int onSubnet = -1, linkLocal = -1;
    bool onSubnetHttps = false, linkLocalHttps = false;
    for (size_t i = 0; i < xaddrs.size(); ++i) {
        XAddr x;
        std::uint32_t ip = 0;
        if (!ParseXAddr(xaddrs[i], &x) || !ParseIPv4(x.host, &ip))
            continue;
        const bool https = x.scheme == "https";
        if (subnet.mask != 0 && (ip & subnet.mask) == (subnet.address & subnet.mask)) {
            if (!anySource && x.host != source)
                continue; // another host than the sender: never logged in to
            if (onSubnet < 0 || (https && !onSubnetHttps))
                onSubnet = static_cast<int>(i), onSubnetHttps = https;
        } else if ((ip & 0xFFFF0000u) == 0xA9FE0000u) {
            if (linkLocal < 0 || (https && !linkLocalHttps))
                linkLocal = static_cast<int>(i), linkLocalHttps = https;
        }
    }
    if (onSubnet >= 0) {
        *reach = Reach::Subnet;
        return onSubnet;
    }
    *reach = linkLocal >= 0 ? Reach::LinkLocal : Reach::None;
    return linkLocal;
}

} // namespace onvif
