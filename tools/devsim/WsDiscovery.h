// The WS-Discovery messages of the simulated cameras and printers: reading a
// Probe, deciding who answers it, and writing ProbeMatches, Hello and Bye.
// Pure functions over a Device; the socket side is WsDiscoveryResponder.

#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Device.h"

namespace devsim::wsd {

inline constexpr std::uint16_t kPort = 3702;
inline constexpr const char* kGroup = "239.255.255.250";
inline constexpr std::size_t kMaxMessageId = 256;

struct Probe {
    std::string messageId;                                  // echoed as RelatesTo
    std::vector<std::pair<std::string, std::string>> types; // namespace, local name
    std::vector<std::string> scopes;
};

// Reads a Probe; false for anything else (Hello, Bye, answers, malformed
// text, a message without a usable MessageID).
bool ParseProbe(const std::string& text, Probe* out);

// Whether `d` answers `probe`: a camera when every type asked for is one it
// answers to (its probeTypes) and every scope asked for is a prefix, by
// whole path segments, of one of its scopes; a printer always; others never.
bool Answers(const Device& d, const Probe& probe);

// The camera's identity, "urn:uuid:..." (its own or derived from the MAC).
std::string Endpoint(const Device& d);
// Its scopes, values percent-encoded: the fixed ones, then the
// configurable ones (the name scope, unless SetScopes left it out, and
// the extra scopes).
std::vector<std::string> Scopes(const Device& d);
std::vector<std::string> FixedScopes(const Device& d);
std::vector<std::string> ConfigurableScopes(const Device& d);
// Its device service addresses at its current addresses.
std::vector<std::string> XAddrs(const Device& d);

// The ProbeMatches answer of `d` to the probe with MessageID `relatesTo`.
std::string ProbeMatches(const Device& d, const std::string& relatesTo);
// Hello and Bye of `d`; both raise its message number.
std::string Hello(Device* d);
std::string Bye(Device* d);

// "%"-encodes every byte outside the unreserved set of URIs.
std::string PercentEncode(const std::string& text);

} // namespace devsim::wsd
