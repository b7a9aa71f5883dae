// The camera search: WS-Discovery on every up IPv4 interface, beside the
// maker's own search. It sends Probes (both types, multicast TTL 1, one
// socket per interface so that a ProbeMatch tells the card it came in on),
// takes the unicast ProbeMatches that relate to its own recent probes,
// listens to Hello and Bye on the group port, and reports video devices
// through a CameraObserver. It never sends anything in reply to a Probe,
// Hello or Bye.
//
// Rounds: each round sends both probe types twice, kProbeRepeatGap apart,
// and then as many more as the maker's search would on the same losses
// (PlanBroadcasts: the share of cameras that answered only one of the
// first two probe pairs). A camera is gone on Bye, or when two rounds in
// a row passed without a word from it.
//
// Thread-safe: Start, Stop, Search, Cameras and Find may be called from any
// thread; events arrive on the search's thread, one at a time. No event is
// delivered after Stop returns.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "OnvifCamera.h"

namespace onvif {

class CameraSearch {
public:
    CameraSearch();
    ~CameraSearch(); // stops
    CameraSearch(const CameraSearch&) = delete;
    CameraSearch& operator=(const CameraSearch&) = delete;

    // Opens the sockets and starts the thread; a round begins at once and
    // then every intervalSeconds (0: only when Search is called). The
    // observer (may be null) must outlive Stop. False when already running
    // or no socket could be opened (no round runs then).
    bool Start(CameraObserver* observer, int intervalSeconds);
    // Ends the thread and closes the sockets. Safe to call twice.
    void Stop();
    // Begins a round now (a running one is restarted).
    void Search();

    // Every camera present now, in the order first seen.
    std::vector<CameraRecord> Cameras() const;
    // The camera whose endpoint equals key or whose MAC equals key (any
    // spelling devicelist::CanonicalMac reads; the first heard of those
    // with it);
    // false when none. Contested (CameraRecord::contested) also when
    // another endpoint carries its MAC.
    bool Find(const std::string& key, CameraRecord* out) const;
    // Stores GetDeviceInformation's answer on the record (Changed follows).
    void SetInformation(const std::string& endpoint, const DeviceInformation& info);
    // Stores the MAC the camera told once logged in, when its scopes named
    // none (Changed follows); see CameraTable::SetMac.
    void SetMac(const std::string& endpoint, const std::string& mac);
    // The camera was re-addressed to ip and heard there (CameraTable::Moved).
    void Moved(const std::string& endpoint, const std::string& ip);
    // Sends one probe pair now, outside the round plan: the re-address
    // verification asks for answers from a camera's new address.
    void ProbeNow();

    // The last time the camera with this endpoint spoke from address ip
    // (a ProbeMatch or Hello whose XAddrs name it); false when never since
    // Start.
    bool HeardFrom(const std::string& endpoint, const std::string& ip,
                   std::chrono::steady_clock::time_point* when) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace onvif
