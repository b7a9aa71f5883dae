// A camera's name, picture and clock set and read back against the
// simulator's cameras, inside the private network of scripts/netns-run
// (this side 10.77.0.2/24 on veth0): a rename seen by a new discovery, a
// picture whose decoded pixels show the camera's new name, clocks years
// off set by hand and handed to NTP, each refusal kind (a picture too
// large, no JPEG, cut short, too slow, behind Basic, at another host; a
// token camera with its clock off; a fixed name), and several cameras at
// once from several threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Jpeg.h"
#include "OnvifActions.h"
#include "OnvifSearch.h"
#include "PictureText.h"
#include "PrivateNetwork.h"
#include "SimulatorProcess.h"

namespace {

using namespace std::chrono_literals;
using onvif::CameraRecord;
using onvif::Outcome;

const char kPassword[] = "Cam-Pass1";

struct FleetCamera {
    const char* mac;
    const char* ip;
    const char* extra; // further JSON keys
};

const FleetCamera kCameras[] = {
    {"02:4F:4E:00:30:01", "10.77.0.80", R"("devName": "IPC")"},
    {"02:4F:4E:00:30:02", "10.77.0.81",
     R"("devName": "Lobby", "onvifAuth": "digest", "audioFirst": true)"},
    {"02:4F:4E:00:30:03", "10.77.0.82",
     R"("devName": "Old token cam", "onvifAuth": "wsse", "clockStart": "2019-03-01T00:00:00Z")"},
    {"02:4F:4E:00:30:04", "10.77.0.83",
     R"("devName": "Fresh out of the box", "clockStart": "2000-01-01T00:00:00Z")"},
    {"02:4F:4E:00:30:05", "10.77.0.84", R"("snapshot": "too-large")"},
    {"02:4F:4E:00:30:06", "10.77.0.85", R"("snapshot": "not-jpeg")"},
    {"02:4F:4E:00:30:07", "10.77.0.86", R"("snapshot": "truncated")"},
    {"02:4F:4E:00:30:08", "10.77.0.87", R"("snapshot": "slow")"},
    {"02:4F:4E:00:30:09", "10.77.0.88", R"("snapshot": "basic")"},
    {"02:4F:4E:00:30:0A", "10.77.0.89", R"("snapshotHost": "10.77.0.90")"},
    {"02:4F:4E:00:30:0B", "10.77.0.90", R"("devName": "Bystander")"},
    {"02:4F:4E:00:30:0C", "10.77.0.91", R"("devName": "No hostname", "hostnameOffered": false)"},
    {"02:4F:4E:00:30:0D", "10.77.0.92", R"("devName": "Fixed", "nameFixed": true)"},
    {"02:4F:4E:00:30:0E", "172.16.5.20",
     R"("devName": "Far Away", "ip2": "169.254.30.14", "mask": "255.255.255.0")"},
};
const size_t kListed = sizeof kCameras / sizeof kCameras[0];
const char kBystanderMac[] = "02:4F:4E:00:30:0B";

std::string FleetJson() {
    std::string out = "{\"devices\": [";
    for (size_t i = 0; i < kListed; ++i)
        out += std::string(i ? ",\n" : "") + R"({"type": "ONVIF_CAMERA", "mac": ")" +
               kCameras[i].mac + R"(", "ip": ")" + kCameras[i].ip + R"(", "password": ")" +
               kPassword + "\", " + kCameras[i].extra + "}";
    return out + "]}";
}

class OnvifActionsNetwork : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        if (!getenv("LORVEX_NETNS_DEVICES") || !getenv("LORVEX_DEVSIM"))
            GTEST_SKIP() << "LORVEX_NETNS_DEVICES or LORVEX_DEVSIM not set";
        m_sim = std::make_unique<test_support::SimulatorProcess>(
            "/tmp/onvif-actions-" + std::to_string(getpid()), FleetJson(),
            std::vector<std::string>{"--own-addresses", "veth1", "--verbose"});
        ASSERT_TRUE(m_sim->Ready()) << m_sim->Log();
        // The link-local route the tool adds at start, here in the private
        // namespace only, so that the far camera's 169.254 address is reached.
        ASSERT_EQ(std::system("ip route replace 169.254.0.0/16 dev veth0 scope link metric 1000"),
                  0);
        ASSERT_TRUE(m_search.Start(nullptr, 0));
        WaitFor([&] { return m_search.Cameras().size() >= kListed; }, 5s);
        ASSERT_EQ(m_search.Cameras().size(), kListed);
    }
    void TearDown() override {
        m_search.Stop();
        m_sim.reset();
    }

    template <class Check> static bool WaitFor(Check check, std::chrono::milliseconds bound) {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (!check() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(20ms);
        return check();
    }
    CameraRecord Camera(const std::string& mac) {
        CameraRecord c;
        EXPECT_TRUE(m_search.Find(mac, &c)) << mac;
        return c;
    }
    static onvif::ActionContext Context(std::chrono::milliseconds limit = 20s) {
        onvif::ActionContext context;
        context.password = MakeSharedSecret(kPassword, sizeof kPassword - 1);
        context.deadline = std::chrono::steady_clock::now() + limit;
        return context;
    }
    static snapshot::Image Decoded(const std::string& jpeg) {
        snapshot::Image image;
        EXPECT_EQ(snapshot::DecodeJpeg(reinterpret_cast<const std::uint8_t*>(jpeg.data()),
                                       jpeg.size(), snapshot::DecodeLimits(), 0, 0, &image),
                  snapshot::ImageCheck::Ok);
        return image;
    }

    std::unique_ptr<test_support::SimulatorProcess> m_sim;
    onvif::CameraSearch m_search;
};

TEST_F(OnvifActionsNetwork, ARenameIsSeenByANewDiscoveryAndInThePicture) {
    const onvif::RenameResult r =
        onvif::Rename(Camera("02:4F:4E:00:30:01"), {"Gate North 03", true}, Context());
    ASSERT_EQ(r.outcome, Outcome::Done) << r.detail;
    EXPECT_TRUE(r.verified);
    EXPECT_EQ(r.nameBefore, "IPC");
    EXPECT_EQ(r.nameAfter, "Gate North 03");
    EXPECT_EQ(r.hostname, onvif::HostnameStep::Set);
    EXPECT_EQ(r.hostnameAfter, "Gate-North-03");
    // The camera's Hello carries the new name to the running search, and a
    // new search hears it with its other configurable scope kept.
    EXPECT_TRUE(WaitFor([&] { return Camera("02:4F:4E:00:30:01").name == "Gate North 03"; }, 3s));
    onvif::CameraSearch fresh;
    ASSERT_TRUE(fresh.Start(nullptr, 0));
    CameraRecord heard;
    EXPECT_TRUE(WaitFor([&] { return fresh.Find("02:4F:4E:00:30:01", &heard); }, 3s));
    EXPECT_EQ(heard.name, "Gate North 03");
    EXPECT_NE(
        std::find(heard.scopes.begin(), heard.scopes.end(), "onvif://www.onvif.org/location/Site"),
        heard.scopes.end());
    // The picture shows the new name.
    const onvif::SnapshotResult picture =
        onvif::TakeSnapshot(Camera("02:4F:4E:00:30:01"), onvif::SnapshotRequest(), Context());
    ASSERT_EQ(picture.outcome, Outcome::Done) << picture.detail;
    EXPECT_EQ(test_support::ReadPictureName(Decoded(picture.jpeg)), "Gate North 03");
}

TEST_F(OnvifActionsNetwork, RenameWhereTheCameraOffersLess) {
    const onvif::RenameResult noHost =
        onvif::Rename(Camera("02:4F:4E:00:30:0C"), {"Gate-5", true}, Context());
    EXPECT_EQ(noHost.outcome, Outcome::Done) << noHost.detail;
    EXPECT_EQ(noHost.hostname, onvif::HostnameStep::NotOffered);
    EXPECT_TRUE(noHost.verified);
    const onvif::RenameResult fixed =
        onvif::Rename(Camera("02:4F:4E:00:30:0D"), {"Gate-6", true}, Context());
    EXPECT_EQ(fixed.outcome, Outcome::NotSupported) << fixed.detail;
    EXPECT_EQ(fixed.nameBefore, "Fixed");
    onvif::CameraSearch fresh;
    ASSERT_TRUE(fresh.Start(nullptr, 0));
    CameraRecord heard;
    EXPECT_TRUE(WaitFor([&] { return fresh.Find("02:4F:4E:00:30:0D", &heard); }, 3s));
    EXPECT_EQ(heard.name, "Fixed");
}

TEST_F(OnvifActionsNetwork, PicturesShowTheCamerasNameAndTime) {
    struct Case {
        const char* mac;
        const char* name;
        const char* profile;
        int width;
    };
    const Case cases[] = {
        {"02:4F:4E:00:30:02", "Lobby", "Profile_1", 1280},    // Digest only, audio profile first
        {"02:4F:4E:00:30:0E", "Far Away", "Profile_1", 1280}, // at its link-local address
    };
    for (const Case& c : cases) {
        const std::time_t before = std::time(nullptr);
        const onvif::SnapshotResult r =
            onvif::TakeSnapshot(Camera(c.mac), onvif::SnapshotRequest(), Context());
        ASSERT_EQ(r.outcome, Outcome::Done) << c.mac << ": " << r.detail;
        EXPECT_TRUE(r.verified);
        EXPECT_TRUE(r.loggedIn) << c.mac;
        EXPECT_EQ(r.profileToken, c.profile);
        EXPECT_EQ(r.width, c.width);
        EXPECT_LE(r.thumbnail.jpeg.size(), snapshot::kThumbnailMaxBytes);
        EXPECT_EQ(r.comment.rfind(std::string("name=") + c.name + "\ntime=", 0), 0u) << r.comment;
        const snapshot::Image image = Decoded(r.jpeg);
        EXPECT_EQ(test_support::ReadPictureName(image), c.name) << c.mac;
        // The time drawn is the camera's clock at the request.
        const std::string time = test_support::ReadPictureLine(image, 2);
        std::tm tm{};
        ASSERT_NE(strptime(time.c_str(), "%Y-%m-%d %H:%M:%S UTC", &tm), nullptr) << time;
        EXPECT_NEAR(static_cast<double>(timegm(&tm)), static_cast<double>(before), 5.0) << time;
    }
}

TEST_F(OnvifActionsNetwork, EachRefusalOfAPictureIsItsOwnOutcome) {
    struct Case {
        const char* mac;
        Outcome outcome;
        snapshot::ImageCheck image;
    };
    const Case cases[] = {
        {"02:4F:4E:00:30:05", Outcome::TooLarge, snapshot::ImageCheck::TooLarge},
        {"02:4F:4E:00:30:06", Outcome::BadReply, snapshot::ImageCheck::NotJpeg},
        {"02:4F:4E:00:30:07", Outcome::BadReply, snapshot::ImageCheck::Truncated},
        {"02:4F:4E:00:30:08", Outcome::NoAnswer, snapshot::ImageCheck::Ok},
        {"02:4F:4E:00:30:09", Outcome::NotSupported, snapshot::ImageCheck::Ok},
        {"02:4F:4E:00:30:0A", Outcome::OutOfReach, snapshot::ImageCheck::Ok},
        {"02:4F:4E:00:30:03", Outcome::ClockOff, snapshot::ImageCheck::Ok},
    };
    for (const Case& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const onvif::SnapshotResult r =
            onvif::TakeSnapshot(Camera(c.mac), onvif::SnapshotRequest(), Context());
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(r.outcome, c.outcome) << c.mac << ": " << r.detail;
        EXPECT_EQ(r.image, c.image) << c.mac;
        EXPECT_TRUE(r.jpeg.empty()) << c.mac;
        EXPECT_LT(took, 8s) << c.mac; // the slow one ends at the picture's time limit
    }
    // The snapshot address at another host drew nothing there: the
    // refusal came before any request, so none can still be on its way.
    const std::string log = m_sim->Log();
    EXPECT_EQ(log.find(std::string("devsim: ") + kBystanderMac), std::string::npos) << log;
    // The Basic camera was asked once, without a log-in, and never sent one.
    EXPECT_NE(log.find("devsim: 02:4F:4E:00:30:09 snapshot Profile_1 status 401\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("devsim: 02:4F:4E:00:30:09 snapshot Profile_1 status 200"),
              std::string::npos);
}

TEST_F(OnvifActionsNetwork, ClocksYearsOffAreSetAndReadBack) {
    const CameraRecord fresh = Camera("02:4F:4E:00:30:04");
    const onvif::ClockResult manual =
        onvif::SetClock(fresh, {false, "", "CET-1CEST,M3.5.0,M10.5.0/3"}, Context());
    ASSERT_EQ(manual.outcome, Outcome::Done) << manual.detail;
    EXPECT_TRUE(manual.verified) << manual.detail;
    EXPECT_LT(manual.before.offset, -20LL * 365 * 86400); // back in the year 2000
    EXPECT_LE(std::llabs(manual.after.offset), onvif::kClockSetTolerance);
    EXPECT_EQ(manual.after.timeZone, "CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(manual.after.type, "Manual");
    const onvif::ClockResult ntp = onvif::SetClock(fresh, {true, "10.77.0.1", ""}, Context());
    ASSERT_EQ(ntp.outcome, Outcome::Done) << ntp.detail;
    EXPECT_TRUE(ntp.verified) << ntp.detail;
    EXPECT_EQ(ntp.after.type, "NTP");
    EXPECT_EQ(ntp.ntpAfter, std::vector<std::string>{"10.77.0.1"});
    EXPECT_EQ(ntp.after.timeZone, "CET-1CEST,M3.5.0,M10.5.0/3"); // kept
    // A token camera whose clock is off: refused, nothing signed or set.
    const CameraRecord old = Camera("02:4F:4E:00:30:03");
    const onvif::ClockResult refused = onvif::SetClock(old, {false, "", "UTC0"}, Context());
    EXPECT_EQ(refused.outcome, Outcome::ClockOff) << refused.detail;
    EXPECT_LT(refused.before.offset, -365LL * 86400);
    onvif::DeviceClient look(old.xaddr, "admin", MakeSharedSecret(kPassword, sizeof kPassword - 1));
    onvif::ClockSettings still;
    ASSERT_EQ(look.GetClockSettings(&still), Outcome::Done);
    EXPECT_NEAR(static_cast<double>(still.offset), static_cast<double>(refused.before.offset), 5);
}

TEST_F(OnvifActionsNetwork, ManyCamerasAtOnceFromManyThreads) {
    const std::vector<std::string> macs = {"02:4F:4E:00:30:01", "02:4F:4E:00:30:02",
                                           "02:4F:4E:00:30:04", "02:4F:4E:00:30:0B",
                                           "02:4F:4E:00:30:0C", "02:4F:4E:00:30:0E"};
    std::vector<CameraRecord> cameras;
    for (const std::string& mac : macs)
        cameras.push_back(Camera(mac));
    std::vector<Outcome> pictures(cameras.size()), clocks(cameras.size());
    std::vector<std::thread> workers;
    for (size_t i = 0; i < cameras.size(); ++i)
        workers.emplace_back([&, i] {
            pictures[i] =
                onvif::TakeSnapshot(cameras[i], onvif::SnapshotRequest(), Context()).outcome;
            clocks[i] = onvif::SetClock(cameras[i], {false, "", "UTC0"}, Context()).outcome;
        });
    for (std::thread& t : workers)
        t.join();
    for (size_t i = 0; i < cameras.size(); ++i) {
        EXPECT_EQ(pictures[i], Outcome::Done) << macs[i];
        EXPECT_EQ(clocks[i], Outcome::Done) << macs[i];
    }
}

} // namespace
