#include "Simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <cstring>

#include <sodium.h>

#include "DeviceTrust.h"

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
    for (int fd : {m_fd, m_controlFd, m_controlKeep})
        if (fd >= 0)
            close(fd);
    if (!m_options.controlPath.empty())
        unlink(m_options.controlPath.c_str());
    if (m_sentLog)
        std::fclose(m_sentLog);
}

bool Simulator::Open() {
    if (!m_options.sentLogPath.empty()) {
        m_sentLog = std::fopen(m_options.sentLogPath.c_str(), "w");
        if (!m_sentLog)
            return false;
        std::setvbuf(m_sentLog, nullptr, _IOLBF, 256); // a reader never sees half a line
    }
    m_fd = lorvex::net::OpenGroupSocket(lorvex::wire::kDevicePort, kReceiveBuffer);
    if (m_fd < 0)
        return false;
    m_ifaces = lorvex::net::ListMulticastInterfaces();
    lorvex::net::JoinAll(m_fd, m_ifaces, &m_joined);
    OpenControl();
    return !m_joined.empty();
}

void Simulator::OpenControl() {
    const std::string& path = m_options.controlPath;
    if (path.empty())
        return;
    unlink(path.c_str());
    if (mkfifo(path.c_str(), 0600) != 0)
        return;
    m_controlFd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    m_controlKeep = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
}

void Simulator::ReadControl(Clock::time_point now) {
    char buf[512];
    for (ssize_t n; (n = read(m_controlFd, buf, sizeof buf)) > 0;) {
        m_controlLine.append(buf, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = m_controlLine.find('\n')) != std::string::npos;) {
            const std::string line = m_controlLine.substr(0, nl);
            m_controlLine.erase(0, nl + 1);
            if (!Control(line, now))
                std::fprintf(stderr, "devsim: control line not understood\n");
        }
        if (m_controlLine.size() > 4096)
            m_controlLine.clear(); // no line is that long
    }
}

bool Simulator::Control(const std::string& line, Clock::time_point now) {
    const std::string verb = "press-reset ";
    lorvex::wire::MacBytes mac{};
    if (line.compare(0, verb.size(), verb) != 0 ||
        !lorvex::wire::ParseMac(line.substr(verb.size()), &mac))
        return false;
    const auto index = m_fleet->Find(mac);
    if (!index)
        return false;
    m_fleet->With(*index, [&](Device& d) { d.resetPressedAt = now; });
    LogSent("reset", 0, mac, -1);
    if (m_options.verbose)
        std::fprintf(stderr, "devsim: %s reset button pressed\n",
                     lorvex::wire::FormatMac(mac).c_str());
    return true;
}

void Simulator::Run(const std::atomic<bool>& stop) {
    lorvex::net::BatchReceiver rx(kReceiveBatch);
    rx.AcceptOnly(m_joined); // a device takes only group traffic, as the tool does
    while (!stop) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_controlFd, POLLIN, 0}};
        poll(fds, m_controlFd >= 0 ? 2 : 1, TimeoutMs(Clock::now()));
        const Clock::time_point now = Clock::now();
        if (m_controlFd >= 0 && (fds[1].revents & POLLIN))
            ReadControl(now);
        const pollfd& pfd = fds[0];
        if (pfd.revents & POLLIN) {
            auto sink = [&](const unsigned char* d, std::size_t n, std::uint32_t source) {
                OnDatagram(d, n, source, now);
            };
            for (int i = 0; i < 64 && rx.ReceiveFrom(m_fd, sink) > 0; ++i) {
            }
        }
        SendDue(Clock::now());
        Tick(Clock::now());
        FlushLimited(Clock::now());
    }
}

int Simulator::TimeoutMs(Clock::time_point now) const {
    Clock::time_point next = now + std::chrono::milliseconds(1000);
    if (!m_queue.empty())
        next = std::min(next, m_queue.top().when);
    if (m_options.flood > 0 || m_options.changeEvery > 0)
        next = std::min(next, now + kTick);
    if (!m_limited.empty())
        next = std::min(next, m_nextLimitedFlush);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    return static_cast<int>(std::max<long long>(0, ms));
}

void Simulator::OnDatagram(const unsigned char* data, std::size_t size, std::uint32_t source,
                           Clock::time_point now) {
    Message msg;
    if (!lorvex::wire::Decode(data, size, &msg))
        return;
    msg.source = source;
    switch (msg.kind) {
    case Kind::Probe:
        return OnProbe(msg, now);
    case Kind::SetConfig:
    case Kind::Restore:
    case Kind::Activate:
    case Kind::Identify:
    case Kind::SnapshotToken:
        return OnSealed(msg, now);
    default:
        return; // other devices' answers
    }
}

bool Simulator::Present(const Device& d, Clock::time_point now) const {
    return d.vanishAfter < 0 || now - m_start < Seconds(d.vanishAfter);
}

void Simulator::OnProbe(const Message& msg, Clock::time_point now) {
    lorvex::trust::Key tool{};
    if (msg.payload.size() != tool.size())
        return; // a probe carries the tool's session key
    std::memcpy(tool.data(), msg.payload.data(), tool.size());
    m_lastProbeId = msg.requestId;
    // A device answers within its budgets; what it leaves unanswered is
    // counted and logged once a second (FlushLimited).
    auto answer = [&](std::size_t i) {
        const int allowed = m_fleet->With(i, [&](Device& d) {
            if (!SpeaksMakerProtocol(d))
                return -1;
            return AllowAnswer(&d, msg.source, tool, now) ? 1 : 0;
        });
        if (allowed > 0)
            Schedule(now, Kind::Answer, i, msg.requestId, tool);
        else if (allowed == 0)
            NoteLimited(i, msg.requestId);
    };
    if (!lorvex::wire::IsAnyMac(msg.mac)) {
        if (auto i = m_fleet->Find(msg.mac))
            answer(*i);
        return;
    }
    for (std::size_t i = 0; i < m_fleet->Size(); ++i)
        answer(i);
}

void Simulator::NoteLimited(std::size_t device, std::uint32_t id) {
    Limited& l = m_limited[device];
    ++l.count;
    l.id = id;
}

// One line per device that left datagrams unanswered for its budgets since
// the last flush: "limited ID MAC COUNT" with the latest such identifier.
void Simulator::FlushLimited(Clock::time_point now) {
    if (m_limited.empty() || now < m_nextLimitedFlush)
        return;
    for (const auto& [device, l] : m_limited) {
        const lorvex::wire::MacBytes mac = m_fleet->With(device, [](Device& d) { return d.mac; });
        LogSent("limited", l.id, mac, l.count);
        if (m_options.verbose)
            std::fprintf(stderr, "devsim: %s left %d datagrams unanswered for its budgets\n",
                         lorvex::wire::FormatMac(mac).c_str(), l.count);
    }
    m_limited.clear();
    m_nextLimitedFlush = now + std::chrono::seconds(1);
}

// A sealed request: opened under the keys agreed with its tool, honoured
// once for a challenge this device issued, answered by every device type.
// A repeat of the request just handled gets the same result again; anything
// else that fails (a replay, a forgery) changes nothing and is not answered.
void Simulator::OnSealed(const Message& msg, Clock::time_point now) {
    const auto index = m_fleet->Find(msg.mac);
    lorvex::trust::Key tool{};
    if (!index)
        return; // another simulator's device, or nobody's
    if (!lorvex::trust::SealedToolKey(msg, &tool))
        return LogSent("dropped", msg.requestId, msg.mac, -1);
    Device before, after;
    bool applied = false, limited = false;
    const bool answer = m_fleet->With(*index, [&](Device& d) {
        if (d.silent || !Present(d, now) || !SpeaksMakerProtocol(d))
            return false;
        lorvex::trust::Challenge challenge{};
        std::string body;
        if (!AllowAnswer(&d, msg.source, tool, now)) {
            limited = true;
            return false;
        }
        const lorvex::trust::SessionKeys* keys = SessionFor(&d, tool);
        if (!keys || !lorvex::trust::OpenRequest(*keys, msg, &challenge, &body))
            return false;
        const bool repeat = d.lastConfigId == msg.requestId && d.lastConfigTool == tool &&
                            d.lastConfigKind == msg.kind;
        if (!repeat && !TakeChallenge(&d, tool, challenge, now)) {
            sodium_memzero(body.data(), body.size());
            return false;
        }
        if (!repeat) {
            before = d;
            d.lastConfigId = msg.requestId;
            d.lastConfigTool = tool;
            d.lastConfigKind = msg.kind;
            d.lastConfigResult = Handle(d, msg, tool, challenge, body, now);
            d.lastRetryAfter = LockSecondsLeft(d, now);
            after = d;
            applied = true;
        }
        sodium_memzero(body.data(), body.size());
        return true;
    });
    // Logged before the result is sent, so a reader that sees the result
    // knows whether the device took the request.
    if (applied && msg.kind == Kind::Identify && after.lastConfigResult == 0)
        LogSent("identify", msg.requestId, msg.mac, after.identifySeconds);
    if (limited)
        NoteLimited(*index, msg.requestId);
    else if (!answer)
        LogSent("dropped", msg.requestId, msg.mac, -1);
    else
        Schedule(now, msg.kind == Kind::Restore ? Kind::RestoreAck : Kind::ConfigResult, *index,
                 msg.requestId, tool);
    if (applied && m_options.verbose)
        std::fprintf(stderr, "devsim: %s %s result %d\n",
                     lorvex::wire::FormatMac(after.mac).c_str(),
                     msg.kind == Kind::SetConfig       ? "config"
                     : msg.kind == Kind::Activate      ? "activation"
                     : msg.kind == Kind::Identify      ? "identify"
                     : msg.kind == Kind::SnapshotToken ? "snapshot token"
                                                       : "restore",
                     after.lastConfigResult);
    if (applied && msg.kind == Kind::SetConfig && after.lastConfigResult == 0 && m_observer)
        m_observer->OnConfigured(*index, before, after);
}

int Simulator::Handle(Device& d, const Message& msg, const lorvex::trust::Key& tool,
                      const lorvex::trust::Challenge& challenge, const std::string& body,
                      Clock::time_point now) {
    using namespace lorvex::trust;
    if (msg.kind == Kind::Restore)
        return Restore(&d, now); // presence is the proof; no password
    if (LockSecondsLeft(d, now) > 0)
        return RESULT_LOCKED;
    if (msg.kind == Kind::Activate)
        return Activate(&d, msg, tool, challenge, body, now);
    if (msg.kind == Kind::Identify)
        return Identify(&d, body, now);
    if (msg.kind == Kind::SnapshotToken)
        return GrantSnapshot(&d, body, msg.source, now);
    if (d.activated != 0)
        return RESULT_NOT_ACTIVATED;
    std::map<std::string, std::string> attrs;
    if (!ParseSetIp(body, &attrs))
        return RESULT_REFUSED;
    auto pw = attrs.find("password");
    const bool right = CheckPassword(&d, pw == attrs.end() ? std::string() : pw->second, now);
    if (pw != attrs.end())
        sodium_memzero(pw->second.data(), pw->second.size());
    if (!right)
        return LockSecondsLeft(d, now) > 0 ? RESULT_LOCKED : RESULT_REFUSED;
    attrs["password"] = d.password; // ApplySetIp checks it again
    const int result = ApplySetIp(&d, attrs);
    sodium_memzero(attrs["password"].data(), attrs["password"].size());
    return result;
}

void Simulator::Schedule(Clock::time_point now, Kind kind, std::size_t device, std::uint32_t id,
                         const lorvex::trust::Key& tool) {
    if (m_queue.size() >= kMaxQueued)
        return;
    const bool jitter = kind == Kind::Answer && m_options.jitterMs > 0;
    std::uniform_real_distribution<double> delay(0, jitter ? m_options.jitterMs : 0);
    const auto at = now + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double, std::milli>(delay(m_rng)));
    m_queue.push(Pending{at, kind, device, id, tool});
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
    std::string dg;
    int result = -1;
    lorvex::wire::MacBytes mac{};
    const bool present = m_fleet->With(p.device, [&](Device& d) {
        const lorvex::trust::SessionKeys* keys = SessionFor(&d, p.tool);
        if (!keys)
            return false;
        const lorvex::trust::Challenge next = ChallengeFor(&d, p.tool, now);
        if (p.kind == Kind::Answer)
            dg = lorvex::trust::MakeAnswer(*keys, p.requestId, d.cert, next,
                                           AnswerXml(d, NowEpoch()));
        else if (p.kind == Kind::ConfigResult)
            dg = lorvex::trust::MakeReply(*keys, p.kind, p.requestId, d.mac, next,
                                          ResultXml(d.lastConfigResult, d.lastRetryAfter));
        else
            dg = lorvex::trust::MakeReply(*keys, p.kind, p.requestId, d.mac, next,
                                          RestoreXml(d.lastConfigResult));
        result = d.lastConfigResult;
        mac = d.mac;
        return Present(d, now);
    });
    if (!present || dg.empty())
        return;
    lorvex::net::SendAll(m_fd, m_ifaces, lorvex::wire::kToolPort, dg);
    if (p.kind == Kind::Answer)
        LogSent("answer", p.requestId, mac, -1);
    else
        LogSent(p.kind == Kind::ConfigResult ? "result" : "ack", p.requestId, mac, result);
}

// One line per event: "WHAT ID MAC [RESULT]", the identifier in hex as on
// the wire; junk from the flood is counted per burst as "junk ID COUNT".
void Simulator::LogSent(const char* what, std::uint32_t id, const lorvex::wire::MacBytes& mac,
                        int result) {
    if (!m_sentLog)
        return;
    const std::string text = lorvex::wire::FormatMac(mac);
    if (result < 0)
        std::fprintf(m_sentLog, "%s %08x %s\n", what, id, text.c_str());
    else
        std::fprintf(m_sentLog, "%s %08x %s %d\n", what, id, text.c_str(), result);
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
    int sent = 0;
    for (; m_floodCredit >= 1; m_floodCredit -= 1, ++sent) {
        const std::string d = FloodDatagram();
        lorvex::net::SendAll(m_fd, m_ifaces, lorvex::wire::kToolPort, d);
    }
    if (m_sentLog && sent > 0)
        std::fprintf(m_sentLog, "junk %08x %d\n", m_lastProbeId, sent);
}

std::string Simulator::FloodDatagram() {
    Device d = GenerateDevice(FleetPlan{}, static_cast<int>(m_rng() % 5000), NowEpoch());
    for (std::size_t i = 3; i < 6; ++i)
        d.mac[i] = static_cast<unsigned char>(m_rng());
    d.mac[0] = 0x06; // locally administered, unicast: never one of the fleet's
    // Shaped like an answer, with a made-up key, signature and tag: the tool
    // has to do the work of finding out.
    lorvex::trust::Certificate cert{d.mac, {}, {}};
    randombytes_buf(cert.deviceKey.data(), cert.deviceKey.size());
    randombytes_buf(cert.signature.data(), cert.signature.size());
    std::string noise(lorvex::trust::kChallengeSize + lorvex::trust::kTagSize, '\0');
    randombytes_buf(noise.data(), noise.size());
    std::string dg = lorvex::wire::Encode(
        {Kind::Answer, m_lastProbeId, d.mac,
         lorvex::trust::EncodeCertificate(cert) + noise + AnswerXml(d, NowEpoch())});
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
        break; // certificate magic broken
    default:
        dg.resize(lorvex::wire::kMaxDatagram + 200, 'A'); // over the limit
    }
    return dg;
}

} // namespace devsim
