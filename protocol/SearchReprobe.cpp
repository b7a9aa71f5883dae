#include "SearchReprobe.h"

#include <algorithm>
#include <cmath>

namespace lorvex::search {
namespace {

// A device answers once with 2p(1-p) and twice with p^2, for p the chance
// that one exchange gets through; the ratio r of twice to at-least-once is
// p / (2 - p), so p = 2r / (1 + r).
double ExchangeSuccess(double r) { return 2.0 * r / (1.0 + r); }

std::chrono::milliseconds GapFor(double devices) {
    const auto ms = static_cast<long long>(devices * 1000.0 / kMaxAnswerRate);
    return std::clamp(std::chrono::milliseconds(ms), kMinReprobeGap, kMaxReprobeGap);
}

} // namespace

ReprobePlan PlanBroadcasts(std::size_t answered, std::size_t answeredTwice) {
    ReprobePlan plan;
    if (answered == 0 || answeredTwice >= answered)
        return plan;
    const double r = static_cast<double>(answeredTwice) / static_cast<double>(answered);
    plan.lossEvidence = 1.0 - r;
    // The ratio shows how answers fare once a probe has arrived. A lost probe
    // silences every device at once and so hides from it; the way to the
    // devices is taken to lose as much as the way back.
    const double answerGets = ExchangeSuccess(r);
    const double miss = 1.0 - answerGets * answerGets;
    const double answerMiss = 1.0 - answerGets;
    // Devices in all: those seen are the share 1 - answerMiss^2 of them when
    // both probes arrived; at least half of them in any case.
    const double devices =
        static_cast<double>(answered) / std::max(0.5, 1.0 - answerMiss * answerMiss);
    plan.gap = GapFor(devices);
    int probes = 2;
    while (probes < kMaxBroadcasts && devices * std::pow(miss, probes) >= kResidualDevices)
        ++probes;
    plan.broadcasts = probes;
    return plan;
}

} // namespace lorvex::search
