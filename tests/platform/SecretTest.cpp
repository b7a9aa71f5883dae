// Passwords are wiped in place, on every way out of the scope that used them.
#include <gtest/gtest.h>

#include <string>

#include "Secret.h"

namespace {

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

TEST(SharedSecret, HoldersShareOneCopy) {
    const SharedSecret secret = MakeSharedSecret("pass\0word", 9);
    const SharedSecret copy = secret;
    EXPECT_EQ(copy.get(), secret.get());
    EXPECT_EQ(*copy, std::string("pass\0word", 9));
}

} // namespace
