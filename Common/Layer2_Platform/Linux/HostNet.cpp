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
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "HostProcess.h"
#include "InterfaceName.h"

namespace {

constexpr size_t kMaxConfigBytes = 64 * 1024;
constexpr size_t kMaxRouteLines = 4096;

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

// One line of /proc/net/route that routes all of 169.254.0.0/16 through
// interface `name` without a gateway (the /16 itself or a wider prefix,
// never the default route).
bool IsLinkLocalRoute(const std::string& line, const std::string& name) {
    char iface[64] = {};
    unsigned long destination = 0, via = 0, flags = 0, mask = 0;
    int refs = 0, use = 0, metric = 0;
    if (std::sscanf(line.c_str(), "%63s %lx %lx %lx %d %d %d %lx", iface, &destination, &via,
                    &flags, &refs, &use, &metric, &mask) != 8)
        return false;
    const uint32_t linkLocal = inet_addr("169.254.0.0"), wide = inet_addr("255.255.0.0");
    const unsigned long kUp = 0x1, kGateway = 0x2;
    if (name != iface || (flags & (kUp | kGateway)) != kUp || mask == 0)
        return false;
    return (mask & ~static_cast<unsigned long>(wide)) == 0 && (linkLocal & mask) == destination;
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

bool StartLinkLocalRoute(const std::string& localAddress) {
    const std::vector<std::string> command =
        LinkLocalRouteCommand(InterfaceOfAddress(localAddress));
    return !command.empty() && StartDetached(command);
}

bool HasLinkLocalRoute(const std::string& routesPath, const std::string& name) {
    std::istringstream lines(ReadSmallFile(routesPath));
    std::string line;
    std::getline(lines, line); // the column titles
    for (size_t n = 0; n < kMaxRouteLines && std::getline(lines, line); ++n)
        if (IsLinkLocalRoute(line, name))
            return true;
    return false;
}

std::string RouteHelperPath(const std::string& preferred) {
    if (!preferred.empty())
        return IsUsableRouteHelper(preferred) ? preferred : std::string();
    const std::string beside = OwnFolder();
    for (const std::string& candidate :
         {beside.empty() ? beside : beside + "lorvex-route-helper",
          std::string(LORVEX_ROUTE_HELPER_INSTALLED)})
        if (IsUsableRouteHelper(candidate))
            return candidate;
    return {};
}

LinkLocalRouteState EnsureLinkLocalRoute(const std::string& localAddress,
                                         const HostNetFiles& files) {
    const std::string name = InterfaceOfAddress(localAddress);
    if (LinkLocalRouteCommand(name).empty())
        return LinkLocalRouteState::NotLocal;
    if (HasLinkLocalRoute(files.routes, name))
        return LinkLocalRouteState::Present;
    if (!MayChangeRoutes(files.status)) {
        const std::string helper = RouteHelperPath(files.routeHelper);
        return !helper.empty() && StartDetached({helper, name}) ? LinkLocalRouteState::Started
                                                                : LinkLocalRouteState::NeedsRoot;
    }
    return StartLinkLocalRoute(localAddress) ? LinkLocalRouteState::Started
                                             : LinkLocalRouteState::NeedsRoot;
}
