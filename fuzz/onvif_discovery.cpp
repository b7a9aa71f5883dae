// Fuzzes the reading of WS-Discovery datagrams: a ProbeMatches, Hello or
// Bye from anyone on the LAN, then everything the camera table takes from a
// match (video filter, scopes, MAC, XAddrs, the reachable address).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "OnvifDiscovery.h"
#include "OnvifTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    onvif::DiscoveryMessage m;
    if (onvif::ParseDiscovery(reinterpret_cast<const char*>(data), size, &m) !=
        onvif::DiscoveryRead::Ok)
        return 0;
    if (m.matches.size() > onvif::kMaxMatchesPerMessage)
        abort();
    onvif::Card card;
    card.name = "eth0";
    card.index = 1;
    card.address = 0xC0A8010Au; // 192.168.1.10
    card.mask = 0xFFFFFF00u;
    onvif::CameraTable table;
    onvif::CameraEvents events;
    for (const onvif::DiscoveryMatch& match : m.matches) {
        if (match.scopes.size() > onvif::kMaxScopes || match.xaddrs.size() > onvif::kMaxXAddrs)
            abort();
        const onvif::CameraRecord r = onvif::RecordFromMatch(match, card, "192.168.1.64");
        if (!r.mac.empty() && r.mac.size() != 17)
            abort();
        if (!r.xaddr.empty() && r.reach == onvif::Reach::None)
            abort();
        // A log-in goes to the sender only: a chosen XAddr on the subnet is
        // the sender's own.
        onvif::XAddr x;
        if (r.reach == onvif::Reach::Subnet &&
            (!onvif::ParseXAddr(r.xaddr, &x) || x.host != "192.168.1.64"))
            abort();
        table.Heard(match, card, "192.168.1.64", std::chrono::steady_clock::now(), 0, &events);
    }
    return 0;
}
