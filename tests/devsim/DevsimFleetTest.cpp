// Fleet files and generation for the standard cameras and the printer.

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <set>
#include <string>

#include "Fleet.h"

namespace {

using namespace devsim;

// Loads `json` as a fleet file; the error text when it is refused.
std::string Load(const std::string& json, std::vector<Device>* out) {
    char path[] = "/tmp/devsim-fleet-XXXXXX";
    const int fd = mkstemp(path);
    close(fd);
    std::ofstream(path) << json;
    std::string error;
    const bool ok = LoadFleetFile(path, FleetPlan{}, 1800000000, out, &error);
    unlink(path);
    return ok ? "" : error;
}

TEST(DevsimFleet, ReadsTheCameraKeys) {
    std::vector<Device> devices;
    ASSERT_EQ(Load(R"({"devices": [
        {"type": "ONVIF_CAMERA", "mac": "02:4F:4E:00:10:01", "onvifUser": "op",
         "onvifAuth": "digest", "clockOffset": -7200, "rebootNeeded": true, "rebootSeconds": 1.5,
         "macInScopes": false, "linkLocalXAddr": false, "probeTypes": "Device",
         "serial": "S1", "manufacturer": "Acme"},
        {"type": "WSD_PRINTER"},
        {"type": "ZVK_NVR", "onvif": true},
        {"type": "ZVK_IPC"}]})",
                   &devices),
              "");
    ASSERT_EQ(devices.size(), 4u);
    const OnvifCamera& c = devices[0].onvif;
    EXPECT_EQ(c.role, WsdRole::Camera);
    EXPECT_EQ(c.user, "op");
    EXPECT_EQ(c.auth, OnvifAuth::Digest);
    EXPECT_EQ(c.clockOffset, -7200);
    EXPECT_TRUE(c.rebootNeeded);
    EXPECT_DOUBLE_EQ(c.rebootSeconds, 1.5);
    EXPECT_FALSE(c.macInScopes);
    EXPECT_FALSE(c.linkLocalXAddr);
    EXPECT_EQ(c.probeTypes, ProbeTypes::Device);
    EXPECT_EQ(c.serial, "S1");
    EXPECT_EQ(c.manufacturer, "Acme");
    EXPECT_FALSE(SpeaksMakerProtocol(devices[0]));
    EXPECT_EQ(devices[1].onvif.role, WsdRole::Printer);
    EXPECT_FALSE(SpeaksMakerProtocol(devices[1]));
    EXPECT_EQ(devices[2].onvif.role, WsdRole::Camera);
    EXPECT_TRUE(SpeaksMakerProtocol(devices[2])) << "one device, two protocols";
    EXPECT_EQ(devices[3].onvif.role, WsdRole::None);
    EXPECT_TRUE(SpeaksMakerProtocol(devices[3]));
}

TEST(DevsimFleet, RefusesBadCameraValues) {
    for (const char* json : {R"({"devices": [{"type": "ONVIF_CAMERA", "onvifAuth": "basic"}]})",
                             R"({"devices": [{"type": "ONVIF_CAMERA", "probeTypes": "Printer"}]})",
                             R"({"devices": [{"type": "ONVIF_CAMERA", "rebootSeconds": -1}]})",
                             R"({"devices": [{"type": "ONVIF_CAMERA", "clockOffset": "soon"}]})"}) {
        std::vector<Device> devices;
        EXPECT_NE(Load(json, &devices), "") << json;
    }
}

TEST(DevsimFleet, GeneratesCamerasAfterTheMakerDevices) {
    FleetPlan plan;
    plan.count = 3;
    plan.onvifCount = 300;
    plan.subnets = {{0x0A000000u, 16}, {0x0A010000u, 16}};
    std::vector<Device> devices;
    Generate(plan, 1800000000, &devices);
    ASSERT_EQ(devices.size(), 303u);
    EXPECT_EQ(devices[2].onvif.role, WsdRole::None);
    const Device& first = devices[3];
    EXPECT_EQ(first.type, "ONVIF_CAMERA");
    EXPECT_EQ(lorvex::wire::FormatMac(first.mac), "02:4F:4E:00:00:01");
    EXPECT_EQ(lorvex::wire::FormatMac(devices[302].mac), "02:4F:4E:00:01:2C");
    std::set<std::string> addresses;
    for (const Device& d : devices)
        EXPECT_TRUE(addresses.insert(d.ip).second) << "two devices at " << d.ip;
    EXPECT_EQ(first.ip.rfind("10.1.", 0), 0u) << "the subnets are taken in turn after the 3rd";
}

} // namespace
