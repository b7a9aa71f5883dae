// The simulated cameras' and printers' side of WS-Discovery: one socket on
// the group port, joined on every multicast interface of the (private)
// namespace; answers to probes by unicast after a random delay, Hello on
// start and when a new address takes effect, Bye at exit and on vanish.
// It also carries out the device service's timed effects (an address that
// takes effect after the answer or after a reboot), on its own thread.

#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <queue>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>

#include "Fleet.h"
#include "SearchNet.h"
#include "Simulator.h"

namespace devsim {

struct WsdOptions {
    double jitterMs = 500;     // answers wait a random 0..jitterMs
    bool ownAddresses = false; // send each camera's datagrams from its own address
    bool verbose = false;
};

class WsDiscoveryResponder {
public:
    WsDiscoveryResponder(Fleet* fleet, WsdOptions options, DeviceObserver* observer);
    ~WsDiscoveryResponder();
    WsDiscoveryResponder(const WsDiscoveryResponder&) = delete;
    WsDiscoveryResponder& operator=(const WsDiscoveryResponder&) = delete;

    // Opens the socket, sends every camera's Hello and starts the thread.
    // Does nothing (and succeeds) when no device speaks WS-Discovery.
    bool Start(std::string* error);
    // Sends Bye for every present camera and stops the thread.
    void Stop();
    // The pending address of device `index` takes effect at `when` (and a
    // Hello goes out from it); callable from any thread.
    void MoveAt(std::size_t index, Clock::time_point when);
    // Device `index` has moved by other means: a Hello from where it is now.
    void HelloAt(std::size_t index, Clock::time_point when);

private:
    enum class Job { Answer, Move, Hello };
    struct Pending {
        Clock::time_point when;
        Job job;
        std::size_t device;
        sockaddr_in to;
        std::shared_ptr<const std::string> relatesTo;
        bool operator>(const Pending& o) const { return when > o.when; }
    };

    void Run();
    void Receive(Clock::time_point now);
    void OnProbe(const std::string& text, const sockaddr_in& from, Clock::time_point now);
    void RunDue(Clock::time_point now);
    void Answer(const Pending& p, Clock::time_point now);
    void Move(std::size_t index, bool applyPending);
    void CheckVanished(Clock::time_point now);
    bool Present(const Device& d, Clock::time_point now) const;
    void SendFrom(const std::string& source, const sockaddr_in& to, int ifindex,
                  const std::string& text);
    void Announce(const std::string& source, const std::string& text);
    void Push(Pending p);

    Fleet* m_fleet;
    WsdOptions m_options;
    DeviceObserver* m_observer;
    std::vector<std::size_t> m_speakers; // devices on the WS-Discovery group
    std::vector<bool> m_gone;            // Bye sent (vanished), per speaker
    int m_fd = -1;
    int m_wakeFd = -1;
    std::vector<lorvex::net::Interface> m_ifaces;
    std::mutex m_mutex; // the queue
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> m_queue;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    Clock::time_point m_start;
    std::mt19937 m_rng{std::random_device{}()};
};

} // namespace devsim
