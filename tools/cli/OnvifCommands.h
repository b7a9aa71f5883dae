// lorvex-search's ONVIF side: other makers' cameras found by WS-Discovery
// beside the maker's devices, in list and watch, and re-addressed by
// set-ip. The maker's own path is untouched; these functions are called
// where a command meets an ONVIF camera.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "AddressPlan.h"
#include "DeviceFormat.h"
#include "BatchRunner.h"
#include "DeviceMerge.h"
#include "OnvifActions.h"
#include "OnvifCamera.h"
#include "OnvifClient.h"
#include "OnvifSearch.h"
#include "SearchInfo.h"
#include "Secret.h"

namespace onvif_cli {

// Exit statuses of camera outcomes the commands name themselves, each its
// outcome's in lorvex::Outcome's table (set-ip's others come through
// onvif::OutcomeOfReaddress).
extern const int kOutOfReach;
extern const int kUnsupported; // restore or activate asked of an ONVIF camera
// snapshot: the picture is no JPEG read whole, or past the byte bound.
extern const int kBadPicture, kPictureTooLarge;

// The line that says what a camera's outcome means and what to do, for
// the outcomes that carry advice (CertificateChanged, ClockOff, Conflict);
// empty for the others. endpoint names the camera in the advice; offset
// is the camera's clock minus this computer's; claimants the addresses
// that claim it.
std::string Advice(onvif::Outcome outcome, const std::string& endpoint, long long offset,
                   const std::vector<std::string>& claimants);
// "the camera's clock is 1 h 2 min ahead of this computer's; set it ..."
std::string ClockNote(long long offset);

// A camera as a list row: the fields of its devicelist::DeviceRecord
// (type devicelist::kCameraTypeCode), httpType 1 for https; every other
// field empty.
SEARCH_INFO CameraRow(const onvif::CameraRecord& camera, int event);

// One list: the maker's devices (with their identities) and the cameras,
// one row per device by devicelist::DeviceMerge: a camera with the MAC of a
// listed device is that device's row (its endpoint is added); others
// become rows of their own after the devices.
// withInformation: every row also gets the columns manufacturer and serial
// (a camera's from GetDeviceInformation; empty for the maker's devices and
// for cameras that told nothing).
struct Listing {
    std::vector<SEARCH_INFO> rows;
    std::vector<std::string> identities;
    std::vector<std::string> endpoints;
    std::vector<format::Extras> extras; // one per row withInformation, else none
};
Listing MergeCameras(std::vector<SEARCH_INFO> devices, std::vector<std::string> identities,
                     const std::vector<onvif::CameraRecord>& cameras, bool withInformation = false);

// One line of watch: a row with its identity and endpoint.
struct WatchLine {
    SEARCH_INFO row;
    std::string identity;
    std::string endpoint;
};

// watch's events as one row per device, as list shows them: a camera with
// the MAC of one of the maker's devices is that device's row (the maker's
// record leads and carries the camera's endpoint). A camera row that such
// a device arrives for goes (a gone line), and comes back when the device
// goes. A camera with a MAC is held back for `grace` after it arrives, so
// that the maker's answer of the same device, which comes a moment later,
// takes it in without a line of its own; a camera that joins or leaves a
// maker's row that is shown already makes that row's "changed" line (with
// the endpoint it now carries). Not thread-safe: the caller holds
// one lock around every call.
class WatchMerge {
public:
    using Clock = devicelist::DeviceMerge::Clock;
    explicit WatchMerge(std::chrono::milliseconds grace) : m_merge(grace) {}
    // The lines a maker's event makes (identity: its identity state name).
    std::vector<WatchLine> Maker(const SEARCH_INFO& info, const std::string& identity);
    // The lines a camera event makes.
    std::vector<WatchLine> Camera(onvif::CameraEvent event, const onvif::CameraRecord& camera,
                                  Clock::time_point now);
    // The arrivals of cameras held back whose grace has run out by now.
    std::vector<WatchLine> Due(Clock::time_point now);

private:
    struct MakerRow {
        SEARCH_INFO info;
        std::string identity;
    };
    WatchLine Line(const devicelist::MergeStep& step) const;
    std::vector<WatchLine> Lines();

    devicelist::DeviceMerge m_merge;
    std::vector<devicelist::MergeStep> m_steps;
    std::map<std::string, MakerRow> m_makers;             // the maker's devices present, by MAC
    std::map<std::string, onvif::CameraRecord> m_cameras; // by endpoint
};

// Waits until `search` (started at `start` by the caller) lists the camera
// named by key (MAC or endpoint), at most `seconds`, then judges it on the
// whole answer window of that search (who claims it). False when none
// matched in time or the stop flag was raised.
bool FindCamera(onvif::CameraSearch& search, const std::string& key, double seconds,
                std::chrono::steady_clock::time_point start, onvif::CameraRecord* out);

// The exit code of an action's outcome (ExitCode; 0 for Done).
int ExitForOutcome(onvif::Outcome outcome);

// The link-local route a camera reached only at its link-local address
// needs, in place before a call goes there (as EnsureRoutesFor, one camera).
void EnsureCameraRoute(const onvif::CameraRecord& camera);

// Adds the link-local route the window adds, on each card that reaches a
// camera only at its link-local address; without the right to, prints on
// stderr the command to run as root (once per card).
void EnsureRoutesFor(const std::vector<onvif::CameraRecord>& cameras);

// Cameras asked for GetDeviceInformation at once, at most.
constexpr size_t kInformationCalls = 8;

// What list's log-in met at one named camera, when worth saying: a
// certificate changed, a conflict, a clock over kClockBound off.
struct LoginNote {
    std::string endpoint;
    onvif::Outcome outcome = onvif::Outcome::Done;
    long long clockOffset = 0;
    bool clockOff = false;
    std::vector<std::string> claimants;
};

// Whether list logs in to camera: named holds the endpoints and MACs
// given to --login (any MAC form); all is --login-all.
bool NamedForLogin(const onvif::CameraRecord& camera, const std::vector<std::string>& named,
                   bool all);

// Reads the clock, GetDeviceInformation and, from a camera that answered
// it, its mask and gateway (onvif::ReadCameraNetwork) of every camera
// NamedForLogin
// (never of another: a log-in goes only where the installer means it, and
// never to a camera whose MAC another endpoint of the list carries, which
// is marked contested), as
// user with password, kInformationCalls at a time, every call ending by
// deadline (DeviceClient::SetDeadline), so that silent cameras cannot hold
// the caller past it. What a camera tells is stored in its record's info;
// one that refuses, does not answer or is not reached in time keeps its
// scope names. Returns the notes worth saying, in the cameras' order.
std::vector<LoginNote> ReadInformation(std::vector<onvif::CameraRecord>* cameras,
                                       const std::string& user, const SharedSecret& password,
                                       std::chrono::steady_clock::time_point deadline,
                                       const std::vector<std::string>& named, bool all);

// True when the set-ip target is not a MAC (an EndpointReference), or
// --onvif or --user was given: the camera is then taken as an ONVIF camera
// at once. A MAC without either is only ever the maker's device: a host
// announcing that MAC as a camera never receives its password.
bool WantsOnvif(const cli::ParsedArgs& args);

// forget-camera ENDPOINT: drops the pinned certificate of the camera, so
// that the next log-in accepts the one it meets. 0, or 1 when none was
// pinned.
int RunForgetCamera(const cli::ParsedArgs& args);

// set-ip on an ONVIF camera found by MAC or endpoint within --seconds,
// with --user (default admin) and the password given (wiped here). Prints
// "rebooting" while it reboots, one outcome line, and a note when the
// camera's clock is off; returns 0, 12, 2 or an ExitCode.
int RunSetIp(const cli::ParsedArgs& args, std::string* password);

// rename on an ONVIF camera found by MAC or endpoint within --seconds:
// its name scope (and host name where offered) set to the second
// positional with --user and the password (wiped here), read back. Prints
// one outcome line; 0 when read back as asked, kNotConfirmed when the
// camera took it but reads back otherwise, 12 when not found, 2 for a name
// the camera may not carry, else the outcome's ExitCode.
int RunRename(const cli::ParsedArgs& args, std::string* password);

// The web page of the ONVIF camera named by target (MAC or endpoint),
// found within seconds: "http(s)://IP:PORT/" of its reachable address,
// through OpenUrl. 0 when opened, 12 when no camera was found (said so only
// with reportMissing), kOutOfReach when it has no address this card reaches.
int OpenCamera(const std::string& target, double seconds, bool reportMissing);

// When target names an ONVIF camera found within seconds, prints that
// command is not supported for ONVIF cameras and returns true.
bool SaysUnsupported(const std::string& target, double seconds, const char* command);

// ONVIF cameras in plan and apply: a camera search running beside the
// maker's, camera rows for the planner, and each plan entry of a camera
// carried out by the re-address workflow. A camera is named by its MAC, or
// by its endpoint when its scopes name no MAC (commission::DeviceKey).
class CameraBatch {
public:
    // Starts searching at once (automatic rounds every intervalSeconds).
    CameraBatch(int intervalSeconds, std::string user);
    // Every camera found so far.
    std::vector<onvif::CameraRecord> Cameras() const { return m_search.Cameras(); }
    // The camera with this MAC or endpoint as a plan row; once re-addressed
    // and heard from its new address, the row carries the new address, mask
    // and gateway (which ONVIF discovery does not tell), so that the batch's
    // own verification sees them.
    bool Find(const std::string& key, SEARCH_INFO* out) const;
    // Re-addresses the camera of entry with password; returns a code in the
    // batch's terms: CLorvexManage::SETNET_DONE when heard from the new
    // address, SETNET_NO_ANSWER when the calls succeeded but it was not
    // (the batch's verification decides), SETNET_FAILED for a wrong
    // password, SETNET_LOCKED, SETNET_NO_ANSWER for no answer, else an
    // ExitCode of this header.
    int32_t Send(const commission::PlanEntry& entry, const std::string& password);
    // Names the camera of entry entry.name (onvif::Rename, its host name
    // too where offered): *out Done only when read back, else Refused with
    // the reason. False when the entry's key names no camera found.
    bool Rename(const commission::PlanEntry& entry, const std::string& password,
                commission::DeviceStatus* out);
    // Sets the camera's clock as entry asks (onvif::SetClock: following
    // entry.ntp when given, with entry.timeZone): Done only when read back.
    commission::DeviceStatus SetClock(const commission::PlanEntry& entry,
                                      const std::string& password);

private:
    onvif::ActionContext Context(const std::string& password) const;

    onvif::CameraSearch m_search;
    std::string m_user;
    mutable std::mutex m_mutex;
    std::map<std::string, commission::PlanEntry> m_confirmed; // by endpoint
};

// A camera as a plan row: ipAddr its own (not link-local) address, ipAddr2
// its link-local one.
SEARCH_INFO PlanRow(const onvif::CameraRecord& camera);
// The same as a plan device, with the camera's endpoint.
commission::PlanDevice PlanDeviceOfCamera(const onvif::CameraRecord& camera);

// The devices a plan chooses from: the maker's `makers` first, then each
// camera whose MAC none of them has. A camera with the MAC of one of the
// maker's devices is that device: its endpoint is noted on it, so that a
// plan may name it either way, and the maker's protocol carries its request.
std::vector<commission::PlanDevice> PlanDevices(std::vector<commission::PlanDevice> makers,
                                                const std::vector<onvif::CameraRecord>& cameras);

} // namespace onvif_cli
