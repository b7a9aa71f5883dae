// The kernel's neighbour table as the address plan reads it.
#include <gtest/gtest.h>

#include "AddressPlan.h"
#include "Neighbours.h"

using namespace commission;

TEST(NeighboursTest, OnlyCompleteEntriesCount) {
    const char table[] =
        "IP address       HW type     Flags       HW address            Mask     Device\n"
        "10.77.0.1        0x1         0x2         02:00:00:00:00:01     *        veth0\n"
        "10.77.0.9        0x1         0x0         00:00:00:00:00:00     *        veth0\n"
        "10.77.0.7        0x1         0x6         02:00:00:00:00:07     *        veth0\n"
        "not-an-address   0x1         0x2         02:00:00:00:00:08     *        veth0\n"
        "10.77.0.8        0x1         0xzz        02:00:00:00:00:08     *        veth0\n"
        "10.77.0.10\n";
    std::set<uint32_t> expected;
    for (const char* a : {"10.77.0.1", "10.77.0.7"}) {
        uint32_t v = 0;
        ASSERT_TRUE(ReadAddress(a, &v));
        expected.insert(v);
    }
    EXPECT_EQ(ReadCompleteNeighbours(table), expected);
}

TEST(NeighboursTest, AddressesOffTheHostSubnetsAreNotProbed) {
    uint32_t far = 0;
    ASSERT_TRUE(ReadAddress("192.0.2.10", &far));
    // No interface holds 192.0.2.0/24: nothing is sent and nothing read.
    EXPECT_TRUE(ProbeNeighbours({far}, {{"veth0", "10.77.0.2", "255.255.255.0"}}, 0, "/nonexistent")
                    .empty());
}
