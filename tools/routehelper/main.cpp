// lorvex-route-helper IFACE: adds the one route the device finder needs to
// reach devices that kept only their link-local address,
//     169.254.0.0/16 dev IFACE scope link metric 1000,
// for an up, non-loopback interface, and does nothing else. The package gives
// this program the file capability CAP_NET_ADMIN and lets only members of
// the group "lorvex" run it, so that the tool, run as a normal user, can have
// the route added; therefore it trusts nothing of its caller: it reads no
// environment, starts no program and accepts exactly one argument. It talks
// to the kernel over rtnetlink itself (a program it started would not
// inherit the file capability).
//
// It never lets 169.254.0.0/16 quietly lead elsewhere: when a route that the
// tool's cannot beat already takes that traffic to another interface (or a
// gateway), nothing is added and it says so. It judges the main table again
// after adding, so that a route slipped in meanwhile is reported too.
//
// Exit status: 0 the route is in place (added now or already there),
// 2 the command line is refused, 3 the interface is unknown, down or the
// loopback, 4 169.254.0.0/16 leads to another interface, 5 the kernel refused
// the route (for example without the capability).
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "LinkLocalRouteRule.h"
#include "RouteHelperArgs.h"

namespace {

constexpr int kRefused = 2;
constexpr int kNoInterface = 3;
constexpr int kElsewhere = 4;
constexpr int kKernelRefused = 5;
// Bounds on the kernel's answer to a dump: a table larger than this is not
// one this helper judges (it reports the kernel's refusal instead).
constexpr size_t kMaxRoutes = 65536;
constexpr int kMaxReads = 4096;

// The index of interface `name` when it is up and not the loopback, else 0.
unsigned UpInterfaceIndex(const char* name) {
    const unsigned index = if_nametoindex(name);
    if (index == 0)
        return 0;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    ifreq request{};
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    const bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags & IFF_UP) &&
                    !(request.ifr_flags & IFF_LOOPBACK);
    close(fd);
    return up ? index : 0;
}

struct RouteMessage {
    nlmsghdr header;
    rtmsg route;
    char attributes[64];
};

void AddAttribute(RouteMessage& m, unsigned short type, const void* data, unsigned short size) {
    auto* attribute = reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&m) +
                                                NLMSG_ALIGN(m.header.nlmsg_len));
    attribute->rta_type = type;
    attribute->rta_len = RTA_LENGTH(size);
    std::memcpy(RTA_DATA(attribute), data, size);
    m.header.nlmsg_len = NLMSG_ALIGN(m.header.nlmsg_len) + RTA_ALIGN(attribute->rta_len);
}

// The request `ip route add 169.254.0.0/16 dev IFACE scope link metric 1000`
// sends: a new unicast route in the main table, refused when one exists.
RouteMessage LinkLocalRouteRequest(unsigned index) {
    RouteMessage m{};
    m.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    m.header.nlmsg_type = RTM_NEWROUTE;
    m.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK | NLM_F_CREATE | NLM_F_EXCL;
    m.header.nlmsg_seq = 1;
    m.route.rtm_family = AF_INET;
    m.route.rtm_dst_len = 16;
    m.route.rtm_table = RT_TABLE_MAIN;
    m.route.rtm_protocol = RTPROT_BOOT;
    m.route.rtm_scope = RT_SCOPE_LINK;
    m.route.rtm_type = RTN_UNICAST;
    const in_addr destination{htonl(0xA9FE0000u)}; // 169.254.0.0
    const unsigned oif = index, metric = kLinkLocalRouteMetric;
    AddAttribute(m, RTA_DST, &destination, sizeof destination);
    AddAttribute(m, RTA_OIF, &oif, sizeof oif);
    AddAttribute(m, RTA_PRIORITY, &metric, sizeof metric);
    return m;
}

// Sends the request and returns the kernel's answer: 0 or an errno value.
int SendToKernel(const RouteMessage& m) {
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return errno;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    int result = EIO;
    if (sendto(fd, &m, m.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) < 0) {
        result = errno;
    } else {
        alignas(nlmsghdr) char answer[512];
        const ssize_t n = recv(fd, answer, sizeof answer, 0);
        const auto* reply = reinterpret_cast<const nlmsghdr*>(answer);
        if (n >= static_cast<ssize_t>(NLMSG_LENGTH(sizeof(nlmsgerr))) &&
            reply->nlmsg_type == NLMSG_ERROR)
            result = -static_cast<const nlmsgerr*>(NLMSG_DATA(reply))->error;
    }
    close(fd);
    return result;
}

// One route of a dump, read within its own length; false for a route of
// another table or family, which the rule does not look at.
bool ReadRoute(const nlmsghdr* h, unsigned index, RouteSeen* out, unsigned* oif) {
    if (h->nlmsg_type != RTM_NEWROUTE || h->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
        return false;
    const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(h));
    if (route->rtm_family != AF_INET || route->rtm_dst_len > 32)
        return false;
    unsigned table = route->rtm_table;
    RouteSeen seen;
    seen.prefix = route->rtm_dst_len;
    bool gateway = false;
    *oif = 0;
    int length = static_cast<int>(RTM_PAYLOAD(h));
    for (const rtattr* a = RTM_RTA(route); RTA_OK(a, length); a = RTA_NEXT(a, length)) {
        const size_t size = RTA_PAYLOAD(a);
        uint32_t value = 0;
        if (size == sizeof value)
            std::memcpy(&value, RTA_DATA(a), sizeof value);
        switch (a->rta_type) {
        case RTA_DST:
            seen.destination = ntohl(value);
            break;
        case RTA_OIF:
            *oif = value;
            break;
        case RTA_PRIORITY:
            seen.metric = value;
            break;
        case RTA_TABLE:
            table = size == sizeof value ? value : table;
            break;
        case RTA_GATEWAY:
        case RTA_MULTIPATH:
            gateway = true;
            break;
        default:
            break;
        }
    }
    if (table != RT_TABLE_MAIN)
        return false;
    // Blackhole, unreachable and the like carry nothing out of any card.
    seen.direct = route->rtm_type == RTN_UNICAST && !gateway && *oif != 0;
    seen.onInterface = *oif == index;
    *out = seen;
    return true;
}

// The IPv4 routes of the main table, onInterface set for those out of
// interface `index`, and beside each (same place in *oifs) the index of the
// interface it leads out of (0: none). False when the kernel's answer could
// not be read whole.
bool DumpRoutes(unsigned index, std::vector<RouteSeen>* routes, std::vector<unsigned>* oifs) {
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return false;
    struct {
        nlmsghdr header;
        rtmsg route;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 2;
    request.route.rtm_family = AF_INET;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    bool done = false, failed = sendto(fd, &request, request.header.nlmsg_len, 0,
                                       reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0;
    alignas(nlmsghdr) static char buffer[32768];
    for (int reads = 0; !done && !failed && reads < kMaxReads; ++reads) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            failed = true;
            break;
        }
        int left = static_cast<int>(n);
        for (const auto* h = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(h, left);
             h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE) {
                done = true;
                break;
            }
            if (h->nlmsg_type == NLMSG_ERROR || routes->size() >= kMaxRoutes) {
                failed = true;
                break;
            }
            RouteSeen seen;
            unsigned oif = 0;
            if (ReadRoute(h, index, &seen, &oif)) {
                routes->push_back(seen);
                oifs->push_back(oif);
            }
        }
    }
    close(fd);
    return done && !failed;
}

// The verdict of the main table for interface `index`, and, when it is
// Elsewhere, where the traffic goes instead ("dev NAME" or "a gateway").
bool Judge(unsigned index, LinkLocalVerdict* verdict, std::string* elsewhere) {
    std::vector<RouteSeen> routes;
    std::vector<unsigned> oifs;
    if (!DumpRoutes(index, &routes, &oifs))
        return false;
    *verdict = JudgeLinkLocalRoutes(routes);
    if (const RouteSeen* carrier = LinkLocalCarrier(routes)) {
        char name[IF_NAMESIZE] = {};
        const unsigned oif = oifs[static_cast<size_t>(carrier - routes.data())];
        *elsewhere = carrier->direct && if_indextoname(oif, name) != nullptr
                         ? std::string("dev ") + name
                         : std::string("a gateway or nowhere");
    }
    return true;
}

int SayElsewhere(const char* interfaceName, const std::string& elsewhere) {
    std::fprintf(stderr,
                 "lorvex-route-helper: 169.254.0.0/16 already leads elsewhere (%s), not to %s; "
                 "nothing changed\n",
                 elsewhere.c_str(), interfaceName);
    return kElsewhere;
}

} // namespace

int main(int argc, char** argv) {
    const RouteHelperRequest request = CheckRouteHelperArgs(argc, argv);
    if (!request.accepted) {
        std::fputs("usage: lorvex-route-helper IFACE\n"
                   "adds 169.254.0.0/16 dev IFACE scope link metric 1000, nothing else\n",
                   stderr);
        return kRefused;
    }
    const char* name = request.interfaceName.c_str();
    const unsigned index = UpInterfaceIndex(name);
    if (index == 0) {
        std::fprintf(stderr, "lorvex-route-helper: %s is not an up network interface\n", name);
        return kNoInterface;
    }
    LinkLocalVerdict verdict = LinkLocalVerdict::Missing;
    std::string elsewhere;
    if (!Judge(index, &verdict, &elsewhere)) {
        std::fputs("lorvex-route-helper: the routing table could not be read\n", stderr);
        return kKernelRefused;
    }
    if (verdict == LinkLocalVerdict::InPlace)
        return 0;
    if (verdict == LinkLocalVerdict::Elsewhere)
        return SayElsewhere(name, elsewhere);
    const int error = SendToKernel(LinkLocalRouteRequest(index));
    if (error != 0 && error != EEXIST) {
        std::fprintf(stderr, "lorvex-route-helper: the kernel refused the route: %s\n",
                     std::strerror(error));
        return kKernelRefused;
    }
    // EEXIST, or a route added by someone else since the first look: what
    // counts is where the traffic goes now.
    if (!Judge(index, &verdict, &elsewhere) || verdict == LinkLocalVerdict::Missing) {
        std::fputs("lorvex-route-helper: the route did not take effect\n", stderr);
        return kKernelRefused;
    }
    return verdict == LinkLocalVerdict::InPlace ? 0 : SayElsewhere(name, elsewhere);
}
