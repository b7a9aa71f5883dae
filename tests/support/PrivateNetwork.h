// Network tests run only inside a private network namespace (CTest starts
// them through scripts/netns-run). A test that cannot show that it is in
// one skips instead of touching anything.
#pragma once

#include "NetNamespace.h"

#include <cstdlib>

#define REQUIRE_PRIVATE_NETWORK()                                                                  \
    do {                                                                                           \
        if (!devsim::InPrivateNetwork())                                                           \
            GTEST_SKIP() << "not inside a private network namespace";                              \
    } while (0)

// Runs one `ip` command of a test's own set-up inside the private network; a
// command that fails fails the test instead of leaving it to fail later for
// no clear reason.
inline void RunIp(const char* command) { EXPECT_EQ(std::system(command), 0) << command; }
