// The host's own network facilities: a TCP reachability probe, the address
// data of the local adapter, and the link-local route.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// True when a TCP connection to address (IPv4, network byte order) and port
// is established within timeoutMs (negative counts as 0). A connection that
// completes at once counts; a refusal, any other error and the time-out give
// false. The socket is closed before returning; nothing is sent.
bool ProbeTcpPort(uint32_t address, uint16_t port, int32_t timeoutMs);

// The files GetLocalNetInfo reads; tests point them elsewhere.
struct HostNetFiles {
    std::string routes = "/proc/net/route";
    std::string resolved = "/run/systemd/resolve/resolv.conf"; // preferred when present
    std::string resolv = "/etc/resolv.conf";
    std::string status = "/proc/self/status"; // the capabilities of this process
    // The route helper to use; empty: lorvex-route-helper beside this
    // program, else the one in the installed place (RouteHelperPath).
    std::string routeHelper;
};

struct LocalNetInfo {
    std::string interfaceName;
    std::string ip, mask, gateway, dns; // dotted quads; empty when unknown
};

// The first up, non-loopback interface with an IPv4 address in the system's
// order: its name, address and mask; the default gateway of that interface
// from files.routes; the first nameserver of files.resolved when that file
// exists, else of files.resolv. What cannot be found stays empty; the gateway
// is left empty too when there is no such interface.
LocalNetInfo ReadLocalNetInfo(const HostNetFiles& files = HostNetFiles());
// One up, non-loopback IPv4 address of the host.
struct LocalInterface {
    std::string name;
    std::string ip, mask; // dotted quads
};
// Every up, non-loopback IPv4 address of the host in the system's order
// (an interface with several addresses appears once for each); the first is
// the one ReadLocalNetInfo picks. Empty when the host has none.
std::vector<LocalInterface> ListLocalInterfaces();

// The default gateway of interface `name` in a /proc/net/route style file,
// as a dotted quad; empty when there is none or the file is unreadable.
std::string ReadDefaultGateway(const std::string& routesPath, const std::string& name);

// The first IPv4 "nameserver" address of a resolv.conf style file; empty
// when there is none. Only the first 64 KiB of the file are read.
std::string ReadFirstNameserver(const std::string& path);

// The name of the interface that carries the IPv4 address text (strict
// dotted quad), or empty when the text is not one or no interface has it.
std::string InterfaceOfAddress(const std::string& address);

// The route command for link-local devices on interface `name`:
// ip route add 169.254.0.0/16 dev NAME scope link metric 1000. Empty when
// name is not a plausible interface name (1 to 15 of [A-Za-z0-9_.:@-], not
// starting with '-').
std::vector<std::string> LinkLocalRouteCommand(const std::string& name);

// Starts the route command (StartDetached) for the interface that carries
// localAddress. Not waited for. False, and nothing started, when the text is
// not a dotted quad of one of the host's interfaces.
bool StartLinkLocalRoute(const std::string& localAddress);

// True when a /proc/net/route style file routes all of 169.254.0.0/16 over
// interface `name` directly (the /16 or a wider prefix; not the default
// route). Many desktops add such a route themselves.
bool HasLinkLocalRoute(const std::string& routesPath, const std::string& name);

// What EnsureLinkLocalRoute found or did.
enum class LinkLocalRouteState {
    Present,   // the interface already has the route: nothing started
    Started,   // the route command or the helper was started (not waited for)
    NeedsRoot, // the route is missing and this process may not add it
    NotLocal,  // the text is not a dotted quad of one of the host's interfaces
};

// The route helper a process without CAP_NET_ADMIN may use: `preferred`
// alone when given, else lorvex-route-helper beside this program, else the one in
// the installed place; only an executable file that carries a file
// capability counts (without one, as on a filesystem without extended
// attributes, the helper could not add the route). Empty when none does.
std::string RouteHelperPath(const std::string& preferred = std::string());

// Adds the link-local route for the interface that carries localAddress
// when it is missing: with the route command when this process may change
// routes (CAP_NET_ADMIN, read from files.status), else through the route
// helper (RouteHelperPath(files.routeHelper)) with the interface name as its
// one argument; both detached. NeedsRoot when neither is possible.
LinkLocalRouteState EnsureLinkLocalRoute(const std::string& localAddress,
                                         const HostNetFiles& files = HostNetFiles());
