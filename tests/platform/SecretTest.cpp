// Passwords are wiped in place, on every way out of the scope that used them,
// and the process cannot be dumped while one is held.
#include <gtest/gtest.h>
#include <sys/prctl.h>

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
    { const SecretGuard guard(&secret); }
    EXPECT_TRUE(secret.empty());
    // The buffer stays the string's own after clear(), so it may be read.
    EXPECT_EQ(std::string(bytes, size), std::string(size, '\0'));
    // What a longer value left behind a shorter one's end goes too.
    secret = "first a rather long password that fills the buffer";
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

// Every holder of a secret keeps the process non-dumpable, on any thread;
// the setting it found comes back only when the last one goes, in whatever
// order they go, and a setting of 0 found stays.
TEST(NonDumpableHold, TheProcessIsNotDumpableWhileAnySecretIsHeld) {
    ASSERT_EQ(prctl(PR_SET_DUMPABLE, 1, 0, 0, 0), 0);
    std::string text = "a password";
    std::optional<SecretGuard> guard(&text);
    SharedSecret shared = MakeSharedSecret("pw", 2);
    SharedSecret copy = shared;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 1000; ++i)
                const NonDumpableHold inner, copied = inner;
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(Dumpable(), 0) << "a thread's last hold ended the others'";
    guard.reset();
    EXPECT_EQ(Dumpable(), 0) << "the shared secret is still held";
    shared.reset();
    EXPECT_EQ(Dumpable(), 0) << "its copy still holds it";
    copy.reset();
    EXPECT_EQ(Dumpable(), 1);
    EXPECT_EQ(NonDumpableHolders(), 0);
    ASSERT_EQ(prctl(PR_SET_DUMPABLE, 0, 0, 0, 0), 0);
    { const NonDumpableHold hold; }
    EXPECT_EQ(Dumpable(), 0);
    ASSERT_EQ(prctl(PR_SET_DUMPABLE, 1, 0, 0, 0), 0);
}

} // namespace
