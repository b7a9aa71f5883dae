#include "SearchNet.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "SearchWire.h"

namespace lorvex::net {
namespace {

bool Usable(const ifaddrs* ifa) {
    if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_INET)
        return false;
    const unsigned flags = ifa->ifa_flags;
    return (flags & IFF_UP) && (flags & IFF_MULTICAST) && !(flags & IFF_LOOPBACK);
}

in_addr GroupAddress() {
    in_addr group{};
    inet_pton(AF_INET, wire::kGroup, &group);
    return group;
}

void AskReceiveBuffer(int fd, int bytes) {
    // The privileged call ignores net.core.rmem_max; the plain one is capped by it.
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

bool SetOptions(int fd) {
    const int one = 1;
    const unsigned char ttl = 1;
    const unsigned char loop = 1;
    return setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0 &&
           setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0 &&
           setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) == 0 &&
           setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one) == 0;
}

bool Bind(int fd, std::uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    return bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

} // namespace

std::vector<Interface> ListMulticastInterfaces() {
    std::vector<Interface> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return out;
    for (const ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
        if (!Usable(ifa))
            continue;
        const int index = static_cast<int>(if_nametoindex(ifa->ifa_name));
        if (index == 0)
            continue;
        auto same = [index](const Interface& i) { return i.index == index; };
        if (std::any_of(out.begin(), out.end(), same))
            continue;
        Interface i;
        i.index = index;
        i.name = ifa->ifa_name;
        i.address = reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr)->sin_addr;
        out.push_back(i);
    }
    freeifaddrs(list);
    return out;
}

int OpenGroupSocket(std::uint16_t port, int receiveBuffer) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (!SetOptions(fd) || !Bind(fd, port)) {
        close(fd);
        return -1;
    }
    AskReceiveBuffer(fd, receiveBuffer);
    return fd;
}

bool JoinGroup(int fd, int index) {
    ip_mreqn req{};
    req.imr_multiaddr = GroupAddress();
    req.imr_ifindex = index;
    if (setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &req, sizeof req) == 0)
        return true;
    return errno == EADDRINUSE;
}

void JoinAll(int fd, const std::vector<Interface>& ifaces, std::vector<int>* joined) {
    for (const Interface& i : ifaces) {
        if (std::find(joined->begin(), joined->end(), i.index) != joined->end())
            continue;
        if (JoinGroup(fd, i.index))
            joined->push_back(i.index);
    }
}

bool SendOn(int fd, int index, std::uint16_t port, const std::string& datagram) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr = GroupAddress();
    // The interface travels with the datagram (IP_PKTINFO), so senders on
    // several threads never race on a socket-wide IP_MULTICAST_IF.
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    iovec iov{const_cast<char*>(datagram.data()), datagram.size()};
    msghdr msg{};
    msg.msg_name = &to;
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* cm = CMSG_FIRSTHDR(&msg);
    cm->cmsg_level = IPPROTO_IP;
    cm->cmsg_type = IP_PKTINFO;
    cm->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = index;
    std::memcpy(CMSG_DATA(cm), &info, sizeof info);
    return sendmsg(fd, &msg, MSG_NOSIGNAL) == static_cast<ssize_t>(datagram.size());
}

int SendAll(int fd, const std::vector<Interface>& ifaces, std::uint16_t port,
            const std::string& datagram) {
    int sent = 0;
    for (const Interface& i : ifaces)
        sent += SendOn(fd, i.index, port, datagram) ? 1 : 0;
    return sent;
}

namespace {
constexpr std::size_t kControlSlot = CMSG_SPACE(sizeof(in_pktinfo));
} // namespace

BatchReceiver::BatchReceiver(std::size_t batch)
    : m_batch(batch), m_buffers(batch * (wire::kMaxDatagram + 1)), m_headers(batch),
      m_iovecs(batch), m_control(batch * kControlSlot), m_sources(batch) {}

void BatchReceiver::AcceptOnly(std::vector<int> interfaces) {
    m_filter = true;
    m_interfaces = std::move(interfaces);
}

bool BatchReceiver::Accepted(const msghdr& h) const {
    if (!m_filter)
        return true;
    in_addr group{};
    inet_pton(AF_INET, wire::kGroup, &group);
    for (const cmsghdr* c = CMSG_FIRSTHDR(&h); c;
         c = CMSG_NXTHDR(const_cast<msghdr*>(&h), const_cast<cmsghdr*>(c))) {
        if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO)
            continue;
        in_pktinfo info{};
        std::memcpy(&info, CMSG_DATA(c), sizeof info);
        return info.ipi_addr.s_addr == group.s_addr &&
               std::find(m_interfaces.begin(), m_interfaces.end(), info.ipi_ifindex) !=
                   m_interfaces.end();
    }
    return false;
}

int BatchReceiver::ReceiveOnce(int fd,
                               const std::function<void(const unsigned char*, std::size_t)>& sink) {
    return ReceiveFrom(
        fd, [&](const unsigned char* data, std::size_t size, std::uint32_t) { sink(data, size); });
}

int BatchReceiver::ReceiveFrom(
    int fd, const std::function<void(const unsigned char*, std::size_t, std::uint32_t)>& sink) {
    const std::size_t slot = wire::kMaxDatagram + 1; // one spare byte reveals oversize
    for (std::size_t i = 0; i < m_batch; ++i) {
        m_iovecs[i] = iovec{m_buffers.data() + i * slot, slot};
        m_headers[i] = mmsghdr{};
        m_sources[i] = sockaddr_in{};
        m_headers[i].msg_hdr.msg_name = &m_sources[i];
        m_headers[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
        m_headers[i].msg_hdr.msg_iov = &m_iovecs[i];
        m_headers[i].msg_hdr.msg_iovlen = 1;
        m_headers[i].msg_hdr.msg_control = m_control.data() + i * kControlSlot;
        m_headers[i].msg_hdr.msg_controllen = kControlSlot;
    }
    const int n =
        recvmmsg(fd, m_headers.data(), static_cast<unsigned>(m_batch), MSG_DONTWAIT, nullptr);
    if (n <= 0)
        return 0;
    for (int i = 0; i < n; ++i) {
        const mmsghdr& h = m_headers[static_cast<std::size_t>(i)];
        if ((h.msg_hdr.msg_flags & MSG_TRUNC) || h.msg_len > wire::kMaxDatagram)
            continue;
        if (!Accepted(h.msg_hdr))
            continue;
        sink(m_buffers.data() + static_cast<std::size_t>(i) * slot, h.msg_len,
             m_sources[static_cast<std::size_t>(i)].sin_addr.s_addr);
    }
    return n;
}

int OpenWakeFd() { return eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

void Wake(int fd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t r = write(fd, &one, sizeof one);
}

void DrainWake(int fd) {
    std::uint64_t value = 0;
    [[maybe_unused]] ssize_t r = read(fd, &value, sizeof value);
}

} // namespace lorvex::net
