#include "NetParam.h"

#include <arpa/inet.h>

namespace {

uint8_t FirstOctet(uint32_t hostOrder) { return static_cast<uint8_t>(hostOrder >> 24); }

bool HostAllOnes(uint32_t address, uint32_t mask) { return (address | mask) == 0xFFFFFFFFu; }

bool HostAllZeros(uint32_t address, uint32_t mask) { return (address & ~mask) == 0; }

bool OutsideUnicastClasses(uint8_t first) { return first == 0 || first > 223; }

// The class test compares the whole mask value, so a class C address asks
// for at least 224.0.0.0, not for a /24.
bool ShortForClass(uint8_t first, uint32_t m) {
    if ((first >= 1 && first <= 126) || (first >= 128 && first <= 191))
        return m < 192;
    if (first >= 192 && first <= 223)
        return m < 224;
    return false;
}

// Walks the mask from its top bit: while any bit remains set, the top one
// must be set. A zero mask passes here; the class test has refused it.
bool Contiguous(uint32_t m) {
    for (int i = 0; i < 32 && m != 0; ++i, m <<= 1)
        if ((m & 0x80000000u) == 0)
            return false;
    return true;
}

int32_t FirstBrokenRule(uint32_t ip, uint32_t mask, uint32_t gateway) {
    const uint32_t i = ntohl(ip), m = ntohl(mask), g = ntohl(gateway);
    if (HostAllOnes(i, m))
        return NETPARAM_IP_HOST_ALL_ONES;
    if (HostAllZeros(i, m))
        return NETPARAM_IP_HOST_ALL_ZEROS;
    if (HostAllOnes(g, m))
        return NETPARAM_GATEWAY_HOST_ALL_ONES;
    if (HostAllZeros(g, m))
        return NETPARAM_GATEWAY_HOST_ALL_ZEROS;
    if (FirstOctet(i) == 127 || FirstOctet(g) == 127)
        return NETPARAM_LOOPBACK;
    if (OutsideUnicastClasses(FirstOctet(i)))
        return NETPARAM_NOT_UNICAST;
    if (OutsideUnicastClasses(FirstOctet(g)))
        return NETPARAM_NOT_UNICAST;
    if (ShortForClass(FirstOctet(i), m) || !Contiguous(m))
        return NETPARAM_BAD_MASK;
    if ((i & m) != (g & m))
        return NETPARAM_OTHER_SUBNET;
    return NETPARAM_OK;
}

} // namespace

bool CheckNetParam(uint32_t ip, uint32_t mask, uint32_t gateway, int32_t* code) {
    const int32_t result = FirstBrokenRule(ip, mask, gateway);
    if (code != nullptr)
        *code = result;
    return result == NETPARAM_OK;
}
