#include "WsDiscoveryResponder.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "OnvifDeviceService.h"
#include "WsDiscovery.h"

namespace devsim {
namespace {

constexpr std::size_t kMaxQueued = 1u << 20;
constexpr std::size_t kMaxDatagram = 64 * 1024;
constexpr int kBuffer = 4 * 1024 * 1024;

in_addr GroupAddress() {
    in_addr a{};
    inet_pton(AF_INET, wsd::kGroup, &a);
    return a;
}

int OpenSocket() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int one = 1, zero = 0, ttl = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kBuffer, sizeof kBuffer);
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kBuffer, sizeof kBuffer);
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &zero, sizeof zero);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(wsd::kPort);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool Join(int fd, int ifindex) {
    ip_mreqn m{};
    m.imr_multiaddr = GroupAddress();
    m.imr_ifindex = ifindex;
    return setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
}

std::string MacOf(const Device& d) { return lorvex::wire::FormatMac(d.mac); }

} // namespace

WsDiscoveryResponder::WsDiscoveryResponder(Fleet* fleet, WsdOptions options,
                                           DeviceObserver* observer)
    : m_fleet(fleet), m_options(options), m_observer(observer), m_start(Clock::now()) {}

WsDiscoveryResponder::~WsDiscoveryResponder() { Stop(); }

bool WsDiscoveryResponder::Start(std::string* error) {
    for (std::size_t i = 0; i < m_fleet->Size(); ++i)
        if (m_fleet->With(i, [](Device& d) { return d.onvif.role != WsdRole::None; }))
            m_speakers.push_back(i);
    if (m_speakers.empty())
        return true;
    m_gone.assign(m_speakers.size(), false);
    m_fd = OpenSocket();
    if (m_fd < 0)
        return *error = "cannot open the WS-Discovery socket on port 3702", false;
    m_ifaces = lorvex::net::ListMulticastInterfaces();
    std::size_t joined = 0;
    for (const auto& iface : m_ifaces)
        joined += Join(m_fd, iface.index) ? 1 : 0;
    if (joined == 0)
        return *error = "cannot join the WS-Discovery group on any interface", false;
    m_wakeFd = lorvex::net::OpenWakeFd();
    for (std::size_t i : m_speakers) {
        std::string source;
        const std::string hello = m_fleet->With(i, [&](Device& d) {
            source = d.ip;
            return wsd::Hello(&d);
        });
        Announce(source, hello);
    }
    m_thread = std::thread([this] { Run(); });
    return true;
}

void WsDiscoveryResponder::Stop() {
    if (!m_thread.joinable())
        return;
    m_stop = true;
    lorvex::net::Wake(m_wakeFd);
    m_thread.join();
    const Clock::time_point now = Clock::now();
    for (std::size_t k = 0; k < m_speakers.size(); ++k) {
        std::string source, bye;
        m_fleet->With(m_speakers[k], [&](Device& d) {
            if (m_gone[k] || !Present(d, now))
                return;
            source = d.ip;
            bye = wsd::Bye(&d);
        });
        if (!bye.empty())
            Announce(source, bye);
    }
    close(m_fd);
    close(m_wakeFd);
    m_fd = m_wakeFd = -1;
}

void WsDiscoveryResponder::MoveAt(std::size_t index, Clock::time_point when) {
    Push(Pending{when, Job::Move, index, {}, nullptr});
    lorvex::net::Wake(m_wakeFd);
}

void WsDiscoveryResponder::HelloAt(std::size_t index, Clock::time_point when) {
    Push(Pending{when, Job::Hello, index, {}, nullptr});
    lorvex::net::Wake(m_wakeFd);
}

void WsDiscoveryResponder::Push(Pending p) {
    std::lock_guard<std::mutex> hold(m_mutex);
    if (m_queue.size() < kMaxQueued)
        m_queue.push(std::move(p));
}

void WsDiscoveryResponder::Run() {
    while (!m_stop) {
        int timeout = 100; // vanishing cameras are noticed within this
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            if (!m_queue.empty()) {
                const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    m_queue.top().when - Clock::now())
                                    .count();
                timeout = static_cast<int>(std::max<long long>(0, std::min<long long>(ms, 100)));
            }
        }
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        poll(fds, 2, timeout);
        if (fds[1].revents & POLLIN)
            lorvex::net::DrainWake(m_wakeFd);
        if (fds[0].revents & POLLIN)
            Receive(Clock::now());
        RunDue(Clock::now());
        CheckVanished(Clock::now());
    }
}

void WsDiscoveryResponder::Receive(Clock::time_point now) {
    std::string buf(kMaxDatagram, '\0');
    for (int i = 0; i < 256; ++i) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            recvfrom(m_fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0)
            return;
        OnProbe(buf.substr(0, static_cast<std::size_t>(n)), from, now);
    }
}

void WsDiscoveryResponder::OnProbe(const std::string& text, const sockaddr_in& from,
                                   Clock::time_point now) {
    wsd::Probe probe;
    if (from.sin_port == 0 || !wsd::ParseProbe(text, &probe))
        return; // Hello, Bye, answers and anything malformed
    auto relatesTo = std::make_shared<const std::string>(probe.messageId);
    std::uniform_real_distribution<double> delay(0, std::max(0.0, m_options.jitterMs));
    for (std::size_t i : m_speakers) {
        const bool answers = m_fleet->With(i, [&](Device& d) {
            return Present(d, now) && now >= d.onvif.rebootingUntil && wsd::Answers(d, probe);
        });
        if (!answers)
            continue;
        const auto at = now + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double, std::milli>(delay(m_rng)));
        Push(Pending{at, Job::Answer, i, from, relatesTo});
    }
}

void WsDiscoveryResponder::RunDue(Clock::time_point now) {
    for (;;) {
        Pending p;
        {
            std::lock_guard<std::mutex> hold(m_mutex);
            if (m_queue.empty() || m_queue.top().when > now)
                return;
            p = m_queue.top();
            m_queue.pop();
        }
        if (p.job == Job::Answer)
            Answer(p, now);
        else
            Move(p.device, p.job == Job::Move);
    }
}

void WsDiscoveryResponder::Answer(const Pending& p, Clock::time_point now) {
    std::string source, text;
    m_fleet->With(p.device, [&](Device& d) {
        if (!Present(d, now) || now < d.onvif.rebootingUntil)
            return;
        source = d.ip;
        text = wsd::ProbeMatches(d, *p.relatesTo);
    });
    if (!text.empty())
        SendFrom(source, p.to, 0, text);
}

// With applyPending, the address the device service left waiting takes
// effect and the servers follow it; either way a Hello from where the device
// is now tells the clients.
void WsDiscoveryResponder::Move(std::size_t index, bool applyPending) {
    Device before, after;
    bool moved = false;
    std::string source, hello;
    m_fleet->With(index, [&](Device& d) {
        before = d;
        moved = applyPending && onvif::ApplyPendingAddress(&d);
        after = d;
        source = d.ip;
        hello = wsd::Hello(&d);
    });
    if (moved && m_observer)
        m_observer->OnConfigured(index, before, after);
    if (m_options.verbose)
        std::fprintf(stderr, "devsim: %s onvif hello from %s\n", MacOf(after).c_str(),
                     source.c_str());
    Announce(source, hello);
}

void WsDiscoveryResponder::CheckVanished(Clock::time_point now) {
    for (std::size_t k = 0; k < m_speakers.size(); ++k) {
        if (m_gone[k])
            continue;
        std::string source, bye;
        m_fleet->With(m_speakers[k], [&](Device& d) {
            if (Present(d, now))
                return;
            source = d.ip;
            bye = wsd::Bye(&d);
        });
        if (bye.empty())
            continue;
        m_gone[k] = true;
        Announce(source, bye);
    }
}

bool WsDiscoveryResponder::Present(const Device& d, Clock::time_point now) const {
    return d.vanishAfter < 0 || now - m_start < std::chrono::duration<double>(d.vanishAfter);
}

// Sends `text` to `to`; with owned addresses from `source` (IP_PKTINFO),
// out of interface `ifindex` when it is not 0.
void WsDiscoveryResponder::SendFrom(const std::string& source, const sockaddr_in& to, int ifindex,
                                    const std::string& text) {
    iovec iov{const_cast<char*>(text.data()), text.size()};
    msghdr msg{};
    msg.msg_name = const_cast<sockaddr_in*>(&to);
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    in_pktinfo info{};
    info.ipi_ifindex = ifindex;
    const bool fromOwn =
        m_options.ownAddresses && inet_pton(AF_INET, source.c_str(), &info.ipi_spec_dst) == 1;
    if (fromOwn || ifindex != 0) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof info);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    if (sendmsg(m_fd, &msg, 0) < 0 && fromOwn) {
        // The address is not (yet) ours: the datagram still goes out.
        info.ipi_spec_dst.s_addr = 0;
        std::memcpy(CMSG_DATA(CMSG_FIRSTHDR(&msg)), &info, sizeof info);
        sendmsg(m_fd, &msg, 0);
    }
}

void WsDiscoveryResponder::Announce(const std::string& source, const std::string& text) {
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(wsd::kPort);
    group.sin_addr = GroupAddress();
    for (const auto& iface : m_ifaces)
        SendFrom(source, group, iface.index, text);
}

} // namespace devsim
