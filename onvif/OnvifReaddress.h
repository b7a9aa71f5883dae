// Re-addressing one camera: GetNetworkInterfaces for the token,
// SetNetworkInterfaces with a manual address and prefix and DHCP off,
// SetNetworkDefaultGateway, SystemReboot when the camera said
// RebootNeeded; then verification: the camera counts as re-addressed only
// when a Hello or a probe answer comes from the new address within
// kVerifyBound (kVerifyBoundAfterReboot when it reboots), probing again
// every kVerifyProbeGap meanwhile. Otherwise the outcome is NotConfirmed.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "OnvifClient.h"
#include "Outcomes.h"
#include "OnvifSearch.h"

namespace onvif {

constexpr auto kVerifyBound = std::chrono::seconds(10);
constexpr auto kVerifyBoundAfterReboot = std::chrono::seconds(90);
constexpr auto kVerifyProbeGap = std::chrono::milliseconds(1000);

enum class ReaddressStep { Token, SetInterfaces, SetGateway, Rebooting, Verifying };

enum class ReaddressOutcome {
    Done,         // heard from the new address
    NotConfirmed, // the calls succeeded but no word from the new address in time
    OutOfReach,   // no XAddr on this card's subnet and no link-local one
    CallFailed,   // a call failed: see ReaddressResult::call
    BadRequest,   // the new address, prefix or gateway is not valid
};

struct ReaddressRequest {
    std::string ip;
    int prefixLength = 24;
    std::string gateway; // empty: no gateway call
    std::string user = "admin";
    SharedSecret password;
    // Asked while verifying (may be empty): true ends the wait for the new
    // address at once, as NotConfirmed. A window that
    // closes uses it, so that it need not wait out the verification bound.
    std::function<bool()> cancelled;
};

struct ReaddressResult {
    ReaddressOutcome outcome = ReaddressOutcome::CallFailed;
    Outcome call = Outcome::Done;              // the failing call's outcome for CallFailed
    ReaddressStep step = ReaddressStep::Token; // the last step reached
    bool rebooted = false;
    std::string detail; // a sentence for the user (why out of reach, the fault)
    std::string mac;    // what GetNetworkInterfaces told of the camera's card, when it did
    // The camera's clock minus this computer's, when it told it; clockOff
    // when that is beyond kClockBound, whatever the outcome: the installer
    // sets the camera's clock then.
    long long clockOffset = 0;
    bool clockOff = false;
    std::vector<std::string> claimants; // Conflict: the hosts that claim the camera
};

// Whether the tool may log in to camera at all: Done; OutOfReach when it
// has no XAddr to use (also when its XAddrs name only other hosts than
// the one it spoke from); Conflict when more than one host claims it.
Outcome LoginAllowed(const CameraRecord& camera);

// Re-addresses camera; progress (may be empty) hears each step as it
// begins. Nothing is sent with a login unless LoginAllowed: a contested
// camera is CallFailed with Conflict. The camera's clock is read first
// (no login) and reported in the result. search must be running: verification listens through it.
// The MAC the camera tells once logged in goes onto its record in search (CameraSearch::SetMac)
// when its scopes named none; once heard at the new address, its mask and the gateway set (when
// one was) go onto the record's information. bound/rebootBound replace the verification bounds
// (tests shorten them).
ReaddressResult Readdress(const CameraRecord& camera, const ReaddressRequest& request,
                          CameraSearch* search,
                          const std::function<void(ReaddressStep)>& progress = {},
                          std::chrono::milliseconds bound = kVerifyBound,
                          std::chrono::milliseconds rebootBound = kVerifyBoundAfterReboot);

// The sentence that says why camera is out of reach from its card and what
// would bring it in reach.
std::string OutOfReachDetail(const CameraRecord& camera);

// A mask "255.255.255.0" as a prefix length; -1 when not contiguous.
int PrefixLength(const std::string& mask);

// A prefix length 0..32 as a mask text; empty for any other length.
std::string MaskOfPrefix(int prefixLength);

// The interface that carries ip (by its manual or its DHCP address), else
// the first enabled one, else the first; null for an empty list.
const NetworkInterface* ChooseInterface(const std::vector<NetworkInterface>& list,
                                        const std::string& ip);

// Reads, with client's log-in, the mask of the interface that carries the
// camera's address ip (only that one: no other interface's mask is taken
// for it) and the IPv4 default gateway, into info's mask and gateway. A
// call the camera refuses or does not offer leaves its field empty; the
// outcome is the first call's that was not Done (Done when both were); a
// log-in refused, a silent camera or a changed certificate at the first
// call ends it there.
Outcome ReadCameraNetwork(DeviceClient* client, const std::string& ip, DeviceInformation* info);

// GetDeviceInformation and, once it answered, ReadCameraNetwork with the
// same log-in, into *info (replaced whole). The outcome is
// GetDeviceInformation's: the network's calls leave a field empty and
// never fail the read.
Outcome ReadCameraDetails(DeviceClient* client, const std::string& ip, DeviceInformation* info);

// A call's outcome as a row of the one outcome table (search/Outcomes.h),
// which gives its window text, command-line words and exit status: Done
// for Done; a fault, and what no camera action of an installer meets as its
// end (NotSupported, InvalidInput, Cancelled), is CameraRefused.
lorvex::Outcome OutcomeOfCall(Outcome call);

// A re-address's outcome in the same table: Done, CameraNotConfirmed,
// CameraOutOfReach, CameraBadAddress, or its failed call's.
lorvex::Outcome OutcomeOfReaddress(const ReaddressResult& result);

} // namespace onvif
