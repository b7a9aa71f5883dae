#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Device.h"
#include "Fleet.h"

namespace {

using namespace devsim;

Device Camera() {
    Device d = GenerateDevice(FleetPlan{}, 0, 1700000000);
    d.password = "pw";
    return d;
}

std::map<std::string, std::string> Request(const std::string& password) {
    return {{"password", password}, {"ipAddr", "10.77.0.64"}, {"maskAddr", "255.255.255.0"},
            {"route", "10.77.0.1"}, {"dhcpSwitch", "true"},   {"httpPort", "8080"}};
}

// The good request with one attribute changed, or left out.
std::map<std::string, std::string> With(const std::string& key, const std::string& value) {
    auto r = Request("pw");
    r[key] = value;
    return r;
}

std::map<std::string, std::string> Without(const std::string& key) {
    auto r = Request("pw");
    r.erase(key);
    return r;
}

TEST(DevsimSetIp, ParsesAttributesWithEntitiesAndEitherQuote) {
    std::map<std::string, std::string> a;
    ASSERT_TRUE(
        ParseSetIp("<searchSetIP password=\"a&amp;b&quot;\" ipAddr='1.2.3.4' dns2=\"\"/>", &a));
    EXPECT_EQ(a["password"], "a&b\"");
    EXPECT_EQ(a["ipAddr"], "1.2.3.4");
    EXPECT_EQ(a.count("dns2"), 1u);
    for (const char* bad : {"", "<other a=\"1\"/>", "<searchSetIPX a=\"1\"/>", "<searchSetIP a=\"1",
                            "<searchSetIP a=1/>"}) {
        std::map<std::string, std::string> b;
        EXPECT_FALSE(ParseSetIp(bad, &b)) << bad;
    }
}

TEST(DevsimSetIp, AppliesOnlyAWellFormedRequestWithThePassword) {
    struct {
        const char* what;
        std::map<std::string, std::string> req;
        int result;
    } cases[] = {
        {"good", Request("pw"), 0},
        {"wrong password", Request("PW"), 1},
        {"no password", Without("password"), 1},
        {"bad address", With("ipAddr", "10.77.0"), 1},
        {"bad port", With("httpPort", "70000"), 1},
        {"port text", With("httpPort", "80x"), 1},
        {"new name", With("devName", "Gate-North-03"), 0},
        {"name out of rule", With("devName", " Gate"), 1},
        {"clock by NTP", With("ntpServer", "pool.ntp.org"), 0},
        {"NTP server out of rule", With("ntpServer", "pool ntp"), 1},
        {"time set", With("time", "1900000000"), 0},
        {"time before 2000", With("time", "946684799"), 1},
        {"time zone out of rule", With("timeZone", "CET 1"), 1},
    };
    for (const auto& c : cases) {
        // Camera and recorder alike take address and ports from the request.
        for (const char* type : {"ZVK_IPC", "ZVK_NVR"}) {
            Device d = Camera();
            d.type = type;
            const Device before = d;
            const bool ports = c.result == 0;
            EXPECT_EQ(ApplySetIp(&d, c.req), c.result) << c.what << " " << type;
            EXPECT_EQ(d.ip, c.result == 0 ? "10.77.0.64" : before.ip) << c.what << " " << type;
            EXPECT_EQ(d.httpPort, ports ? 8080 : before.httpPort) << c.what << " " << type;
            EXPECT_EQ(d.dhcp, c.result == 0) << c.what << " " << type;
            const bool renamed = c.result == 0 && c.req.count("devName");
            EXPECT_EQ(AnswerXml(d, d.bootEpoch).find("<devName>Gate-North-03</devName>") !=
                          std::string::npos,
                      renamed)
                << c.what << " " << type;
        }
    }
}

// The clock travels as bootTime (UTC) plus runningTime; a server wins over
// a time given with it, as the device synchronises with it at once.
TEST(DevsimClock, WhatARequestSetsIsWhatTheAnswersTell) {
    Device d = Camera(); // booted at 1699999400 by the host's clock
    ApplyClock(&d, {{"time", "1900000000"}, {"timeZone", "CET-1CEST,M3.5.0,M10.5.0/3"}},
               1700000000);
    std::string xml = AnswerXml(d, 1700000100);
    EXPECT_NE(xml.find("<bootTime>2030-03-17 17:36:40</bootTime><runningTime>700</runningTime>"
                       "<timeZone>CET-1CEST,M3.5.0,M10.5.0/3</timeZone>"),
              std::string::npos)
        << xml;
    EXPECT_EQ(xml.find("<ntpServer>"), std::string::npos);
    ApplyClock(&d, {{"time", "1900000000"}, {"ntpServer", "10.77.0.1"}}, 1700000000);
    xml = AnswerXml(d, 1700000100);
    EXPECT_NE(xml.find("<bootTime>2023-11-14 22:03:20</bootTime>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<ntpServer>10.77.0.1</ntpServer><clockSets>2</clockSets>"),
              std::string::npos)
        << xml;
}

TEST(DevsimAnswer, EscapesDeviceTextAndCarriesRunningTime) {
    Device d = Camera();
    d.devName = "a<b>&\"c'";
    const std::string xml = AnswerXml(d, d.bootEpoch + 42);
    EXPECT_NE(xml.find("<devName>a&lt;b&gt;&amp;&quot;c&apos;</devName>"), std::string::npos);
    EXPECT_NE(xml.find("<runningTime>42</runningTime>"), std::string::npos);
    EXPECT_NE(xml.find("<productSeries>ZVK_IPC</productSeries>"), std::string::npos);
}

TEST(DevsimFleet, SubnetsTypesAndMacsAreSpreadInTurn) {
    FleetPlan plan;
    plan.subnets.resize(2);
    ASSERT_TRUE(ParseCidr("192.168.1.0/24", &plan.subnets[0]));
    ASSERT_TRUE(ParseCidr("172.16.5.77/16", &plan.subnets[1]));
    plan.count = 600;
    std::vector<Device> fleet;
    Generate(plan, 1700000000, &fleet);
    EXPECT_EQ(fleet[0].ip, "192.168.1.64");
    EXPECT_EQ(fleet[1].ip, "172.16.0.64");
    EXPECT_EQ(fleet[1].mask, "255.255.0.0");
    EXPECT_EQ(fleet[0].gateway, "192.168.1.1");
    EXPECT_EQ(fleet[7].type, fleet[0].type);
    EXPECT_EQ(lorvex::wire::FormatMac(fleet[256].mac), "02:4C:56:00:01:01");
    for (const Device& d : fleet) { // addresses wrap inside the subnet, never network or broadcast
        EXPECT_EQ(d.ip.rfind(d.mask == "255.255.0.0" ? "172.16." : "192.168.1.", 0), 0u) << d.ip;
        for (const char* edge : {"192.168.1.0", "192.168.1.255", "172.16.0.0", "172.16.255.255"})
            EXPECT_NE(d.ip, edge);
    }
}

TEST(DevsimFleet, CidrTexts) {
    Subnet s;
    for (const char* bad : {"192.168.1.0", "192.168.1.0/", "192.168.1.0/7", "192.168.1.0/31",
                            "192.168.1/24", "192.168.1.0/2x", "a.b.c.d/24"})
        EXPECT_FALSE(ParseCidr(bad, &s)) << bad;
    ASSERT_TRUE(ParseCidr("10.1.2.3/8", &s));
    EXPECT_EQ(AddressText(s.network), "10.0.0.0");
}

} // namespace
