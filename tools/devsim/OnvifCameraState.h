// What a simulated device carries when it answers as a standard network
// camera (WS-Discovery and the device web service): its settings from the
// fleet, and its login guard's state. Held inside Device, under the fleet's
// lock.

#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace devsim {

enum class OnvifAuth { Both, Digest, Wsse };
// What the camera does wrong when asked for its picture (fleet key
// "snapshot"): serves more than 4 MiB, something that is no JPEG, a JPEG cut
// in half, a JPEG a few hundred bytes a second, or asks for HTTP Basic only.
enum class SnapshotFault { None, TooLarge, NotJpeg, Truncated, Slow, BasicOnly };
enum class ProbeTypes { Both, NetworkVideoTransmitter, Device };

// The role a device plays on the WS-Discovery group.
enum class WsdRole {
    None,    // a maker device that speaks only our own protocol
    Camera,  // answers as a network video transmitter
    Printer, // answers every probe as a printer: never listed as a camera
};

struct OnvifCamera {
    WsdRole role = WsdRole::None;
    bool makerToo = false; // a maker device that also answers as a camera
    std::string user = "admin";
    OnvifAuth auth = OnvifAuth::Both;
    std::int64_t clockOffset = 0; // seconds the camera's clock is ahead of the host's
    bool rebootNeeded = false;
    double rebootSeconds = 3;
    bool macInScopes = true;
    bool linkLocalXAddr = true;
    // The device service also over HTTPS on httpsPort, announced first
    // (fleet keys "https", "httpsPort"); its certificate is new at every
    // start (CameraTls).
    bool https = false;
    int httpsPort = 443;
    ProbeTypes probeTypes = ProbeTypes::Both;
    std::string serial;       // empty: derived from the MAC
    std::string manufacturer; // empty: "Lorvex Simulated"
    std::string endpoint;     // "urn:uuid:..."; derived from the MAC when empty
    std::uint32_t metadataVersion = 1;

    // Name: the name scope's value is the device's devName.
    bool nameScope = true;  // false after a SetScopes that left it out
    bool nameFixed = false; // the name scope is Fixed (fleet key "nameFixed")
    // Configurable scopes besides the name (fleet key "scopes").
    std::vector<std::string> extraScopes = {"onvif://www.onvif.org/location/Site"};
    std::string hostname;        // empty: made from the name
    bool hostnameOffered = true; // false: GetHostname and SetHostname are not offered
    // false: GetNetworkInterfaces and GetNetworkDefaultGateway are not
    // offered (fleet key "networkOffered").
    bool networkOffered = true;
    // Clock, besides clockOffset: set by SetSystemDateAndTime and SetNTP.
    bool clockNtp = false;
    bool daylightSavings = false;
    std::string timeZone = "UTC0";
    bool zoneFixed = false; // a zone set is taken and not applied (fleet key "zoneFixed")
    std::string ntpType;    // "IPv4", "IPv6" or "DNS"; empty: no NTP server
    std::string ntpServer;
    // Media: Profile_1 (1280x720) and Profile_2 (640x360), as many as
    // mediaProfiles says; with audioFirst an audio-only profile before them.
    int mediaProfiles = 2;
    bool audioFirst = false;
    SnapshotFault snapshotFault = SnapshotFault::None;
    std::string snapshotHost;        // non-empty: the snapshot URI names this host instead
    std::uint32_t messageNumber = 0; // AppSequence counter of Hello and Bye

    // Login guard.
    int wrongLogins = 0;
    std::chrono::steady_clock::time_point lockedUntil{};
    // WS-UsernameToken nonces seen, with when, so none is honoured twice.
    std::deque<std::pair<std::string, std::chrono::steady_clock::time_point>> usedNonces;
    // HTTP Digest nonces issued, with when, and the highest nc seen for each.
    struct DigestNonce {
        std::string value;
        std::chrono::steady_clock::time_point issued;
        unsigned long lastCount = 0;
    };
    std::deque<DigestNonce> digestNonces;

    // Re-addressing: the address waits here while a reboot is needed.
    bool pendingAddress = false;
    std::string pendingIp, pendingMask;
    bool pendingDhcp = false;
    // Silent (no HTTP, no WS-Discovery) until this time while rebooting.
    std::chrono::steady_clock::time_point rebootingUntil{};
};

} // namespace devsim
