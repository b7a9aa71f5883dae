#include "Lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Enters `entries` times, then watches whether another thread gets in while
// the entries are left one by one: it may only after the last one.
TEST(CCriticalSection, OtherThreadWaitsUntilEveryEntryIsLeft) {
    for (int entries : {1, 2, 3}) {
        CCriticalSection section;
        for (int i = 0; i < entries; ++i)
            section.Lock();
        std::atomic<bool> entered{false};
        std::thread other([&] {
            CAutoLock hold(section);
            entered = true;
        });
        for (int i = 0; i < entries; ++i) {
            std::this_thread::sleep_for(30ms);
            EXPECT_FALSE(entered) << entries << " entries, " << i << " left";
            section.Unlock();
        }
        other.join();
        EXPECT_TRUE(entered);
    }
}

TEST(CCriticalSection, GuardLeavesOnEveryWayOut) {
    CCriticalSection section;
    auto early = [&](bool leave) {
        CAutoLock hold(section);
        if (leave)
            return 1;
        CAutoLock again(section);
        return 2;
    };
    EXPECT_EQ(early(true), 1);
    EXPECT_EQ(early(false), 2);
    std::atomic<bool> entered{false};
    std::thread([&] {
        CAutoLock hold(section);
        entered = true;
    }).join();
    EXPECT_TRUE(entered);
}

TEST(CCriticalSection, CountsStayExactUnderContention) {
    CCriticalSection section;
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            CAutoLock outer(section);
            CAutoLock inner(section);
            ++counter;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
}

} // namespace
