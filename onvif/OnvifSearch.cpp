#include "OnvifSearch.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

#include "DeviceIds.h"
#include "HostNet.h"
#include "OnvifTable.h"
#include "SearchReprobe.h"

namespace onvif {
namespace {

// Wakes the search's thread (its eventfd), which hands pending events over.
void WakeThread(int wake) {
    const std::uint64_t one = 1;
    if (wake >= 0 && write(wake, &one, sizeof one) < 0) {
    }
}

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The first two probe pairs of a round go this far apart: after the
// cameras' 0..500 ms answer delay, so the bursts never overlap.
constexpr milliseconds kProbeRepeatGap(600);
// Loss is judged once both first bursts are in.
constexpr milliseconds kAssessAfter(1200);
// Probes stop this long after a round begins, or 600 ms before the next.
constexpr milliseconds kProbeHorizon(2500);
// A ProbeMatch counts only when it relates to one of this many of our
// latest probes, sent no longer ago than kProbeMemory.
constexpr std::size_t kRecentProbes = 256;
constexpr milliseconds kProbeMemory(10000);
constexpr int kReceiveBuffer = 4 * 1024 * 1024;
constexpr std::size_t kDatagramMax = 65535;

struct SentProbe {
    std::string id;
    int pair = -1; // -1: ProbeNow, outside the plan
    Clock::time_point at;
};

struct CardSocket {
    Card card;
    int fd = -1;
};

void AskReceiveBuffer(int fd) {
    const int bytes = kReceiveBuffer;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

// A socket bound to the card's address on an ephemeral port, sending to the
// group out of that card with TTL 1: the ProbeMatches come back to it.
int OpenProbeSocket(const Card& card) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(card.address);
    ip_mreqn out{};
    out.imr_address.s_addr = htonl(card.address);
    out.imr_ifindex = card.index;
    const unsigned char ttl = 1;
    AskReceiveBuffer(fd);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The group port, shared with any other listener (SO_REUSEADDR), with the
// arriving card reported (IP_PKTINFO). Nothing is ever sent on it.
int OpenListenSocket() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int one = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kDiscoveryPort);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    AskReceiveBuffer(fd);
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one) != 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void JoinGroup(int fd, int index) {
    ip_mreqn join{};
    inet_pton(AF_INET, kDiscoveryGroup, &join.imr_multiaddr);
    join.imr_ifindex = index;
    setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join);
}

// Every up IPv4 address of this host that is not loopback, as cards.
std::vector<Card> ListCards() {
    std::vector<Card> cards;
    for (const LocalInterface& i : ListLocalInterfaces()) {
        Card c;
        c.name = i.name;
        c.index = static_cast<int>(if_nametoindex(i.name.c_str()));
        if (c.index == 0 || !ParseIPv4(i.ip, &c.address) || !ParseIPv4(i.mask, &c.mask))
            continue;
        cards.push_back(c);
    }
    return cards;
}

} // namespace

struct CameraSearch::Impl {
    // Round plan: pairs sent so far and how many in all.
    struct Round {
        bool active = false;
        int sent = 0;
        int limit = 2;
        milliseconds gap = kProbeRepeatGap;
        Clock::time_point begin, next, horizon;
        bool assessed = false;
    };

    std::mutex lifecycle;     // serialises Start and Stop
    mutable std::mutex mutex; // everything below but the thread's own
    CameraTable table;
    CameraObserver* observer = nullptr;
    int interval = 0;
    bool searchAsked = false;
    bool probeAsked = false;
    CameraEvents pending; // made on other threads, delivered on the search's

    // The thread's own.
    std::thread thread;
    std::atomic<bool> stop{false};
    int wake = -1;
    int listener = -1;
    std::vector<CardSocket> sockets;
    std::deque<SentProbe> probes;
    Round round;
    Clock::time_point nextRound;
    std::vector<int> joined;
    std::string buffer = std::string(kDatagramMax, '\0');

    void Run();
    void RefreshCards();
    void BeginRound(Clock::time_point now, CameraEvents* events);
    void RunTimers(Clock::time_point now);
    void SendPair(int pair, Clock::time_point now);
    void ReadProbeSocket(const CardSocket& s, CameraEvents* events);
    void ReadListener(CameraEvents* events);
    void Handle(const char* data, std::size_t size, const Card& card, const std::string& source,
                bool fromListener, CameraEvents* events);
    int PairOf(const std::string& relatesTo, Clock::time_point now) const;
    const Card* CardFor(int index, std::uint32_t source) const;
    int PollTimeout(Clock::time_point now) const;
    void Deliver(const CameraEvents& events);
    void CloseAll();
};

// The wake handle lives as long as the object, so that Search and ProbeNow
// may write to it from any thread while Stop and Start run.
CameraSearch::CameraSearch() : m_impl(new Impl) {
    m_impl->wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CameraSearch::~CameraSearch() {
    Stop();
    if (m_impl->wake >= 0)
        close(m_impl->wake);
}

bool CameraSearch::Start(CameraObserver* observer, int intervalSeconds) {
    Impl& d = *m_impl;
    std::lock_guard<std::mutex> serial(d.lifecycle);
    if (d.thread.joinable())
        return false;
    d.listener = OpenListenSocket();
    d.RefreshCards();
    if (d.wake < 0 || d.sockets.empty()) {
        d.CloseAll();
        return false;
    }
    {
        std::lock_guard<std::mutex> hold(d.mutex);
        d.observer = observer;
        d.interval = std::max(0, intervalSeconds);
        d.searchAsked = true;
    }
    d.stop = false;
    d.thread = std::thread([&d] { d.Run(); });
    return true;
}

void CameraSearch::Stop() {
    Impl& d = *m_impl;
    std::lock_guard<std::mutex> serial(d.lifecycle);
    if (!d.thread.joinable())
        return;
    d.stop = true;
    const std::uint64_t one = 1;
    if (write(d.wake, &one, sizeof one) < 0) {
        // The thread still sees stop at its next time-out.
    }
    d.thread.join();
    d.CloseAll();
}

void CameraSearch::Search() {
    {
        std::lock_guard<std::mutex> hold(m_impl->mutex);
        m_impl->searchAsked = true;
    }
    const std::uint64_t one = 1;
    if (m_impl->wake >= 0 && write(m_impl->wake, &one, sizeof one) < 0) {
    }
}

void CameraSearch::ProbeNow() {
    {
        std::lock_guard<std::mutex> hold(m_impl->mutex);
        m_impl->probeAsked = true;
    }
    const std::uint64_t one = 1;
    if (m_impl->wake >= 0 && write(m_impl->wake, &one, sizeof one) < 0) {
    }
}

std::vector<CameraRecord> CameraSearch::Cameras() const {
    std::lock_guard<std::mutex> hold(m_impl->mutex);
    return m_impl->table.Cameras();
}

bool CameraSearch::Find(const std::string& key, CameraRecord* out) const {
    std::lock_guard<std::mutex> hold(m_impl->mutex);
    return m_impl->table.Find(key, out);
}

void CameraSearch::SetInformation(const std::string& endpoint, const DeviceInformation& info) {
    {
        // The Changed event goes out on the search's thread like every other.
        std::lock_guard<std::mutex> hold(m_impl->mutex);
        m_impl->table.SetInformation(endpoint, info, &m_impl->pending);
    }
    WakeThread(m_impl->wake);
}

void CameraSearch::SetMac(const std::string& endpoint, const std::string& mac) {
    {
        std::lock_guard<std::mutex> hold(m_impl->mutex);
        if (!m_impl->table.SetMac(endpoint, mac, &m_impl->pending))
            return;
    }
    WakeThread(m_impl->wake);
}

void CameraSearch::Moved(const std::string& endpoint, const std::string& ip) {
    {
        std::lock_guard<std::mutex> hold(m_impl->mutex);
        m_impl->table.Moved(endpoint, ip, &m_impl->pending);
    }
    WakeThread(m_impl->wake);
}

bool CameraSearch::HeardFrom(const std::string& endpoint, const std::string& ip,
                             std::chrono::steady_clock::time_point* when) const {
    std::lock_guard<std::mutex> hold(m_impl->mutex);
    return m_impl->table.HeardFrom(endpoint, ip, when);
}

void CameraSearch::Impl::CloseAll() {
    for (CardSocket& s : sockets)
        close(s.fd);
    sockets.clear();
    joined.clear();
    if (listener >= 0)
        close(listener);
    listener = -1;
}

// Opens a probe socket for every card not yet served and joins the group
// on its interface; cards that came up since the last round are probed too.
void CameraSearch::Impl::RefreshCards() {
    for (const Card& card : ListCards()) {
        auto same = [&card](const CardSocket& s) {
            return s.card.address == card.address && s.card.index == card.index;
        };
        if (std::any_of(sockets.begin(), sockets.end(), same))
            continue;
        const int fd = OpenProbeSocket(card);
        if (fd >= 0)
            sockets.push_back({card, fd});
        if (listener >= 0 && std::find(joined.begin(), joined.end(), card.index) == joined.end()) {
            JoinGroup(listener, card.index);
            joined.push_back(card.index);
        }
    }
}

void CameraSearch::Impl::SendPair(int pair, Clock::time_point now) {
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(kDiscoveryPort);
    inet_pton(AF_INET, kDiscoveryGroup, &group.sin_addr);
    for (ProbeType type : {ProbeType::NetworkVideoTransmitter, ProbeType::Device}) {
        SentProbe probe{devicelist::NewMessageId(), pair, now};
        const std::string datagram = BuildProbe(probe.id, type);
        for (const CardSocket& s : sockets)
            sendto(s.fd, datagram.data(), datagram.size(), 0,
                   reinterpret_cast<const sockaddr*>(&group), sizeof group);
        probes.push_back(probe);
        if (probes.size() > kRecentProbes)
            probes.pop_front();
    }
}

void CameraSearch::Impl::BeginRound(Clock::time_point now, CameraEvents* events) {
    RefreshCards();
    int every = 0;
    {
        std::lock_guard<std::mutex> hold(mutex);
        every = interval;
        table.BeginRound(every > 0, events);
    }
    round = Round();
    round.active = true;
    round.begin = round.next = now;
    milliseconds horizon = kProbeHorizon;
    if (every > 0)
        horizon = std::min(horizon, std::chrono::seconds(every) - kProbeRepeatGap);
    round.horizon = now + std::max(horizon, kProbeRepeatGap);
    nextRound = now + std::chrono::seconds(every);
}

void CameraSearch::Impl::RunTimers(Clock::time_point now) {
    if (!round.active)
        return;
    if (!round.assessed && now >= round.begin + kAssessAfter) {
        round.assessed = true;
        std::pair<std::size_t, std::size_t> counts;
        {
            std::lock_guard<std::mutex> hold(mutex);
            counts = table.FirstPairCounts();
        }
        const lorvex::search::ReprobePlan plan =
            lorvex::search::PlanBroadcasts(counts.first, counts.second);
        round.limit = plan.broadcasts;
        round.gap = plan.gap;
    }
    if (round.sent < round.limit && now >= round.next && now <= round.horizon) {
        // The third pair waits for the assessment that decides on it.
        if (round.sent >= 2 && !round.assessed)
            return;
        SendPair(round.sent, now);
        ++round.sent;
        round.next = now + (round.sent < 2 ? kProbeRepeatGap : round.gap);
    }
    if (now > round.horizon || (round.assessed && round.sent >= round.limit))
        round.active = round.sent < round.limit && now <= round.horizon;
}

int CameraSearch::Impl::PairOf(const std::string& relatesTo, Clock::time_point now) const {
    for (auto it = probes.rbegin(); it != probes.rend(); ++it)
        if (it->id == relatesTo)
            return now - it->at <= kProbeMemory ? it->pair : -2;
    return -2;
}

const Card* CameraSearch::Impl::CardFor(int index, std::uint32_t source) const {
    const Card* first = nullptr;
    for (const CardSocket& s : sockets) {
        if (s.card.index != index)
            continue;
        if ((source & s.card.mask) == (s.card.address & s.card.mask))
            return &s.card;
        if (first == nullptr)
            first = &s.card;
    }
    return first;
}

void CameraSearch::Impl::Handle(const char* data, std::size_t size, const Card& card,
                                const std::string& source, bool fromListener,
                                CameraEvents* events) {
    DiscoveryMessage m;
    if (ParseDiscovery(data, size, &m) != DiscoveryRead::Ok)
        return;
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> hold(mutex);
    if (m.kind == DiscoveryKind::ProbeMatches && !fromListener) {
        const int pair = PairOf(m.relatesTo, now);
        if (pair == -2)
            return; // not an answer to a probe of ours
        for (const DiscoveryMatch& match : m.matches)
            table.Heard(match, card, source, now, pair, events);
    } else if (m.kind == DiscoveryKind::Hello && fromListener) {
        table.Heard(m.matches.front(), card, source, now, -1, events);
    } else if (m.kind == DiscoveryKind::Bye && fromListener) {
        table.Bye(m.matches.front().endpoint, events);
    }
    // A Probe, or anything else, is never answered.
}

void CameraSearch::Impl::ReadProbeSocket(const CardSocket& s, CameraEvents* events) {
    for (int i = 0; i < 4096; ++i) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = recvfrom(s.fd, &buffer[0], buffer.size(), MSG_TRUNC,
                                   reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0)
            return;
        if (static_cast<std::size_t>(n) > buffer.size())
            continue; // truncated: dropped
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        Handle(buffer.data(), static_cast<std::size_t>(n), s.card, text, false, events);
    }
}

void CameraSearch::Impl::ReadListener(CameraEvents* events) {
    for (int i = 0; i < 4096; ++i) {
        sockaddr_in from{};
        iovec io{&buffer[0], buffer.size()};
        char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr h{};
        h.msg_name = &from;
        h.msg_namelen = sizeof from;
        h.msg_iov = &io;
        h.msg_iovlen = 1;
        h.msg_control = control;
        h.msg_controllen = sizeof control;
        const ssize_t n = recvmsg(listener, &h, 0);
        if (n < 0)
            return;
        if ((h.msg_flags & MSG_TRUNC) != 0)
            continue;
        int index = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&h); c != nullptr; c = CMSG_NXTHDR(&h, c))
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO)
                index = reinterpret_cast<const in_pktinfo*>(CMSG_DATA(c))->ipi_ifindex;
        const Card* card = CardFor(index, ntohl(from.sin_addr.s_addr));
        if (card == nullptr)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        Handle(buffer.data(), static_cast<std::size_t>(n), *card, text, true, events);
    }
}

int CameraSearch::Impl::PollTimeout(Clock::time_point now) const {
    Clock::time_point next = now + milliseconds(500);
    if (round.active)
        next = std::min(next,
                        round.assessed || round.sent < 2 ? round.next : round.begin + kAssessAfter);
    const auto ms = std::chrono::duration_cast<milliseconds>(next - now).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, 500));
}

void CameraSearch::Impl::Deliver(const CameraEvents& events) {
    CameraObserver* to = nullptr;
    {
        std::lock_guard<std::mutex> hold(mutex);
        to = observer;
    }
    if (to != nullptr)
        for (const auto& e : events)
            to->OnCamera(e.first, e.second);
}

void CameraSearch::Impl::Run() {
    std::vector<pollfd> fds;
    while (!stop) {
        const Clock::time_point now = Clock::now();
        CameraEvents events;
        bool begin = false, probe = false;
        int every = 0;
        {
            std::lock_guard<std::mutex> hold(mutex);
            begin = searchAsked;
            probe = probeAsked;
            searchAsked = probeAsked = false;
            every = interval;
            events.swap(pending);
        }
        if (begin || (every > 0 && now >= nextRound))
            BeginRound(now, &events);
        if (probe)
            SendPair(-1, now);
        RunTimers(now);
        fds.clear();
        fds.push_back({wake, POLLIN, 0});
        if (listener >= 0)
            fds.push_back({listener, POLLIN, 0});
        for (const CardSocket& s : sockets)
            fds.push_back({s.fd, POLLIN, 0});
        Deliver(events);
        events.clear();
        if (poll(fds.data(), fds.size(), PollTimeout(Clock::now())) <= 0)
            continue;
        std::uint64_t drained = 0;
        if (fds[0].revents != 0 && read(wake, &drained, sizeof drained) < 0) {
        }
        std::size_t at = 1;
        if (listener >= 0 && fds[at++].revents != 0)
            ReadListener(&events);
        for (std::size_t i = 0; i < sockets.size(); ++i)
            if (fds[at + i].revents != 0)
                ReadProbeSocket(sockets[i], &events);
        Deliver(events);
    }
}

} // namespace onvif
