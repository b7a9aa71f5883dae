// WS-Discovery messages as the camera search reads and writes them: the
// Probe it sends, the ProbeMatches, Hello and Bye it reads, and what a
// match says about a camera (video device or not, MAC, name, model,
// reachable address). Pure functions: no socket, no clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace onvif {

constexpr std::uint16_t kDiscoveryPort = 3702;
extern const char kDiscoveryGroup[]; // "239.255.255.250"
// Matches kept from one message; a ProbeMatches with more is cut there.
constexpr std::size_t kMaxMatchesPerMessage = 64;
constexpr std::size_t kMaxScopes = 64;
constexpr std::size_t kMaxXAddrs = 16;

// The types a probe asks for.
enum class ProbeType { NetworkVideoTransmitter, Device };

// One ProbeMatch, or the body of a Hello or Bye.
struct DiscoveryMatch {
    std::string endpoint;           // EndpointReference/Address, trimmed
    std::vector<std::string> types; // resolved, "{namespace}local"
    std::vector<std::string> scopes;
    std::vector<std::string> xaddrs;
    std::uint32_t metadataVersion = 0;
};

enum class DiscoveryKind { ProbeMatches, Hello, Bye, Probe, Other };

struct DiscoveryMessage {
    DiscoveryKind kind = DiscoveryKind::Other;
    std::string messageId;
    std::string relatesTo;
    std::vector<DiscoveryMatch> matches; // Hello and Bye: exactly one
};

enum class DiscoveryRead { Ok, BadXml, NotSoap, NoEndpoint };

// Reads one datagram. Ok fills out; a ProbeMatches, Hello or Bye without an
// endpoint address in a match is NoEndpoint (such a match has no identity).
// A Probe or any other SOAP message is Ok with its kind, and must never be
// answered.
DiscoveryRead ParseDiscovery(const char* data, std::size_t size, DiscoveryMessage* out);

// A Probe with this message identifier ("urn:uuid:...") asking for type.
std::string BuildProbe(const std::string& messageId, ProbeType type);

// True for a video device: a type NetworkVideoTransmitter in the dn
// namespace, or a scope onvif://www.onvif.org/type/video_encoder or
// .../type/NetworkVideoTransmitter.
bool IsVideoDevice(const DiscoveryMatch& match);

// The percent-decoded value after "onvif://www.onvif.org/<key>/" of the
// first such scope (key compared without regard to case), or empty.
// Decoded control characters are dropped.
std::string ScopeValue(const std::vector<std::string>& scopes, const std::string& key);

// One XAddr split into its parts: only http or https, a dotted-quad or a
// bracketed IPv6 host, a port (default 80 / 443) and a path.
struct XAddr {
    std::string scheme; // "http" or "https"
    std::string host;   // dotted quad, or "[v6]"
    std::uint16_t port = 0;
    std::string path; // begins with '/'
};
// False for anything else (a name to look up, userinfo, a bad port).
bool ParseXAddr(const std::string& text, XAddr* out);

// A connected subnet: the interface's address and mask in host byte order.
struct Subnet {
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
};

// Where a camera is reached from this card.
enum class Reach {
    Subnet,    // an XAddr on the card's subnet
    LinkLocal, // only through its 169.254 XAddr and the link-local route
    None,      // no XAddr on the card's subnet and no link-local one
};

// The XAddr to use for a camera whose discovery message came from address
// `source` (dotted quad): one on `subnet` whose host is source itself
// (https before http), else a link-local one (https first) from the same
// message, else none. *reach says which; index into xaddrs, or -1.
//
// An XAddr naming another host of a routed network is never used, so a
// message cannot send a log-in anywhere but to its own sender. A
// link-local address is taken from the sender's own message although it is
// not the address the message came from: a camera left in a foreign subnet
// speaks from that subnet's address and is reached only at its 169.254
// one, and such an address never leads off the link. An empty source
// (anySource) lifts the rule: only to tell whether a message would have
// been reachable but for it.
int ChooseXAddr(const std::vector<std::string>& xaddrs, const Subnet& subnet,
                const std::string& source, Reach* reach, bool anySource = false);

// Dotted quad to host order; false for anything but four decimal parts.
bool ParseIPv4(const std::string& text, std::uint32_t* out);

} // namespace onvif
