// Where 169.254.0.0/16 leads: the rule the route helper and the tool share.
#include <gtest/gtest.h>

#include <vector>

#include "LinkLocalRouteRule.h"

namespace {

TEST(JudgeLinkLocalRoutes, TheCarrierOfTheRangeDecides) {
    constexpr uint32_t kLl = 0xA9FE0000u, kWide = 0xA9000000u;
    // destination, prefix, metric, direct, out of the card judged
    const RouteSeen ours{kLl, 16, 1000, true, true}, oursBetter{kLl, 16, 100, true, true},
        oursWide{kLl, 15, 0, true, true}, other{kLl, 16, 1000, true, false},
        otherBetter{kLl, 16, 100, true, false}, otherWorse{kLl, 16, 2000, true, false},
        otherWide{kWide, 8, 0, true, false}, viaGateway{kLl, 16, 1000, false, true},
        defaultRoute{0, 0, 0, true, false}, inside{0xA9FE0100u, 24, 0, true, false};
    const struct Row {
        const char* what;
        std::vector<RouteSeen> routes;
        LinkLocalVerdict expected;
    } rows[] = {
        {"empty table", {}, LinkLocalVerdict::Missing},
        {"ours", {ours}, LinkLocalVerdict::InPlace},
        {"ours, a wider prefix", {oursWide}, LinkLocalVerdict::InPlace},
        {"another card at our metric", {other}, LinkLocalVerdict::Elsewhere},
        {"another card at a lower metric beats ours",
         {ours, otherBetter},
         LinkLocalVerdict::Elsewhere},
        {"ours at a lower metric beats another card",
         {other, oursBetter},
         LinkLocalVerdict::InPlace},
        {"a tie is never read as in place", {ours, other}, LinkLocalVerdict::Elsewhere},
        {"a worse route elsewhere: ours would win", {otherWorse}, LinkLocalVerdict::Missing},
        {"a wider route elsewhere: ours would win", {otherWide}, LinkLocalVerdict::Missing},
        {"ours behind a wider route elsewhere", {otherWide, ours}, LinkLocalVerdict::InPlace},
        {"through a gateway on our card", {viaGateway}, LinkLocalVerdict::Elsewhere},
        {"neither the default route nor a /24 inside carry it",
         {defaultRoute, inside},
         LinkLocalVerdict::Missing},
    };
    for (const Row& r : rows)
        EXPECT_EQ(JudgeLinkLocalRoutes(r.routes), r.expected) << r.what;
}

} // namespace
