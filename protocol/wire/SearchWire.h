// The datagram format shared by the library and the device simulator.
// docs/protocol.md is the reference; the constants here must match it.

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lorvex::wire {

constexpr const char* kGroup = "239.255.76.88";
constexpr std::uint16_t kDevicePort = 48760; // devices listen here
constexpr std::uint16_t kToolPort = 48761;   // the tool listens here
constexpr std::size_t kHeaderSize = 30;
constexpr std::size_t kMaxDatagram = 4096;
constexpr std::size_t kMaxPayload = kMaxDatagram - kHeaderSize;
constexpr std::uint8_t kVersion = 2; // 2: device identity and sealed requests

enum class Kind : std::uint8_t {
    Probe = 1,         // tool -> devices
    Answer = 2,        // device -> tool, payload multicastSearchResult
    SetConfig = 3,     // tool -> device, payload searchSetIP
    ConfigResult = 4,  // device -> tool, payload multicastSearchResult/setIPResult
    Restore = 5,       // tool -> device, sealed, no body
    RestoreAck = 6,    // device -> tool, authenticated restoreResult
    Activate = 7,      // tool -> device, sealed first password; answered with kind 4
    Identify = 8,      // tool -> device, sealed time to show itself and password; kind 4
    SnapshotToken = 9, // tool -> device, sealed one-time picture token and password; kind 4
};

// Six bytes of a MAC, first pair first.
using MacBytes = std::array<unsigned char, 6>;

struct Message {
    Kind kind = Kind::Probe;
    std::uint32_t requestId = 0;
    MacBytes mac{};
    std::string payload;
    // The 30 header bytes exactly as received (Decode fills them; the MAC
    // text may be lower case): what authenticators cover. All zero in a
    // message built to be sent.
    std::array<unsigned char, kHeaderSize> header{};
    // The IPv4 source address it came from (network byte order), as the
    // receiver read it; 0 when unknown or built to be sent. Budgets per
    // sender are kept by it.
    std::uint32_t source = 0;
};

// True when `text` is exactly six two-digit hex pairs joined by colons
// (either case); fills `out` when given.
bool ParseMac(std::string_view text, MacBytes* out);

// "AA:BB:CC:DD:EE:FF", upper case, into a buffer of at least 18 bytes.
void FormatMac(const MacBytes& mac, char out[18]);
std::string FormatMac(const MacBytes& mac);

// All zero: in a probe it addresses every device.
bool IsAnyMac(const MacBytes& mac);

// A MAC a device may carry: not all zero and not a group address.
bool IsDeviceMac(const MacBytes& mac);

// A device name (devName) a configuration request may set: 1 to
// kMaxDeviceNameBytes bytes of well-formed UTF-8 (shortest forms, no
// surrogates, nothing above U+10FFFF), no control character (U+0000 to
// U+001F, U+007F to U+009F), and no space at either end. 31 bytes are what
// a device record keeps of a name (SEARCH_INFO::devName with its NUL).
constexpr std::size_t kMaxDeviceNameBytes = 31;
bool IsDeviceName(std::string_view name);

// The clock fields a configuration request may set (ntpServer, timeZone,
// time). Each rule is checked by the tool before sending and by the device
// again; a value that breaks it refuses the whole request.
//
// An NTP server: 1 to kMaxNtpServerBytes bytes of ASCII letters, digits,
// '.', '-' and ':' (a dotted quad, an IPv6 text or a DNS name), starting
// with a letter, a digit or ':'.
constexpr std::size_t kMaxNtpServerBytes = 253;
bool IsClockNtpServer(std::string_view server);
// A POSIX time zone (TZ) text: 1 to kMaxTimeZoneBytes bytes of ASCII
// letters, digits and "<>+-:,./", starting with a letter or '<'.
constexpr std::size_t kMaxTimeZoneBytes = 64;
bool IsClockTimeZone(std::string_view zone);
// A time to set: UTC seconds since 1970 as 1 to 10 decimal digits without
// a leading zero, worth kMinClockTime (2000-01-01) to kMaxClockTime
// (2099-12-31 23:59:59). Fills *utc when given and the text passes.
constexpr std::int64_t kMinClockTime = 946684800;
constexpr std::int64_t kMaxClockTime = 4102444799;
bool ReadClockTime(std::string_view text, std::int64_t* utc);

// The datagram for `msg`; empty when the payload is over kMaxPayload.
// Payloads are bytes: their layout per kind is the trust layer's.
std::string Encode(const Message& msg);

// The 30-byte header of a datagram whose payload has `payloadSize` bytes.
std::string EncodeHeader(Kind kind, std::uint32_t requestId, const MacBytes& mac,
                         std::size_t payloadSize);

// Decodes one datagram; false (and `out` unspecified) for anything that is
// not exactly a well-formed message: wrong magic or version, unknown kind,
// a length field that disagrees with the size, a MAC text that is not six
// hex pairs, or more than kMaxDatagram bytes.
bool Decode(const unsigned char* data, std::size_t size, Message* out);

// Kinds that only devices send; the tool ignores every other kind.
bool IsDeviceKind(Kind kind);

} // namespace lorvex::wire
