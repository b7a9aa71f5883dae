// How many probes a search round sends on a lossy network. Pure arithmetic,
// no clock and no I/O: the engine measures, this decides.
//
// Every round starts with two probes to all devices, 600 ms apart, and each
// device answers each probe it receives. On a network that loses nothing,
// every device that answered once answers twice. When some answered only
// once, the share that answered twice tells how likely one probe-and-answer
// exchange is to get through, and from that how many more probes to all
// devices it takes until the expected number of devices still unheard is
// below kResidualDevices.

#pragma once

#include <chrono>
#include <cstddef>

namespace lorvex::search {

// The expected number of devices a round may still miss when it stops
// adding probes: small enough that a thousand devices at 20 % loss each way
// are all found in nearly every search.
constexpr double kResidualDevices = 0.001;
// Probes to all devices in one round, at most (the round's end limits them
// further).
constexpr int kMaxBroadcasts = 24;
// Answers per second the extra probes may ask for at most: the rate at which
// one burst of ten thousand answers in the devices' 500-ms window arrives,
// which the receiver is known to keep up with.
constexpr double kMaxAnswerRate = 20000.0;
constexpr auto kMinReprobeGap = std::chrono::milliseconds(100);
constexpr auto kMaxReprobeGap = std::chrono::milliseconds(600);

struct ReprobePlan {
    int broadcasts = 2;                             // in all, the first two included
    std::chrono::milliseconds gap = kMaxReprobeGap; // between the extra ones
    double lossEvidence = 0.0;                      // share that answered once only
};

// The plan from what the round's first two probes brought: `answered`
// devices answered at least once, `answeredTwice` of them twice. No answer,
// or every device answering twice, keeps the round at its two probes.
ReprobePlan PlanBroadcasts(std::size_t answered, std::size_t answeredTwice);

} // namespace lorvex::search
