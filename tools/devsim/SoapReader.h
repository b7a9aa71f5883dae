// A small bounded reader of the SOAP envelopes the simulated cameras receive
// (WS-Discovery probes over UDP, device service requests over HTTP). It
// resolves namespace prefixes, which the camera side needs and the markup
// class does not offer: a probe may bind the discovery namespace to any
// prefix. Everything it reads is hostile: the text, the depth, the element
// and attribute counts are capped, and anything malformed is refused whole.

#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace devsim::soap {

inline constexpr const char* kEnvelopeNs = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr const char* kAddressingNs = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
inline constexpr const char* kDiscoveryNs = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
inline constexpr const char* kNetworkNs = "http://www.onvif.org/ver10/network/wsdl";
inline constexpr const char* kDeviceNs = "http://www.onvif.org/ver10/device/wsdl";
inline constexpr const char* kMediaNs = "http://www.onvif.org/ver10/media/wsdl";
inline constexpr const char* kSchemaNs = "http://www.onvif.org/ver10/schema";
inline constexpr const char* kErrorNs = "http://www.onvif.org/ver10/error";
inline constexpr const char* kSecurityNs =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
inline constexpr const char* kUtilityNs =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";

inline constexpr std::size_t kMaxText = 64 * 1024;
inline constexpr int kMaxDepth = 32;
inline constexpr std::size_t kMaxElements = 1024;
inline constexpr std::size_t kMaxAttributes = 32;

struct Element {
    std::string ns, local; // the element's namespace URI and local name
    std::string text;      // its character data, entities expanded
    int parent = -1;       // index in Document::elements; -1 for the root
    std::vector<std::pair<std::string, std::string>> attributes; // local name, value
    // Namespace bindings in force at the element (prefix, URI; "" for the
    // default), for reading QName values such as d:Types.
    std::vector<std::pair<std::string, std::string>> scope;
};

struct Document {
    std::vector<Element> elements; // in document order; [0] is the root
    // The first child of `parent` (-1: the root) with this namespace and
    // local name, after element `after`; -1 when there is none.
    int Child(int parent, const char* ns, const char* local, int after = -1) const;
    // The value of the attribute with this local name; empty when absent.
    std::string Attribute(int element, const char* local) const;
    // The (namespace, local name) pairs of a whitespace-separated QName list
    // in the element's text; a prefix bound to nothing gives an empty namespace.
    std::vector<std::pair<std::string, std::string>> QNames(int element) const;
};

// Reads `text`; false (and `out` unspecified) when it is longer than
// kMaxText, malformed, carries a document type declaration, or exceeds a cap.
bool Read(const std::string& text, Document* out);

} // namespace devsim::soap
