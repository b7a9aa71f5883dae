// Where 169.254.0.0/16 leads: the rule the route helper and the tool share.
#include <gtest/gtest.h>

#include <vector>

#include "LinkLocalRouteRule.h"

namespace {

constexpr uint32_t kLinkLocal = 0xA9FE0000u;

RouteSeen Ours(int prefix, uint32_t metric, uint32_t destination = kLinkLocal) {
    return {destination, prefix, metric, true, true};
}
RouteSeen Other(int prefix, uint32_t metric, uint32_t destination = kLinkLocal) {
    return {destination, prefix, metric, true, false};
}
RouteSeen Gatewayed(int prefix, uint32_t metric, bool onInterface) {
    return {kLinkLocal, prefix, metric, false, onInterface};
}

TEST(JudgeLinkLocalRoutes, TheCarrierOfTheRangeDecides) {
    const struct Row {
        const char* what;
        std::vector<RouteSeen> routes;
        LinkLocalVerdict expected;
    } rows[] = {
        {"empty table", {}, LinkLocalVerdict::Missing},
        {"ours", {Ours(16, 1000)}, LinkLocalVerdict::InPlace},
        {"ours, a wider prefix", {Ours(15, 0)}, LinkLocalVerdict::InPlace},
        {"another card at our metric", {Other(16, 1000)}, LinkLocalVerdict::Elsewhere},
        {"another card first, ours after at a worse metric",
         {Other(16, 1000), Ours(16, 2000)},
         LinkLocalVerdict::Elsewhere},
        {"another card at a lower metric beats ours",
         {Ours(16, 1000), Other(16, 100)},
         LinkLocalVerdict::Elsewhere},
        {"ours at a lower metric beats another card",
         {Other(16, 1000), Ours(16, 100)},
         LinkLocalVerdict::InPlace},
        {"a tie is never read as in place",
         {Ours(16, 1000), Other(16, 1000)},
         LinkLocalVerdict::Elsewhere},
        {"another card at a worse metric: ours would win",
         {Other(16, 2000)},
         LinkLocalVerdict::Missing},
        {"a wider route elsewhere: ours would win",
         {Other(8, 0, 0xA9000000u)},
         LinkLocalVerdict::Missing},
        {"ours behind a wider route elsewhere",
         {Other(8, 0, 0xA9000000u), Ours(16, 1000)},
         LinkLocalVerdict::InPlace},
        {"through a gateway on our card", {Gatewayed(16, 1000, true)}, LinkLocalVerdict::Elsewhere},
        {"the default route does not count", {Other(0, 0, 0)}, LinkLocalVerdict::Missing},
        {"a /24 inside the range does not carry it",
         {Other(24, 0, 0xA9FE0100u)},
         LinkLocalVerdict::Missing},
        {"another range altogether", {Other(16, 0, 0xC0A80000u)}, LinkLocalVerdict::Missing},
    };
    for (const Row& r : rows)
        EXPECT_EQ(JudgeLinkLocalRoutes(r.routes), r.expected) << r.what;
}

} // namespace
