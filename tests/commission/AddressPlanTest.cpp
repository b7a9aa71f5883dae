// Address plans: which addresses are handed out, which are passed over and
// why, and the plans that must fail before anything is sent.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "AddressPlan.h"
#include "NetParam.h"

using namespace commission;

namespace {

PlanDevice Device(int n, const std::string& ip = "", const std::string& ip2 = "") {
    PlanDevice d;
    char mac[32];
    std::snprintf(mac, sizeof mac, "02:4C:56:00:00:%02X", n & 0xFF);
    d.mac = mac;
    d.ip = ip;
    d.ip2 = ip2;
    return d;
}

std::vector<PlanDevice> Devices(int count) {
    std::vector<PlanDevice> out;
    for (int i = 1; i <= count; ++i)
        out.push_back(Device(i, "192.168.1.64"));
    return out;
}

uint32_t A(const char* text) {
    uint32_t a = 0;
    EXPECT_TRUE(ReadAddress(text, &a)) << text;
    return a;
}

std::vector<std::string> Ips(const AddressPlan& plan) {
    std::vector<std::string> out;
    for (const PlanEntry& e : plan.entries)
        out.push_back(e.ip);
    return out;
}

} // namespace

TEST(AddressPlanTest, SkipsEveryAddressInUseAndSaysWhy) {
    // Device 3 holds .11 as its first address, device 4 .13 as its second.
    std::vector<PlanDevice> listed = {Device(1, "10.0.0.5"), Device(2, "10.0.0.5"),
                                      Device(3, "192.168.1.11"),
                                      Device(4, "169.254.1.1", "192.168.1.13")};
    const PlanRequest request{"192.168.1.10", "255.255.255.0", "192.168.1.12", "", ""};
    const NeighbourProbe probe = [](const std::vector<uint32_t>& c) {
        std::set<uint32_t> out;
        for (uint32_t a : c)
            if (a == A("192.168.1.15"))
                out.insert(a);
        return out;
    };
    const AddressPlan plan = MakeAddressPlan(listed, listed, request, {"192.168.1.14"}, probe);
    ASSERT_TRUE(plan.Ok()) << PlanErrorText(plan.error);
    EXPECT_EQ(Ips(plan), (std::vector<std::string>{"192.168.1.10", "192.168.1.16", "192.168.1.17",
                                                   "192.168.1.18"}));
    ASSERT_EQ(plan.skipped.size(), 5u);
    const struct {
        const char* address;
        SkipReason reason;
        const char* holder;
    } expected[] = {{"192.168.1.11", SkipReason::HeldByDevice, "02:4C:56:00:00:03"},
                    {"192.168.1.12", SkipReason::Gateway, ""},
                    {"192.168.1.13", SkipReason::HeldByDevice, "02:4C:56:00:00:04"},
                    {"192.168.1.14", SkipReason::HostAddress, ""},
                    {"192.168.1.15", SkipReason::Answers, ""}};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(plan.skipped[i].address, expected[i].address);
        EXPECT_EQ(plan.skipped[i].reason, expected[i].reason) << i;
        EXPECT_EQ(plan.skipped[i].holder, expected[i].holder) << i;
    }
}

TEST(AddressPlanTest, ProbesEachAddressOnceAndFollowsAnswersOn) {
    // Every probed address answers until .20: each pass moves the plan on.
    std::vector<std::vector<uint32_t>> calls;
    const NeighbourProbe probe = [&](const std::vector<uint32_t>& c) {
        calls.push_back(c);
        std::set<uint32_t> out;
        for (uint32_t a : c)
            if (a < A("10.1.1.20"))
                out.insert(a);
        return out;
    };
    const PlanRequest request{"10.1.1.10", "255.255.255.0", "10.1.1.1", "", ""};
    const AddressPlan plan = MakeAddressPlan(Devices(3), {}, request, {}, probe);
    ASSERT_TRUE(plan.Ok());
    EXPECT_EQ(Ips(plan), (std::vector<std::string>{"10.1.1.20", "10.1.1.21", "10.1.1.22"}));
    std::set<uint32_t> seen;
    for (const auto& call : calls)
        for (uint32_t a : call)
            EXPECT_TRUE(seen.insert(a).second) << AddressText(a) << " probed twice";
}

TEST(AddressPlanTest, FailsUpFrontNamingTheDeviceAndTheRule) {
    const struct {
        const char* name;
        PlanRequest request;
        int devices;
        PlanFault fault;
        int failingDevice; // 1-based
        int32_t rule;
    } cases[] = {
        {"runs out at the broadcast",
         {"192.168.1.252", "255.255.255.0", "192.168.1.1", "", ""},
         4,
         PlanFault::RunOut,
         4,
         0},
        {"a /30 with its gateway holds one",
         {"10.0.0.0", "255.255.255.252", "10.0.0.1", "", ""},
         2,
         PlanFault::RunOut,
         2,
         0},
        {"gateway in another subnet",
         {"192.168.1.10", "255.255.255.0", "192.168.2.1", "", ""},
         2,
         PlanFault::Rule,
         1,
         NETPARAM_OTHER_SUBNET},
        {"mask not contiguous",
         {"192.168.1.10", "255.0.255.0", "192.168.1.1", "", ""},
         1,
         PlanFault::Rule,
         1,
         NETPARAM_BAD_MASK},
        {"loopback",
         {"127.0.0.5", "255.0.0.0", "127.0.0.1", "", ""},
         1,
         PlanFault::Rule,
         1,
         NETPARAM_LOOPBACK},
        {"multicast",
         {"224.0.0.5", "255.255.255.0", "224.0.0.1", "", ""},
         1,
         PlanFault::Rule,
         1,
         NETPARAM_NOT_UNICAST},
        {"not a dotted quad",
         {"192.168.1", "255.255.255.0", "192.168.1.1", "", ""},
         1,
         PlanFault::BadInput,
         0,
         0},
        {"top of the address space",
         {"223.255.255.254", "255.255.255.252", "223.255.255.253", "", ""},
         2,
         PlanFault::RunOut,
         2,
         0},
    };
    for (const auto& c : cases) {
        const std::vector<PlanDevice> devices = Devices(c.devices);
        const AddressPlan plan = MakeAddressPlan(devices, devices, c.request, {}, nullptr);
        EXPECT_EQ(plan.error.fault, c.fault) << c.name;
        EXPECT_TRUE(plan.entries.empty()) << c.name;
        if (c.failingDevice > 0) {
            EXPECT_EQ(plan.error.mac, devices[static_cast<size_t>(c.failingDevice - 1)].mac)
                << c.name;
        }
        EXPECT_EQ(plan.error.rule, c.rule) << c.name;
        EXPECT_FALSE(PlanErrorText(plan.error).empty()) << c.name;
    }
}

TEST(AddressPlanTest, StartsPastTheNetworkAddressAndCarriesPortsAlong) {
    const PlanRequest request{"172.16.5.0", "255.255.255.0", "172.16.5.254", "8080", ""};
    const AddressPlan plan = MakeAddressPlan(Devices(2), {}, request, {}, nullptr);
    ASSERT_TRUE(plan.Ok());
    EXPECT_EQ(Ips(plan), (std::vector<std::string>{"172.16.5.1", "172.16.5.2"}));
    EXPECT_EQ(plan.skipped.at(0).reason, SkipReason::NetworkOrBroadcast);
    EXPECT_EQ(plan.entries[1].mask, "255.255.255.0");
    EXPECT_EQ(plan.entries[1].gateway, "172.16.5.254");
    EXPECT_EQ(plan.entries[1].httpPort, "8080");
    EXPECT_EQ(plan.entries[1].dataPort, "");
}

TEST(AddressPlanTest, RecordFieldsAreReadWithinTheirWidth) {
    SEARCH_INFO r{};
    std::memset(r.devName, 'x', sizeof r.devName); // no terminating zero
    std::strcpy(r.ipAddr, "10.0.0.9");
    std::strcpy(r.mac, "02:4C:56:00:00:01");
    const PlanDevice d = PlanDeviceOf(r);
    EXPECT_EQ(d.name.size(), sizeof r.devName);
    EXPECT_EQ(d.ip, "10.0.0.9");
}
