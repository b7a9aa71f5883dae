// Address plans for commissioning many devices at once: which new address
// each selected device gets, which addresses were passed over and why, and
// why a plan cannot be made. Pure functions; the one look at the network
// (which addresses answer) comes in through a seam.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "DeviceRecord.h"
#include "SearchInfo.h"

namespace commission {

// One listed device as a plan sees it: the one device record of both
// protocols, texts as the device sent them.
using PlanDevice = devicelist::DeviceRecord;

// The maker's device of record (devicelist::RecordOf).
inline PlanDevice PlanDeviceOf(const SEARCH_INFO& record) { return devicelist::RecordOf(record); }

// What a plan and a batch know the device by: its MAC, or the endpoint of
// a camera that has no MAC.
using devicelist::DeviceKey;

// What one device is asked to take.
struct PlanEntry {
    PlanDevice device;
    std::string ip, mask, gateway; // new values, dotted quads
    std::string httpPort;          // new port texts; empty keeps the device's port
    std::string dataPort;
    std::string password; // the plan's own for this device; empty: the batch's
    // Activation: the device's setup code (canonical form), a secret like
    // the password; never written to a plan or outcome file.
    std::string setupCode;
    // The site name the device is to carry; empty keeps its name.
    std::string name;
    // The clock: an NTP server (address or host name) and a POSIX TZ time
    // zone; both empty leave the clock alone.
    std::string ntp, timeZone;
    // The plan asks for a generated first password (the plan file's
    // password cell kGeneratePasswordCell), made before anything is sent.
    bool generatePassword = false;
    // Whether the entry asks anything of the device's clock.
    bool AsksClock() const { return !ntp.empty() || !timeZone.empty(); }
};

// Why an address was passed over.
enum class SkipReason {
    NetworkOrBroadcast, // the network or broadcast address of the mask
    HeldByDevice,       // a listed device holds it at either of its addresses
    HostAddress,        // one of this host's own addresses
    Gateway,            // the plan's gateway
    Answers,            // something on the host's subnets answered at it
};

struct SkippedAddress {
    std::string address;
    SkipReason reason;
    std::string holder; // the DeviceKey of the device that holds it (HeldByDevice)
};

enum class PlanFault {
    None,
    BadInput, // a start address, mask or gateway that is no dotted quad
    RunOut,   // the subnet has no free address left for `mac`
    Rule,     // `mac`'s address would break address rule `rule` (NetParamCode)
};

struct PlanError {
    PlanFault fault = PlanFault::None;
    std::string mac;     // the device the plan stopped at (its DeviceKey)
    std::string address; // the address it would have had (Rule)
    int32_t rule = 0;    // NetParamCode (Rule)
};

struct AddressPlan {
    std::vector<PlanEntry> entries; // in the selection's order
    std::vector<SkippedAddress> skipped;
    PlanError error;
    bool Ok() const { return error.fault == PlanFault::None; }
};

// What the user asks for: consecutive addresses from `start` in the subnet
// of `mask`, with `gateway`; port texts applied to every device, empty to
// keep each device's ports.
struct PlanRequest {
    std::string start, mask, gateway;
    std::string httpPort, dataPort;
};

// Of `candidates` (IPv4, host byte order), those that something on the
// host's own subnets answers at. Called with each address at most once per
// plan, in rising order; may be empty (nothing is probed).
using NeighbourProbe = std::function<std::set<uint32_t>(const std::vector<uint32_t>& candidates)>;

// Gives the `selected` devices, in order, consecutive addresses from
// request.start upwards within its subnet, skipping (and listing in
// `skipped`, each address once) the network and broadcast addresses, every
// address a device of `listed` holds as ip or ip2, the host's addresses,
// the gateway and the addresses `probe` reports. On failure `entries` is
// empty and `error` names the first device that could not be planned and
// why: nothing of a failed plan is to be sent.
AddressPlan MakeAddressPlan(const std::vector<PlanDevice>& selected,
                            const std::vector<PlanDevice>& listed, const PlanRequest& request,
                            const std::vector<std::string>& hostAddresses,
                            const NeighbourProbe& probe);

// A dotted quad in host byte order; false for any other text.
bool ReadAddress(const std::string& text, uint32_t* out);
std::string AddressText(uint32_t hostOrder);

// Short English words for a reason or an error, for the command line and logs.
const char* SkipReasonName(SkipReason reason);
std::string PlanErrorText(const PlanError& error);

} // namespace commission
