#include "OnvifReaddress.h"

#include <cstdint>
#include <thread>

namespace onvif {
namespace {

using Clock = std::chrono::steady_clock;

bool ValidRequest(const ReaddressRequest& r) {
    std::uint32_t ip = 0, gateway = 0;
    if (!ParseIPv4(r.ip, &ip) || r.prefixLength < 1 || r.prefixLength > 32)
        return false;
    if (!r.gateway.empty() && !ParseIPv4(r.gateway, &gateway))
        return false;
    return r.password != nullptr;
}

// The camera's XAddr with its host replaced by ip.
std::string WithHost(const std::string& xaddr, const std::string& ip) {
    XAddr x;
    if (!ParseXAddr(xaddr, &x))
        return xaddr;
    return x.scheme + "://" + ip + ":" + std::to_string(x.port) + x.path;
}

ReaddressResult Failed(ReaddressStep step, Outcome call, const DeviceClient& client,
                       const std::string& mac = std::string()) {
    ReaddressResult r;
    r.clockOffset = client.ClockOffset();
    r.clockOff = client.ClockKnown() && ClockIsOff(client.ClockOffset());
    r.mac = mac;
    r.outcome = ReaddressOutcome::CallFailed;
    r.call = call;
    r.step = step;
    r.detail = OutcomeName(call);
    if (!client.LastFault().reason.empty())
        r.detail += ": " + client.LastFault().reason;
    return r;
}

bool Verify(const CameraRecord& camera, const std::string& ip, CameraSearch* search,
            Clock::time_point since, std::chrono::milliseconds bound,
            const std::function<bool()>& cancelled) {
    const Clock::time_point end = Clock::now() + bound;
    Clock::time_point nextProbe = Clock::now();
    while (Clock::now() < end && !(cancelled && cancelled())) {
        Clock::time_point when;
        if (search->HeardFrom(camera.endpoint, ip, &when) && when >= since)
            return true;
        if (Clock::now() >= nextProbe) {
            search->ProbeNow();
            nextProbe = Clock::now() + kVerifyProbeGap;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The mask the camera took and, when one was set, the gateway go onto its
// record: it took them and answered from the new address.
void NoteTaken(CameraSearch* search, const std::string& endpoint, const ReaddressRequest& request) {
    CameraRecord record;
    if (!search->Find(endpoint, &record))
        return;
    record.info.mask = MaskOfPrefix(request.prefixLength);
    if (!request.gateway.empty())
        record.info.gateway = request.gateway;
    search->SetInformation(endpoint, record.info);
}

bool Carries(const NetworkInterface& n, const std::string& ip) {
    return !ip.empty() && (n.ip == ip || n.dhcpIp == ip);
}

} // namespace

const NetworkInterface* ChooseInterface(const std::vector<NetworkInterface>& list,
                                        const std::string& ip) {
    for (const NetworkInterface& n : list)
        if (Carries(n, ip))
            return &n;
    for (const NetworkInterface& n : list)
        if (n.enabled)
            return &n;
    return list.empty() ? nullptr : &list.front();
}

std::string MaskOfPrefix(int prefixLength) {
    if (prefixLength < 0 || prefixLength > 32)
        return std::string();
    const std::uint32_t m = prefixLength == 0 ? 0 : ~0u << (32 - prefixLength);
    return std::to_string(m >> 24) + "." + std::to_string((m >> 16) & 0xFF) + "." +
           std::to_string((m >> 8) & 0xFF) + "." + std::to_string(m & 0xFF);
}

Outcome ReadCameraNetwork(DeviceClient* client, const std::string& ip, DeviceInformation* info) {
    std::vector<NetworkInterface> list;
    const Outcome first = client->GetNetworkInterfaces(&list);
    const NetworkInterface* n = first == Outcome::Done ? ChooseInterface(list, ip) : nullptr;
    // A mask of 0 bits is no camera's on a LAN: it stays untold.
    if (n != nullptr && Carries(*n, ip)) {
        const int prefix = n->ip == ip ? n->prefixLength : n->dhcpPrefixLength;
        info->mask = prefix > 0 ? MaskOfPrefix(prefix) : std::string();
    }
    // Only a camera that answered, or refused this one call, is asked the
    // next: a failed log-in is not tried again (it counts towards a lock-out).
    if (first != Outcome::Done && first != Outcome::Fault && first != Outcome::NotSupported &&
        first != Outcome::BadReply)
        return first;
    std::string gateway;
    const Outcome second = client->GetNetworkDefaultGateway(&gateway);
    if (second == Outcome::Done)
        info->gateway = gateway;
    return first != Outcome::Done ? first : second;
}

Outcome ReadCameraDetails(DeviceClient* client, const std::string& ip, DeviceInformation* info) {
    DeviceInformation read;
    const Outcome o = client->GetDeviceInformation(&read);
    if (o != Outcome::Done)
        return o;
    ReadCameraNetwork(client, ip, &read);
    *info = std::move(read);
    return o;
}

ReaddressResult Readdress(const CameraRecord& camera, const ReaddressRequest& request,
                          CameraSearch* search, const std::function<void(ReaddressStep)>& progress,
                          std::chrono::milliseconds bound, std::chrono::milliseconds rebootBound) {
    ReaddressResult result;
    auto step = [&](ReaddressStep s) {
        result.step = s;
        if (progress)
            progress(s);
    };
    if (!ValidRequest(request) || search == nullptr) {
        result.outcome = ReaddressOutcome::BadRequest;
        result.detail = "the new address, prefix or gateway is not valid";
        return result;
    }
    const Outcome allowed = LoginAllowed(camera);
    if (allowed == Outcome::OutOfReach) {
        result.outcome = ReaddressOutcome::OutOfReach;
        result.detail = OutOfReachDetail(camera);
        return result;
    }
    DeviceClient client(camera.xaddr, request.user, request.password);
    client.SetEndpoint(camera.endpoint);
    step(ReaddressStep::Token);
    if (allowed != Outcome::Done) {
        ReaddressResult refused = Failed(result.step, allowed, client);
        refused.claimants = camera.claimants;
        for (size_t i = 0; i < camera.claimants.size(); ++i)
            refused.detail += (i == 0 ? ": " : ", ") + camera.claimants[i];
        return refused;
    }
    // The clock, for the report and for a token: a camera that does not
    // tell it is still re-addressed.
    long long offset = 0;
    Outcome o = client.GetSystemDateAndTime(&offset);
    if (o == Outcome::NoAnswer || o == Outcome::CertificateChanged)
        return Failed(result.step, o, client);
    result.clockOffset = offset;
    result.clockOff = o == Outcome::Done && ClockIsOff(offset);
    std::vector<NetworkInterface> list;
    o = client.GetNetworkInterfaces(&list);
    if (o != Outcome::Done)
        return Failed(result.step, o, client);
    const NetworkInterface* target = ChooseInterface(list, camera.ip);
    if (target == nullptr)
        return Failed(result.step, Outcome::BadReply, client);
    // A camera whose scopes keep its MAC to itself tells it once logged in:
    // its row can then merge with a maker's record of that MAC.
    result.mac = target->mac;
    if (camera.mac.empty() && !target->mac.empty())
        search->SetMac(camera.endpoint, target->mac);
    step(ReaddressStep::SetInterfaces);
    const Clock::time_point since = Clock::now();
    bool reboot = false;
    o = client.SetNetworkInterfaces(target->token, request.ip, request.prefixLength, &reboot);
    if (o != Outcome::Done)
        return Failed(result.step, o, client, result.mac);
    // Without a reboot the camera moves at once: further calls go to its new
    // address, unless it is reached through its link-local one, which stays.
    if (!reboot && camera.reach == Reach::Subnet)
        client.MoveTo(WithHost(camera.xaddr, request.ip));
    if (!request.gateway.empty()) {
        step(ReaddressStep::SetGateway);
        o = client.SetNetworkDefaultGateway(request.gateway);
        if (o != Outcome::Done)
            return Failed(result.step, o, client, result.mac);
    }
    if (reboot) {
        step(ReaddressStep::Rebooting);
        o = client.SystemReboot();
        if (o != Outcome::Done)
            return Failed(result.step, o, client, result.mac);
        result.rebooted = true;
    }
    step(ReaddressStep::Verifying);
    const bool heard =
        Verify(camera, request.ip, search, since, reboot ? rebootBound : bound, request.cancelled);
    if (heard) {
        search->Moved(camera.endpoint, request.ip);
        NoteTaken(search, camera.endpoint, request);
    }
    result.outcome = heard ? ReaddressOutcome::Done : ReaddressOutcome::NotConfirmed;
    result.detail = heard ? "done" : "not confirmed: no word from the new address in time";
    return result;
}

Outcome LoginAllowed(const CameraRecord& camera) {
    if (camera.reach == Reach::None || camera.xaddr.empty())
        return Outcome::OutOfReach;
    return camera.contested ? Outcome::Conflict : Outcome::Done;
}

std::string OutOfReachDetail(const CameraRecord& camera) {
    if (camera.pointsElsewhere)
        return "out of reach: the camera spoke from " + camera.source +
               " but its service addresses name other hosts; this tool logs in only to the "
               "address a camera speaks from";
    std::string where = camera.ip.empty() ? std::string("an unknown address") : camera.ip;
    return "out of reach from this card: the camera's address " + where +
           " lies outside the subnet of " +
           (camera.interfaceName.empty() ? std::string("this card") : camera.interfaceName) +
           (camera.localAddress.empty() ? std::string() : " (" + camera.localAddress + ")") +
           " and it offers no link-local (169.254) address; give this computer an address in "
           "the camera's subnet, or connect it to a card on that subnet";
}

int PrefixLength(const std::string& mask) {
    std::uint32_t m = 0;
    if (!ParseIPv4(mask, &m))
        return -1;
    int n = 0;
    while (n < 32 && (m & (0x80000000u >> n)) != 0)
        ++n;
    const std::uint32_t expected = n == 0 ? 0 : ~0u << (32 - n);
    return m == expected ? n : -1;
}

lorvex::Outcome OutcomeOfCall(Outcome call) {
    using lorvex::Outcome;
    switch (call) {
    case onvif::Outcome::Done:
        return Outcome::Done;
    case onvif::Outcome::WrongCredentials:
        return Outcome::CameraWrongCredentials;
    case onvif::Outcome::Locked:
        return Outcome::CameraLocked;
    case onvif::Outcome::NoAnswer:
        return Outcome::CameraNoAnswer;
    case onvif::Outcome::BadReply:
        return Outcome::CameraBadReply;
    case onvif::Outcome::TooLarge:
        return Outcome::CameraTooLarge;
    case onvif::Outcome::OutOfReach:
        return Outcome::CameraOutOfReach;
    case onvif::Outcome::CertificateChanged:
        return Outcome::CameraCertificateChanged;
    case onvif::Outcome::ClockOff:
        return Outcome::CameraClockOff;
    case onvif::Outcome::Conflict:
        return Outcome::CameraConflict;
    case onvif::Outcome::Fault:
    case onvif::Outcome::NotSupported:
    case onvif::Outcome::InvalidInput:
    case onvif::Outcome::Cancelled:
        break;
    }
    return Outcome::CameraRefused;
}

lorvex::Outcome OutcomeOfReaddress(const ReaddressResult& result) {
    switch (result.outcome) {
    case ReaddressOutcome::Done:
        return lorvex::Outcome::Done;
    case ReaddressOutcome::NotConfirmed:
        return lorvex::Outcome::CameraNotConfirmed;
    case ReaddressOutcome::OutOfReach:
        return lorvex::Outcome::CameraOutOfReach;
    case ReaddressOutcome::BadRequest:
        return lorvex::Outcome::CameraBadAddress;
    case ReaddressOutcome::CallFailed:
        break;
    }
    return OutcomeOfCall(result.call);
}

} // namespace onvif
