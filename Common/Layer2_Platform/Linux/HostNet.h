// The host's own network facilities: a TCP reachability probe, the address
// data of the local adapter, and the link-local route.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LinkLocalRouteRule.h"

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
    // How long EnsureLinkLocalRoute waits, at most, for the route command or
    // the helper and for the route to show in files.routes.
    int routeWaitMs = 2000;
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

// Where 169.254.0.0/16 leads for interface `name` by a /proc/net/route
// style file (the main table), by the rule of LinkLocalRouteRule.h; the
// interface of the route that carries it now into *carrier when not null
// (empty when none does, "*" for a route that leads nowhere).
LinkLocalVerdict ReadLinkLocalVerdict(const std::string& routesPath, const std::string& name,
                                      std::string* carrier);

// True when the file's routes carry all of 169.254.0.0/16 directly out of
// interface `name` (its own /16 or a wider prefix; never the default
// route). Many desktops add such a route themselves.
bool HasLinkLocalRoute(const std::string& routesPath, const std::string& name);

// What EnsureLinkLocalRoute found or did.
enum class LinkLocalRouteState {
    Present,        // the route is in place: found, or added by this call and seen in the table
    Started,        // the route command or the helper ran, but the route was not in the table
                    // when the wait ended (it may still come)
    NeedsRoot,      // the route is missing and this process may not add it
    NotLocal,       // the text is not a dotted quad of one of the host's interfaces
    OtherInterface, // 169.254.0.0/16 leads to another interface (or a gateway) by a route
                    // the tool's cannot beat: nothing was added
};

// The route helper a process without CAP_NET_ADMIN may use: `preferred`
// alone when given, else lorvex-route-helper beside this program, else the one in
// the installed place; only an executable file that carries a file
// capability counts (without one, as on a filesystem without extended
// attributes, the helper could not add the route). Empty when none does.
std::string RouteHelperPath(const std::string& preferred = std::string());

// True when a route helper is there (the given one, else beside this
// program or in the installed place) but this user may not run it: the
// package lets only members of the group "lorvex" do so.
bool RouteHelperWithheld(const std::string& preferred = std::string());

// Makes sure the link-local route for the interface that carries
// localAddress is in place before a request to a link-local address goes
// out. Found in place (files.routes): Present at once. When the traffic
// leads elsewhere by a route the tool's cannot beat: OtherInterface, and
// nothing runs. Else it runs the route command when this process may change
// routes (CAP_NET_ADMIN, read from files.status), or the route helper
// (RouteHelperPath(files.routeHelper)) with the interface name as its one
// argument, and waits until the table shows the route (Present) or shows it
// led elsewhere (OtherInterface), at most files.routeWaitMs in all
// (then Started). NeedsRoot when neither may run, or the helper refused.
// Calls of the process take turns, so a second caller waits for the first's
// work and then finds the route in place. Blocks: never call it on the
// window thread.
LinkLocalRouteState EnsureLinkLocalRoute(const std::string& localAddress,
                                         const HostNetFiles& files = HostNetFiles());
