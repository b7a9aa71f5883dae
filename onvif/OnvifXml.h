// A bounded, namespace-aware view of one XML message from a camera or from
// any WS-Discovery responder on the LAN. The text is read with CMarkupSTL
// and turned into a small tree whose element names are resolved against the
// xmlns declarations in scope: readers ask for (namespace, local name) and
// never for a prefix, since every sender picks its own prefixes.
//
// Every message is hostile input, so reading is bounded: at most
// kMaxXmlBytes of text, kMaxXmlElements elements and kMaxXmlDepth levels of
// nesting; a text beyond any of them is refused as a whole.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace onvif {

constexpr std::size_t kMaxXmlBytes = 256 * 1024;
constexpr int kMaxXmlElements = 4096;
constexpr int kMaxXmlDepth = 32;

// The namespaces of the messages this module reads and writes.
extern const char kNsSoap[];      // SOAP 1.2 envelope
extern const char kNsDiscovery[]; // WS-Discovery 2005/04
extern const char kNsAddressing[];
extern const char kNsNetwork[]; // dn: the video transmitter type
extern const char kNsDevice[];  // tds: the device service
extern const char kNsMedia[];   // trt: the media service
extern const char kNsSchema[];  // tt
extern const char kNsError[];   // ter
extern const char kNsSecurity[];
extern const char kNsUtility[];

struct XmlElement {
    std::string ns;    // resolved namespace URI; empty for no namespace
    std::string local; // name without prefix
    std::string text;  // unescaped text content; empty when it has child elements
    std::vector<std::pair<std::string, std::string>> attributes; // name as written, value
    std::vector<XmlElement> children;
    // xmlns declarations in scope here, prefix ("" for the default) to URI,
    // innermost last; kept so that QName texts (d:Types) resolve too.
    std::vector<std::pair<std::string, std::string>> scope;

    // The first child with this namespace and local name, or null.
    const XmlElement* Child(const char* ns, const char* local) const;
    // Follows Child along pairs of (namespace, local); null when a step fails.
    const XmlElement* Path(std::initializer_list<std::pair<const char*, const char*>> steps) const;
    // The text of Child(ns, local), or empty.
    std::string ChildText(const char* ns, const char* local) const;
    // The value of the attribute written exactly `name`, or empty.
    std::string Attribute(const char* name) const;
    // The namespace URI bound to prefix here ("" for the default); empty
    // when the prefix is not declared.
    std::string ResolvePrefix(const std::string& prefix) const;
};

enum class XmlRead {
    Ok,
    TooLarge,      // more than kMaxXmlBytes
    TooComplex,    // more elements or deeper nesting than allowed
    NotWellFormed, // the XML class found a problem, or no root element
    BadNamespace,  // a prefix used without a declaration
};

// Reads size bytes at text into *root. Only Ok fills root.
XmlRead ReadXml(const char* text, std::size_t size, XmlElement* root);

// A QName text such as "dn:NetworkVideoTransmitter" resolved in the scope of
// `at`: "{namespace}local". A name without prefix takes the default
// namespace. Empty when the prefix is not declared or the text is no QName.
std::string ResolveQName(const XmlElement& at, const std::string& qname);

// Escapes text for element content or a double-quoted attribute.
std::string XmlEscape(const std::string& text);

} // namespace onvif
