// Address rules for a device's new IP address, subnet mask and gateway,
// checked before a configuration request is sent.
#pragma once

#include <cstdint>

// Result codes of CheckNetParam; SetNetParam returns the same numbers.
enum NetParamCode : int32_t {
    NETPARAM_OK = 0,
    NETPARAM_IP_HOST_ALL_ONES = 1,       // IDCS_ERROR_IP_MASK_ALL1
    NETPARAM_IP_HOST_ALL_ZEROS = 2,      // IDCS_ERROR_IP_MASK_ALL0
    NETPARAM_LOOPBACK = 3,               // IDCS_ERROR_USE_LOOPBACK
    NETPARAM_NOT_UNICAST = 4,            // IDCS_ERROR_IP_ROUTE_INVALID
    NETPARAM_BAD_MASK = 5,               // IDCS_ERROR_MASK_NOT_CONTINE
    NETPARAM_OTHER_SUBNET = 6,           // IDCS_ERROR_DIFFERENT_SEGMENT
    NETPARAM_GATEWAY_HOST_ALL_ONES = 7,  // IDCS_ERROR_ROUTE_MASK_ALL1
    NETPARAM_GATEWAY_HOST_ALL_ZEROS = 8, // IDCS_ERROR_ROUTE_MASK_ALL0
};

// Checks ip, mask and gateway, each in network byte order as inet_addr
// gives it, against the address rules in their fixed order, and writes the
// code of the first rule broken (NETPARAM_OK when none) to *code (when code
// is not null). Returns true exactly when the code is NETPARAM_OK. Pure: no
// state, no device, every input gives a code.
//
// The order matters and is part of the contract: host part of the IP all
// ones (1), all zeros (2); host part of the gateway all ones (7), all zeros
// (8); loopback IP or gateway (3); IP, then gateway, outside classes A to C
// (4); mask too short for the IP's class, zero or not contiguous (5);
// gateway outside the IP's subnet (6).
bool CheckNetParam(uint32_t ip, uint32_t mask, uint32_t gateway, int32_t* code);
