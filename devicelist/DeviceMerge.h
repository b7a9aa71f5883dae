// DeviceMerge: the one rule that makes one row per device of the list fed
// by both protocols, the maker's search and the ONVIF camera search. The
// window's list, lorvex-search's list and watch, and plans read their rows
// from it. It works on keys alone (MACs and endpoints); each caller keeps
// its own records and turns the steps into its rows.
#pragma once

#include <chrono>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace devicelist {

// One change of the merged list.
struct MergeStep {
    int event;   // SearchEventKind: the row is added, changed or removed
    bool camera; // a camera's own row; else the maker's device's row
    // The row's key: a MAC, or a camera's endpoint when its MAC is unknown
    // or another camera's row holds it.
    std::string key;
    // A camera row: the camera's endpoint. A maker's row: the endpoint of
    // the camera joined to it (the first in text order), empty for none.
    std::string endpoint;
    // A maker's row changed only in its joined endpoint (event CHANGED).
    bool joinOnly = false;
};

// The rule: a device both searches see with one MAC is one row, the maker's
// record leading: while the maker's device with a MAC is present, every
// camera announcing that MAC is part of its row, and each gets back a row of
// its own when it goes. A camera's own row is keyed by its MAC unless another camera's
// row holds it, then by its endpoint, so that two cameras never share a
// row; a serial number decides nothing. With a grace period, a camera
// announcing a MAC waits that long for the maker's device before it gets a
// row (a camera without MAC gets one at once).
//
// Steps are appended to *out in the order the list applies them. Each
// event costs hash look-ups and the few cameras of its MAC, never a scan of
// the list. Not thread-safe: one thread feeds it.
class DeviceMerge {
public:
    using Clock = std::chrono::steady_clock;
    explicit DeviceMerge(Clock::duration grace = Clock::duration::zero());

    // The maker's device with canonical `mac` had `event` (SearchEventKind).
    // Its own step is always among the steps, with `event` as given.
    void Maker(const std::string& mac, int event, std::vector<MergeStep>* out);
    // The camera `endpoint`, announcing `mac` (canonical; empty when none),
    // was added or changed (SEARCH_EVENT_NEW, _CHANGED) or went (_GONE) at
    // `now`. Steps of its own row, and joinOnly steps of the maker's rows
    // whose joined endpoint this changes.
    void Camera(const std::string& endpoint, const std::string& mac, int event,
                Clock::time_point now, std::vector<MergeStep>* out);
    // Rows for the cameras whose grace has run out by `now`.
    void Due(Clock::time_point now, std::vector<MergeStep>* out);
    // The list was emptied: everything known is forgotten.
    void Clear();

    // The endpoint a maker's row with `mac` shows: the first, in text
    // order, of the cameras announcing it; empty when none does.
    const std::string& JoinedEndpoint(const std::string& mac) const;
    // The key of the camera's own row; empty while it has none (joined to
    // a maker's row, waiting out its grace, or unknown).
    const std::string& CameraKey(const std::string& endpoint) const;

private:
    struct Held {
        std::string mac;
        std::string key; // its row's key; empty while it has no row
        Clock::time_point arrived;
    };
    std::string ChooseKey(const std::string& endpoint, const std::string& mac) const;
    void Show(const std::string& endpoint, Held* held, std::vector<MergeStep>* out);
    void Index(const std::string& endpoint, const std::string& mac);
    void Unindex(const std::string& endpoint, const std::string& mac);

    Clock::duration m_grace;
    std::unordered_set<std::string> m_makers;            // MACs present
    std::unordered_map<std::string, Held> m_cameras;     // by endpoint
    std::unordered_map<std::string, std::string> m_keys; // row key to its camera's endpoint
    std::unordered_map<std::string, std::set<std::string>> m_byMac; // MAC to its cameras
    std::set<std::string> m_waiting; // cameras waiting out their grace
};

} // namespace devicelist
