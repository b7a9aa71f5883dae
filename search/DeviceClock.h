// A maker's device's clock as its search answers tell it: the clock at boot
// (bootTime, UTC) plus the seconds since (runningTime), so that an answer
// does not change every second and the clock is still read to the second.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "Observer.h"
#include "SearchInfo.h"

namespace lorvex {

// The device's clock minus the host's, in seconds, from a record filled by
// an answer that arrived when the host's clock read `answeredUtc` (UTC
// seconds): bootTime ("YYYY-MM-DD HH:MM:SS", UTC, a real date) plus
// runningTime (decimal digits only, at most 10) minus answeredUtc. False,
// and *offset untouched, when either field is missing or unreadable. The
// reading is as fresh as the record: a record kept from an earlier answer
// gives the offset at that answer only if answeredUtc is that answer's time.
bool DeviceClockOffset(const SEARCH_INFO& record, int64_t answeredUtc, int64_t* offset);

// How far a clock just set may read from the host's and still count as
// set: the request's travel and the answer's whole seconds.
constexpr int64_t kClockSetToleranceSeconds = 3;

// What one answer told of a device's clock.
struct ClockReading {
    int64_t offset = 0;    // the device's clock minus the host's, seconds
    uint64_t serial = 0;   // ClockReadings: one more with every reading of any device
    std::string timeZone;  // the zone as the answer told it; empty when it told none
    std::string ntpServer; // empty unless the answer told a server the clock follows
};

// The clock a record tells, as DeviceClockOffset reads it, with its time
// zone and NTP server; serial stays 0. False, and *out untouched, when the
// offset cannot be read.
bool ReadDeviceClock(const SEARCH_INFO& record, int64_t answeredUtc, ClockReading* out);

// Why `reading` does not show a clock set as a request asked: the NTP server
// (compared without case; empty: none asked), the time zone (exact; empty:
// none asked) and an offset within kClockSetToleranceSeconds. Each mismatch
// as "the time zone is X", "the NTP server is not the one set" or "the clock
// is N s off", joined by "; "; empty when the reading shows the clock set.
std::string ClockMismatch(const ClockReading& reading, std::string_view ntpServer,
                          std::string_view timeZone);

// Reads each device's clock offset as its answer arrives, against the
// host's clock at that moment (an answer kept in a list grows stale), for
// the devices of one CLorvexManage it is attached to. After the manager's
// manual round every answering device is read anew. Update runs on the
// search library's thread, the rest on any thread.
class ClockReadings : public CObserver<SEARCH_INFO> {
public:
    void Update(SEARCH_INFO info, CObservable<SEARCH_INFO>* sender) override;

    // The latest reading of the device with this MAC (the record's form,
    // upper case); false when none of its answers could be read.
    bool Latest(const std::string& mac, ClockReading* out) const;

    // The serial the next reading will exceed.
    uint64_t Serial() const;

private:
    mutable std::mutex m_lock;
    std::map<std::string, ClockReading> m_readings; // under m_lock
    uint64_t m_serial = 0;                          // under m_lock
};

} // namespace lorvex
