// lorvex-route-helper IFACE: adds the one route the device finder needs to
// reach devices that kept only their link-local address,
//     169.254.0.0/16 dev IFACE scope link metric 1000,
// for an up, non-loopback interface, and does nothing else. The package gives
// this program the file capability CAP_NET_ADMIN so that the tool, run as a
// normal user, can have the route added; therefore it trusts nothing of its
// caller: it reads no environment, starts no program and accepts exactly one
// argument. It talks to the kernel over rtnetlink itself (a program it
// started would not inherit the file capability).
//
// Exit status: 0 the route is in place (added now or already there),
// 2 the command line is refused, 3 the interface is unknown, down or the
// loopback, 4 the kernel refused the route (for example without the
// capability).
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

#include "RouteHelperArgs.h"

namespace {

constexpr int kRefused = 2;
constexpr int kNoInterface = 3;
constexpr int kKernelRefused = 4;
constexpr unsigned kMetric = 1000;

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
    const unsigned oif = index, metric = kMetric;
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

} // namespace

int main(int argc, char** argv) {
    const RouteHelperRequest request = CheckRouteHelperArgs(argc, argv);
    if (!request.accepted) {
        std::fputs("usage: lorvex-route-helper IFACE\n"
                   "adds 169.254.0.0/16 dev IFACE scope link metric 1000, nothing else\n",
                   stderr);
        return kRefused;
    }
    const unsigned index = UpInterfaceIndex(request.interfaceName.c_str());
    if (index == 0) {
        std::fprintf(stderr, "lorvex-route-helper: %s is not an up network interface\n",
                     request.interfaceName.c_str());
        return kNoInterface;
    }
    const int error = SendToKernel(LinkLocalRouteRequest(index));
    if (error != 0 && error != EEXIST) {
        std::fprintf(stderr, "lorvex-route-helper: the kernel refused the route: %s\n",
                     std::strerror(error));
        return kKernelRefused;
    }
    return 0;
}
