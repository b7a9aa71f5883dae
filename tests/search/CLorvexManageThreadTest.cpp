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

// The library's codes the injectors cycle through: each named one, and one
// the library never sends, which the manager must ignore.
constexpr int kCodes[] = {LORVEX_SEARCH_EVENT_ANSWER, LORVEX_SEARCH_EVENT_CHANGED,
                          LORVEX_SEARCH_EVENT_GONE, LORVEX_SEARCH_EVENT_CONFIG, 7};
constexpr int kCodeCount = sizeof kCodes / sizeof kCodes[0];

// Counts updates, those of each kind, those of no kind the manager reports,
// and those that arrive while it is known to be detached.
class Watcher : public CObserver<SEARCH_INFO> {
public:
    void Update(SEARCH_INFO info, CObservable<SEARCH_INFO>*) override {
        if (detached.load())
            lateUpdates.fetch_add(1);
        if (info.mac[0] != '\0')
            updates.fetch_add(1);
        if (info.event >= SEARCH_EVENT_NEW && info.event <= SEARCH_EVENT_CHANGED)
            kinds[info.event].fetch_add(1);
        else
            strangeKinds.fetch_add(1);
    }
    std::atomic<bool> detached{true};
    std::atomic<long> updates{0};
    std::atomic<long> lateUpdates{0};
    std::atomic<long> kinds[3]{};
    std::atomic<long> strangeKinds{0};
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
                recorder::Inject(mac.c_str(), kCodes[(n + round) % kCodeCount], xml.c_str());
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
    // Every kind the manager reports came through; nothing else did.
    for (int kind : {SEARCH_EVENT_NEW, SEARCH_EVENT_GONE, SEARCH_EVENT_CHANGED})
        EXPECT_GT(steady.kinds[kind].load(), 0) << "kind " << kind;
    EXPECT_EQ(steady.strangeKinds.load(), 0);

    // Still consistent afterwards: a refresh and fresh answers give exact counts.
    manager.RefreshSearch(true);
    const long before = steady.updates.load();
    for (int n = 0; n < 200; ++n)
        recorder::Inject(Mac(n).c_str(), LORVEX_SEARCH_EVENT_ANSWER, Answer(n).c_str());
    EXPECT_EQ(manager.GetDeviceCount(), 200u);
    EXPECT_EQ(steady.updates.load() - before, 200);
    // Of the other codes, a configuration answer and an unknown code notify
    // nobody and leave the list alone; a change and a departure of a held
    // device are one update each.
    struct Step {
        int code;
        long updates;
        size_t count;
    };
    const Step steps[] = {{LORVEX_SEARCH_EVENT_CONFIG, 0, 200},
                          {7, 0, 200},
                          {LORVEX_SEARCH_EVENT_ANSWER, 0, 200},
                          {LORVEX_SEARCH_EVENT_CHANGED, 1, 200},
                          {LORVEX_SEARCH_EVENT_GONE, 1, 199}};
    for (const Step& step : steps) {
        const long at = steady.updates.load();
        recorder::Inject(Mac(5).c_str(), step.code, Answer(900).c_str());
        EXPECT_EQ(steady.updates.load() - at, step.updates) << "code " << step.code;
        EXPECT_EQ(manager.GetDeviceCount(), step.count) << "code " << step.code;
    }
    manager.Detach(&steady);
    manager.Shutdown();
}

} // namespace
