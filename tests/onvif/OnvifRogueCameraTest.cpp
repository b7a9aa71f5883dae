// A host posing as an ONVIF camera (rogue-camera, a second process speaking
// WS-Discovery and the device service as a camera does) against the
// command line, inside the private network of scripts/netns-run: it copies
// a real camera's endpoint or MAC with XAddrs at itself, points its XAddrs
// at another host, or claims a clock a day ahead. It must receive no
// password and no token. And an https camera's certificate, pinned on
// first use, refused once the camera shows another, accepted again after
// forget-camera.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PrivateNetwork.h"
#include "SimulatorProcess.h"

namespace {

using test_support::FinishProcess;
using test_support::ReadFile;
using test_support::StartProcess;

const char kPassword[] = "Cam-Pass1";
const char kRealMac[] = "02:4F:4E:00:30:01";
const char kHttpsMac[] = "02:4F:4E:00:30:02";
const char kRogueIp[] = "10.77.0.99";
const char kElsewhereIp[] = "10.77.0.98";

std::string Fleet() {
    return std::string(R"({"devices": [)") + R"({"type": "ONVIF_CAMERA", "mac": ")" + kRealMac +
           R"(", "ip": "10.77.0.50", "password": ")" + kPassword +
           R"(", "onvifAuth": "wsse", "endpoint": "urn:uuid:real-camera"},)" +
           R"({"type": "ONVIF_CAMERA", "mac": ")" + kHttpsMac +
           R"(", "ip": "10.77.0.51", "password": ")" + kPassword +
           R"(", "https": true, "httpsPort": 8443, "endpoint": "urn:uuid:https-camera"}]})";
}

class OnvifRogueCamera : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        for (const char* v :
             {"LORVEX_NETNS_DEVICES", "LORVEX_DEVSIM", "LORVEX_SEARCH_TOOL", "LORVEX_ROGUE_CAMERA"})
            if (!getenv(v))
                GTEST_SKIP() << v << " not set";
        m_tag = "/tmp/onvif-rogue-" + std::to_string(getpid());
        std::ofstream(m_tag + "-pw") << kPassword << "\n";
        // The pins of this test only.
        ASSERT_EQ(std::system(("mkdir -p " + m_tag + "-data").c_str()), 0);
        setenv("XDG_DATA_HOME", (m_tag + "-data").c_str(), 1);
        StartSimulator();
        for (const char* ip : {kRogueIp, kElsewhereIp})
            Device("ip addr add " + std::string(ip) + "/32 dev veth1");
    }
    void TearDown() override {
        StopRogue();
        m_sim.reset();
        if (!m_tag.empty())
            [[maybe_unused]] const int removed = std::system(("rm -rf " + m_tag + "-*").c_str());
    }
    void StartSimulator() {
        m_sim.reset();
        m_sim = std::make_unique<test_support::SimulatorProcess>(
            m_tag + "-sim", Fleet(), std::vector<std::string>{"--own-addresses", "veth1"});
        ASSERT_TRUE(m_sim->Ready()) << m_sim->Log();
    }
    // Runs a command in the devices' namespace; one that finds its work done
    // already (an address present, a process gone) is not a failure here.
    static void Device(const std::string& command) {
        [[maybe_unused]] const int status = std::system(("ip netns exec " + std::string(getenv("LORVEX_NETNS_DEVICES")) + " " +
                     command + " 2>/dev/null")
                        .c_str());
    }
    // Starts the rogue with these options beside --ip and its files.
    void StartRogue(std::vector<std::string> options) {
        std::vector<std::string> argv = {"ip",
                                         "netns",
                                         "exec",
                                         getenv("LORVEX_NETNS_DEVICES"),
                                         getenv("LORVEX_ROGUE_CAMERA"),
                                         "--ip",
                                         kRogueIp,
                                         "--log",
                                         Log(),
                                         "--ready",
                                         m_tag + "-rogue.ready"};
        argv.insert(argv.end(), options.begin(), options.end());
        std::remove((m_tag + "-rogue.ready").c_str());
        m_rogue = StartProcess(argv, "/dev/null", "/dev/null", m_tag + "-rogue.err");
        for (int i = 0; i < 100 && !std::ifstream(m_tag + "-rogue.ready").good(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(std::ifstream(m_tag + "-rogue.ready").good()) << ReadFile(m_tag + "-rogue.err");
    }
    void StopRogue() {
        if (m_rogue > 0) {
            kill(m_rogue, SIGTERM);
            FinishProcess(m_rogue);
            m_rogue = -1;
        }
    }
    std::string Log() const { return m_tag + "-rogue.log"; }
    // Every login that reached the rogue: token or Digest lines of its log.
    std::string LoginsAtRogue() const {
        std::string out, log = ReadFile(Log());
        for (const char* mark : {"token=1", "digest=1"})
            if (log.find(mark) != std::string::npos)
                out += mark;
        return out;
    }
    int Tool(std::vector<std::string> args, std::string* out) {
        args.insert(args.begin(), getenv("LORVEX_SEARCH_TOOL"));
        const int code =
            FinishProcess(StartProcess(args, m_tag + "-pw", m_tag + "-out", m_tag + "-err"));
        *out = ReadFile(m_tag + "-out") + ReadFile(m_tag + "-err");
        return code;
    }
    static std::vector<std::string> SetIp(const std::string& target, const char* ip,
                                          std::vector<std::string> more = {}) {
        std::vector<std::string> a = {
            "set-ip",    target,      "--ip",       ip,  "--mask",    "255.255.255.0",
            "--gateway", "10.77.0.1", "--password", "-", "--seconds", "3"};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }

    std::string m_tag;
    std::unique_ptr<test_support::SimulatorProcess> m_sim;
    pid_t m_rogue = -1;
};

// The exit codes of lorvex-search for ONVIF cameras (tools/cli/OnvifCommands.h).
constexpr int kNotFound = 12, kOutOfReach = 31, kCertificateChanged = 39, kClockOff = 40,
              kConflict = 41;

TEST_F(OnvifRogueCamera, ACopiedEndpointOrMacGetsNoLogin) {
    struct Case {
        const char* name;
        std::vector<std::string> rogue;
        std::vector<std::string> command;
        int code;
        const char* says;
    };
    const Case cases[] = {
        {"endpoint copied, set-ip by endpoint",
         {"--endpoint", "urn:uuid:real-camera", "--mac", kRealMac},
         SetIp("urn:uuid:real-camera", "10.77.0.150"),
         kConflict,
         "more than one host claims this camera"},
        {"endpoint copied, list --login",
         {"--endpoint", "urn:uuid:real-camera", "--mac", kRealMac},
         {"list", "--login", "urn:uuid:real-camera", "--password", "-", "--seconds", "3"},
         0,
         "more than one host claims this camera"},
        {"MAC copied, set-ip by MAC: the maker's device only",
         {"--endpoint", "urn:uuid:copy", "--mac", kRealMac},
         SetIp(kRealMac, "10.77.0.150"),
         kNotFound,
         ""},
        {"MAC copied, list --login MAC",
         {"--endpoint", "urn:uuid:copy", "--mac", kRealMac},
         {"list", "--login", kRealMac, "--password", "-", "--seconds", "3"},
         0,
         "(10.77.0.50, 10.77.0.99)"},
        {"MAC copied, set-ip --onvif",
         {"--endpoint", "urn:uuid:copy", "--mac", kRealMac},
         SetIp(kRealMac, "10.77.0.150", {"--onvif"}),
         kConflict,
         "10.77.0.99"},
        {"XAddrs at another host",
         {"--endpoint", "urn:uuid:elsewhere", "--xaddr-host", kElsewhereIp},
         SetIp("urn:uuid:elsewhere", "10.77.0.150"),
         kOutOfReach,
         "name other hosts"},
        {"credentials without --login name no camera",
         {"--endpoint", "urn:uuid:rogue"},
         {"list", "--password", "-", "--seconds", "2"},
         2,
         "--login"},
    };
    for (const Case& c : cases) {
        std::remove(Log().c_str());
        StartRogue(c.rogue);
        std::string out;
        EXPECT_EQ(Tool(c.command, &out), c.code) << c.name << "\n" << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << c.name << "\n" << out;
        StopRogue();
        EXPECT_EQ(LoginsAtRogue(), "") << c.name << "\n" << ReadFile(Log());
    }
}

// A plan line of the maker's device (a MAC alone) while a host announces
// that MAC as a camera: apply finds no device and sends the host nothing.
TEST_F(OnvifRogueCamera, ApplyTakesAMacAloneForTheMakersDeviceOnly) {
    const char kMakerMac[] = "02:4C:56:00:77:01";
    StartRogue({"--endpoint", "urn:uuid:posing", "--mac", kMakerMac});
    std::ofstream(m_tag + "-plan.csv") << "mac,newIp,newMask,newGateway\n"
                                       << kMakerMac << ",10.77.0.160,255.255.255.0,10.77.0.1\n";
    std::string out;
    EXPECT_EQ(Tool({"apply", m_tag + "-plan.csv", "--password", "-", "--seconds", "3"}, &out), 1)
        << out;
    StopRogue();
    const std::string log = ReadFile(Log());
    EXPECT_NE(log.find("hello"), std::string::npos) << log; // it was there all along
    EXPECT_EQ(LoginsAtRogue(), "") << log;
    EXPECT_EQ(log.find("request"), std::string::npos) << log;
}

// A camera the installer names, claiming a clock a day ahead and refusing
// every call without offering Digest: the tool signs no token for it.
TEST_F(OnvifRogueCamera, AClockADayAheadGetsNoToken) {
    StartRogue({"--endpoint", "urn:uuid:ahead", "--clock-ahead", "86400"});
    std::string out;
    EXPECT_EQ(Tool(SetIp("urn:uuid:ahead", "10.77.0.150"), &out), kClockOff) << out;
    EXPECT_NE(out.find("1 d 0 h ahead of this computer's (86400 s)"), std::string::npos) << out;
    StopRogue();
    const std::string log = ReadFile(Log());
    EXPECT_NE(log.find("request GetSystemDateAndTime"), std::string::npos) << log;
    EXPECT_EQ(LoginsAtRogue(), "") << log;
}

TEST_F(OnvifRogueCamera, AnHttpsCameraIsPinnedAndAChangedCertificateRefused) {
    std::string out;
    // First use: pinned.
    ASSERT_EQ(Tool({"list", "--login", "urn:uuid:https-camera", "--password", "-", "--format",
                    "csv", "--seconds", "3"},
                   &out),
              0)
        << out;
    EXPECT_NE(out.find("Lorvex Simulated"), std::string::npos) << out;
    const std::string pins = ReadFile(m_tag + "-data/lorvex/camera-certificates");
    EXPECT_NE(pins.find(" urn:uuid:https-camera\n"), std::string::npos) << pins;
    // The simulator restarts with new certificates: refused, nothing sent.
    StartSimulator();
    EXPECT_EQ(Tool(SetIp("urn:uuid:https-camera", "10.77.0.151"), &out), kCertificateChanged)
        << out;
    EXPECT_NE(out.find("forget-camera urn:uuid:https-camera"), std::string::npos) << out;
    EXPECT_EQ(m_sim->Log().find("SetNetworkInterfaces"), std::string::npos);
    // Accepted on purpose: the next log-in pins the new one and goes on.
    EXPECT_EQ(Tool({"forget-camera", "urn:uuid:https-camera"}, &out), 0) << out;
    EXPECT_EQ(Tool(SetIp("urn:uuid:https-camera", "10.77.0.151"), &out), 0) << out;
    EXPECT_NE(ReadFile(m_tag + "-data/lorvex/camera-certificates"), pins);
}

} // namespace
