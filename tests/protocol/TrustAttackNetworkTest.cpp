// Attacks on the search protocol from a second host on the link: the
// attacker (tests/support/attacker, its own encoding of docs/protocol.md)
// runs in the device namespace from an address of its own, 10.77.0.9, the
// simulator beside it, the tool (the library in this process, or the
// command line) in the host namespace.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "LorvexSearch.h"
#include "PrivateNetwork.h"
#include "SearchWire.h"
#include "SentLog.h"
#include "SimulatorProcess.h"
#include "TrustWire.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test_support::ReadFile;
using test_support::SentLine;
using test_support::SentLog;

constexpr char kAttackerAddress[] = "10.77.0.9";

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

lorvex::wire::MacBytes Mac(const std::string& text) {
    lorvex::wire::MacBytes m{};
    lorvex::wire::ParseMac(text, &m);
    return m;
}

std::string SetIpXml(const std::string& password, const std::string& ip) {
    return "<searchSetIP password=\"" + password + "\" ipAddr=\"" + ip +
           "\" maskAddr=\"255.255.255.0\" route=\"10.77.0.1\" dhcpSwitch=\"false\"/>";
}

struct Event {
    std::string mac;
    int code;
    std::string xml;
};

// Every callback of the library, for the test to wait on.
class Recorder {
public:
    static void Callback(char* mac, int code, const char* xml, void* user) {
        auto* self = static_cast<Recorder*>(user);
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_events.push_back({mac, code, xml});
        self->m_cv.notify_all();
    }
    bool WaitFor(std::chrono::milliseconds limit,
                 const std::function<bool(const std::vector<Event>&)>& done) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, limit, [&] { return done(m_events); });
    }
    std::vector<Event> Take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_events, {});
    }
    static std::set<std::string> Macs(const std::vector<Event>& ev, int code) {
        std::set<std::string> out;
        for (const Event& e : ev)
            if (e.code == code)
                out.insert(e.mac);
        return out;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Event> m_events;
};

// The result document's setIPResult for `mac`, "none" when none came.
std::string ResultFor(Recorder& rec, const std::string& mac) {
    std::string result = "none";
    rec.WaitFor(3000ms, [&](const std::vector<Event>& ev) {
        for (const Event& e : ev) {
            const auto at = e.xml.find("<setIPResult>");
            if (e.code != LORVEX_SEARCH_EVENT_CONFIG || e.mac != mac || at == std::string::npos)
                continue;
            result = e.xml.substr(at + 13, e.xml.find('<', at + 13) - at - 13);
            return true;
        }
        return false;
    });
    rec.Take();
    return result;
}

class Attack : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        if (Env("LORVEX_NETNS_DEVICES").empty() || Env("LORVEX_DEVSIM").empty() ||
            Env("LORVEX_ATTACKER").empty())
            GTEST_SKIP() << "LORVEX_NETNS_DEVICES, LORVEX_DEVSIM or LORVEX_ATTACKER not set";
        // The attacker's own address on the link, inside the device namespace.
        RunIp(("ip -n " + Env("LORVEX_NETNS_DEVICES") + " addr replace " + kAttackerAddress +
               "/24 dev veth1")
                  .c_str());
        m_tag = "/tmp/lvx-attack-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    void TearDown() override {
        StopAttacker();
        LORVEX_SEARCH_Quit();
        m_sims.clear();
        for (const char* end : {"-attacker", "-control", "-pw", "-out", "-err"})
            std::remove((m_tag + end).c_str());
    }
    // A simulator of `fleet` in the device namespace, with a sent log and a
    // control FIFO (m_tag-NAME-sent, m_tag-control).
    test_support::SimulatorProcess& StartSim(const std::string& name, const std::string& fleet,
                                             std::vector<std::string> args = {}) {
        m_logs.emplace_back(m_tag + "-" + name + "-sent");
        args.insert(args.end(),
                    {"--sent-log", m_logs.back().Path(), "--control", m_tag + "-control"});
        m_sims.push_back(
            std::make_unique<test_support::SimulatorProcess>(m_tag + "-" + name, fleet, args));
        EXPECT_TRUE(m_sims.back()->Ready()) << "the simulator did not start";
        return *m_sims.back();
    }
    void StartAttacker(const std::string& mode, const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"ip",
                                         "netns",
                                         "exec",
                                         Env("LORVEX_NETNS_DEVICES"),
                                         Env("LORVEX_ATTACKER"),
                                         mode,
                                         "--from",
                                         kAttackerAddress,
                                         "--out",
                                         m_tag + "-attacker"};
        argv.insert(argv.end(), args.begin(), args.end());
        m_attacker = test_support::StartProcess(argv, "/dev/null", "", "");
        ASSERT_GT(m_attacker, 0);
        ASSERT_TRUE(WaitForAttacker("ready", 5s)) << "the attacker did not start";
    }
    void StopAttacker() {
        if (m_attacker > 0)
            kill(m_attacker, SIGTERM);
        test_support::FinishProcess(std::exchange(m_attacker, -1));
    }
    // The attacker's output lines that start with `what`.
    std::vector<std::string> AttackerSaid(const std::string& what) {
        std::vector<std::string> out;
        std::istringstream lines(ReadFile(m_tag + "-attacker"));
        for (std::string l; std::getline(lines, l);)
            if (l.rfind(what, 0) == 0)
                out.push_back(l);
        return out;
    }
    bool WaitForAttacker(const std::string& line, std::chrono::milliseconds limit) {
        for (const auto end = Clock::now() + limit; Clock::now() < end;) {
            for (const std::string& l : AttackerSaid(line))
                if (l == line || l.rfind(line, 0) == 0)
                    return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    void PressReset(const std::string& mac) {
        m_logs.front().Mark();
        std::ofstream(m_tag + "-control") << "press-reset " << mac << "\n";
        EXPECT_TRUE(m_logs.front().WaitFor(3s, [&](const std::vector<SentLine>& lines) {
            for (const SentLine& l : lines)
                if (l.what == "reset" && l.mac == mac)
                    return true;
            return false;
        }));
    }
    void StartLibrary() { LORVEX_SEARCH_Initial(&Recorder::Callback, &m_rec, 96); }

    std::string m_tag;
    std::vector<SentLog> m_logs; // one per simulator, in the order started
    std::vector<std::unique_ptr<test_support::SimulatorProcess>> m_sims;
    pid_t m_attacker = -1;
    Recorder m_rec;
};

// The activation race: a host that activates every new device, and every
// device just restored, with its own password, as fast as it hears one.
// Without the code on the label it gets nowhere; the installer's activation
// with the code then takes.
TEST_F(Attack, TheActivationRaceIsLostWithoutTheSetupCode) {
    const std::string fresh = "02:AC:00:00:00:01", restored = "02:AC:00:00:00:02";
    const std::string freshCode = lorvex::trust::SetupCodeFromBits(0xACE1);
    const std::string restoredCode = lorvex::trust::SetupCodeFromBits(0xACE2);
    StartSim("fleet", R"({"devices": [{"mac": ")" + fresh +
                          R"(", "type": "ZVK_IPC", "activated": 1, "setupCode": ")" + freshCode +
                          R"("}, {"mac": ")" + restored +
                          R"(", "type": "ZVK_IPC", "password": "Site#2026a", "setupCode": ")" +
                          restoredCode + R"("}]})");
    StartAttacker("activate", {"--seconds", "60", "--password", "Attacker#2026"});
    StartLibrary();
    LORVEX_SEARCH_StartAuto(1);
    ASSERT_TRUE(m_rec.WaitFor(3s, [](const std::vector<Event>& ev) {
        return Recorder::Macs(ev, LORVEX_SEARCH_EVENT_ANSWER).size() == 2;
    }));
    ASSERT_TRUE(WaitForAttacker("activation " + fresh, 10s)) << "the attacker never raced";
    EXPECT_EQ(AttackerSaid("activation " + fresh),
              std::vector<std::string>{"activation " + fresh + " 7"});
    m_rec.Take();
    LORVEX_TRUST_Activate(Mac(fresh).data(), "Installer#1a", freshCode.c_str());
    EXPECT_EQ(ResultFor(m_rec, fresh), "0");

    PressReset(restored);
    ASSERT_EQ(LORVEX_TRUST_Restore(Mac(restored).data()), 0);
    ASSERT_TRUE(WaitForAttacker("activation " + restored, 10s)) << "no race for the restored one";
    EXPECT_EQ(AttackerSaid("activation " + restored),
              std::vector<std::string>{"activation " + restored + " 7"});
    m_rec.Take();
    LORVEX_TRUST_Activate(Mac(restored).data(), "Installer#2b", restoredCode.c_str());
    EXPECT_EQ(ResultFor(m_rec, restored), "0");
    // The devices open with the installer's passwords, not the attacker's.
    for (const auto& [mac, password, result] :
         {std::tuple{fresh, "Attacker#2026", "1"}, std::tuple{fresh, "Installer#1a", "0"},
          std::tuple{restored, "Installer#2b", "0"}}) {
        LORVEX_SET_CONFIG(Mac(mac).data(), SetIpXml(password, "10.77.0.60").c_str());
        EXPECT_EQ(ResultFor(m_rec, mac), result) << mac << " " << password;
    }
}

// Junk bursts with an impersonator: after every probe, 5,000 answers from
// made-up devices with random keys, signatures and tags, and an authentic
// answer of the attacker's own key for a certified device's MAC. Every real
// device, certified or not, is listed in each of five lists; the
// impersonated MAC is flagged and its record stays the certified device's.
TEST_F(Attack, JunkBurstsKeepNoRealDeviceOutAndTheImpersonatorIsFlagged) {
    std::string fleet = R"({"devices": [)";
    std::set<std::string> real;
    for (int i = 0; i < 30; ++i) {
        char mac[18];
        std::snprintf(mac, sizeof mac, "02:AD:00:00:00:%02X", i + 1);
        real.insert(mac);
        fleet += std::string(i ? "," : "") + R"({"mac": ")" + mac + R"(", "type": "ZVK_IPC")" +
                 (i >= 20 ? R"(, "certified": false})" : "}");
    }
    StartSim("fleet", fleet + "]}");
    const std::string impersonated = "02:AD:00:00:00:01";
    StartAttacker("junk", {"--seconds", "120", "--count", "5000", "--impersonate", impersonated});
    StartLibrary();
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    for (int list = 0; list < 5; ++list) {
        LORVEX_SEARCH_Manual();
        EXPECT_TRUE(m_rec.WaitFor(2000ms,
                                  [&](const std::vector<Event>& ev) {
                                      return Recorder::Macs(ev, LORVEX_SEARCH_EVENT_ANSWER) == real;
                                  }))
            << "list " << list << ": "
            << Recorder::Macs(m_rec.Take(), LORVEX_SEARCH_EVENT_ANSWER).size() << " of 30";
        std::this_thread::sleep_for(2000ms); // the round's own time, junk and all
        for (const Event& e : m_rec.Take()) {
            EXPECT_EQ(real.count(e.mac), 1u) << e.mac;
            EXPECT_EQ(e.xml.find("10.99.99.99"), std::string::npos) << "the impostor's record";
        }
    }
    getrusage(RUSAGE_SELF, &after);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    const std::size_t bursts = AttackerSaid("burst").size();
    EXPECT_GE(bursts, 10u) << "the attacker sent fewer bursts than the lists had probes";
    std::cout << "tool CPU for " << bursts * 5000 << " junk answers in 5 lists: "
              << ms(after.ru_utime) + ms(after.ru_stime) - ms(before.ru_utime) - ms(before.ru_stime)
              << " ms\n";
    EXPECT_EQ(LORVEX_TRUST_Identity(Mac(impersonated).data(), nullptr), LORVEX_IDENTITY_CONFLICT);
}

// Random-key probes at 4,000 a second from another host: the device answers
// them only within that host's budget, keeps no table they could fill, and
// the installer's set-ip (a new process, a new tool key) succeeds.
TEST_F(Attack, SetIpSucceedsWhileAnotherHostProbesWithRandomKeys) {
    if (Env("LORVEX_SEARCH_TOOL").empty())
        GTEST_SKIP() << "LORVEX_SEARCH_TOOL not set";
    const std::string camera = "02:AE:00:00:00:01";
    StartSim("fleet",
             R"({"devices": [{"mac": ")" + camera +
                 R"(", "type": "ZVK_IPC", "password": "Site#2026a", "ip": "10.77.0.50"}]})");
    StartAttacker("probe-flood", {"--seconds", "30", "--rate", "4000"});
    std::this_thread::sleep_for(1s); // the flood is on before the installer starts
    std::ofstream(m_tag + "-pw") << "Site#2026a\n";
    const int code = test_support::FinishProcess(test_support::StartProcess(
        {Env("LORVEX_SEARCH_TOOL"), "set-ip", camera, "--ip", "10.77.0.71", "--mask",
         "255.255.255.0", "--gateway", "10.77.0.1", "--password", "-"},
        m_tag + "-pw", m_tag + "-out", m_tag + "-err"));
    EXPECT_EQ(code, 0) << ReadFile(m_tag + "-out") << ReadFile(m_tag + "-err");
    // The device turned the flood away within its budget, and said so.
    EXPECT_TRUE(m_logs.front().WaitFor(3s, [&](const std::vector<SentLine>& lines) {
        for (const SentLine& l : lines)
            if (l.what == "limited" && l.mac == camera && l.result > 100)
                return true;
        return false;
    })) << "the simulator logged no answers left out for the flood";
}

// Harvested answers: the attacker watches the tool's round identifiers,
// predicts the next ones as a 32-bit-seeded Mersenne Twister would give
// them, collects the device's answers to them in advance and replays them
// after the device has left. The identifiers come from libsodium: nothing
// it collected matches a later round, and the departed device is reported
// gone in the usual time.
TEST_F(Attack, AHarvestedAnswerNeverKeepsADepartedDeviceListed) {
    const std::string leaving = "02:AF:00:00:00:01";
    StartSim("staying", R"({"devices": [{"mac": "02:AF:00:00:00:02", "type": "ZVK_NVR"}]})");
    StartSim("leaving", R"({"devices": [{"mac": ")" + leaving + R"(", "type": "ZVK_IPC"}]})");
    StartAttacker("harvest",
                  {"--seconds", "60", "--target", leaving, "--observe", "624", "--predict", "64"});
    StartLibrary();
    // Many rounds in quick succession, each with an identifier of its own.
    for (int i = 0; i < 700; ++i) {
        LORVEX_SEARCH_Manual();
        std::this_thread::sleep_for(5ms);
    }
    WaitForAttacker("harvested", 5s);
    m_sims.back()->Stop(); // the device leaves
    m_rec.Take();
    LORVEX_SEARCH_StartAuto(1);
    EXPECT_TRUE(
        m_rec.WaitFor(10s,
                      [&](const std::vector<Event>& ev) {
                          return Recorder::Macs(ev, LORVEX_SEARCH_EVENT_GONE).count(leaving) == 1;
                      }))
        << "kept listed; the attacker said:\n"
        << ReadFile(m_tag + "-attacker");
}

} // namespace
