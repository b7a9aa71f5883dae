// One simulated device: what it reports in its answers and what a
// configuration request may change.

#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <array>
#include <string>
#include <vector>

#include "OnvifCameraState.h"
#include "SearchWire.h"
#include "TrustWire.h"

namespace devsim {

using Clock = std::chrono::steady_clock;

struct Device {
    Device() = default;
    Device(const Device&) = default;
    Device(Device&&) = default;
    Device& operator=(const Device&) = default;
    Device& operator=(Device&&) = default;
    // Wipes the secrets every copy holds: passwords and the setup code.
    ~Device();

    lorvex::wire::MacBytes mac{};
    std::string type; // productSeries, e.g. ZVK_IPC
    std::string devName, productModel;
    std::string softwareVer, build, softwareBuildDate, hardwareVer, kernelVer;
    std::string ip, mask, gateway, ip2;
    std::string dns1, dns2, encryptType;
    bool dhcp = false;
    int httpPort = 80, dataPort = 9008, rtspPort = 554;
    int httpType = 0, activated = 0;
    std::string password, factoryPassword;
    // The host's clock at boot (seconds); runningTime counts from here. The
    // device's own clock is the host's plus onvif.clockOffset, which both
    // protocols read and set (one device, one clock).
    std::int64_t bootEpoch = 0;
    int clockSets = 0; // clock requests applied since start (clockSets in answers)
    // Behaviour for tests.
    bool silent = false;      // ignores configuration and restore requests
    double vanishAfter = -1;  // seconds after start when it stops answering; <0 never
    bool rtspInAnswer = true; // false: answers carry rtspPort 0, the tool asks over HTTP
    int httpDelayMs = 0;      // every HTTP answer waits this long
    int httpStatus = 0;       // non-zero: every POST is answered with this status
    bool httpSilent = false;  // POSTs are read and never answered
    int revision = 0;         // raised by --change-every, shown in devName
    std::string baseName;     // devName before revisions
    // Last configuration request handled, so a repeat is answered, not re-applied.
    std::uint32_t lastConfigId = 0;
    int lastConfigResult = -1;
    int lastRetryAfter = 0;
    lorvex::wire::Kind lastConfigKind = lorvex::wire::Kind::SetConfig;
    lorvex::trust::Key lastConfigTool{};
    // Identity: the device's key pair and the maker's certificate for it
    // (signature all zero for a device no maker certified).
    bool certified = true;
    // The setup code on the device's label (canonical form), which an
    // activation must prove; from the fleet file, else derived (Certify).
    std::string setupCode;
    lorvex::trust::KeyPair keys;
    lorvex::trust::Certificate cert;
    // Keys agreed with recent tools, the least recently used first to go
    // (at most kKeyCache), and the answer budgets (DeviceTrust.h).
    struct AgreedKey {
        lorvex::trust::Key tool{};
        lorvex::trust::SessionKeys keys;
        Clock::time_point used{};
    };
    std::vector<AgreedKey> agreedKeys;
    struct Bucket {
        double tokens = -1; // below 0: full, not used yet
        Clock::time_point at{};
    };
    struct SourceBudget {
        std::uint32_t source = 0;
        Bucket answers, agreements;
    };
    std::vector<SourceBudget> budgets; // at most kSourcesTracked
    Bucket answersAll, agreementsAll;
    // Challenges are stateless (DeviceTrust.h): a secret made at boot signs
    // each one; only the serials of used ones are kept, at most
    // kUsedChallenges, and every serial at or below `challengeFloor` is
    // refused.
    std::array<unsigned char, 32> challengeSecret{};
    Clock::time_point bootAt{};
    std::uint32_t nextSerial = 1;
    std::set<std::uint32_t> usedChallenges;
    std::uint32_t challengeFloor = 0;
    // The guards: wrong passwords in a row, lock-out, reset button.
    int wrongPasswords = 0;
    int lockLevel = 0;
    Clock::time_point lockedUntil{};
    std::optional<Clock::time_point> resetPressedAt;
    // The latest identify request taken: the device shows itself until then.
    Clock::time_point identifyUntil{};
    int identifySeconds = 0;
    // The one snapshot token an IP camera holds (a newer grant replaces
    // it): honoured once, from snapshotHost (the granting request's source
    // address, network order), until snapshotUntil.
    std::optional<lorvex::trust::SnapshotToken> snapshotToken;
    std::uint32_t snapshotHost = 0;
    Clock::time_point snapshotUntil{};
    // The standard camera side (WS-Discovery, device service), when it has one.
    OnvifCamera onvif;
};

// Whether `d` takes part in our own search protocol: every maker device, not
// a device that speaks only WS-Discovery.
inline bool SpeaksMakerProtocol(const Device& d) {
    return d.onvif.role == WsdRole::None || d.onvif.makerToo;
}

// The multicastSearchResult answer of `d`, with runningTime at `nowEpoch`.
std::string AnswerXml(const Device& d, std::int64_t nowEpoch);

// The multicastSearchResult document that carries a configuration result.
std::string ConfigResultXml(int result);

// Text made safe as XML element data or attribute value.
std::string XmlEscape(const std::string& text);

// The attributes of the first searchSetIP element in `xml`, entities decoded.
// At most 32 attributes are read; false when there is no such element or it is
// malformed.
bool ParseSetIp(const std::string& xml, std::map<std::string, std::string>* attrs);

// Applies a searchSetIP request: 0 when the password matches and every given
// value is well formed (the device then carries the new values, a devName
// that follows lorvex::wire::IsDeviceName among them), else 1 and the
// device is unchanged.
int ApplySetIp(Device* d, const std::map<std::string, std::string>& attrs);

// The device's clock at boot as its answers write it (bootTime, UTC,
// "YYYY-MM-DD HH:MM:SS"): bootTime plus runningTime is its clock now.
std::string BootTimeText(const Device& d);

// The clock fields of a configuration request (ntpServer, timeZone, time)
// that are present, applied to `d` at host time `nowEpoch`: an NTP server
// synchronises the clock at once (offset 0), else a time sets it; any of
// them counts in clockSets. Only for attributes that passed WellFormed
// (ApplySetIp checks them).
void ApplyClock(Device* d, const std::map<std::string, std::string>& attrs, std::int64_t nowEpoch);

// Bumps the revision: the device name changes, everything else stays.
void ChangeVisibly(Device* d);

} // namespace devsim
