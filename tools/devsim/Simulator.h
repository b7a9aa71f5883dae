// The protocol side of the simulator: one socket on the search group for the
// whole fleet, answers scheduled with jitter, configuration and restore
// requests, and the timed behaviours (change, vanish, flood).

#pragma once

#include <atomic>
#include <cstdio>
#include <cstdint>
#include <queue>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "Fleet.h"
#include "SearchNet.h"
#include "SearchWire.h"
#include "TrustWire.h"

namespace devsim {

struct SimOptions {
    double jitterMs = 500;  // answers wait a random 0..jitterMs
    double changeEvery = 0; // seconds; 0 = never
    double flood = 0;       // datagrams per second from random MACs; 0 = off
    double floodBadShare = 0.1;
    bool verbose = false;
    // A FIFO the simulator creates and reads lines from: "press-reset MAC"
    // presses that device's reset button. Empty: none.
    std::string controlPath;
    // A file the simulator writes one line to per datagram it sends as a
    // device, per sealed request it leaves unanswered and per reset button
    // pressed through the control FIFO (docs/protocol.md), each line whole
    // once written, so that a test can wait until what could reach the tool
    // has been sent. Empty: none.
    std::string sentLogPath;
};

// Told about changes a configuration request makes, so that servers bound to
// a device's address or ports can follow it. Called on the protocol thread
// with the fleet lock not held.
class DeviceObserver {
public:
    virtual ~DeviceObserver() = default;
    virtual void OnConfigured(std::size_t index, const Device& before, const Device& after) = 0;
};

class Simulator {
public:
    Simulator(Fleet* fleet, SimOptions options);
    ~Simulator();
    // Opens the socket, joins the group on every multicast interface and
    // creates the sent log; false when any of them fails.
    bool Open();
    void SetObserver(DeviceObserver* observer) { m_observer = observer; }
    // Serves until `stop` becomes true.
    void Run(const std::atomic<bool>& stop);
    // One control line (see SimOptions::controlPath); false when not understood.
    bool Control(const std::string& line, Clock::time_point now);

private:
    struct Pending {
        Clock::time_point when;
        lorvex::wire::Kind kind;
        std::size_t device;
        std::uint32_t requestId;
        lorvex::trust::Key tool;
        bool operator>(const Pending& o) const { return when > o.when; }
    };

    void OnDatagram(const unsigned char* data, std::size_t size, std::uint32_t source,
                    Clock::time_point now);
    void NoteLimited(std::size_t device, std::uint32_t id);
    void FlushLimited(Clock::time_point now);
    void OnProbe(const lorvex::wire::Message& msg, Clock::time_point now);
    void OnSealed(const lorvex::wire::Message& msg, Clock::time_point now);
    int Handle(Device& d, const lorvex::wire::Message& msg, const lorvex::trust::Key& tool,
               const lorvex::trust::Challenge& challenge, const std::string& body,
               Clock::time_point now);
    void OpenControl();
    void ReadControl(Clock::time_point now);
    bool Present(const Device& d, Clock::time_point now) const;
    void Schedule(Clock::time_point now, lorvex::wire::Kind kind, std::size_t device,
                  std::uint32_t id, const lorvex::trust::Key& tool);
    void SendDue(Clock::time_point now);
    void SendPending(const Pending& p);
    void Tick(Clock::time_point now);
    void Flood(Clock::time_point now);
    std::string FloodDatagram();
    int TimeoutMs(Clock::time_point now) const;
    void LogSent(const char* what, std::uint32_t id, const lorvex::wire::MacBytes& mac, int result);

    Fleet* m_fleet;
    SimOptions m_options;
    DeviceObserver* m_observer = nullptr;
    int m_fd = -1;
    int m_controlFd = -1;
    int m_controlKeep = -1; // our own writer, so the FIFO never reads as closed
    std::FILE* m_sentLog = nullptr;
    std::string m_controlLine;
    std::vector<lorvex::net::Interface> m_ifaces;
    std::vector<int> m_joined;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> m_queue;
    Clock::time_point m_start;
    Clock::time_point m_nextChange;
    Clock::time_point m_lastFlood;
    double m_floodCredit = 0;
    std::uint32_t m_lastProbeId = 0;
    struct Limited {
        int count = 0;
        std::uint32_t id = 0;
    };
    std::unordered_map<std::size_t, Limited> m_limited; // by device, since the last flush
    Clock::time_point m_nextLimitedFlush{};
    std::mt19937 m_rng{std::random_device{}()};
};

} // namespace devsim
