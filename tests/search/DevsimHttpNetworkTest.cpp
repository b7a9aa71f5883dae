// The simulator's device side, met by our own HTTP client and probe inside
// the private network: port configuration with its credentials, the web
// page, the data port, the misbehaviour switches, and a device that follows
// its new address after a configuration request.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DeviceHttp.h"
#include "HostNet.h"
#include "LorvexSearch.h"
#include "DevicePage.h"
#include "PrivateNetwork.h"
#include "SimulatorProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kFleet[] = R"({"devices": [
  {"mac": "02:4C:46:00:01:01", "type": "ZVK_IPC", "ip": "192.168.1.64", "ip2": "169.254.1.64"},
  {"mac": "02:4C:46:00:01:02", "type": "ZVK_IPC", "ip": "192.168.1.65", "httpDelayMs": 1500},
  {"mac": "02:4C:46:00:01:03", "type": "ZVK_IPC", "ip": "192.168.1.66", "httpStatus": 500},
  {"mac": "02:4C:46:00:01:04", "type": "ZVK_IPC", "ip": "192.168.1.67", "httpSilent": true},
  {"mac": "02:4C:46:00:01:05", "type": "ZVK_IPC", "ip": "192.168.1.68", "rtspPort": 8554,
   "rtspInAnswer": false},
  {"mac": "02:4C:46:00:01:06", "type": "ZVK_NVR", "ip": "192.168.1.69", "devName": "<b>&\"x"}
]})";

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class DevsimHttp : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!devsim::InPrivateNetwork() || !getenv("LORVEX_NETNS_DEVICES") ||
            !getenv("LORVEX_DEVSIM"))
            return;
        s_sim = std::make_unique<test_support::SimulatorProcess>(
            "/tmp/devsim-http-" + std::to_string(getpid()), kFleet,
            std::vector<std::string>{"--own-addresses", "veth1", "--jitter", "20"},
            test_support::SimulatorProcess::Output::Inherit);
        RunIp("ip route replace 192.168.1.0/24 dev veth0");
        RunIp("ip route replace 169.254.0.0/16 dev veth0");
    }
    static void TearDownTestSuite() { s_sim.reset(); }
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        ASSERT_TRUE(s_sim && s_sim->Running());
        ASSERT_TRUE(s_sim->Ready()) << "the simulator did not start";
    }
    static inline std::unique_ptr<test_support::SimulatorProcess> s_sim;
};

TEST_F(DevsimHttp, PortConfigNeedsThePasswordAndTakesNewPorts) {
    int32_t rtsp = -1;
    EXPECT_NE(GetPortConfig("192.168.1.64", 80, "wrong", &rtsp), PortConfigReply::Port);
    ASSERT_EQ(GetPortConfig("192.168.1.64", 80, "123456", &rtsp), PortConfigReply::Port);
    EXPECT_EQ(rtsp, 554);
    EXPECT_TRUE(Probe("192.168.1.64", 9008));
    EXPECT_TRUE(Probe("169.254.1.64", 9008));
    EXPECT_FALSE(SetPortConfig("192.168.1.64", 80, "wrong", 8080, 9010, 555));
    ASSERT_TRUE(SetPortConfig("192.168.1.64", 80, "123456", 8080, 9010, 555));
    EXPECT_NE(GetPortConfig("192.168.1.64", 80, "123456", &rtsp), PortConfigReply::Port);
    ASSERT_EQ(GetPortConfig("169.254.1.64", 8080, "123456", &rtsp), PortConfigReply::Port);
    EXPECT_EQ(rtsp, 555);
    EXPECT_TRUE(Probe("192.168.1.64", 9010));
    EXPECT_FALSE(Probe("192.168.1.64", 9008));
    ASSERT_TRUE(SetPortConfig("192.168.1.64", 8080, "123456", 80, 9008, 554));
}

TEST_F(DevsimHttp, RtspPortHiddenInAnswersIsGivenOverHttp) {
    int32_t rtsp = -1;
    ASSERT_EQ(GetPortConfig("192.168.1.68", 80, "123456", &rtsp), PortConfigReply::Port);
    EXPECT_EQ(rtsp, 8554);
}

TEST_F(DevsimHttp, MisbehavingDevices) {
    int32_t rtsp = -1;
    auto start = Clock::now();
    EXPECT_EQ(GetPortConfig("192.168.1.65", 80, "123456", &rtsp),
              PortConfigReply::Port); // slow but in time
    EXPECT_GE(Since(start), 1.4);
    start = Clock::now();
    EXPECT_NE(GetPortConfig("192.168.1.66", 80, "123456", &rtsp),
              PortConfigReply::Port); // HTTP 500
    EXPECT_FALSE(SetPortConfig("192.168.1.66", 80, "123456", 81, 9008, 554));
    EXPECT_LT(Since(start), 1.0);
    start = Clock::now();
    EXPECT_NE(GetPortConfig("192.168.1.67", 80, "123456", &rtsp),
              PortConfigReply::Port); // never answers
    EXPECT_GE(Since(start), 4.9);
    EXPECT_LT(Since(start), 7.0);
}

TEST_F(DevsimHttp, WebPageNamesTheDeviceEscaped) {
    const std::string page = Page("192.168.1.69", 80);
    EXPECT_NE(page.find(" 200 "), std::string::npos) << page;
    EXPECT_NE(page.find("&lt;b&gt;&amp;&quot;x"), std::string::npos) << page;
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_NE(Page("192.168.1.64", 80).find("192.168.1.64"), std::string::npos);
}

void Callback(char*, int, const char*, void*) {}

TEST_F(DevsimHttp, ConfiguredDeviceMovesToItsNewAddress) {
    LORVEX_SEARCH_Initial(Callback, nullptr, 96);
    const unsigned char mac[6] = {0x02, 0x4C, 0x46, 0x00, 0x01, 0x01};
    // A request is sealed to a key the library has seen answer.
    LORVEX_SEARCH_Manual();
    for (int i = 0; i < 60 && LORVEX_TRUST_Identity(mac, nullptr) != LORVEX_IDENTITY_VERIFIED; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    LORVEX_SET_CONFIG(mac, "<searchSetIP password=\"123456\" ipAddr=\"10.77.0.64\" "
                           "maskAddr=\"255.255.255.0\" route=\"10.77.0.1\" dhcpSwitch=\"false\"/>");
    bool moved = false;
    for (int i = 0; i < 60 && !moved; ++i) {
        moved = Probe("10.77.0.64", 9008);
        if (!moved)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    LORVEX_SEARCH_Quit();
    ASSERT_TRUE(moved);
    EXPECT_FALSE(Probe("192.168.1.64", 9008));
    EXPECT_TRUE(Probe("169.254.1.64", 9008)); // the link-local address stays
    int32_t rtsp = -1;
    EXPECT_EQ(GetPortConfig("10.77.0.64", 80, "123456", &rtsp), PortConfigReply::Port);
    EXPECT_FALSE(Probe("192.168.1.64", 80));
    EXPECT_EQ(GetPortConfig("192.168.1.65", 80, "123456", &rtsp),
              PortConfigReply::Port); // the others stay put
}

} // namespace
