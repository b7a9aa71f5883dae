// lorvex-search list as an installer reads it, inside the private network of
// scripts/netns-run: a fleet of the test's own with three new cameras at one
// factory address and two activated devices, listed as table, CSV and JSON.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "PrivateNetwork.h"
#include "SimulatorProcess.h"

namespace {

const char kFleet[] = R"({"devices": [
  {"mac": "02:4C:56:00:30:03", "type": "ZVK_IPC", "devName": "IPC", "ip": "192.168.1.64", "activated": 1},
  {"mac": "02:4C:56:00:30:01", "type": "ZVK_IPC", "devName": "IPC", "ip": "192.168.1.64", "activated": 1},
  {"mac": "02:4C:56:00:30:04", "type": "ZVK_NVR", "devName": "Store", "ip": "10.77.0.100", "activated": 0},
  {"mac": "02:4C:56:00:30:02", "type": "ZVK_IPC", "devName": "IPC", "ip": "192.168.1.64", "activated": 1},
  {"mac": "02:4C:56:00:30:05", "type": "ZVK_NETKEYBOARD", "devName": "Desk", "ip": "10.77.0.9", "activated": 0}
]})";

struct ToolRun {
    int code = -1;
    std::string out, err;
};

class ListNetwork : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!devsim::InPrivateNetwork() || !getenv("LORVEX_NETNS_DEVICES") ||
            !getenv("LORVEX_DEVSIM") || !getenv("LORVEX_SEARCH_TOOL"))
            return;
        s_tag = "/tmp/list-net-" + std::to_string(getpid());
        s_sim = std::make_unique<test_support::SimulatorProcess>(
            s_tag + "-devsim", kFleet, std::vector<std::string>{"--jitter", "20"});
    }
    static void TearDownTestSuite() { s_sim.reset(); }
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        if (!s_sim)
            GTEST_SKIP() << "LORVEX_NETNS_DEVICES, LORVEX_DEVSIM or LORVEX_SEARCH_TOOL not set";
        ASSERT_TRUE(s_sim->Ready()) << "the simulator did not start";
    }

    static ToolRun List(std::vector<std::string> args) {
        args.insert(args.begin(), {getenv("LORVEX_SEARCH_TOOL"), "list", "--seconds", "1.5"});
        ToolRun run;
        run.code = test_support::FinishProcess(
            test_support::StartProcess(args, "/dev/null", s_tag + "-out", s_tag + "-err"));
        run.out = test_support::ReadFile(s_tag + "-out");
        run.err = test_support::ReadFile(s_tag + "-err");
        std::remove((s_tag + "-out").c_str());
        std::remove((s_tag + "-err").c_str());
        return run;
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
            lines.push_back(text.substr(at, end - at));
        return lines;
    }

    static inline std::unique_ptr<test_support::SimulatorProcess> s_sim;
    static inline std::string s_tag;
};

// The table a laptop screen holds: the columns an installer reads, sorted by
// address as numbers, the three cameras at one address by MAC, activation
// in words.
TEST_F(ListNetwork, TableShowsTheInstallersColumnsSortedByAddress) {
    const ToolRun run = List({});
    ASSERT_EQ(run.code, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 6u) << run.out;
    EXPECT_EQ(lines[0].substr(0, lines[0].find("  ")), "ipAddr");
    for (const char* column :
         {"mac", "productSeries", "productModel", "devName", "deviceActivated", "identity"})
        EXPECT_NE(lines[0].find(column), std::string::npos) << column;
    EXPECT_EQ(lines[0].find("softwareVer"), std::string::npos) << lines[0];
    const char* const order[] = {"02:4C:56:00:30:05", "02:4C:56:00:30:04", "02:4C:56:00:30:01",
                                 "02:4C:56:00:30:02", "02:4C:56:00:30:03"};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_NE(lines[i + 1].find(order[i]), std::string::npos) << run.out;
    EXPECT_NE(lines[1].find("  activated"), std::string::npos) << lines[1];
    EXPECT_NE(lines[3].find("not activated"), std::string::npos) << lines[3];
}

// Scripts keep the record's number in JSON; CSV is read by people.
TEST_F(ListNetwork, ActivationIsANumberInJsonAndWordsInCsv) {
    const ToolRun json = List({"--format", "json"});
    ASSERT_EQ(json.code, 0) << json.err;
    int activated = 0, fresh = 0;
    for (const auto& d : nlohmann::json::parse(json.out)) {
        activated += d["deviceActivated"] == 0;
        fresh += d["deviceActivated"] == 1;
    }
    EXPECT_EQ(activated, 2);
    EXPECT_EQ(fresh, 3);
    const ToolRun csv = List({"--format", "csv"});
    ASSERT_EQ(csv.code, 0) << csv.err;
    for (const std::string& line : Lines(csv.out)) {
        if (line.find("02:4C:56:00:30:01") != std::string::npos) {
            EXPECT_NE(line.find(",not activated,"), std::string::npos) << line;
        }
        if (line.find("02:4C:56:00:30:04") != std::string::npos) {
            EXPECT_NE(line.find(",activated,"), std::string::npos) << line;
        }
    }
}

TEST_F(ListNetwork, ColumnsAreChosenByName) {
    const ToolRun chosen = List({"--columns", "mac,devName"});
    ASSERT_EQ(chosen.code, 0) << chosen.err;
    EXPECT_EQ(Lines(chosen.out).at(0), "mac                devName");
    EXPECT_EQ(Lines(chosen.out).at(1), "02:4C:56:00:30:05  Desk");
    const ToolRun all = List({"--all-columns"});
    ASSERT_EQ(all.code, 0) << all.err;
    EXPECT_NE(all.out.find("softwareVer"), std::string::npos);
    const ToolRun unknown = List({"--columns", "mac,colour"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("unknown column \"colour\""), std::string::npos) << unknown.err;
    EXPECT_EQ(List({"--format", "json", "--all-columns"}).code, 2);
}

} // namespace
