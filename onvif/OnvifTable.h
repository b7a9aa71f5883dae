// The camera search's table: what the ProbeMatches, Hellos and Byes heard so
// far say, turned into camera records and events. Pure: no socket, no
// thread, no clock of its own (the caller passes the time); the search
// holds it under its lock.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "OnvifCamera.h"

namespace onvif {

// One card of this host the search runs on: host byte order.
struct Card {
    std::string name;
    int index = 0;
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
};

using CameraEvents = std::vector<std::pair<CameraEvent, CameraRecord>>;

// Cameras kept at most; matches of endpoints beyond are dropped, so that a
// flood of forged endpoints cannot grow the table without end.
constexpr std::size_t kMaxCameras = 16384;

class CameraTable {
public:
    using Clock = std::chrono::steady_clock;

    // A match heard on card from address source (dotted quad) at now; pair
    // is the index within the round of the probe pair it answers, or -1 for
    // a Hello. Anything but a video device is ignored. Appends Added or
    // Changed when the record is new or differs.
    void Heard(const DiscoveryMatch& match, const Card& card, const std::string& source,
               Clock::time_point now, int pair, CameraEvents* events);
    // A Bye: the camera is gone (event appended) when known.
    void Bye(const std::string& endpoint, CameraEvents* events);
    // A new round begins: cameras that said nothing during the last two
    // complete rounds are gone (with dropSilent), and the pair counts reset.
    void BeginRound(bool dropSilent, CameraEvents* events);
    // Cameras that answered at least one of the round's first two probe
    // pairs, and those that answered both.
    std::pair<std::size_t, std::size_t> FirstPairCounts() const;

    std::vector<CameraRecord> Cameras() const;
    bool Find(const std::string& key, CameraRecord* out) const;
    bool SetInformation(const std::string& endpoint, const DeviceInformation& info,
                        CameraEvents* events);
    // The MAC the camera told once logged in (GetNetworkInterfaces), for a
    // camera whose scopes named none: stored (Changed appended) and kept
    // across later matches. A MAC from the scopes is never replaced. False
    // when the endpoint is unknown, mac is no MAC, or nothing changed.
    bool SetMac(const std::string& endpoint, const std::string& mac, CameraEvents* events);
    bool HeardFrom(const std::string& endpoint, const std::string& ip,
                   Clock::time_point* when) const;
    // The camera was re-addressed to ip by this tool and heard there: the
    // other addresses it was heard from stop counting as claimants, so that
    // its move is not taken for a second host claiming it. Changed follows
    // when that lifts the contest.
    void Moved(const std::string& endpoint, const std::string& ip, CameraEvents* events);

private:
    struct Entry {
        long order = 0;
        CameraRecord record;
        int lastRound = 0;  // the round it was last heard in
        unsigned pairs = 0; // bit i: answered probe pair i of this round
        std::map<std::string, Clock::time_point> heardFrom; // bounded by kMaxHeardAddresses
        std::map<std::string, int> sources; // sender address -> round last heard; bounded alike
    };
    // Sets record's contested and claimants from the senders heard in this
    // round and the one before.
    void Judge(const std::map<std::string, int>& sources, CameraRecord* record) const;

    std::map<std::string, Entry> m_entries;
    long m_next = 0;
    int m_round = 0;
};

// A record from one match heard on card from address source (no
// information, no table).
CameraRecord RecordFromMatch(const DiscoveryMatch& match, const Card& card,
                             const std::string& source);

} // namespace onvif
