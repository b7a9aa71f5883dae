// What this session did to each device, for the site report: the window's
// actions append a deed as it ends, the report reads a device's deeds back
// as one line. No Qt; safe to use from any thread.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "SiteReport.h"

namespace report {

// A change made to a device, in the order the report names them.
enum class Deed { Readdressed, Activated, Renamed, Restored, ClockSet };
constexpr int kDeedCount = 5;

// The words of each deed, indexed by Deed; English by default.
struct DeedWords {
    std::string words[kDeedCount] = {"re-addressed", "activated", "renamed", "restored",
                                     "clock set"};
    std::string separator = ", ";
};

class SessionLog {
public:
    // Notes that `deed` was done to the device `key` (its MAC, an ONVIF
    // camera's endpoint), read back (verified) or not. A deed done again
    // counts once, as verified as its latest time.
    void Add(const std::string& key, Deed deed, bool verified);
    // The deeds of `key` in Deed order joined by the separator; empty
    // when nothing was done. *verified: Yes when every deed was read back,
    // No when one was not, NotApplicable when nothing was done.
    std::string Summary(const std::string& key, const DeedWords& words, Verified* verified) const;
    // Forgets every deed.
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::map<Deed, bool>> m_deeds; // key -> deed -> verified
};

} // namespace report
