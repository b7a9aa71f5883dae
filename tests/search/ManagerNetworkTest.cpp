// The manager and lorvex-search against the real search library and the
// device simulator, inside the private network that scripts/netns-run makes
// (40 devices on two subnets). Every test refuses to run unless it sits in
// that namespace, so nothing here can send multicast on a real network.

#include "LorvexManage.h"
#include "LorvexSearch.h"
#include "SentLog.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
constexpr size_t kFleet = 40; // as given to netns-run in CMakeLists.txt

// Only veth0 with 10.77.0.2 may carry multicast here.
bool InPrivateNetwork() {
    if (!std::getenv("LORVEX_NETNS_HOST") || !std::getenv("LORVEX_NETNS_DEVICES"))
        return false;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    int others = 0, veth = 0;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || std::string(i->ifa_name) == "lo")
            continue;
        const auto* in = reinterpret_cast<sockaddr_in*>(i->ifa_addr);
        (std::string(i->ifa_name) == "veth0" && in->sin_addr.s_addr == htonl(0x0A4D0002))
            ? ++veth
            : ++others;
    }
    freeifaddrs(list);
    return veth == 1 && others == 0;
}

// Starts argv; the child is ended when this goes.
class Child {
public:
    explicit Child(std::vector<std::string> argv, const std::string& out = "") {
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        if (!out.empty())
            posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                             0600);
        std::vector<char*> raw;
        for (std::string& a : argv)
            raw.push_back(&a[0]);
        raw.push_back(nullptr);
        if (posix_spawnp(&m_pid, raw[0], &files, nullptr, raw.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&files);
    }
    ~Child() {
        if (m_pid > 0)
            kill(m_pid, SIGTERM), Wait();
    }
    int Wait() {
        int status = -1;
        if (m_pid > 0 && waitpid(m_pid, &status, 0) == m_pid)
            m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
};

// Records every update and lets the test wait for a condition on them.
class Events : public CObserver<SEARCH_INFO> {
public:
    void Update(SEARCH_INFO info, CObservable<SEARCH_INFO>*) override {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_records.push_back(info);
        m_changed.notify_all();
    }
    // MACs reported with this event kind so far, and how often in total.
    std::set<std::string> Macs(int event, size_t* total = nullptr) {
        std::lock_guard<std::mutex> hold(m_mutex);
        std::set<std::string> out;
        size_t n = 0;
        for (const SEARCH_INFO& r : m_records)
            if (r.event == event)
                out.insert(r.mac), ++n;
        if (total)
            *total = n;
        return out;
    }
    bool WaitFor(std::chrono::milliseconds limit, const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::unique_lock<std::mutex> hold(m_mutex);
            m_changed.wait_for(hold, 50ms);
        }
        return true;
    }
    void Clear() {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_records.clear();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<SEARCH_INFO> m_records;
};

class ManagerNetwork : public ::testing::Test {
protected:
    void SetUp() override {
        if (!InPrivateNetwork())
            GTEST_SKIP() << "not inside the private network of scripts/netns-run";
    }
    // Starts the manager as the window does, with the given interval.
    void Start(int interval) {
        manager.Attach(&events);
        manager.Init();
        manager.SetAutoSearch(interval);
        manager.RefreshSearch(false);
    }
    void TearDown() override {
        manager.Detach(&events);
        manager.Shutdown();
    }
    bool WaitNew(size_t n, std::chrono::milliseconds limit) {
        return events.WaitFor(limit, [&] { return events.Macs(SEARCH_EVENT_NEW).size() >= n; });
    }
    // Returns once the manager has handled every datagram the fleet's
    // simulator sent before this call: a request that the first device
    // refuses (its body is empty) is answered by that simulator after them
    // on the same link, and its result reaches the manager after them.
    bool Barrier() {
        manager.ResetSetIPResult();
        unsigned char mac[6];
        CLorvexManage::MacBytesOf("02:4C:56:00:00:01", mac);
        LORVEX_SET_CONFIG(mac, "");
        return events.WaitFor(3000ms, [&] { return manager.GetSetIPResult() != -1; });
    }
    CLorvexManage manager;
    Events events;
};

TEST_F(ManagerNetwork, FindsEveryDeviceOnBothSubnetsOnce) {
    ASSERT_TRUE(std::getenv("LORVEX_DEVSIM_SENT_LOG")) << "needs scripts/netns-run --sent-log";
    test_support::SentLog sent(std::getenv("LORVEX_DEVSIM_SENT_LOG"));
    sent.Mark();
    Start(5);
    ASSERT_TRUE(WaitNew(kFleet, 3000ms)) << events.Macs(SEARCH_EVENT_NEW).size();
    // Every device answered both probes of the first round; the answers to
    // the repeated probe must not make a device new a second time.
    ASSERT_TRUE(sent.WaitForRound(2 * kFleet, 3000ms));
    ASSERT_TRUE(Barrier());
    size_t total = 0;
    EXPECT_EQ(events.Macs(SEARCH_EVENT_NEW, &total).size(), kFleet);
    EXPECT_EQ(total, kFleet);
    std::set<std::string> subnets;
    for (const SEARCH_INFO& d : manager.GetDevices())
        subnets.insert(std::string(d.ipAddr).substr(0, std::string(d.ipAddr).rfind('.')));
    EXPECT_EQ(subnets, (std::set<std::string>{"192.168.1", "172.16.5"}));
    EXPECT_EQ(manager.GetDeviceCount(), kFleet);
}

TEST_F(ManagerNetwork, EveryRefreshReportsTheFleetAgain) {
    Start(30);
    ASSERT_TRUE(WaitNew(kFleet, 3000ms));
    for (bool manual : {true, false}) {
        events.Clear();
        manager.RefreshSearch(manual);
        EXPECT_TRUE(WaitNew(kFleet, 3000ms)) << "manual " << manual;
        EXPECT_EQ(manager.GetDeviceCount(), kFleet);
    }
}

// Three more devices that stop answering after a second: gone after the
// missed automatic rounds, and no longer in the list.
TEST_F(ManagerNetwork, DevicesThatVanishAreReportedGone) {
    Child sim({"ip", "netns", "exec", std::getenv("LORVEX_NETNS_DEVICES"),
               std::getenv("LORVEX_DEVSIM"), "--count", "3", "--first-mac", "02:4C:57:00:00:01",
               "--subnet", "10.9.0.0/24", "--vanish-after", "1.5"});
    Start(1);
    ASSERT_TRUE(WaitNew(kFleet + 3, 3000ms));
    const bool gone =
        events.WaitFor(10000ms, [&] { return events.Macs(SEARCH_EVENT_GONE).size() >= 3; });
    ASSERT_TRUE(gone);
    EXPECT_EQ(
        events.Macs(SEARCH_EVENT_GONE),
        (std::set<std::string>{"02:4C:57:00:00:01", "02:4C:57:00:00:02", "02:4C:57:00:00:03"}));
    EXPECT_EQ(manager.GetDeviceCount(), kFleet);
    SEARCH_INFO info;
    EXPECT_FALSE(manager.FindDevice("02:4c:57:00:00:02", &info));
}

// A flood of 20,000 answers a second from random MACs (some malformed) while
// the window side refreshes and observers come and go: the real fleet is
// still found after a refresh, and a detached observer hears nothing.
TEST_F(ManagerNetwork, FleetIsFoundDuringAFloodWithRefreshesAndObserverChurn) {
    Child flood({"ip", "netns", "exec", std::getenv("LORVEX_NETNS_DEVICES"),
                 std::getenv("LORVEX_DEVSIM"), "--count", "0", "--flood", "20000"});
    Start(1);
    struct Late : CObserver<SEARCH_INFO> {
        void Update(SEARCH_INFO, CObservable<SEARCH_INFO>*) override { late += detached.load(); }
        std::atomic<bool> detached{true};
        std::atomic<int> late{0};
    } transient;
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        while (!stop) {
            transient.detached = false;
            manager.Attach(&transient);
            std::this_thread::sleep_for(1ms);
            manager.Detach(&transient);
            transient.detached = true;
        }
    });
    SEARCH_INFO info;
    for (int i = 0; i < 30; ++i) {
        manager.RefreshSearch(i % 2 == 0);
        manager.FindDevice("02:4C:56:00:00:01", &info);
        std::this_thread::sleep_for(100ms);
    }
    events.Clear();
    manager.RefreshSearch(false);
    EXPECT_TRUE(WaitNew(kFleet, 3000ms)) << events.Macs(SEARCH_EVENT_NEW).size();
    stop = true;
    churn.join();
    EXPECT_EQ(transient.late.load(), 0);
    for (const std::string& mac : events.Macs(SEARCH_EVENT_NEW))
        EXPECT_TRUE(CLorvexManage::NormalizeMac(mac.c_str(), info.mac)) << mac;
}

TEST(LorvexSearchTool, ListPrintsTheWholeFleetAsJson) {
    if (!InPrivateNetwork())
        GTEST_SKIP() << "not inside the private network of scripts/netns-run";
    const std::string out = "/tmp/lvx-list-" + std::to_string(getpid()) + ".json";
    Child tool({std::getenv("LORVEX_SEARCH_TOOL"), "list", "--seconds", "2.5", "--format", "json"},
               out);
    ASSERT_EQ(tool.Wait(), 0);
    std::ifstream in(out);
    const auto doc = nlohmann::json::parse(in);
    std::remove(out.c_str());
    ASSERT_EQ(doc.size(), kFleet);
    std::set<std::string> macs;
    for (const auto& d : doc)
        macs.insert(d["mac"].get<std::string>());
    EXPECT_EQ(macs.size(), kFleet);
    EXPECT_TRUE(doc[0].contains("softwareBulildDate"));
}

} // namespace
