#include "Simulator.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace devsim {
namespace {

using lorvex::wire::Kind;
using lorvex::wire::Message;

constexpr int kReceiveBuffer = 4 * 1024 * 1024;
constexpr std::size_t kReceiveBatch = 256;
constexpr std::size_t kMaxQueued = 1u << 20; // a probe storm cannot grow memory without end
constexpr auto kTick = std::chrono::milliseconds(10);

std::int64_t NowEpoch() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::chrono::duration<double> Seconds(double s) { return std::chrono::duration<double>(s); }

} // namespace

Simulator::Simulator(Fleet* fleet, SimOptions options) : m_fleet(fleet), m_options(options) {
    m_start = m_lastFlood = Clock::now();
    m_nextChange =
        m_start + std::chrono::duration_cast<Clock::duration>(Seconds(m_options.changeEvery));
}

Simulator::~Simulator() {
    if (m_fd >= 0)
        close(m_fd);
}

bool Simulator::Open() {
    m_fd = lorvex::net::OpenGroupSocket(lorvex::wire::kDevicePort, kReceiveBuffer);
    if (m_fd < 0)
        return false;
    m_ifaces = lorvex::net::ListMulticastInterfaces();
    lorvex::net::JoinAll(m_fd, m_ifaces, &m_joined);
    return !m_joined.empty();
}

void Simulator::Run(const std::atomic<bool>& stop) {
    lorvex::net::BatchReceiver rx(kReceiveBatch);
    while (!stop) {
        pollfd pfd{m_fd, POLLIN, 0};
        poll(&pfd, 1, TimeoutMs(Clock::now()));
        const Clock::time_point now = Clock::now();
        if (pfd.revents & POLLIN) {
            auto sink = [&](const unsigned char* d, std::size_t n) { OnDatagram(d, n, now); };
            for (int i = 0; i < 64 && rx.ReceiveOnce(m_fd, sink) > 0; ++i) {
            }
        }
        SendDue(Clock::now());
        Tick(Clock::now());
    }
}

int Simulator::TimeoutMs(Clock::time_point now) const {
    Clock::time_point next = now + std::chrono::milliseconds(1000);
    if (!m_queue.empty())
        next = std::min(next, m_queue.top().when);
    if (m_options.flood > 0 || m_options.changeEvery > 0)
        next = std::min(next, now + kTick);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    return static_cast<int>(std::max<long long>(0, ms));
}

void Simulator::OnDatagram(const unsigned char* data, std::size_t size, Clock::time_point now) {
    Message msg;
    if (!lorvex::wire::Decode(data, size, &msg))
        return;
    switch (msg.kind) {
    case Kind::Probe:
        return OnProbe(msg, now);
    case Kind::SetConfig:
        return OnSetConfig(msg, now);
    case Kind::Restore:
        return OnRestore(msg, now);
    default:
        return; // other devices' answers
    }
}

bool Simulator::Present(const Device& d, Clock::time_point now) const {
    return d.vanishAfter < 0 || now - m_start < Seconds(d.vanishAfter);
}

void Simulator::OnProbe(const Message& msg, Clock::time_point now) {
    m_lastProbeId = msg.requestId;
    if (!lorvex::wire::IsAnyMac(msg.mac)) {
        if (auto i = m_fleet->Find(msg.mac))
            Schedule(now, Kind::Answer, *i, msg.requestId);
        return;
    }
    for (std::size_t i = 0; i < m_fleet->Size(); ++i)
        Schedule(now, Kind::Answer, i, msg.requestId);
}

void Simulator::OnSetConfig(const Message& msg, Clock::time_point now) {
    const auto index = m_fleet->Find(msg.mac);
    if (!index)
        return;
    Device before, after;
    const bool applied = m_fleet->With(*index, [&](Device& d) {
        if (d.silent || !Present(d, now) || d.lastConfigId == msg.requestId)
            return false;
        std::map<std::string, std::string> attrs;
        before = d;
        d.lastConfigId = msg.requestId;
        d.lastConfigResult = ParseSetIp(msg.payload, &attrs) ? ApplySetIp(&d, attrs) : 1;
        after = d;
        return true;
    });
    const bool answers = m_fleet->With(*index, [&](Device& d) {
        return !d.silent && Present(d, now) && d.type == "ZVK_IPC" &&
               d.lastConfigId == msg.requestId;
    });
    if (answers)
        Schedule(now, Kind::ConfigResult, *index, msg.requestId);
    if (applied && m_options.verbose)
        std::fprintf(stderr, "devsim: %s config result %d\n",
                     lorvex::wire::FormatMac(after.mac).c_str(), after.lastConfigResult);
    if (applied && after.lastConfigResult == 0 && m_observer)
        m_observer->OnConfigured(*index, before, after);
}

void Simulator::OnRestore(const Message& msg, Clock::time_point now) {
    const auto index = m_fleet->Find(msg.mac);
    if (!index)
        return;
    const bool ack = m_fleet->With(*index, [&](Device& d) {
        if (d.silent || !Present(d, now))
            return false;
        d.password = d.factoryPassword;
        return true;
    });
    if (ack)
        Schedule(now, Kind::RestoreAck, *index, msg.requestId);
}

void Simulator::Schedule(Clock::time_point now, Kind kind, std::size_t device, std::uint32_t id) {
    if (m_queue.size() >= kMaxQueued)
        return;
    const bool jitter = kind == Kind::Answer && m_options.jitterMs > 0;
    std::uniform_real_distribution<double> delay(0, jitter ? m_options.jitterMs : 0);
    const auto at = now + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double, std::milli>(delay(m_rng)));
    m_queue.push(Pending{at, kind, device, id});
}

void Simulator::SendDue(Clock::time_point now) {
    while (!m_queue.empty() && m_queue.top().when <= now) {
        const Pending p = m_queue.top();
        m_queue.pop();
        SendPending(p);
    }
}

void Simulator::SendPending(const Pending& p) {
    const Clock::time_point now = Clock::now();
    Message msg;
    msg.kind = p.kind;
    msg.requestId = p.requestId;
    const bool present = m_fleet->With(p.device, [&](Device& d) {
        msg.mac = d.mac;
        if (p.kind == Kind::Answer)
            msg.payload = AnswerXml(d, NowEpoch());
        if (p.kind == Kind::ConfigResult)
            msg.payload = ConfigResultXml(d.lastConfigResult);
        return Present(d, now);
    });
    if (present)
        Send(msg);
}

void Simulator::Tick(Clock::time_point now) {
    if (m_options.changeEvery > 0 && now >= m_nextChange) {
        for (std::size_t i = 0; i < m_fleet->Size(); ++i)
            m_fleet->With(i, [](Device& d) { ChangeVisibly(&d); });
        m_nextChange += std::chrono::duration_cast<Clock::duration>(Seconds(m_options.changeEvery));
    }
    if (m_options.flood > 0)
        Flood(now);
}

void Simulator::Flood(Clock::time_point now) {
    m_floodCredit += m_options.flood * std::chrono::duration<double>(now - m_lastFlood).count();
    m_lastFlood = now;
    m_floodCredit = std::min(m_floodCredit, m_options.flood); // no catch-up burst after a stall
    for (; m_floodCredit >= 1; m_floodCredit -= 1) {
        const std::string d = FloodDatagram();
        lorvex::net::SendAll(m_fd, m_ifaces, lorvex::wire::kToolPort, d);
    }
}

std::string Simulator::FloodDatagram() {
    Device d = GenerateDevice(FleetPlan{}, static_cast<int>(m_rng() % 5000), NowEpoch());
    for (std::size_t i = 3; i < 6; ++i)
        d.mac[i] = static_cast<unsigned char>(m_rng());
    d.mac[0] = 0x06; // locally administered, unicast: never one of the fleet's
    std::string dg =
        lorvex::wire::Encode({Kind::Answer, m_lastProbeId, d.mac, AnswerXml(d, NowEpoch())});
    if (std::uniform_real_distribution<double>(0, 1)(m_rng) >= m_options.floodBadShare)
        return dg;
    switch (m_rng() % 5) {
    case 0:
        dg[0] = 'X';
        break; // wrong magic
    case 1:
        dg.pop_back();
        break; // length disagrees
    case 2:
        dg[14] = 'G';
        break; // MAC not hex
    case 3:
        dg[lorvex::wire::kHeaderSize + 3] = '\0';
        break; // NUL in the text
    default:
        dg.resize(lorvex::wire::kMaxDatagram + 200, 'A'); // over the limit
    }
    return dg;
}

void Simulator::Send(const Message& msg) {
    const std::string dg = lorvex::wire::Encode(msg);
    lorvex::net::SendAll(m_fd, m_ifaces, lorvex::wire::kToolPort, dg);
}

} // namespace devsim
