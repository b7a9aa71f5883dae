// The library's table of devices seen and the rules that turn answers into
// events: new (1), gone (2), changed (3). No I/O, no clock: the engine tells
// it when rounds begin and end.

#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "SearchWire.h"

namespace lorvex::search {

constexpr std::size_t kMaxDevices = 65536;
constexpr int kMissesUntilGone = 3;

// The change rule: two answers of one MAC differ when their fingerprints
// differ. The fingerprint covers the whole document except the data of every
// runningTime element, which advances on its own every second.
std::uint64_t AnswerFingerprint(std::string_view xml);

// What to report for one answer.
struct Reaction {
    bool changed = false; // LORVEX_SEARCH_EVENT_CHANGED
    bool report = false;  // LORVEX_SEARCH_EVENT_ANSWER
};

class DeviceTracker {
public:
    // Opens a new round (ending none; call EndRound first). In an `announce`
    // round every device's first answer is reported with LORVEX_SEARCH_EVENT_ANSWER; in an
    // `automatic` round that runs to its end, missing devices count a miss.
    void BeginRound(bool automatic, bool announce);

    // Closes the open round. When it was automatic and `complete` (it ran for
    // its whole interval), every device that did not answer counts a miss; a
    // device at kMissesUntilGone misses is forgotten and returned as gone.
    std::vector<wire::MacBytes> EndRound(bool complete);

    // An answer received while a round is open. Only the first answer of a MAC
    // in a round counts. A new MAC is reported (LORVEX_SEARCH_EVENT_ANSWER) unless kMaxDevices are
    // tracked already, then it is ignored. A known MAC is reported as changed
    // when its fingerprint differs, and with LORVEX_SEARCH_EVENT_ANSWER in an announce round.
    Reaction OnAnswer(const wire::MacBytes& mac, std::string_view xml);

    // Devices that answered the open round at least once, and at least twice
    // (the round's probes are repeated; a device answers each copy it gets).
    struct RoundCounts {
        std::size_t answered = 0;
        std::size_t answeredTwice = 0;
    };
    RoundCounts Counts() const { return m_counts; }

    // Up to `limit` tracked devices that have not answered the open round,
    // in no particular order: the ones a targeted probe can still reach
    // before the round counts them a miss.
    std::vector<wire::MacBytes> Unanswered(std::size_t limit) const;

    // True when the device is tracked.
    bool Tracks(const wire::MacBytes& mac) const { return m_devices.count(Key(mac)) > 0; }

    // Drops the device's entry; true when there was one.
    bool Forget(const wire::MacBytes& mac) { return m_devices.erase(Key(mac)) > 0; }

    bool RoundOpen() const { return m_open; }
    std::size_t Size() const { return m_devices.size(); }
    void Clear();

private:
    struct Entry {
        std::uint64_t fingerprint;
        std::uint32_t lastRound;
        std::uint8_t misses;
        std::uint8_t answers; // in lastRound, saturating at 2
    };
    static std::uint64_t Key(const wire::MacBytes& mac);
    static wire::MacBytes Unkey(std::uint64_t key);

    std::unordered_map<std::uint64_t, Entry> m_devices;
    std::uint32_t m_round = 0;
    bool m_open = false;
    bool m_automatic = false;
    bool m_announce = false;
    RoundCounts m_counts;
};

} // namespace lorvex::search
