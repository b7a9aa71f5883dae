// lorvex-search plan and apply end to end, inside the private network of
// scripts/netns-run (this side 10.77.0.2/24): fifty simulated devices, most
// at one factory address, five holding addresses the plan must skip, two
// with another password, one that ignores requests and one that leaves
// while the batch runs. The simulators' logs show which requests reached
// which device. Then a CSV round trip: the list exported, addresses edited,
// the file applied, the list exported again.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PrivateNetwork.h"
#include "SentLog.h"
#include "SimulatorProcess.h"

namespace {

using namespace std::chrono_literals;

constexpr int kDevices = 50;
constexpr int kWrongPassword[] = {10, 20};
constexpr int kSilent = 48;
constexpr int kLeaving = kDevices - 1; // in a simulator of its own, stopped mid-batch

std::string Mac(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "02:4C:56:00:19:%02X", (i + 1) & 0xFF);
    return text;
}

// One device of the fleet file as JSON.
std::string DeviceJson(int i) {
    const char* const types[] = {"ZVK_IPC", "ZVK_NVR", "ZVK_IPC", "ZVK_DVR", "ZVK_IPC"};
    std::string type = types[i % 5];
    std::string ip = "192.168.1.64", ip2 = "169.254.19." + std::to_string(i + 1), extra;
    // The five holders of addresses inside the plan's range, two at their
    // second address.
    if (i < 3)
        ip = "10.77.0." + std::to_string(100 + 2 * i);
    else if (i < 5)
        ip2 = "10.77.0." + std::to_string(100 + 2 * i);
    for (int w : kWrongPassword)
        if (i == w)
            type = "ZVK_IPC", extra = R"(, "password": "other")";
    if (i == kSilent)
        type = "ZVK_IPC", extra = R"(, "silent": true)";
    if (i == kLeaving)
        type = "ZVK_NVR";
    return R"({"mac": ")" + Mac(i) + R"(", "type": ")" + type + R"(", "ip": ")" + ip +
           R"(", "mask": "255.255.255.0", "gateway": "192.168.1.1", "activated": 0, "ip2": ")" +
           ip2 + "\"" + extra + "}";
}

using test_support::FinishProcess;
using test_support::ReadFile;
using test_support::StartProcess;

// The activation fleet: new devices without a password, two that have one,
// a silent one, and one whose name is the batch's password (the rule
// compares names without case).
constexpr int kActivationDevices = 10;
constexpr int kActive[] = {5, 6};
constexpr int kActivationSilent = 7;
constexpr int kNamedLikePassword = 8;
const char kSitePassword[] = "Site#2026a";

std::string ActivationDeviceJson(int i) {
    std::string extra = R"(, "activated": 1)";
    if (i == kActive[0] || i == kActive[1])
        extra = R"(, "activated": 0, "password": "Old#pass99")";
    if (i == kActivationSilent)
        extra += R"(, "silent": true)";
    if (i == kNamedLikePassword)
        extra += R"(, "devName": "SITE#2026A")"; // the password, but for case
    return R"({"mac": ")" + Mac(i) + R"(", "type": "ZVK_IPC", "ip": "10.77.0.)" +
           std::to_string(20 + i) + R"(", "mask": "255.255.255.0", "gateway": "10.77.0.1")" +
           extra + "}";
}

// The cells of a CSV line without quoted cells (the simulated devices'
// texts have no commas or quotes).
std::vector<std::string> Split(std::string line) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::vector<std::string> out;
    std::istringstream cells(line);
    for (std::string c; std::getline(cells, c, ',');)
        out.push_back(c);
    return out;
}

class CommissionNetwork : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        const char* devices = getenv("LORVEX_NETNS_DEVICES");
        if (!devices || !getenv("LORVEX_DEVSIM") || !getenv("LORVEX_SEARCH_TOOL"))
            GTEST_SKIP() << "LORVEX_NETNS_DEVICES, LORVEX_DEVSIM or LORVEX_SEARCH_TOOL not set";
        m_tag = "/tmp/commission-net-" + std::to_string(getpid());
        std::string fleet = "{\"devices\": [", leaving = "{\"devices\": [";
        for (int i = 0; i < m_count; ++i)
            if (i == m_count - 1)
                leaving += m_device(i);
            else
                fleet += (i ? ",\n" : "") + m_device(i);
        m_sim = StartSim("fleet", fleet + "]}");
        m_leaving = StartSim("leaving", leaving + "]}");
        ASSERT_TRUE(m_sim->Ready() && m_leaving->Ready()) << "the simulators did not start";
    }
    void TearDown() override {
        m_sim.reset();
        m_leaving.reset();
        for (const char* s :
             {"-plan.csv", "-out", "-err", "-outcomes.csv", "-edited.csv", "-pw", "-secret.csv",
              "-fleet-sent", "-leaving-sent", "-codes.csv", "-fleet-control", "-leaving-control"})
            std::remove((m_tag + s).c_str());
        for (const char* s : {"-fleet-labels", "-leaving-labels"})
            std::filesystem::remove_all(m_tag + s);
    }

    // A simulator of these devices; its log (m_tag-NAME.log) tells what it
    // applied, its sent log (m_tag-NAME-sent) what it sent.
    std::unique_ptr<test_support::SimulatorProcess> StartSim(const std::string& name,
                                                             const std::string& fleet) {
        m_sent.emplace_back(m_tag + "-" + name + "-sent");
        return std::make_unique<test_support::SimulatorProcess>(
            m_tag + "-" + name, fleet,
            std::vector<std::string>{
                "--jitter", "50", "--verbose", "--sent-log", m_sent.back().Path(), "--labels",
                m_tag + "-" + name + "-labels", "--control", m_tag + "-" + name + "-control"});
    }
    // The setup code on the label of the fleet simulator's device `mac`.
    std::string LabelCode(const std::string& mac) {
        std::istringstream rows(ReadFile(m_tag + "-fleet-labels/labels.csv"));
        for (std::string row; std::getline(rows, row);) {
            const std::vector<std::string> cells = Split(row);
            if (cells.size() == 2 && cells[0] == mac)
                return cells[1];
        }
        return std::string();
    }
    // Both simulators' labels.csv in one file, as the codes file of a batch.
    std::string CodesFile() {
        std::ofstream out(m_tag + "-codes.csv");
        for (const char* name : {"fleet", "leaving"})
            out << ReadFile(m_tag + "-" + name + "-labels/labels.csv");
        return m_tag + "-codes.csv";
    }

    // Returns once both simulators have handled every datagram sent to them
    // before this call: each handles them in order, and has answered a
    // search begun afterwards.
    bool SimulatorsCaughtUp() {
        for (test_support::SentLog& log : m_sent)
            log.Mark();
        Run({"list", "--seconds", "0.3"}, m_tag + "-out");
        for (test_support::SentLog& log : m_sent) {
            const bool answered =
                log.WaitFor(2000ms, [](const std::vector<test_support::SentLine>& lines) {
                    for (const test_support::SentLine& l : lines)
                        if (l.what == "answer")
                            return true;
                    return false;
                });
            if (!answered)
                return false;
        }
        return true;
    }

    // lorvex-search with these arguments, started; output into `out` and
    // `err` (by default m_tag-err).
    pid_t Tool(std::vector<std::string> args, const std::string& out, std::string err = "") {
        args.insert(args.begin(), getenv("LORVEX_SEARCH_TOOL"));
        std::ofstream(m_tag + "-pw") << m_password << "\n";
        return StartProcess(args, m_tag + "-pw", out, err.empty() ? m_tag + "-err" : err);
    }
    int Run(std::vector<std::string> args, const std::string& out) {
        return FinishProcess(Tool(args, out));
    }

    // MAC -> the rest of its line after the arrow, from apply's output.
    static std::map<std::string, std::string> Outcomes(const std::string& out) {
        std::map<std::string, std::string> by;
        std::istringstream lines(out);
        // "MAC OLD-IP -> NEW-IP OUTCOME..."
        for (std::string l; std::getline(lines, l);) {
            std::istringstream words(l);
            std::string mac, old, arrow, target, outcome;
            if (words >> mac >> old >> arrow >> target && arrow == "->" &&
                std::getline(words >> std::ws, outcome) && !outcome.empty())
                by[mac] = target + " " + outcome;
        }
        return by;
    }
    // The simulator's "config result" lines, one per request it applied.
    std::vector<std::string> ConfigLog(const std::string& name) {
        std::vector<std::string> out;
        std::istringstream log(ReadFile(m_tag + "-" + name + ".log"));
        for (std::string l; std::getline(log, l);)
            if (l.find("config result") != std::string::npos)
                out.push_back(l);
        return out;
    }

    std::string m_tag;
    std::vector<test_support::SentLog> m_sent; // one per simulator, in the order started
    std::unique_ptr<test_support::SimulatorProcess> m_sim, m_leaving;
    // The fleet: m_count devices, the last in a simulator of its own.
    int m_count = kDevices;
    std::string (*m_device)(int) = DeviceJson;
    std::string m_password = "123456"; // what `--password -` reads
};

TEST_F(CommissionNetwork, PlanSkipsHeldAddressesAndApplyVerifiesEveryDevice) {
    const std::string plan = m_tag + "-plan.csv";
    ASSERT_EQ(Run({"plan", "--start", "10.77.0.100", "--mask", "255.255.255.0", "--gateway",
                   "10.77.0.1", "--seconds", "2"},
                  plan),
              0)
        << ReadFile(m_tag + "-err");
    const std::string err = ReadFile(m_tag + "-err");
    for (int i = 0; i < 5; ++i)
        EXPECT_NE(err.find("skipped 10.77.0." + std::to_string(100 + 2 * i) +
                           ": held by a listed device " + Mac(i)),
                  std::string::npos)
            << err;
    // Fifty addresses from .100 with five passed over: the last is .154.
    const std::string planText = ReadFile(plan);
    EXPECT_NE(planText.find(",ZVK_NVR,192.168.1.64,10.77.0.154,255.255.255.0,10.77.0.1,"),
              std::string::npos)
        << planText;

    // Standard error on a terminal shows the progress line; the outcome
    // lines go to standard output alone.
    int terminal = -1, slave = -1;
    ASSERT_EQ(openpty(&terminal, &slave, nullptr, nullptr, nullptr), 0);
    const std::string out = m_tag + "-out";
    const pid_t apply =
        Tool({"apply", plan, "--password", "-", "--output", m_tag + "-outcomes.csv"}, out,
             ttyname(slave));
    close(slave);
    std::string shown;
    std::thread reader([&] { // until the tool has ended and the terminal reads EIO
        char bytes[512];
        for (ssize_t n; (n = read(terminal, bytes, sizeof bytes)) > 0;)
            shown.append(bytes, static_cast<size_t>(n));
    });
    // The leaving device goes as soon as the batch is under way; the silent
    // device's three seconds come before its turn.
    for (int i = 0; i < 400 && ReadFile(out).find("refused (password)") == std::string::npos; ++i)
        std::this_thread::sleep_for(20ms);
    m_leaving->Stop();
    EXPECT_EQ(FinishProcess(apply), 1);
    reader.join();
    close(terminal);
    EXPECT_NE(shown.find("\r\033[K49/50 finished; "), std::string::npos) << shown;

    const auto outcomes = Outcomes(ReadFile(out));
    ASSERT_EQ(outcomes.size(), static_cast<size_t>(kDevices)) << ReadFile(out);
    int done = 0;
    for (int i = 0; i < kDevices; ++i) {
        const std::string& o = outcomes.at(Mac(i));
        if (i == kWrongPassword[0] || i == kWrongPassword[1])
            EXPECT_NE(o.find("refused (password)"), std::string::npos) << Mac(i) << o;
        else if (i == kSilent)
            EXPECT_NE(o.find("refused (no answer)"), std::string::npos) << o;
        else if (i == kLeaving)
            EXPECT_NE(o.find("gone"), std::string::npos) << o;
        else
            done += o.find(" done") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(done, kDevices - 4) << ReadFile(out);
    EXPECT_NE(ReadFile(out).find("summary: 50 devices: 46 done, 3 refused, 1 gone"),
              std::string::npos)
        << ReadFile(out);

    // Exactly one request each, the two wrong passwords refused; nothing
    // applied by the silent device or the one that left.
    const std::vector<std::string> log = ConfigLog("fleet");
    EXPECT_EQ(log.size(), static_cast<size_t>(kDevices - 2));
    for (int i = 0; i < kDevices; ++i) {
        int lines = 0;
        for (const std::string& l : log)
            lines += l.find(Mac(i)) != std::string::npos ? 1 : 0;
        const bool wrong = i == kWrongPassword[0] || i == kWrongPassword[1];
        EXPECT_EQ(lines, i == kSilent || i == kLeaving ? 0 : 1) << Mac(i);
        if (wrong) {
            EXPECT_NE(ReadFile(m_tag + "-fleet.log").find(Mac(i) + " config result 1"),
                      std::string::npos);
        }
    }
    EXPECT_TRUE(ConfigLog("leaving").empty());
    const std::string saved = ReadFile(m_tag + "-outcomes.csv");
    EXPECT_EQ(saved.find("123456"), std::string::npos);
    EXPECT_NE(saved.find(Mac(kSilent) + ","), std::string::npos);
}

TEST_F(CommissionNetwork, ExportEditImportApplyExportKeepsTheAddresses) {
    const std::string list = m_tag + "-out";
    ASSERT_EQ(Run({"list", "--format", "csv", "--seconds", "2"}, list), 0);
    std::istringstream rows(ReadFile(list));
    std::string header, row, edited;
    std::getline(rows, header);
    std::map<std::string, std::string> moved; // MAC -> new address
    while (std::getline(rows, row)) {
        std::string mac;
        for (int i : {30, 31, 32})
            if (row.find(Mac(i)) != std::string::npos)
                mac = Mac(i);
        if (mac.empty())
            continue;
        const std::string to = "10.77.0." + std::to_string(200 + moved.size());
        // Only the address and gateway cells change; the rest stays as exported.
        std::vector<std::string> cells = Split(row), names = Split(header);
        for (size_t c = 0; c < names.size() && c < cells.size(); ++c)
            if (names[c] == "ipAddr" || names[c] == "route")
                cells[c] = names[c] == "ipAddr" ? to : "10.77.0.1";
        row.clear();
        for (const std::string& c : cells)
            row += (row.empty() ? "" : ",") + c;
        moved[mac] = to;
        edited += row + "\n";
    }
    ASSERT_EQ(moved.size(), 3u) << ReadFile(list);
    std::ofstream(m_tag + "-edited.csv") << header << "\n" << edited;
    ASSERT_EQ(Run({"apply", m_tag + "-edited.csv", "--password", "-"}, m_tag + "-plan.csv"), 0)
        << ReadFile(m_tag + "-plan.csv") << ReadFile(m_tag + "-err");
    ASSERT_EQ(Run({"list", "--format", "csv", "--seconds", "2"}, list), 0);
    const std::string after = ReadFile(list);
    for (const auto& m : moved) {
        for (std::istringstream lines(after); std::getline(lines, row);) {
            if (row.find(m.first) != std::string::npos) {
                EXPECT_NE(row.find("," + m.second + ",255.255.255.0,"), std::string::npos) << row;
            }
        }
    }
    EXPECT_EQ(ConfigLog("fleet").size(), 3u);
}

TEST_F(CommissionNetwork, ABadPlanFileSendsNothing) {
    std::ofstream(m_tag + "-edited.csv") << "mac,newIp,newMask,newGateway\n"
                                         << Mac(0) << ",10.77.0.50,255.255.255.0,10.77.0.1\n"
                                         << Mac(1) << ",10.77.0.50,255.255.255.0,10.77.0.1\n";
    // 3: the plan is refused, nothing sent (2 is only ever a usage error).
    EXPECT_EQ(Run({"apply", m_tag + "-edited.csv", "--password", "-"}, m_tag + "-out"), 3);
    EXPECT_NE(ReadFile(m_tag + "-err").find("-edited.csv:3:"), std::string::npos)
        << ReadFile(m_tag + "-err");
    ASSERT_TRUE(SimulatorsCaughtUp());
    EXPECT_TRUE(ConfigLog("fleet").empty());
}

// A plan whose every line carries its device's password needs no password
// source: none is given, and standard input is no terminal.
TEST_F(CommissionNetwork, ApplyAsksNoPasswordWhenEveryLineHasOne) {
    const int other = kWrongPassword[0];
    std::ofstream(m_tag + "-own.csv")
        << "mac,newIp,newMask,newGateway,password\n"
        << Mac(other) << ",10.77.0.210,255.255.255.0,10.77.0.1,other\n"
        << Mac(30) << ",10.77.0.211,255.255.255.0,10.77.0.1,123456\n";
    EXPECT_EQ(Run({"apply", m_tag + "-own.csv"}, m_tag + "-out"), 0) << ReadFile(m_tag + "-err");
    EXPECT_EQ(ConfigLog("fleet").size(), 2u);
}

class ActivationNetwork : public CommissionNetwork {
protected:
    ActivationNetwork() {
        m_count = kActivationDevices;
        m_device = ActivationDeviceJson;
        m_password = kSitePassword;
    }
    // The simulators' activation lines for this MAC ("... activation result N").
    std::vector<std::string> ActivationLog(const std::string& mac) {
        std::vector<std::string> out;
        for (const char* name : {"fleet", "leaving"}) {
            std::istringstream log(ReadFile(m_tag + "-" + name + ".log"));
            for (std::string l; std::getline(log, l);)
                if (l.find(mac + " activation result") != std::string::npos)
                    out.push_back(l);
        }
        return out;
    }
    // MAC -> the outcome words of activate's lines ("MAC IP OUTCOME...").
    static std::map<std::string, std::string> Lines(const std::string& out) {
        std::map<std::string, std::string> by;
        std::istringstream lines(out);
        for (std::string l; std::getline(lines, l);) {
            std::istringstream words(l);
            std::string mac, ip, outcome;
            if (words >> mac >> ip && std::getline(words >> std::ws, outcome))
                by[mac] = outcome;
        }
        return by;
    }
};

TEST_F(ActivationNetwork, OnePasswordForASubnetSkipsActiveAndReportsEachDevice) {
    const std::string out = m_tag + "-out";
    EXPECT_EQ(Run({"activate", "--subnet", "10.77.0.0/24", "--password", "-", "--output",
                   m_tag + "-outcomes.csv", "--setup-codes", CodesFile()},
                  out),
              1)
        << ReadFile(out) << ReadFile(m_tag + "-err");
    const auto lines = Lines(ReadFile(out));
    for (int i = 0; i < kActivationDevices; ++i) {
        SCOPED_TRACE(Mac(i));
        const std::string want = i == kActive[0] || i == kActive[1] ? "skipped (already active)"
                                 : i == kActivationSilent           ? "refused (no answer)"
                                 : i == kNamedLikePassword          ? "refused (weak password)"
                                                                    : "done";
        ASSERT_EQ(lines.count(Mac(i)), 1u) << ReadFile(out);
        EXPECT_EQ(lines.at(Mac(i)), want);
        // Exactly one activation reached each device that got a request;
        // none reached one with a password or the one the rule refused.
        const bool reached = want == "done";
        EXPECT_EQ(ActivationLog(Mac(i)).size(), reached ? 1u : 0u);
        if (reached) {
            EXPECT_NE(ActivationLog(Mac(i))[0].find("result 0"), std::string::npos);
        }
    }
    EXPECT_NE(ReadFile(out).find("summary: 10 devices: 6 done, 2 refused, 2 skipped"),
              std::string::npos)
        << ReadFile(out);
    EXPECT_EQ(ReadFile(m_tag + "-outcomes.csv").find(kSitePassword), std::string::npos);
}

TEST_F(ActivationNetwork, GeneratedPasswordsGoToANewSecretFileFirst) {
    const std::string secret = m_tag + "-secret.csv";
    const std::string macs = Mac(0) + "," + Mac(1) + "," + Mac(kActive[0]);
    // Every device that needed a password got one: the one that has one does not count.
    EXPECT_EQ(Run({"activate", "--mac", macs, "--generate-passwords", secret, "--setup-codes",
                   CodesFile()},
                  m_tag + "-out"),
              0)
        << ReadFile(m_tag + "-out") << ReadFile(m_tag + "-err");
    struct stat st {};
    ASSERT_EQ(stat(secret.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // The header and the two devices that needed a password.
    std::map<std::string, std::string> passwords;
    std::istringstream rows(ReadFile(secret));
    std::string row;
    std::getline(rows, row);
    EXPECT_NE(row.find("mac,devName,productSeries,ipAddr,password"), std::string::npos) << row;
    while (std::getline(rows, row)) {
        const std::vector<std::string> cells = Split(row);
        ASSERT_EQ(cells.size(), 5u) << row;
        passwords[cells[0]] = cells[4];
    }
    ASSERT_EQ(passwords.size(), 2u);
    EXPECT_NE(passwords[Mac(0)], passwords[Mac(1)]);
    const auto lines = Lines(ReadFile(m_tag + "-out"));
    EXPECT_EQ(lines.at(Mac(0)), "done");
    EXPECT_EQ(lines.at(Mac(kActive[0])), "skipped (already active)");
    EXPECT_EQ(ReadFile(m_tag + "-out").find(passwords[Mac(0)]), std::string::npos);

    // The file's password is the device's now: a change of address with it is taken.
    m_password = passwords[Mac(0)];
    EXPECT_EQ(Run({"set-ip", Mac(0), "--ip", "10.77.0.60", "--mask", "255.255.255.0", "--gateway",
                   "10.77.0.1", "--password", "-"},
                  m_tag + "-out"),
              0)
        << ReadFile(m_tag + "-out");

    // A second batch to the same file is refused before anything is searched or sent.
    const std::string before = ReadFile(secret);
    EXPECT_EQ(Run({"activate", "--mac", Mac(2), "--generate-passwords", secret}, m_tag + "-out"),
              2);
    EXPECT_NE(ReadFile(m_tag + "-err").find("exists already"), std::string::npos);
    EXPECT_EQ(ReadFile(secret), before);
    EXPECT_TRUE(ActivationLog(Mac(2)).empty());
}

// One device and its label's code: a mistyped code is refused before
// anything is sent, another device's code is refused by the device and
// counted, the right one (typed loosely, from standard input after the
// password) activates, and after a restore the device wants it again. No
// code shows in the output.
TEST_F(ActivationNetwork, OneDeviceNeedsTheCodeOnItsLabelAgainAfterRestore) {
    const std::string code = LabelCode(Mac(0)), other = LabelCode(Mac(1));
    ASSERT_EQ(code.size(), 14u);
    ASSERT_NE(code, other);
    const std::string out = m_tag + "-out";
    const auto activate = [&](const std::string& typed) {
        return Run({"activate", Mac(0), "--password", "-", "--setup-code", typed}, out);
    };
    EXPECT_EQ(activate(code.substr(0, 12)), 2);
    EXPECT_NE(ReadFile(m_tag + "-err").find("not 12 characters"), std::string::npos)
        << ReadFile(m_tag + "-err");
    ASSERT_TRUE(SimulatorsCaughtUp());
    EXPECT_TRUE(ActivationLog(Mac(0)).empty());

    EXPECT_EQ(activate(other), 21) << ReadFile(out);
    EXPECT_NE(ReadFile(out).find("setup code is wrong"), std::string::npos) << ReadFile(out);
    ASSERT_EQ(ActivationLog(Mac(0)).size(), 1u);
    EXPECT_NE(ActivationLog(Mac(0))[0].find("result 7"), std::string::npos);

    // Lower case, spaces for dashes, and from standard input.
    std::string loose = code;
    for (char& c : loose)
        c = c == '-' ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    m_password = std::string(kSitePassword) + "\n" + loose;
    EXPECT_EQ(Run({"activate", Mac(0), "--password", "-", "--setup-code", "-"}, out), 0)
        << ReadFile(out) << ReadFile(m_tag + "-err");
    ASSERT_EQ(ActivationLog(Mac(0)).size(), 2u);
    EXPECT_NE(ActivationLog(Mac(0))[1].find("result 0"), std::string::npos);

    // The reset button, a restore, and the code is needed once more.
    std::ofstream(m_tag + "-fleet-control") << "press-reset " << Mac(0) << "\n";
    for (int i = 0;
         i < 200 && m_sim->Log().find(Mac(0) + " reset button pressed") == std::string::npos; ++i)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(Run({"restore", Mac(0)}, out), 0) << ReadFile(out);
    m_password = kSitePassword;
    EXPECT_EQ(activate(other), 21) << ReadFile(out);
    EXPECT_EQ(activate(code), 0) << ReadFile(out);
    const std::vector<std::string> log = ActivationLog(Mac(0));
    ASSERT_EQ(log.size(), 4u);
    EXPECT_NE(log[2].find("result 7"), std::string::npos);
    EXPECT_NE(log[3].find("result 0"), std::string::npos);
    for (const std::string& c : {code, other})
        EXPECT_EQ((ReadFile(out) + ReadFile(m_tag + "-err")).find(c), std::string::npos);
}

// Wrong codes count toward the device's lock like wrong passwords: the
// fifth locks it, and then even the right code is refused while the lock
// lasts.
TEST_F(ActivationNetwork, WrongCodesLockTheDevice) {
    const std::string out = m_tag + "-out";
    const auto activate = [&](const std::string& code) {
        return Run({"activate", Mac(3), "--password", "-", "--setup-code", code}, out);
    };
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(activate(LabelCode(Mac(4))), 21) << ReadFile(out);
    EXPECT_EQ(activate(LabelCode(Mac(4))), 16) << ReadFile(out);
    EXPECT_EQ(activate(LabelCode(Mac(3))), 16) << ReadFile(out);
    EXPECT_NE(ReadFile(out).find("wrong passwords or setup codes; try again in"), std::string::npos)
        << ReadFile(out);
}

// A batch takes the codes file's lines (a header, any separator); a device
// without a code is skipped and sent nothing; no code is printed.
TEST_F(ActivationNetwork, BatchCodesFileSkipsDevicesWithoutACode) {
    const std::string codes = m_tag + "-codes.csv";
    std::ofstream(codes) << "mac,setup_code\r\n"
                         << Mac(0) << "," << LabelCode(Mac(0)) << "\r\n"
                         << Mac(1) << ";" << LabelCode(Mac(1)) << "\r\n";
    const std::string out = m_tag + "-out";
    EXPECT_EQ(Run({"activate", "--mac", Mac(0) + "," + Mac(1) + "," + Mac(2), "--password", "-",
                   "--setup-codes", codes, "--output", m_tag + "-outcomes.csv"},
                  out),
              1)
        << ReadFile(out) << ReadFile(m_tag + "-err");
    const auto lines = Lines(ReadFile(out));
    EXPECT_EQ(lines.at(Mac(0)), "done");
    EXPECT_EQ(lines.at(Mac(1)), "done");
    EXPECT_EQ(lines.at(Mac(2)), "skipped (no setup code)");
    EXPECT_TRUE(ActivationLog(Mac(2)).empty());
    for (const std::string& text : {ReadFile(out), ReadFile(m_tag + "-outcomes.csv")})
        EXPECT_EQ(text.find(LabelCode(Mac(0))), std::string::npos);
}

// Refused before any search: a password against the rule, a MAC and a
// selection at once. Nothing reaches a device.
TEST_F(ActivationNetwork, BadArgumentsSendNothing) {
    const struct {
        std::vector<std::string> args;
        const char* password;
        const char* says;
    } cases[] = {
        {{"activate", "--subnet", "10.77.0.0/24", "--password", "-"}, "short", "breaks the rule"},
        {{"activate", "--subnet", "10.77.0.0/24", "--password", "-"}, "alllowercase", "rule"},
        {{"activate", Mac(0), "--mac", Mac(1), "--password", "-"}, kSitePassword, "not both"},
        {{"activate", "--subnet", "10.77.0/24", "--password", "-"}, kSitePassword, "--subnet"},
        {{"activate", "--subnet", "10.77.0.0/24", "--password", "-"},
         kSitePassword,
         "needs --setup-codes"},
        {{"activate", Mac(0), "--password", "-", "--setup-code", "ABCD-EFGH-JKD3"},
         kSitePassword,
         "mistyped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        m_password = c.password;
        EXPECT_EQ(Run(c.args, m_tag + "-out"), 2);
        EXPECT_NE(ReadFile(m_tag + "-err").find(c.says), std::string::npos)
            << ReadFile(m_tag + "-err");
    }
    ASSERT_TRUE(SimulatorsCaughtUp());
    for (int i = 0; i < kActivationDevices; ++i)
        EXPECT_TRUE(ActivationLog(Mac(i)).empty()) << Mac(i);
}

} // namespace

// A box-fresh fleet: every device at one factory address, named "IPC", no
// password yet; the labels' setup codes come from the simulators.
constexpr int kFreshDevices = 8;

std::string FreshDeviceJson(int i) {
    return R"({"mac": ")" + Mac(i) +
           R"(", "type": "ZVK_IPC", "ip": "192.168.1.64", "mask": "255.255.255.0", )"
           R"("gateway": "192.168.1.1", "devName": "IPC", "activated": 1, "ip2": "169.254.19.)" +
           std::to_string(i + 1) + "\"" +
           (i == 0 ? R"(, "clockStart": "2019-01-01T00:00:00Z")" : "") + "}"; // years off
}

class BoxFreshNetwork : public CommissionNetwork {
protected:
    BoxFreshNetwork() {
        m_count = kFreshDevices;
        m_device = FreshDeviceJson;
        m_password = kSitePassword;
    }
};

// One apply activates (generated passwords, the labels' codes), names and
// re-addresses every device, and sets the clock a line asks for (one years
// off), each verified. What the simulators hold afterwards is what the
// plan asked, and no password or setup code shows in any output.
TEST_F(BoxFreshNetwork, OneApplyActivatesNamesAndAddressesEveryDevice) {
    const std::string plan = m_tag + "-plan.csv", secret = m_tag + "-secret.csv";
    const auto name = [](int i) { return "Gate-North-0" + std::to_string(i + 1); };
    const auto address = [](int i) { return "10.77.0." + std::to_string(60 + i); };
    {
        std::ofstream out(plan);
        out << "mac,password,name,newIp,newMask,newGateway,ntp,timeZone\n";
        for (int i = 0; i < kFreshDevices; ++i)
            out << Mac(i) << ",(generate)," << name(i) << "," << address(i)
                << ",255.255.255.0,10.77.0.1," << (i == 0 ? "10.77.0.1,\"CET-1CEST,M3.5.0\"" : ",")
                << "\n";
    }
    const std::string out = m_tag + "-out";
    EXPECT_EQ(Run({"apply", plan, "--setup-codes", CodesFile(), "--generate-passwords", secret,
                   "--password", "-", "--output", m_tag + "-outcomes.csv"},
                  out),
              0)
        << ReadFile(out) << ReadFile(m_tag + "-err");
    EXPECT_EQ(ReadFile(m_tag + "-err").find("finished;"), std::string::npos); // not a terminal
    const auto outcomes = Outcomes(ReadFile(out));
    for (int i = 0; i < kFreshDevices; ++i)
        EXPECT_EQ(outcomes.count(Mac(i)) ? outcomes.at(Mac(i)) : "", address(i) + " done")
            << ReadFile(out);
    // Exactly one activation and one configuration request each (name and
    // address travel together), and the clock's own for the line that asks.
    std::map<std::string, std::string> passwords;
    std::istringstream rows(ReadFile(secret));
    for (std::string row; std::getline(rows, row);)
        if (Split(row).size() == 5)
            passwords[Split(row)[0]] = Split(row)[4];
    EXPECT_EQ(passwords.size(), static_cast<size_t>(kFreshDevices) + 1) << ReadFile(secret);
    size_t activations = 0;
    for (const char* sim : {"fleet", "leaving"}) {
        const std::string log = ReadFile(m_tag + "-" + sim + ".log");
        for (size_t at = log.find("activation result 0"); at != std::string::npos;
             at = log.find("activation result 0", at + 1))
            ++activations;
    }
    EXPECT_EQ(activations, static_cast<size_t>(kFreshDevices));
    EXPECT_EQ(ConfigLog("fleet").size() + ConfigLog("leaving").size(),
              static_cast<size_t>(kFreshDevices) + 1);
    // A new search sees every device activated, named and at its address.
    ASSERT_EQ(Run({"list", "--format", "csv", "--seconds", "2"}, m_tag + "-out"), 0);
    const std::string list = ReadFile(m_tag + "-out");
    for (int i = 0; i < kFreshDevices; ++i) {
        std::string row;
        for (std::istringstream lines(list); std::getline(lines, row);)
            if (row.find(Mac(i)) != std::string::npos)
                break;
        EXPECT_EQ(row.rfind(name(i) + "," + address(i) + ",255.255.255.0,169.254.19." +
                                std::to_string(i + 1) + ",10.77.0.1,",
                            0),
                  0u)
            << row;
        EXPECT_NE(row.find(",activated,"), std::string::npos) << row;
    }
    std::vector<std::string> secrets;
    for (int i = 0; i < kFreshDevices; ++i)
        secrets.push_back(passwords[Mac(i)]);
    std::istringstream labels(ReadFile(CodesFile()));
    for (std::string row; std::getline(labels, row);)
        if (Split(row).size() == 2)
            secrets.push_back(Split(row)[1]);
    for (const std::string& file : {out, m_tag + "-err", m_tag + "-outcomes.csv"})
        for (const std::string& s : secrets)
            EXPECT_EQ(ReadFile(file).find(s), std::string::npos) << file;
}
