#include "Lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Whether another thread gets into the section right now; it leaves again
// at once.
bool OtherThreadGetsIn(CCriticalSection& section) {
    bool entered = false;
    std::thread([&] {
        entered = section.TryLock();
        if (entered)
            section.Unlock();
    }).join();
    return entered;
}

// Enters `entries` times, then asks another thread to enter after each entry
// is left: it may only after the last one. The other thread's try answers at
// once, so the check does not depend on how fast that thread runs.
TEST(CCriticalSection, OtherThreadWaitsUntilEveryEntryIsLeft) {
    for (int entries : {1, 2, 3}) {
        CCriticalSection section;
        for (int i = 0; i < entries; ++i)
            section.Lock();
        for (int i = 0; i < entries; ++i) {
            EXPECT_FALSE(OtherThreadGetsIn(section)) << entries << " entries, " << i << " left";
            section.Unlock();
        }
        EXPECT_TRUE(OtherThreadGetsIn(section)) << entries << " entries, all left";
    }
}

// A thread blocked in Lock is let in by the holder's last Unlock.
TEST(CCriticalSection, BlockedThreadGetsInAfterTheLastEntryIsLeft) {
    CCriticalSection section;
    section.Lock();
    section.Lock();
    std::atomic<bool> entered{false};
    std::thread other([&] {
        CAutoLock hold(section);
        entered = true;
    });
    section.Unlock();
    section.Unlock();
    other.join();
    EXPECT_TRUE(entered);
}

TEST(CCriticalSection, TryLockCountsAsAnEntry) {
    CCriticalSection section;
    ASSERT_TRUE(section.TryLock());
    ASSERT_TRUE(section.TryLock());
    section.Unlock();
    EXPECT_FALSE(OtherThreadGetsIn(section));
    section.Unlock();
    EXPECT_TRUE(OtherThreadGetsIn(section));
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
