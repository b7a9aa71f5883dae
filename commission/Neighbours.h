// Which addresses are in use on the host's own subnets, found without root:
// a harmless datagram to each makes the kernel resolve it, and the kernel's
// neighbour table then says which ones have a station behind them.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "HostNet.h"

namespace commission {

// The addresses (host byte order) of a /proc/net/arp style table whose
// entries are complete (flag 0x2): a station answered for them.
std::set<uint32_t> ReadCompleteNeighbours(std::string_view table);

// Of `candidates` (host byte order), those that lie in the subnet of one of
// `interfaces` and answer: sends one empty UDP datagram to the discard port
// (9) of each such address, waits `waitMs` for the kernel to resolve them,
// then reads `arpPath`. Addresses outside the host's subnets are never
// probed (reaching them would need a router, which answers for them all).
// Sends unicast only; never to a network or broadcast address.
std::set<uint32_t> ProbeNeighbours(const std::vector<uint32_t>& candidates,
                                   const std::vector<LocalInterface>& interfaces, int waitMs,
                                   const std::string& arpPath = "/proc/net/arp");

} // namespace commission
