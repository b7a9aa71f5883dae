// One action on one camera of an installer's day: give it its site name,
// take its picture, set its clock. Each takes the camera as the search
// listed it and the installer's credentials, makes its calls through one
// DeviceClient (a log-in only at the camera's own address, HTTP Digest
// first, a WS-UsernameToken only where the camera requires it and never
// for a clock more than kClockBound off, https pinned per endpoint), and
// returns what was there before, what is there after and whether the
// change was read back.
//
// Every action ends by its context's deadline (each request's time limit
// is lowered to the time left), looks at the stop flag before each call
// (Cancelled, nothing further sent), refuses a camera LoginAllowed refuses
// before sending anything, and keeps no state outside the call: many run
// at once, one camera each, on a pool of threads.
#pragma once

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "Jpeg.h"
#include "OnvifCamera.h"
#include "OnvifClient.h"
#include "OnvifSettings.h"

namespace onvif {

// The time an action takes at most unless its context says otherwise.
constexpr auto kActionTimeLimit = std::chrono::seconds(20);
// A clock set by hand counts as set when it reads back within this many
// seconds of this computer's.
constexpr long long kClockSetTolerance = 5;

struct ActionContext {
    std::string user = "admin";
    SharedSecret password;
    std::chrono::steady_clock::time_point deadline =
        std::chrono::steady_clock::now() + kActionTimeLimit;
    // Raised by another thread to stop (may be null).
    const std::atomic<bool>* stop = nullptr;
    // Also stops the action once it returns true (a batch's Stop); may be
    // empty. Asked between calls, as `stop` is.
    std::function<bool()> cancelled;
    // This computer's clock, UTC seconds (tests replace it); empty: std::time.
    std::function<std::time_t()> clock;
};

// Holds an address a camera named (its media service, its snapshot URI)
// to the camera itself. Done when uri is http or https at a dotted-quad
// host that is the address the camera's discovery message came from
// (camera.source) or a link-local (169.254) host among that message's
// XAddrs; *target is uri with that host replaced by the host of the XAddr
// the tool logs in at (camera.xaddr): the same camera by the same rule,
// and the address this computer reaches it at. OutOfReach when uri names
// any other host: nothing may be sent there, least of all a log-in.
// BadReply when uri is no such address at all (a name to look up, user
// information, another scheme, a path this tool does not send).
Outcome HoldToCamera(const CameraRecord& camera, const std::string& uri, std::string* target);

// ---- name ----

enum class HostnameStep {
    NotAsked,   // the request did not ask for it
    NoHostname, // the name gives no host name (HostnameFor is empty)
    NotOffered, // the camera does not offer GetHostname or SetHostname
    Refused,    // the camera refused the host name with a fault (detail says why)
    Set,        // set (verified only when read back the same)
};

struct RenameRequest {
    std::string name;     // ValidCameraName must hold
    bool hostname = true; // also SetHostname(HostnameFor(name)) where offered
};

struct RenameResult {
    Outcome outcome = Outcome::Done;
    std::string detail;                // a sentence for the installer when not simply done
    std::string nameBefore, nameAfter; // the name scope's value, decoded
    HostnameStep hostname = HostnameStep::NotAsked;
    std::string hostnameBefore, hostnameAfter;
    // The name scope read back as asked, and the host name too when it was set.
    bool verified = false;
};

// GetScopes; SetScopes with every configurable scope kept and the name
// scope replaced (NotSupported when the camera's name scope is fixed);
// then, when asked, GetHostname and SetHostname (a camera that does not
// offer them, or refuses the host name with a fault, is still renamed);
// then GetScopes and GetHostname again to read back. InvalidInput for a
// name ValidCameraName refuses.
RenameResult Rename(const CameraRecord& camera, const RenameRequest& request,
                    const ActionContext& context);

// ---- picture ----

struct SnapshotRequest {
    std::size_t maxBytes = snapshot::kMaxImageBytes; // at most kMaxImageBytes
    bool thumbnail = true;                           // make SnapshotResult::thumbnail
    // Done: also read the camera's details in the same log-in
    // (ReadCameraDetails into SnapshotResult::info); a camera that refuses
    // them still gives its picture.
    bool details = false;
};

struct SnapshotResult {
    Outcome outcome = Outcome::Done;
    std::string detail;
    // What the picture itself was judged (Ok unless the fetch got bytes
    // that are no sound JPEG: outcome BadReply then; TooLarge with outcome
    // TooLarge).
    snapshot::ImageCheck image = snapshot::ImageCheck::Ok;
    std::string mediaService; // as the camera named it
    std::string profileToken;
    std::string uri;  // the snapshot URI as the camera named it
    std::string jpeg; // Done: the picture as it came
    int width = 0, height = 0;
    std::string comment; // the picture's first COM segment, when it has one
    snapshot::Thumbnail thumbnail;
    bool loggedIn = false;    // a Digest log-in went with the picture's request
    bool verified = false;    // Done: read whole as a JPEG within the bounds
    bool detailsRead = false; // SnapshotRequest::details: info holds what the camera told
    DeviceInformation info;
};

// GetServices (else GetCapabilities) for the media service, GetProfiles,
// GetSnapshotUri for the first profile with a video source, and the
// picture fetched from that URI: each address held to the camera
// (HoldToCamera) before anything goes there; the picture at most maxBytes
// and within the deadline, judged by its markers and decoded within the
// image module's bounds.
SnapshotResult TakeSnapshot(const CameraRecord& camera, const SnapshotRequest& request,
                            const ActionContext& context);

// ---- clock ----

struct ClockRequest {
    bool ntp = false;      // the camera's clock follows NTP; else set by hand
    std::string ntpServer; // an address or name (ParseNtpServer); empty: SetNTP not sent
    std::string timeZone;  // a POSIX TZ string; empty: the camera keeps its own
};

struct ClockResult {
    Outcome outcome = Outcome::Done;
    std::string detail;
    bool beforeKnown = false, afterKnown = false;
    ClockSettings before, after;                  // offset, type and time zone as read
    std::vector<std::string> ntpBefore, ntpAfter; // NTP servers, when asked for one
    // Read back: the type, the time zone and the NTP server as asked, and
    // the clock within kClockSetTolerance of this computer's.
    bool verified = false;
};

// GetSystemDateAndTime (the offset before, without a log-in), SetNTP
// when a server is given, SetSystemDateAndTime by hand with this
// computer's UTC time (and the time zone), so that the clock is right at
// once, then for NTP SetSystemDateAndTime again with NTP; then
// GetSystemDateAndTime and GetNTP to read back. A camera that takes only
// a WS-UsernameToken and whose clock is more than kClockBound off is
// ClockOff with the offset before: no token is signed for such a clock,
// and its clock is set on its own web page. InvalidInput for a server or
// time zone the rules refuse.
ClockResult SetClock(const CameraRecord& camera, const ClockRequest& request,
                     const ActionContext& context);

} // namespace onvif
