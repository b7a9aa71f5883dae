// lorvex-search snapshot, set-time and report against a fleet of the test's
// own (the maker's devices with hostile names beside ONVIF cameras, one with
// a clock years off, one whose picture is no JPEG, one whose picture is too
// large), inside the private network of scripts/netns-run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Jpeg.h"
#include "PrivateNetwork.h"
#include "SimulatorProcess.h"

namespace {

const char kPassword[] = "Cam-Pass1";

const char kFleet[] = R"json({"devices": [
  {"mac": "02:4C:56:00:31:01", "type": "ZVK_IPC", "devName": "<b>Gate</b> & \"'", "ip": "10.77.0.60", "activated": 0, "password": "Cam-Pass1", "clockOffset": -157680000},
  {"mac": "02:4C:56:00:31:02", "type": "ZVK_NVR", "devName": "=HYPERLINK(1)", "ip": "10.77.0.61", "activated": 1},
  {"mac": "02:4C:56:00:31:03", "type": "ZVK_DVR", "ip": "10.77.0.62", "password": "Cam-Pass1", "zoneFixed": true},
  {"type": "ONVIF_CAMERA", "mac": "02:4F:4E:00:31:01", "ip": "10.77.0.80", "password": "Cam-Pass1", "devName": "Lobby <cam>", "mask": "255.255.255.0", "gateway": "10.77.0.254"},
  {"type": "ONVIF_CAMERA", "mac": "02:4F:4E:00:31:02", "ip": "10.77.0.81", "password": "Cam-Pass1", "snapshot": "not-jpeg", "clockStart": "2000-01-01T00:00:00Z"},
  {"type": "ONVIF_CAMERA", "mac": "02:4F:4E:00:31:03", "ip": "10.77.0.82", "password": "Cam-Pass1", "snapshot": "too-large"},
  {"type": "ONVIF_CAMERA", "mac": "02:4F:4E:00:31:04", "ip": "10.77.0.83", "password": "Cam-Pass1", "devName": "Yard", "clockStart": "2000-01-01T00:00:00Z", "networkOffered": false, "gateway": "10.77.0.254"}
]})json";

std::string Endpoint(const char* macHex) {
    return std::string("urn:uuid:6f6e7669-6600-4000-8000-") + macHex;
}

struct ToolRun {
    int code = -1;
    std::string out, err;
};

class SiteNetwork : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!devsim::InPrivateNetwork() || !getenv("LORVEX_NETNS_DEVICES") ||
            !getenv("LORVEX_DEVSIM") || !getenv("LORVEX_SEARCH_TOOL"))
            return;
        s_tag = "/tmp/site-net-" + std::to_string(getpid());
        std::ofstream(s_tag + "-password") << kPassword << "\n";
        s_sim = std::make_unique<test_support::SimulatorProcess>(
            s_tag + "-devsim", kFleet, std::vector<std::string>{"--own-addresses", "veth1"});
    }
    static void TearDownTestSuite() {
        s_sim.reset();
        std::remove((s_tag + "-password").c_str());
    }
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        if (!s_sim)
            GTEST_SKIP() << "LORVEX_NETNS_DEVICES, LORVEX_DEVSIM or LORVEX_SEARCH_TOOL not set";
        ASSERT_TRUE(s_sim->Ready()) << "the simulator did not start";
    }

    static ToolRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), getenv("LORVEX_SEARCH_TOOL"));
        args.insert(args.end(), {"--password", "-"});
        ToolRun run;
        run.code = test_support::FinishProcess(
            test_support::StartProcess(args, s_tag + "-password", s_tag + "-out", s_tag + "-err"));
        run.out = test_support::ReadFile(s_tag + "-out");
        run.err = test_support::ReadFile(s_tag + "-err");
        std::remove((s_tag + "-out").c_str());
        std::remove((s_tag + "-err").c_str());
        return run;
    }
    static bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

    static inline std::unique_ptr<test_support::SimulatorProcess> s_sim;
    static inline std::string s_tag;
};

// Both protocols' cameras: the ONVIF camera by endpoint, the maker's by MAC
// (its password sealed, a one-time token over HTTP).
TEST_F(SiteNetwork, SnapshotWritesTheCamerasPicture) {
    const struct {
        std::string target;
        const char* name;
    } cases[] = {{Endpoint("024f4e003101"), "name=Lobby <cam>"},
                 {"02:4C:56:00:31:01", "name=<b>Gate</b> & \"'"}};
    for (const auto& c : cases) {
        const std::string file = s_tag + "-picture.jpg";
        const ToolRun run = Run({"snapshot", c.target, "--output", file});
        ASSERT_EQ(run.code, 0) << run.out << run.err;
        const std::string jpeg = test_support::ReadFile(file);
        std::remove(file.c_str());
        snapshot::JpegHeader header;
        ASSERT_EQ(snapshot::ReadJpegHeader(reinterpret_cast<const std::uint8_t*>(jpeg.data()),
                                           jpeg.size(), &header),
                  snapshot::ImageCheck::Ok);
        EXPECT_NE(header.comment.find(c.name), std::string::npos) << header.comment;
        EXPECT_NE(run.out.find("done: "), std::string::npos) << run.out;
    }
}

// Each refusal has its own exit code and leaves no file behind.
TEST_F(SiteNetwork, SnapshotRefusalsWriteNothing) {
    struct Case {
        std::vector<std::string> target;
        int code;
        const char* says;
    } cases[] = {
        {{Endpoint("024f4e003102")}, 43, "not a JPEG"},
        {{Endpoint("024f4e003103")}, 44, "larger than 4 MiB"},
        {{"02:4C:56:00:31:02"}, 45, "no IP camera"},
        {{"02:4F:4E:00:31:09", "--onvif", "--seconds", "1"}, 12, "no ONVIF camera found"},
    };
    const std::string file = s_tag + "-refused.jpg";
    for (const Case& c : cases) {
        std::vector<std::string> args = {"snapshot"};
        args.insert(args.end(), c.target.begin(), c.target.end());
        args.insert(args.end(), {"--output", file});
        const ToolRun run = Run(args);
        EXPECT_EQ(run.code, c.code) << c.target[0] << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(c.says), std::string::npos) << run.out << run.err;
        EXPECT_FALSE(Exists(file)) << c.target[0];
        EXPECT_FALSE(Exists(file + ".part")) << c.target[0];
    }
}

TEST_F(SiteNetwork, SetTimeReportsEachClockBeforeAndAfter) {
    const ToolRun run = Run({"set-time", Endpoint("024f4e003104"), Endpoint("024f4e003101"),
                             "--ntp", "10.77.0.1", "--time-zone", "UTC0"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    const size_t yard = run.out.find(Endpoint("024f4e003104") + ": done: clock offset before -");
    const size_t lobby = run.out.find(Endpoint("024f4e003101") + ": done: clock offset before ");
    ASSERT_NE(yard, std::string::npos) << run.out;
    ASSERT_NE(lobby, std::string::npos) << run.out;
    EXPECT_LT(yard, lobby) << "lines in the order given";
    const std::string yardLine = run.out.substr(yard, run.out.find('\n', yard) - yard);
    EXPECT_NE(yardLine.find(" d "), std::string::npos) << "years behind: " << yardLine;
    EXPECT_NE(yardLine.find("(NTP, time zone UTC0)"), std::string::npos) << yardLine;
    const std::string after = yardLine.substr(yardLine.find(", after ") + 8);
    EXPECT_EQ(after.find(" d "), std::string::npos) << yardLine;
    EXPECT_EQ(after.find(" h "), std::string::npos) << yardLine;
}

// The maker's devices by MAC and by selection, one kind dispatch with the
// cameras: a clock five years behind is set and read back from a new
// answer; a refusal names its outcome; progress stays off a non-terminal.
TEST_F(SiteNetwork, SetTimeTakesTheMakersDevicesByMacAndSelection) {
    ToolRun run = Run({"set-time", "02:4c:56:00:31:01", "--now", "--time-zone", "UTC0"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    const size_t at = run.out.find("02:4C:56:00:31:01: done: clock offset before -");
    ASSERT_NE(at, std::string::npos) << run.out;
    const std::string line = run.out.substr(at, run.out.find('\n', at) - at);
    EXPECT_NE(line.find(" d "), std::string::npos) << "years behind: " << line;
    EXPECT_EQ(line.substr(line.find(", after ")).find(" d "), std::string::npos) << line;
    run = Run({"set-time", "--type", "ZVK_NVR", "--ntp", "10.77.0.1"});
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    EXPECT_NE(run.out.find("02:4C:56:00:31:02: failed: "), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("02:4C:56:00:31:01"), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find("set-time: "), std::string::npos) << run.err;
    // A device that takes the request and keeps its zone is never done.
    run = Run({"set-time", "02:4c:56:00:31:03", "--now", "--time-zone", "CET-1"});
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    EXPECT_NE(run.out.find("02:4C:56:00:31:03: not confirmed: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("; read back: the time zone is UTC0\n"), std::string::npos) << run.out;
}

// The report's rows are the simulator's devices; hostile names stay text in
// both files, no password goes into either, the cameras logged in to bring
// their pictures, clocks, masks and gateways (one camera withholds the
// last two: empty, and still reported), the maker's IP camera its picture.
TEST_F(SiteNetwork, ReportHoldsEveryDeviceEscapedWithoutSecrets) {
    const std::string html = s_tag + "-site.html", csvPath = s_tag + "-site.csv";
    const ToolRun run = Run({"report", "--output", html, "--site", "Depot <7>", "--login-all",
                             "--pictures", "--seconds", "2"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    const std::string page = test_support::ReadFile(html);
    const std::string csv = test_support::ReadFile(csvPath);
    std::remove(html.c_str());
    std::remove(csvPath.c_str());
    for (const char* mac : {"02:4C:56:00:31:01", "02:4C:56:00:31:03", "02:4F:4E:00:31:01",
                            "02:4F:4E:00:31:02", "02:4F:4E:00:31:03", "02:4F:4E:00:31:04"}) {
        EXPECT_NE(page.find(mac), std::string::npos) << mac;
        EXPECT_NE(csv.find(mac), std::string::npos) << mac;
    }
    size_t lines = 0;
    for (char c : csv)
        lines += c == '\n';
    EXPECT_EQ(lines, 8u) << csv;
    EXPECT_EQ(page.find(kPassword), std::string::npos);
    EXPECT_EQ(csv.find(kPassword), std::string::npos);
    EXPECT_NE(page.find("Depot &lt;7&gt;"), std::string::npos);
    EXPECT_NE(page.find("&lt;b&gt;Gate&lt;/b&gt; &amp; &quot;&#39;"), std::string::npos);
    EXPECT_EQ(page.find("<b>Gate"), std::string::npos);
    EXPECT_NE(page.find("Lobby &lt;cam&gt;"), std::string::npos);
    EXPECT_NE(csv.find("'=HYPERLINK(1)"), std::string::npos) << csv;
    size_t pictures = 0;
    for (size_t at = 0; (at = page.find("data:image/jpeg;base64,", at)) != std::string::npos; ++at)
        ++pictures;
    EXPECT_EQ(pictures, 3u) << "the maker's camera and the two cameras whose pictures are sound";
    // The clock left years off by the other tests shows in its row.
    const size_t row = csv.find("02:4F:4E:00:31:02");
    ASSERT_NE(row, std::string::npos);
    const std::string line = csv.substr(row, csv.find('\n', row) - row);
    EXPECT_NE(line.find(",-8"), std::string::npos) << "offset of about -8e8 s: " << line;
    EXPECT_NE(line.find("not a JPEG"), std::string::npos) << line;
    EXPECT_NE(csv.find(",10.77.0.80,255.255.255.0,10.77.0.254,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",10.77.0.83,,,"), std::string::npos) << csv;
}

} // namespace

// rename takes an ONVIF camera by its endpoint: done once its name reads back.
TEST_F(SiteNetwork, RenameTakesACameraByItsEndpoint) {
    const ToolRun run = Run({"rename", Endpoint("024f4e003102"), "Dock-East"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("done: the camera's name reads back \"Dock-East\""), std::string::npos)
        << run.out;
}

// A plan names a camera and sets its clock, each read back.
TEST_F(SiteNetwork, APlanNamesACameraAndSetsItsClock) {
    const std::string plan = s_tag + "-plan.csv";
    std::ofstream(plan) << "mac,endpoint,newIp,newMask,newGateway,name,timeZone\n,"
                        << Endpoint("024f4e003103")
                        << ",10.77.0.82,255.255.255.0,10.77.0.1,Dock-West,UTC0\n";
    const ToolRun run = Run({"apply", plan});
    std::remove(plan.c_str());
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(" -> 10.77.0.82 done"), std::string::npos) << run.out;
    // A new search finds the camera by its new name.
    const ToolRun again = Run({"list", "--seconds", "2", "--login", Endpoint("024f4e003103")});
    EXPECT_NE(again.out.find("Dock-West"), std::string::npos) << again.out << again.err;
}
