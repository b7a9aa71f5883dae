// A maker's device's clock as its search answers tell it: the clock at boot
// (bootTime, UTC) plus the seconds since (runningTime), so that an answer
// does not change every second and the clock is still read to the second.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
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

// The read-back of clock requests to the maker's devices: which reading
// of a device tells its clock after its request. A reading taken after the
// request was sent may be of an answer from either side of the change (the
// device may answer a search round before its acceptance reaches the tool,
// and that answer is then the last it changes); it counts when it shows the
// clock set, and is waited past otherwise. A reading after the acceptance
// is of the new state and counts either way. Any thread.
class ClockReadBack {
public:
    // Reads from `readings`, which must outlive this.
    explicit ClockReadBack(const ClockReadings& readings) : m_readings(readings) {}

    // Call just before a request to the device with this MAC is sent, and
    // Accepted once the device accepted it; a later request starts anew.
    void Sent(const std::string& mac);
    void Accepted(const std::string& mac);

    // The device's clock after its accepted request, judged by
    // ClockMismatch against ntpServer and timeZone: nullopt while no
    // reading counts yet (or no request was accepted), true when it reads
    // set, false when a reading after the acceptance reads otherwise. The
    // reading that counted goes to *out when given.
    std::optional<bool> Read(const std::string& mac, std::string_view ntpServer,
                             std::string_view timeZone, ClockReading* out = nullptr) const;

private:
    struct Request {
        uint64_t sent = 0;              // the readings' serial as it was sent
        uint64_t accepted = UINT64_MAX; // ... as it was accepted; MAX: not accepted
    };
    const ClockReadings& m_readings;
    mutable std::mutex m_lock;
    std::map<std::string, Request> m_requests; // under m_lock
};

} // namespace lorvex
