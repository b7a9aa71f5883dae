#include "OnvifMedia.h"

#include "OnvifXml.h"

namespace onvif {
namespace {

bool ReadInt(const std::string& text, int* out) {
    const std::string t = AnswerField(text, 16);
    if (t.empty() || t.size() > 5 || t.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *out = std::stoi(t);
    return true;
}

// An address as the camera wrote it, trimmed; empty when it is too long or
// holds a control character or blank inside.
std::string UriText(const std::string& text) {
    const std::size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return std::string();
    const std::string t = text.substr(b, text.find_last_not_of(" \t\r\n") - b + 1);
    if (t.size() > kMaxUriBytes)
        return std::string();
    for (unsigned char c : t)
        if (c <= 0x20 || c == 0x7F)
            return std::string();
    return t;
}

} // namespace

std::string GetServicesBody() {
    return "<tds:GetServices><tds:IncludeCapability>false</tds:IncludeCapability>"
           "</tds:GetServices>";
}

std::string GetCapabilitiesBody() {
    return "<tds:GetCapabilities><tds:Category>Media</tds:Category></tds:GetCapabilities>";
}

std::string GetProfilesBody() {
    return std::string("<trt:GetProfiles xmlns:trt=\"") + kNsMedia + "\"/>";
}

std::string GetSnapshotUriBody(const std::string& profileToken) {
    return std::string("<trt:GetSnapshotUri xmlns:trt=\"") + kNsMedia + "\"><trt:ProfileToken>" +
           XmlEscape(profileToken) + "</trt:ProfileToken></trt:GetSnapshotUri>";
}

SoapRead ReadMediaService(const std::string& body, std::string* xaddr, SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    const SoapRead r = ReadAnswer(body, kNsDevice, "GetServicesResponse", &root, &answer, fault);
    if (r != SoapRead::Ok)
        return r;
    for (const XmlElement& service : answer->children) {
        if (service.ns != kNsDevice || service.local != "Service" ||
            AnswerField(service.ChildText(kNsDevice, "Namespace")) != kNsMedia)
            continue;
        const std::string address = UriText(service.ChildText(kNsDevice, "XAddr"));
        if (address.empty())
            return SoapRead::NotSoap;
        *xaddr = address;
        return SoapRead::Ok;
    }
    xaddr->clear();
    return SoapRead::Ok;
}

SoapRead ReadMediaCapability(const std::string& body, std::string* xaddr, SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    const SoapRead r =
        ReadAnswer(body, kNsDevice, "GetCapabilitiesResponse", &root, &answer, fault);
    if (r != SoapRead::Ok)
        return r;
    const XmlElement* capabilities = answer->Child(kNsDevice, "Capabilities");
    if (capabilities == nullptr)
        return SoapRead::NotSoap;
    const XmlElement* media = capabilities->Path({{kNsSchema, "Media"}, {kNsSchema, "XAddr"}});
    if (media == nullptr) {
        xaddr->clear();
        return SoapRead::Ok;
    }
    const std::string address = UriText(media->text);
    if (address.empty())
        return SoapRead::NotSoap;
    *xaddr = address;
    return SoapRead::Ok;
}

SoapRead ReadProfiles(const std::string& body, std::vector<MediaProfile>* out, SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    const SoapRead r = ReadAnswer(body, kNsMedia, "GetProfilesResponse", &root, &answer, fault);
    if (r != SoapRead::Ok)
        return r;
    std::vector<MediaProfile> list;
    for (const XmlElement& e : answer->children) {
        if (e.ns != kNsMedia || e.local != "Profiles" || list.size() >= kMaxProfiles)
            continue;
        MediaProfile p;
        p.token = AnswerField(e.Attribute("token"));
        if (p.token.empty())
            continue; // nothing to ask its snapshot URI by
        p.name = AnswerField(e.ChildText(kNsSchema, "Name"));
        p.video = e.Child(kNsSchema, "VideoSourceConfiguration") != nullptr;
        if (const XmlElement* size =
                e.Path({{kNsSchema, "VideoEncoderConfiguration"}, {kNsSchema, "Resolution"}})) {
            int w = 0, h = 0;
            if (ReadInt(size->ChildText(kNsSchema, "Width"), &w) &&
                ReadInt(size->ChildText(kNsSchema, "Height"), &h))
                p.width = w, p.height = h;
        }
        list.push_back(p);
    }
    if (list.empty())
        return SoapRead::NotSoap;
    *out = list;
    return SoapRead::Ok;
}

SoapRead ReadSnapshotUri(const std::string& body, std::string* uri, SoapFault* fault) {
    XmlElement root;
    const XmlElement* answer = nullptr;
    const SoapRead r = ReadAnswer(body, kNsMedia, "GetSnapshotUriResponse", &root, &answer, fault);
    if (r != SoapRead::Ok)
        return r;
    const XmlElement* u = answer->Path({{kNsMedia, "MediaUri"}, {kNsSchema, "Uri"}});
    const std::string text = u == nullptr ? std::string() : UriText(u->text);
    if (text.empty())
        return SoapRead::NotSoap;
    *uri = text;
    return SoapRead::Ok;
}

const MediaProfile* FirstVideoProfile(const std::vector<MediaProfile>& profiles) {
    for (const MediaProfile& p : profiles)
        if (p.video)
            return &p;
    return nullptr;
}

} // namespace onvif
