// The device side beyond the search protocol: each served device's HTTP
// port interface (POST /GetPortConfig, POST /SetPortConfig, GET /), a
// camera's device and media service and its picture, and its data-port
// listener, on the device's addresses. When a configuration
// request moves a device, its listeners and (with an own interface) its
// addresses follow. See docs/http.md.

#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CameraTls.h"
#include "Fleet.h"
#include "Simulator.h"

namespace httplib {
class Server;
struct Response;
} // namespace httplib

namespace devsim {

struct ServeOptions {
    // Interface that gets every served device's addresses (as /32) and loses
    // them when a device moves. Empty: addresses are left alone. Only honoured
    // inside a private network namespace; Start refuses otherwise.
    std::string ownInterface;
    std::size_t serveLimit = 1024; // the first N devices get servers
    bool verbose = false;
};

// "Basic " + Base64("admin:" + password): what a device accepts.
std::string ExpectedAuthorization(const std::string& password);

// Text made safe inside HTML element content and attribute values.
std::string HtmlEscape(const std::string& text);

// The GetPortConfig answer of d: config/port with httpPort, netPort, rtspPort.
std::string PortConfigXml(const Device& d);

// Reads port/httpPort, port/netPort and port/rtspPort of a SetPortConfig
// body; false unless all three are decimals from 1 to 65535.
bool ParsePortConfig(const std::string& body, int* httpPort, int* netPort, int* rtspPort);

// The device's small web page, every device text escaped.
std::string DevicePage(const Device& d);

class DeviceServers : public DeviceObserver {
public:
    DeviceServers(Fleet* fleet, ServeOptions options);
    ~DeviceServers() override;
    DeviceServers(const DeviceServers&) = delete;
    DeviceServers& operator=(const DeviceServers&) = delete;

    // Puts the addresses on the own interface (when set), opens the data-port
    // listeners and the HTTP servers. False with a reason in error.
    bool Start(std::string* error);
    // Closes everything and takes the addresses it added off the interface.
    void Stop();

    void OnConfigured(std::size_t index, const Device& before, const Device& after) override;

    // Called when a camera's device service has left a new address to take
    // effect at a time (WsDiscoveryResponder::MoveAt). Set before Start.
    void SetMover(std::function<void(std::size_t, Clock::time_point)> mover) {
        m_mover = std::move(mover);
    }
    // Called when a camera's scopes changed and a Hello is due at a time
    // (WsDiscoveryResponder::HelloAt). Set before Start.
    void SetAnnouncer(std::function<void(std::size_t, Clock::time_point)> announcer) {
        m_announcer = std::move(announcer);
    }

private:
    struct Served {
        std::vector<std::uint32_t> addresses; // host order
        int httpPort = 0, dataPort = 0;
        int httpsPort = 0; // an https camera's device service; 0: none
    };
    using Route = std::pair<std::uint32_t, int>; // address, HTTP port

    Served ServedOf(const Device& d) const;
    void Register(std::size_t index, const Served& s, std::vector<std::string>* addressLines);
    void Unregister(std::size_t index, std::vector<std::string>* addressLines);
    void Refresh(std::size_t index);
    // tls: the server speaks HTTPS with the cameras' certificates (m_tls).
    bool EnsureHttpServer(int port, bool tls = false);
    void InstallHandlers(httplib::Server* server, int port);
    void InstallOnvif(httplib::Server* server, int port);
    void InstallPicture(httplib::Server* server, int port);
    void InstallTokenPicture(httplib::Server* server, int port);
    // The misbehaviour of device index for its cameras' HTTP (delay,
    // silence, a fixed status); true when res is answered already.
    bool Misbehaves(std::size_t index, httplib::Response& res);
    static void StopServer(httplib::Server* server);
    long FindDevice(const std::string& host, int port);
    void RunDataListeners();
    void ApplyDataChanges();
    void WaitForDataListeners();
    bool RunIpBatch(const std::vector<std::string>& lines);

    Fleet* m_fleet;
    ServeOptions m_options;
    std::mutex m_mutex; // everything below
    std::map<std::size_t, Served> m_served;
    std::map<Route, std::size_t> m_routes;
    std::map<std::uint32_t, int> m_ownedAddresses; // added by us, with users
    std::set<std::uint32_t> m_foreignAddresses;    // on the interface before we came
    std::map<int, std::unique_ptr<httplib::Server>> m_servers;
    CameraTls m_tls; // outlives the servers' threads: declared before them
    bool m_tlsNamed = false;
    std::vector<std::thread> m_serverThreads;
    std::map<std::size_t, std::vector<int>> m_dataFds; // owned by the listener thread
    std::set<std::size_t> m_dataPending;
    std::uint64_t m_dataWanted = 0, m_dataApplied = 0;
    std::condition_variable m_dataCv;
    int m_wakeFd = -1;
    bool m_stopping = false;
    std::atomic<bool> m_halt{false}; // read by handlers without the mutex
    std::thread m_dataThread;
    std::function<void(std::size_t, Clock::time_point)> m_mover;
    std::function<void(std::size_t, Clock::time_point)> m_announcer;
};

} // namespace devsim
