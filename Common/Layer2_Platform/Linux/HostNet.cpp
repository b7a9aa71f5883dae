#include "HostNet.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "HostProcess.h"
#include "InterfaceName.h"
#include "LinkLocalRouteRule.h"

namespace {

constexpr size_t kMaxConfigBytes = 64 * 1024;
constexpr size_t kMaxRouteLines = 4096;
constexpr int kRoutePollMs = 10;
// The route helper's exit statuses that EnsureLinkLocalRoute tells apart.
constexpr int kRouteHelperInPlace = 0;
constexpr int kRouteHelperElsewhere = 4;

std::string Dotted(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

bool ConnectionEstablished(int fd, int32_t timeoutMs) {
    pollfd p{fd, POLLOUT, 0};
    int rc;
    do {
        rc = poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    if (rc <= 0)
        return false;
    int error = 0;
    socklen_t length = sizeof error;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

bool IsUsableIPv4(const ifaddrs* ifa) {
    if (ifa->ifa_addr == nullptr || ifa->ifa_addr->sa_family != AF_INET)
        return false;
    return (ifa->ifa_flags & IFF_UP) && !(ifa->ifa_flags & IFF_LOOPBACK);
}

in_addr AddressOf(const sockaddr* sa) {
    return sa != nullptr ? reinterpret_cast<const sockaddr_in*>(sa)->sin_addr : in_addr{};
}

// Reads at most kMaxConfigBytes of a text file; empty when unreadable.
std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::string text(kMaxConfigBytes, '\0');
    in.read(&text[0], static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

bool IsDottedQuad(const std::string& text, in_addr* out) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1)
        return false;
    if (out != nullptr)
        *out = a;
    return true;
}

// One line of /proc/net/route: Iface Destination Gateway Flags ...; the
// addresses are the kernel's raw 32-bit values in hexadecimal.
bool ParseDefaultRoute(const std::string& line, const std::string& name, in_addr* gateway) {
    char iface[64] = {};
    unsigned long destination = 0, via = 0, flags = 0;
    if (std::sscanf(line.c_str(), "%63s %lx %lx %lx", iface, &destination, &via, &flags) != 4)
        return false;
    const unsigned long kUp = 0x1, kGateway = 0x2;
    if (name != iface || destination != 0 || (flags & (kUp | kGateway)) != (kUp | kGateway))
        return false;
    gateway->s_addr = static_cast<uint32_t>(via);
    return true;
}

// One line of /proc/net/route as the link-local rule reads it, judged for
// interface `name`; the line's interface into *iface. False for the title
// and lines that do not read.
bool ReadRouteLine(const std::string& line, const std::string& name, RouteSeen* out,
                   std::string* iface) {
    char card[64] = {};
    unsigned long destination = 0, via = 0, flags = 0, mask = 0;
    int refs = 0, use = 0;
    unsigned long metric = 0;
    if (std::sscanf(line.c_str(), "%63s %lx %lx %lx %d %d %lu %lx", card, &destination, &via,
                    &flags, &refs, &use, &metric, &mask) != 8)
        return false;
    const unsigned long kUp = 0x1, kGateway = 0x2, kReject = 0x200;
    if (!(flags & kUp))
        return false;
    // The file shows the kernel's raw network-order words in hexadecimal.
    const uint32_t hostMask = ntohl(static_cast<uint32_t>(mask));
    int prefix = 0;
    while (prefix < 32 && (hostMask & (0x80000000u >> prefix)))
        ++prefix;
    if (hostMask != (prefix == 0 ? 0u : ~0u << (32 - prefix)))
        return false; // not a prefix: no route the kernel makes
    out->destination = ntohl(static_cast<uint32_t>(destination));
    out->prefix = prefix;
    out->metric = static_cast<uint32_t>(metric);
    out->direct = !(flags & (kGateway | kReject)) && std::strcmp(card, "*") != 0;
    out->onInterface = name == card;
    *iface = card;
    return true;
}

// The main table's routes from a /proc/net/route style file, judged for
// interface `name`, with the interface of each beside it.
void ReadRoutes(const std::string& routesPath, const std::string& name,
                std::vector<RouteSeen>* routes, std::vector<std::string>* cards) {
    std::istringstream lines(ReadSmallFile(routesPath));
    std::string line;
    std::getline(lines, line); // the column titles
    for (size_t n = 0; n < kMaxRouteLines && std::getline(lines, line); ++n) {
        RouteSeen seen;
        std::string card;
        if (ReadRouteLine(line, name, &seen, &card)) {
            routes->push_back(seen);
            cards->push_back(card);
        }
    }
}

// Serialises the link-local route work of this process: one look and one
// addition at a time, so that a request waiting for the route and the
// start-up adding it do not run the helper twice at once.
std::mutex& RouteLock() {
    static std::mutex lock;
    return lock;
}

// CAP_NET_ADMIN (bit 12) in the effective set of this process: what
// changing a route takes, root or not.
bool MayChangeRoutes(const std::string& statusPath) {
    std::istringstream lines(ReadSmallFile(statusPath));
    for (std::string line; std::getline(lines, line);) {
        unsigned long long caps = 0;
        if (std::sscanf(line.c_str(), "CapEff: %llx", &caps) == 1)
            return (caps >> 12) & 1;
    }
    return false;
}

// An executable regular file with a file capability set on it.
bool IsUsableRouteHelper(const std::string& path) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        access(path.c_str(), X_OK) != 0)
        return false;
    return getxattr(path.c_str(), "security.capability", nullptr, 0) > 0;
}

// The folder of this program's executable, with its final '/'; empty when
// it cannot be read.
std::string OwnFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    const std::string exe(path, static_cast<size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

// Where a route helper is looked for: `preferred` alone when given, else
// beside this program, then the installed place.
std::vector<std::string> RouteHelperPlaces(const std::string& preferred) {
    if (!preferred.empty())
        return {preferred};
    const std::string beside = OwnFolder();
    std::vector<std::string> places;
    if (!beside.empty())
        places.push_back(beside + "lorvex-route-helper");
    places.push_back(LORVEX_ROUTE_HELPER_INSTALLED);
    return places;
}

} // namespace

bool ProbeTcpPort(uint32_t address, uint16_t port, int32_t timeoutMs) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = address;
    const int rc = connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    const bool established = rc == 0 || (errno == EINPROGRESS &&
                                         ConnectionEstablished(fd, timeoutMs < 0 ? 0 : timeoutMs));
    close(fd);
    return established;
}

std::string ReadDefaultGateway(const std::string& routesPath, const std::string& name) {
    std::istringstream lines(ReadSmallFile(routesPath));
    std::string line;
    std::getline(lines, line); // the column titles
    for (size_t n = 0; n < kMaxRouteLines && std::getline(lines, line); ++n) {
        in_addr gateway{};
        if (ParseDefaultRoute(line, name, &gateway))
            return Dotted(gateway);
    }
    return {};
}

std::string ReadFirstNameserver(const std::string& path) {
    std::istringstream lines(ReadSmallFile(path));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string keyword, value;
        if (!(words >> keyword >> value) || keyword != "nameserver")
            continue;
        in_addr a{};
        if (IsDottedQuad(value, &a))
            return Dotted(a);
    }
    return {};
}

LocalNetInfo ReadLocalNetInfo(const HostNetFiles& files) {
    LocalNetInfo info;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (const ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
            if (!IsUsableIPv4(ifa))
                continue;
            info.interfaceName = ifa->ifa_name;
            info.ip = Dotted(AddressOf(ifa->ifa_addr));
            info.mask = Dotted(AddressOf(ifa->ifa_netmask));
            break;
        }
        freeifaddrs(list);
    }
    if (!info.interfaceName.empty())
        info.gateway = ReadDefaultGateway(files.routes, info.interfaceName);
    const bool preferResolved = access(files.resolved.c_str(), R_OK) == 0;
    info.dns = ReadFirstNameserver(preferResolved ? files.resolved : files.resolv);
    return info;
}

std::vector<LocalInterface> ListLocalInterfaces() {
    std::vector<LocalInterface> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return out;
    for (const ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
        if (IsUsableIPv4(ifa))
            out.push_back({ifa->ifa_name, Dotted(AddressOf(ifa->ifa_addr)),
                           Dotted(AddressOf(ifa->ifa_netmask))});
    }
    freeifaddrs(list);
    return out;
}

std::string InterfaceOfAddress(const std::string& address) {
    in_addr wanted{};
    if (!IsDottedQuad(address, &wanted))
        return {};
    std::string name;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return {};
    for (const ifaddrs* ifa = list; ifa != nullptr && name.empty(); ifa = ifa->ifa_next) {
        if (ifa->ifa_addr == nullptr || ifa->ifa_addr->sa_family != AF_INET)
            continue;
        if (AddressOf(ifa->ifa_addr).s_addr == wanted.s_addr)
            name = ifa->ifa_name;
    }
    freeifaddrs(list);
    return name;
}

std::vector<std::string> LinkLocalRouteCommand(const std::string& name) {
    if (!IsPlausibleInterfaceName(name))
        return {};
    return {"ip", "route", "add", "169.254.0.0/16", "dev", name, "scope", "link", "metric", "1000"};
}

LinkLocalVerdict ReadLinkLocalVerdict(const std::string& routesPath, const std::string& name,
                                      std::string* carrier) {
    std::vector<RouteSeen> routes;
    std::vector<std::string> cards;
    ReadRoutes(routesPath, name, &routes, &cards);
    const RouteSeen* found = LinkLocalCarrier(routes);
    if (carrier != nullptr)
        *carrier = found ? cards[static_cast<size_t>(found - routes.data())] : std::string();
    return JudgeLinkLocalRoutes(routes);
}

bool HasLinkLocalRoute(const std::string& routesPath, const std::string& name) {
    return ReadLinkLocalVerdict(routesPath, name, nullptr) == LinkLocalVerdict::InPlace;
}

std::string RouteHelperPath(const std::string& preferred) {
    for (const std::string& candidate : RouteHelperPlaces(preferred))
        if (IsUsableRouteHelper(candidate))
            return candidate;
    return {};
}

bool RouteHelperWithheld(const std::string& preferred) {
    for (const std::string& path : RouteHelperPlaces(preferred)) {
        struct stat info {};
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(path.c_str(), X_OK) != 0)
            return true;
    }
    return false;
}

namespace {

// The route command (with CAP_NET_ADMIN) or the helper for interface
// `name`, run and waited for until `deadline`. NeedsRoot when neither may
// run, OtherInterface when the helper found the traffic led elsewhere,
// Started when it ran (the table then tells the rest).
LinkLocalRouteState RunRouteAdder(const std::string& name, const HostNetFiles& files,
                                  std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const int timeoutMs = static_cast<int>(left.count());
    if (MayChangeRoutes(files.status)) {
        // `ip` says "File exists" for a route of the same metric elsewhere;
        // the table, read next, tells that apart from success.
        const int status = RunProgram(LinkLocalRouteCommand(name), timeoutMs);
        return status == kProgramNotStarted ? LinkLocalRouteState::NeedsRoot
                                            : LinkLocalRouteState::Started;
    }
    const std::string helper = RouteHelperPath(files.routeHelper);
    if (helper.empty())
        return LinkLocalRouteState::NeedsRoot;
    switch (RunProgram({helper, name}, timeoutMs)) {
    case kRouteHelperInPlace:
    case kProgramStillRunning:
        return LinkLocalRouteState::Started;
    case kRouteHelperElsewhere:
        return LinkLocalRouteState::OtherInterface;
    default: // refused, killed, or the kernel refused it (no capability after all)
        return LinkLocalRouteState::NeedsRoot;
    }
}

} // namespace

LinkLocalRouteState EnsureLinkLocalRoute(const std::string& localAddress,
                                         const HostNetFiles& files) {
    const std::string name = InterfaceOfAddress(localAddress);
    if (LinkLocalRouteCommand(name).empty())
        return LinkLocalRouteState::NotLocal;
    const std::lock_guard<std::mutex> hold(RouteLock());
    switch (ReadLinkLocalVerdict(files.routes, name, nullptr)) {
    case LinkLocalVerdict::InPlace:
        return LinkLocalRouteState::Present;
    case LinkLocalVerdict::Elsewhere:
        return LinkLocalRouteState::OtherInterface;
    case LinkLocalVerdict::Missing:
        break;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(files.routeWaitMs);
    const LinkLocalRouteState ran = RunRouteAdder(name, files, deadline);
    if (ran != LinkLocalRouteState::Started)
        return ran;
    // The route counts once the table shows it: the first request to a
    // link-local address goes out only then.
    for (;;) {
        switch (ReadLinkLocalVerdict(files.routes, name, nullptr)) {
        case LinkLocalVerdict::InPlace:
            return LinkLocalRouteState::Present;
        case LinkLocalVerdict::Elsewhere:
            return LinkLocalRouteState::OtherInterface;
        case LinkLocalVerdict::Missing:
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return LinkLocalRouteState::Started;
        std::this_thread::sleep_for(std::chrono::milliseconds(kRoutePollMs));
    }
}
