// The simulated camera's device service: one SOAP request in, one answer
// out, as a plain function over the Device so that it is tested without a
// network. Login by WS-UsernameToken PasswordDigest and/or HTTP Digest (MD5,
// qop=auth) as the camera's onvifAuth says, a lock after five wrong logins,
// and the camera's own clock. docs/protocol.md describes every operation.

#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Device.h"

namespace devsim::onvif {

inline constexpr int kLockAfter = 5;
inline constexpr auto kLockTime = std::chrono::seconds(60);
inline constexpr std::int64_t kClockWindow = 300; // seconds a Created may be off
inline constexpr auto kNonceMemory = std::chrono::minutes(5);
inline constexpr const char* kRealm = "Lorvex Simulated Camera";
inline constexpr const char* kServicePath = "/onvif/device_service";
inline constexpr const char* kMediaPath = "/onvif/media_service";
inline constexpr const char* kSnapshotPath = "/onvif/snapshot.jpg";

struct Request {
    std::string method = "POST";
    std::string uri = kServicePath; // as in the request line, for HTTP Digest
    std::string authorization;      // the Authorization header, or empty
    std::string body;
};

// What the caller does after sending the answer.
enum class Effect {
    None,
    MoveNow,  // the new address takes effect right after the answer
    Reboot,   // silent for rebootSeconds, then the pending address (if any) takes effect
    Announce, // the scopes changed: a Hello tells the group
};

struct Response {
    int status = 200;
    std::string body;
    std::string wwwAuthenticate; // a Digest challenge, or empty
    std::string operation;       // the operation's local name, for the log ("?" when unreadable)
    Effect effect = Effect::None;
};

// Answers `request` for camera `d` at host time `hostEpoch` (the camera's
// clock is that plus its clockOffset) and monotonic time `now`; changes `d`
// as the operation and the login guard say.
Response Handle(Device* d, const Request& request, std::int64_t hostEpoch, Clock::time_point now);

// The log-in of a request for the camera's picture (a GET without SOAP):
// HTTP Digest as the device service takes it, whatever its onvifAuth, or
// HTTP Basic alone for a camera whose snapshot fault is BasicOnly; the same
// count of wrong log-ins and the same lock. Empty when the log-in is right,
// else the answer to send instead of the picture.
std::optional<Response> AuthenticatePicture(Device* d, const Request& request,
                                            Clock::time_point now);

// Puts the address SetNetworkInterfaces left waiting into effect; false when
// none waits.
bool ApplyPendingAddress(Device* d);

// Base64(SHA-1(nonce + created + password)): the WS-UsernameToken digest.
std::string PasswordDigest(const std::string& nonce, const std::string& created,
                           const std::string& password);
// Lower-case hex MD5 of `text`.
std::string Md5Hex(const std::string& text);
// Seconds since the epoch of an xs:dateTime in UTC ("Z" or an offset); false
// when malformed.
bool ParseDateTime(const std::string& text, std::int64_t* epoch);
// "YYYY-MM-DDTHH:MM:SSZ".
std::string FormatDateTime(std::int64_t epoch);

} // namespace devsim::onvif
