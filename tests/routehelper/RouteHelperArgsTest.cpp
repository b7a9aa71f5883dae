// The route helper's command line: it runs with CAP_NET_ADMIN for any user,
// so everything but one plain interface name is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RouteHelperArgs.h"

namespace {

RouteHelperRequest Check(std::vector<const char*> args) {
    args.insert(args.begin(), "lorvex-route-helper");
    return CheckRouteHelperArgs(static_cast<int>(args.size()), args.data());
}

TEST(CheckRouteHelperArgs, AcceptsOnlyOnePlainInterfaceName) {
    const std::string longest(15, 'e'), tooLong(16, 'e'), huge(100000, 'e');
    const struct Case {
        std::vector<const char*> args;
        bool accepted;
    } cases[] = {
        {{"eth0"}, true},
        {{"enp0s31f6"}, true},
        {{"veth1@if2"}, true},
        {{"br-lan.10"}, true},
        {{"wlan0:1"}, true},
        {{longest.c_str()}, true},
        {{}, false},
        {{"eth0", "eth1"}, false},
        {{"eth0", "metric"}, false},
        {{""}, false},
        {{"-h"}, false},
        {{"--help"}, false},
        {{"-4"}, false},
        {{tooLong.c_str()}, false},
        {{huge.c_str()}, false},
        {{"169.254.0.0/16"}, false},
        {{"0.0.0.0/0"}, false},
        {{"eth0 metric 1"}, false},
        {{"eth0\n"}, false},
        {{"../eth0"}, false},
        {{"$(id)"}, false},
        {{"eth0;reboot"}, false},
        {{"\xc3\xa9th0"}, false},
    };
    for (const Case& c : cases) {
        const RouteHelperRequest r = Check(c.args);
        const std::string shown = c.args.empty() ? "(none)" : std::string(c.args[0]).substr(0, 20);
        EXPECT_EQ(r.accepted, c.accepted) << shown << " (" << c.args.size() << " arguments)";
        if (c.accepted)
            EXPECT_EQ(r.interfaceName, c.args[0]);
        else
            EXPECT_TRUE(r.interfaceName.empty()) << shown;
    }
}

TEST(CheckRouteHelperArgs, RefusesAMissingOrNullArgumentVector) {
    EXPECT_FALSE(CheckRouteHelperArgs(2, nullptr).accepted);
    const char* nulls[] = {"lorvex-route-helper", nullptr, nullptr};
    EXPECT_FALSE(CheckRouteHelperArgs(2, nulls).accepted);
    EXPECT_FALSE(CheckRouteHelperArgs(0, nulls).accepted);
    EXPECT_FALSE(CheckRouteHelperArgs(-1, nulls).accepted);
}

} // namespace
