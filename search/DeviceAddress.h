// How the manager reaches a listed device: the port rule and the choice
// between a device's two addresses, shared by the web page and the port
// change.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "SearchInfo.h"

// A TCP port number: 1 to 65535.
inline bool IsPort(int32_t port) { return port >= 1 && port <= 65535; }

// Whether a TCP connection to address (IPv4, network byte order) and port
// is established within timeoutMs.
using PortProbe = std::function<bool(uint32_t address, uint16_t port, int32_t timeoutMs)>;

// The address a device answers at: `first` (a strict dotted quad) when the
// device's data port accepts a connection there within timeoutMs, else its
// second address ipAddr2, at which a device stays reachable over the
// link-local route while its first address is foreign to the host's subnet.
// No probe is made when `first` is not a dotted quad or the data port is no
// port.
std::string ReachableAddress(const PortProbe& probe, const SEARCH_INFO& device, const char* first,
                             int32_t timeoutMs);
