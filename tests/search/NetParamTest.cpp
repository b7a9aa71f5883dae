// The address rules as a table: each row names the rule it expects to break
// first, so a reordering of the rules shows up as a wrong code.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "NetParam.h"

namespace {

struct Row {
    const char* ip;
    const char* mask;
    const char* gateway;
    int32_t code;
};

uint32_t Addr(const char* text) { return inet_addr(text); }

const Row kRows[] = {
    // Host part of the IP address.
    {"192.168.1.255", "255.255.255.0", "192.168.1.1", 1},
    {"192.168.1.0", "255.255.255.0", "192.168.1.1", 2},
    {"192.168.1.7", "255.255.255.255", "192.168.1.1", 1},
    {"10.0.0.8", "255.255.255.255", "10.0.0.1", 1},
    {"192.168.1.7", "255.255.255.254", "192.168.1.6", 1},
    {"192.168.1.8", "255.255.255.254", "192.168.1.9", 2},
    // Gateway host part, before loopback and class tests.
    {"192.168.1.10", "255.255.255.0", "0.0.0.0", 8},
    {"127.0.0.5", "255.255.255.0", "0.0.0.0", 8},
    {"192.168.1.10", "255.255.255.0", "192.168.1.255", 7},
    {"224.0.0.5", "255.255.255.0", "224.0.0.255", 7},
    {"192.168.1.10", "255.255.255.0", "10.0.0.0", 8},
    // Loopback.
    {"127.0.0.5", "255.0.0.0", "127.0.0.1", 3},
    {"10.0.0.5", "255.0.0.0", "127.0.0.1", 3},
    // Classes: IP first, then gateway, both before the mask.
    {"224.0.0.5", "255.255.255.0", "224.0.0.1", 4},
    {"0.1.2.3", "255.255.255.0", "0.1.2.1", 4},
    {"10.1.1.1", "0.0.0.0", "230.1.1.1", 4},
    {"192.168.1.10", "0.0.0.0", "240.0.0.1", 4},
    {"223.1.1.1", "255.255.255.0", "223.1.1.2", 0},
    // Mask: zero, too short for the class, not contiguous.
    {"10.1.1.1", "0.0.0.0", "10.1.1.254", 5},
    {"10.1.1.1", "128.0.0.0", "10.1.1.254", 0},
    {"10.1.1.1", "127.255.255.0", "10.1.1.254", 5},
    // The class test compares the whole mask value: only masks below
    // 0.0.0.192 (class A, B) or 0.0.0.224 (class C) are short.
    {"192.168.1.10", "192.0.0.0", "192.168.1.1", 0},
    {"192.168.1.10", "0.0.0.200", "192.168.1.1", 5},
    {"10.1.1.10", "0.0.0.200", "10.1.1.1", 5},
    {"192.168.1.10", "255.0.255.0", "192.168.1.1", 5},
    {"192.168.1.10", "255.255.253.0", "192.168.1.1", 5},
    {"172.16.1.10", "255.255.0.255", "172.16.1.1", 5},
    // A short mask for a class C address is accepted.
    {"192.168.1.10", "255.0.0.0", "192.168.1.1", 0},
    // Subnet.
    {"192.168.1.10", "255.255.255.0", "192.168.2.1", 6},
    {"10.77.0.64", "255.255.255.0", "10.77.1.1", 6},
    {"192.168.1.10", "255.255.0.0", "192.168.2.1", 0},
    // Usable.
    {"192.168.1.10", "255.255.255.0", "192.168.1.1", 0},
    {"10.77.0.64", "255.255.255.0", "10.77.0.1", 0},
    {"169.254.3.4", "255.255.0.0", "169.254.0.1", 0},
};

TEST(CheckNetParam, FirstBrokenRuleGivesTheCode) {
    for (const Row& r : kRows) {
        int32_t code = -1;
        const bool ok = CheckNetParam(Addr(r.ip), Addr(r.mask), Addr(r.gateway), &code);
        EXPECT_EQ(code, r.code) << r.ip << " " << r.mask << " " << r.gateway;
        EXPECT_EQ(ok, r.code == 0) << r.ip << " " << r.mask << " " << r.gateway;
    }
}

// Every contiguous mask from /1 to /29 is accepted for a class A address;
// every mask with a single hole in its run is refused.
TEST(CheckNetParam, ContiguityOverAllPrefixes) {
    const uint32_t ip = htonl(0x0A000005u), gw = htonl(0x0A000001u);
    for (int prefix = 1; prefix <= 29; ++prefix) {
        const uint32_t m = 0xFFFFFFFFu << (32 - prefix);
        int32_t code = -1;
        CheckNetParam(ip, htonl(m), gw, &code);
        EXPECT_EQ(code, 0) << prefix;
        if (prefix >= 3) {
            CheckNetParam(ip, htonl(m & ~(1u << (32 - prefix + 1))), gw, &code);
            EXPECT_EQ(code, 5) << "hole in /" << prefix;
        }
    }
}

TEST(CheckNetParam, NullCodeIsAllowed) {
    EXPECT_TRUE(CheckNetParam(Addr("10.0.0.5"), Addr("255.0.0.0"), Addr("10.0.0.1"), nullptr));
    EXPECT_FALSE(CheckNetParam(Addr("10.0.0.0"), Addr("255.0.0.0"), Addr("10.0.0.1"), nullptr));
}

} // namespace
