// The manager under load from several threads at once: events pour in while
// the window side refreshes, changes the interval, looks devices up and
// observers come and go. Meant to be run under ThreadSanitizer as well.

#include "LorvexManage.h"
#include "LorvexSearch.h"
#include "LorvexSearchRecorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Answer(int n) {
    return "<multicastSearchResult><productInfo><productSeries>ZVK_NVR</productSeries><devName>d" +
           std::to_string(n) + "</devName></productInfo></multicastSearchResult>";
}

std::string Mac(int n) {
    char text[18];
    std::snprintf(text, sizeof text, "02:00:00:00:%02X:%02X", (n >> 8) & 0xFF, n & 0xFF);
    return text;
}

// Counts updates, and those that arrive while it is known to be detached.
class Watcher : public CObserver<SEARCH_INFO> {
public:
    void Update(SEARCH_INFO info, CObservable<SEARCH_INFO>*) override {
        if (detached.load())
            lateUpdates.fetch_add(1);
        if (info.mac[0] != '\0')
            updates.fetch_add(1);
    }
    std::atomic<bool> detached{true};
    std::atomic<long> updates{0};
    std::atomic<long> lateUpdates{0};
};

TEST(ManagerThreads, EventsRefreshesAndObserverChangesRunTogether) {
    recorder::Reset();
    CLorvexManage manager;
    Watcher steady, transient;
    manager.Attach(&steady);
    manager.Init();
    std::atomic<bool> stop{false};
    auto injector = [&](int offset) {
        for (int round = 0; round < 30; ++round)
            for (int n = 0; n < 500; ++n) {
                const std::string mac = Mac(offset + n), xml = Answer(n + round);
                recorder::Inject(mac.c_str(), 1 + (n + round) % 3, xml.c_str());
            }
    };
    auto window = [&] {
        SEARCH_INFO info;
        for (int i = 0; !stop.load(); ++i) {
            if (i % 3 == 0)
                manager.RefreshSearch(i % 2 == 0);
            if (i % 3 == 1)
                manager.SetAutoSearch(i % 4 == 1 ? 0 : 5);
            manager.FindDevice(Mac(i % 1000).c_str(), &info);
            if (i % 50 == 0)
                manager.GetDevices();
        }
    };
    auto churn = [&] {
        while (!stop.load()) {
            transient.detached = false;
            manager.Attach(&transient);
            manager.Attach(&steady);
            manager.Detach(&transient);
            transient.detached = true;
            std::this_thread::yield();
        }
    };
    std::thread w(window), c(churn);
    std::thread a(injector, 0), b(injector, 250);
    a.join();
    b.join();
    stop = true;
    w.join();
    c.join();
    EXPECT_EQ(transient.lateUpdates.load(), 0);
    EXPECT_GT(steady.updates.load(), 0);

    // Still consistent afterwards: a refresh and fresh answers give exact counts.
    manager.RefreshSearch(true);
    const long before = steady.updates.load();
    for (int n = 0; n < 200; ++n)
        recorder::Inject(Mac(n).c_str(), LORVEX_SEARCH_EVENT_ANSWER, Answer(n).c_str());
    EXPECT_EQ(manager.GetDeviceCount(), 200u);
    EXPECT_EQ(steady.updates.load() - before, 200);
    manager.Detach(&steady);
    manager.Shutdown();
}

} // namespace
