#include <gtest/gtest.h>

#include "SearchReprobe.h"

namespace {

using namespace lorvex::search;
using std::chrono::milliseconds;

// What the first two probes of a round brought, and the plan made of it.
TEST(PlanBroadcasts, MoreProbesOnlyWhereLossShows) {
    struct Row {
        const char* what;
        std::size_t answered, twice;
        int broadcasts;
        milliseconds gap;
    } rows[] = {
        {"nobody answered", 0, 0, 2, milliseconds(600)},
        {"a quiet network", 1000, 1000, 2, milliseconds(600)},
        {"two answers in a hundred lost", 1000, 980, 4, milliseconds(100)},
        // 20 % each way, both probes arrived: 96 % seen, 64 % of them twice.
        {"1,000 devices at 20 %", 960, 640, 14, milliseconds(100)},
        // A whole probe lost: nobody answered twice, the loss cannot be told.
        {"a probe lost", 800, 0, kMaxBroadcasts, milliseconds(100)},
        // 5 % each way: the answers of ten thousand are spread over 500 ms.
        {"10,000 devices at 5 %", 9975, 9025, 7, milliseconds(500)},
        {"a few devices at 20 %", 24, 16, 10, milliseconds(100)},
    };
    for (const Row& r : rows) {
        const ReprobePlan plan = PlanBroadcasts(r.answered, r.twice);
        EXPECT_EQ(plan.broadcasts, r.broadcasts) << r.what;
        EXPECT_EQ(plan.gap, r.gap) << r.what;
        EXPECT_EQ(plan.lossEvidence > 0, r.answered > r.twice) << r.what;
    }
}

TEST(PlanBroadcasts, CountsThatCannotBeAreTakenAsNoLoss) {
    EXPECT_EQ(PlanBroadcasts(10, 20).broadcasts, 2);
    EXPECT_EQ(PlanBroadcasts(0, 5).broadcasts, 2);
}

} // namespace
