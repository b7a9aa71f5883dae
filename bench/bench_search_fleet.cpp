// Time from RefreshSearch to the last device's event 0 at the observer,
// against the real library and a simulated fleet. Runs only inside the
// private network of scripts/netns-run (bench/search-fleet starts it).
//   bench_search_fleet N [ROUNDS] [LIMIT_SECONDS]
// Counts only the fleet's MACs (02:...); flood answers (06:...) are tallied
// apart. Prints one line per round and the process's peak memory.

#include <ifaddrs.h>
#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>

#include "LorvexManage.h"

namespace {

using Clock = std::chrono::steady_clock;

bool InPrivateNetwork() {
    if (!std::getenv("LORVEX_NETNS_HOST"))
        return false;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool only = true, found = false;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET ||
            std::strcmp(i->ifa_name, "lo") == 0)
            continue;
        const bool ours =
            std::strcmp(i->ifa_name, "veth0") == 0 &&
            reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr == htonl(0x0A4D0002);
        found |= ours;
        only &= ours;
    }
    freeifaddrs(list);
    return found && only;
}

// Records when the last new fleet device of the round arrived.
class Clocker : public CObserver<SEARCH_INFO> {
public:
    void Update(SEARCH_INFO info, CObservable<SEARCH_INFO>*) override {
        std::lock_guard<std::mutex> hold(m_mutex);
        if (info.event != SEARCH_EVENT_NEW)
            return;
        if (std::strncmp(info.mac, "02:", 3) != 0) {
            ++m_flood;
            return;
        }
        if (m_seen.insert(info.mac).second)
            m_last = Clock::now();
    }
    void Reset() {
        std::lock_guard<std::mutex> hold(m_mutex);
        m_seen.clear();
        m_flood = 0;
    }
    size_t Seen(Clock::time_point* last, long* flood) {
        std::lock_guard<std::mutex> hold(m_mutex);
        *last = m_last;
        *flood = m_flood;
        return m_seen.size();
    }

private:
    std::mutex m_mutex;
    std::unordered_set<std::string> m_seen;
    Clock::time_point m_last;
    long m_flood = 0;
};

long PeakRssKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 6, "VmHWM:") == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// One round: refresh, then wait for all n or the limit.
void Round(CLorvexManage& manager, Clocker& clocker, int round, size_t n, double limit) {
    clocker.Reset();
    const auto start = Clock::now();
    manager.RefreshSearch(false);
    Clock::time_point last;
    long flood = 0;
    size_t seen = 0;
    while ((seen = clocker.Seen(&last, &flood)) < n &&
           Clock::now() - start < std::chrono::duration<double>(limit))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const double ms = std::chrono::duration<double, std::milli>(last - start).count();
    std::printf(
        "round %d: %zu/%zu found, lost %zu, last event 0 after %.0f ms, flood answers %ld\n", round,
        seen, n, n - seen, seen ? ms : -1.0, flood);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return std::fputs("usage: bench_search_fleet N [ROUNDS] [LIMIT_SECONDS]\n", stderr), 2;
    if (!InPrivateNetwork())
        return std::fputs("bench_search_fleet: not inside netns-run\n", stderr), 77;
    const size_t n = std::strtoul(argv[1], nullptr, 10);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const double limit = argc > 3 ? std::atof(argv[3]) : 5.0;
    CLorvexManage manager;
    Clocker clocker;
    manager.Attach(&clocker);
    manager.Init();
    manager.SetAutoSearch(30); // one round per refresh within the measurement
    for (int r = 1; r <= rounds; ++r) {
        Round(manager, clocker, r, n, limit);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
    std::printf("devices in the manager's list: %zu, peak memory %ld kB\n",
                manager.GetDeviceCount(), PeakRssKb());
    manager.Detach(&clocker);
    manager.Shutdown();
    return 0;
}
