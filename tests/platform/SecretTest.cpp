// Passwords are wiped in place, on every way out of the scope that used them,
// and the process cannot be dumped while one is held.
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Secret.h"

namespace {

int Dumpable() { return prctl(PR_GET_DUMPABLE, 0, 0, 0, 0); }

TEST(WipeSecret, OverwritesTheBytesAndEmpties) {
    std::string secret = "a password long enough to live outside the string object";
    const char* bytes = secret.data();
    const size_t size = secret.size();
    {
        const SecretGuard guard(&secret);
    }
    EXPECT_TRUE(secret.empty());
    // The buffer stays the string's own after clear(), so it may be read.
    EXPECT_EQ(std::string(bytes, size), std::string(size, '\0'));
}

// A text that once held a longer value keeps its bytes past the end: they
// go too.
TEST(WipeSecret, WhatALongerValueLeftBehindTheEndGoesToo) {
    std::string secret = "first a rather long password that fills the buffer";
    const char* bytes = secret.data();
    const size_t size = secret.size();
    secret.assign("short but still outside the object");
    ASSERT_EQ(secret.data(), bytes) << "the buffer was replaced, not reused";
    WipeSecret(&secret);
    EXPECT_EQ(std::string(bytes, size), std::string(size, '\0'));
}

TEST(SharedSecret, HoldersShareOneCopy) {
    const SharedSecret secret = MakeSharedSecret("pass\0word", 9);
    const SharedSecret copy = secret;
    EXPECT_EQ(copy.get(), secret.get());
    EXPECT_EQ(*copy, std::string("pass\0word", 9));
}

// Every holder of a secret keeps the process non-dumpable; the setting it
// found comes back only when the last one goes, in whatever order.
TEST(NonDumpableHold, TheProcessIsNotDumpableWhileAnySecretIsHeld) {
    ASSERT_EQ(prctl(PR_SET_DUMPABLE, 1, 0, 0, 0), 0);
    ASSERT_EQ(NonDumpableHolders(), 0);
    enum Step { Guard, Shared, Hold, DropGuard, DropShared, DropHold, CopyShared };
    const struct Row {
        const char* what;
        std::vector<Step> steps;
    } rows[] = {
        {"a guard", {Guard, DropGuard}},
        {"a shared secret and its copy", {Shared, CopyShared, DropShared}},
        {"nested, dropped in the order taken",
         {Guard, Shared, Hold, DropGuard, DropShared, DropHold}},
        {"nested, dropped the other way", {Hold, Shared, Guard, DropGuard, DropShared, DropHold}},
    };
    for (const Row& r : rows) {
        std::string text = "a password";
        std::optional<SecretGuard> guard;
        SharedSecret shared, copy;
        std::optional<NonDumpableHold> hold;
        for (Step step : r.steps) {
            switch (step) {
            case Guard:
                guard.emplace(&text);
                break;
            case Shared:
                shared = MakeSharedSecret("pw", 2);
                break;
            case CopyShared:
                copy = shared;
                shared.reset(); // the copy still holds it
                break;
            case Hold:
                hold.emplace();
                break;
            case DropGuard:
                guard.reset();
                break;
            case DropShared:
                shared.reset();
                copy.reset();
                break;
            case DropHold:
                hold.reset();
                break;
            }
            const bool held = guard || shared || copy || hold;
            EXPECT_EQ(Dumpable(), held ? 0 : 1) << r.what << " after step " << step;
        }
        EXPECT_EQ(NonDumpableHolders(), 0) << r.what;
    }
}

TEST(NonDumpableHold, HoldersOnManyThreadsAreCounted) {
    ASSERT_EQ(prctl(PR_SET_DUMPABLE, 1, 0, 0, 0), 0);
    const NonDumpableHold outer;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 1000; ++i) {
                const NonDumpableHold inner;
                const NonDumpableHold copy = inner;
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(Dumpable(), 0) << "a thread's last hold ended the outer one's";
    EXPECT_EQ(NonDumpableHolders(), 1);
}

// A process that found itself non-dumpable (or in the suid mode, which
// cannot be set back) stays so after the last holder.
TEST(NonDumpableHold, ASettingOfZeroFoundIsKept) {
    ASSERT_EQ(prctl(PR_SET_DUMPABLE, 0, 0, 0, 0), 0);
    { const NonDumpableHold hold; }
    EXPECT_EQ(Dumpable(), 0);
    ASSERT_EQ(prctl(PR_SET_DUMPABLE, 1, 0, 0, 0), 0);
}

} // namespace
