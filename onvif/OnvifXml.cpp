#include "OnvifXml.h"

#include <cstring>

#include "MarkupSTL.h"

namespace onvif {

const char kNsSoap[] = "http://www.w3.org/2003/05/soap-envelope";
const char kNsDiscovery[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
const char kNsAddressing[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
const char kNsNetwork[] = "http://www.onvif.org/ver10/network/wsdl";
const char kNsDevice[] = "http://www.onvif.org/ver10/device/wsdl";
const char kNsMedia[] = "http://www.onvif.org/ver10/media/wsdl";
const char kNsSchema[] = "http://www.onvif.org/ver10/schema";
const char kNsError[] = "http://www.onvif.org/ver10/error";
const char kNsSecurity[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
const char kNsUtility[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";

namespace {

// Attributes read per element; a start tag with more is refused.
constexpr int kMaxAttributes = 64;

using Scope = std::vector<std::pair<std::string, std::string>>;

std::string Lookup(const Scope& scope, const std::string& prefix, bool* found) {
    for (auto it = scope.rbegin(); it != scope.rend(); ++it)
        if (it->first == prefix) {
            *found = true;
            return it->second;
        }
    *found = prefix.empty(); // no default namespace declared: no namespace
    return std::string();
}

void SplitName(const std::string& name, std::string* prefix, std::string* local) {
    const size_t colon = name.find(':');
    if (colon == std::string::npos) {
        prefix->clear();
        *local = name;
    } else {
        *prefix = name.substr(0, colon);
        *local = name.substr(colon + 1);
    }
}

// Reads the attributes of doc's main element into out, extending scope with
// its xmlns declarations. False when there are too many.
bool ReadAttributes(const CMarkupSTL& doc, XmlElement* out, Scope* scope) {
    for (int i = 0;; ++i) {
        const std::string name = doc.GetAttribName(i);
        if (name.empty())
            return true;
        if (i >= kMaxAttributes)
            return false;
        std::string value = doc.GetAttrib(name.c_str());
        if (name == "xmlns")
            scope->emplace_back("", value);
        else if (name.compare(0, 6, "xmlns:") == 0)
            scope->emplace_back(name.substr(6), value);
        out->attributes.emplace_back(name, std::move(value));
    }
}

XmlRead Build(CMarkupSTL& doc, const Scope& parentScope, XmlElement* out) {
    Scope scope = parentScope;
    if (!ReadAttributes(doc, out, &scope))
        return XmlRead::TooComplex;
    std::string prefix;
    SplitName(doc.GetTagName(), &prefix, &out->local);
    bool found = false;
    out->ns = Lookup(scope, prefix, &found);
    if (!found || out->local.empty())
        return XmlRead::BadNamespace;
    out->scope = scope;
    out->text = doc.GetData();
    if (!doc.IntoElem())
        return XmlRead::Ok;
    while (doc.FindElem()) {
        out->children.emplace_back();
        const XmlRead r = Build(doc, scope, &out->children.back());
        if (r != XmlRead::Ok)
            return r;
    }
    doc.OutOfElem();
    return XmlRead::Ok;
}

} // namespace

XmlRead ReadXml(const char* text, std::size_t size, XmlElement* root) {
    if (size > kMaxXmlBytes)
        return XmlRead::TooLarge;
    if (text == nullptr || size == 0 || std::memchr(text, '\0', size) != nullptr)
        return XmlRead::NotWellFormed;
    CMarkupSTL doc;
    if (!doc.SetDoc(std::string(text, size)))
        return XmlRead::NotWellFormed;
    // The record table holds the whole document: its size and levels bound
    // the tree before a single element is copied.
    if (doc.GetRecordCount() - 1 > kMaxXmlElements)
        return XmlRead::TooComplex;
    for (int i = 1; i < doc.GetRecordCount(); ++i)
        if (doc.ElemAt(i).Level() >= kMaxXmlDepth)
            return XmlRead::TooComplex;
    if (!doc.FindElem())
        return XmlRead::NotWellFormed;
    XmlElement element;
    const XmlRead r = Build(doc, Scope(), &element);
    if (r == XmlRead::Ok)
        *root = std::move(element);
    return r;
}

const XmlElement* XmlElement::Child(const char* ns, const char* local) const {
    for (const XmlElement& c : children)
        if (c.local == local && c.ns == ns)
            return &c;
    return nullptr;
}

const XmlElement*
XmlElement::Path(std::initializer_list<std::pair<const char*, const char*>> steps) const {
    const XmlElement* at = this;
    for (const auto& step : steps) {
        at = at->Child(step.first, step.second);
        if (at == nullptr)
            return nullptr;
    }
    return at;
}

std::string XmlElement::ChildText(const char* ns, const char* local) const {
    const XmlElement* c = Child(ns, local);
    return c != nullptr ? c->text : std::string();
}

std::string XmlElement::Attribute(const char* name) const {
    for (const auto& a : attributes)
        if (a.first == name)
            return a.second;
    return std::string();
}

std::string XmlElement::ResolvePrefix(const std::string& prefix) const {
    bool found = false;
    return Lookup(scope, prefix, &found);
}

std::string ResolveQName(const XmlElement& at, const std::string& qname) {
    std::string prefix, local;
    SplitName(qname, &prefix, &local);
    if (local.empty() || local.find(':') != std::string::npos)
        return std::string();
    bool found = false;
    const std::string ns = Lookup(at.scope, prefix, &found);
    if (!found)
        return std::string();
    return "{" + ns + "}" + local;
}

std::string XmlEscape(const std::string& text) {
    return CMarkupSTL::EscapeText(text.c_str(), true);
}

} // namespace onvif
