// Network tests run only inside a private network namespace (CTest starts
// them through scripts/netns-run). A test that cannot show that it is in
// one skips instead of touching anything.
#pragma once

#include "NetNamespace.h"

#define REQUIRE_PRIVATE_NETWORK()                                                                  \
    do {                                                                                           \
        if (!devsim::InPrivateNetwork())                                                           \
            GTEST_SKIP() << "not inside a private network namespace";                              \
    } while (0)
