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

Simulator::Simulator(Fleet* fleet, SimOptions options) : fleet_(fleet), options_(options) {
    start_ = lastFlood_ = Clock::now();
    nextChange_ =
        start_ + std::chrono::duration_cast<Clock::duration>(Seconds(options_.changeEvery));
}

Simulator::~Simulator() {
    if (fd_ >= 0)
        close(fd_);
}

bool Simulator::Open() {
    fd_ = lorvex::net::OpenGroupSocket(lorvex::wire::kDevicePort, kReceiveBuffer);
    if (fd_ < 0)
        return false;
    ifaces_ = lorvex::net::ListMulticastInterfaces();
    lorvex::net::JoinAll(fd_, ifaces_, &joined_);
    return !joined_.empty();
}

void Simulator::Run(const std::atomic<bool>& stop) {
    lorvex::net::BatchReceiver rx(kReceiveBatch);
    while (!stop) {
        pollfd pfd{fd_, POLLIN, 0};
        poll(&pfd, 1, TimeoutMs(Clock::now()));
        const Clock::time_point now = Clock::now();
        if (pfd.revents & POLLIN) {
            auto sink = [&](const unsigned char* d, std::size_t n) { OnDatagram(d, n, now); };
            for (int i = 0; i < 64 && rx.ReceiveOnce(fd_, sink) > 0; ++i) {
            }
        }
        SendDue(Clock::now());
        Tick(Clock::now());
    }
}

int Simulator::TimeoutMs(Clock::time_point now) const {
    Clock::time_point next = now + std::chrono::milliseconds(1000);
    if (!queue_.empty())
        next = std::min(next, queue_.top().when);
    if (options_.flood > 0 || options_.changeEvery > 0)
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
    return d.vanishAfter < 0 || now - start_ < Seconds(d.vanishAfter);
}

void Simulator::OnProbe(const Message& msg, Clock::time_point now) {
    lastProbeId_ = msg.requestId;
    if (!lorvex::wire::IsAnyMac(msg.mac)) {
        if (auto i = fleet_->Find(msg.mac))
            Schedule(now, Kind::Answer, *i, msg.requestId);
        return;
    }
    for (std::size_t i = 0; i < fleet_->Size(); ++i)
        Schedule(now, Kind::Answer, i, msg.requestId);
}

void Simulator::OnSetConfig(const Message& msg, Clock::time_point now) {
    const auto index = fleet_->Find(msg.mac);
    if (!index)
        return;
    Device before, after;
    const bool applied = fleet_->With(*index, [&](Device& d) {
        if (d.silent || !Present(d, now) || d.lastConfigId == msg.requestId)
            return false;
        std::map<std::string, std::string> attrs;
        before = d;
        d.lastConfigId = msg.requestId;
        d.lastConfigResult = ParseSetIp(msg.payload, &attrs) ? ApplySetIp(&d, attrs) : 1;
        after = d;
        return true;
    });
    const bool answers = fleet_->With(*index, [&](Device& d) {
        return !d.silent && Present(d, now) && d.type == "ZVK_IPC" &&
               d.lastConfigId == msg.requestId;
    });
    if (answers)
        Schedule(now, Kind::ConfigResult, *index, msg.requestId);
    if (applied && options_.verbose)
        std::fprintf(stderr, "devsim: %s config result %d\n",
                     lorvex::wire::FormatMac(after.mac).c_str(), after.lastConfigResult);
    if (applied && after.lastConfigResult == 0 && observer_)
        observer_->OnConfigured(*index, before, after);
}

void Simulator::OnRestore(const Message& msg, Clock::time_point now) {
    const auto index = fleet_->Find(msg.mac);
    if (!index)
        return;
    const bool ack = fleet_->With(*index, [&](Device& d) {
        if (d.silent || !Present(d, now))
            return false;
        d.password = d.factoryPassword;
        return true;
    });
    if (ack)
        Schedule(now, Kind::RestoreAck, *index, msg.requestId);
}

void Simulator::Schedule(Clock::time_point now, Kind kind, std::size_t device, std::uint32_t id) {
    if (queue_.size() >= kMaxQueued)
        return;
    const bool jitter = kind == Kind::Answer && options_.jitterMs > 0;
    std::uniform_real_distribution<double> delay(0, jitter ? options_.jitterMs : 0);
    const auto at = now + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double, std::milli>(delay(rng_)));
    queue_.push(Pending{at, kind, device, id});
}

void Simulator::SendDue(Clock::time_point now) {
    while (!queue_.empty() && queue_.top().when <= now) {
        const Pending p = queue_.top();
        queue_.pop();
        SendPending(p);
    }
}

void Simulator::SendPending(const Pending& p) {
    const Clock::time_point now = Clock::now();
    Message msg;
    msg.kind = p.kind;
    msg.requestId = p.requestId;
    const bool present = fleet_->With(p.device, [&](Device& d) {
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
    if (options_.changeEvery > 0 && now >= nextChange_) {
        for (std::size_t i = 0; i < fleet_->Size(); ++i)
            fleet_->With(i, [](Device& d) { ChangeVisibly(&d); });
        nextChange_ += std::chrono::duration_cast<Clock::duration>(Seconds(options_.changeEvery));
    }
    if (options_.flood > 0)
        Flood(now);
}

void Simulator::Flood(Clock::time_point now) {
    floodCredit_ += options_.flood * std::chrono::duration<double>(now - lastFlood_).count();
    lastFlood_ = now;
    floodCredit_ = std::min(floodCredit_, options_.flood); // no catch-up burst after a stall
    for (; floodCredit_ >= 1; floodCredit_ -= 1) {
        const std::string d = FloodDatagram();
        lorvex::net::SendAll(fd_, ifaces_, lorvex::wire::kToolPort, d);
    }
}

std::string Simulator::FloodDatagram() {
    Device d = GenerateDevice(FleetPlan{}, static_cast<int>(rng_() % 5000), NowEpoch());
    for (std::size_t i = 3; i < 6; ++i)
        d.mac[i] = static_cast<unsigned char>(rng_());
    d.mac[0] = 0x06; // locally administered, unicast: never one of the fleet's
    std::string dg =
        lorvex::wire::Encode({Kind::Answer, lastProbeId_, d.mac, AnswerXml(d, NowEpoch())});
    if (std::uniform_real_distribution<double>(0, 1)(rng_) >= options_.floodBadShare)
        return dg;
    switch (rng_() % 5) {
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
    lorvex::net::SendAll(fd_, ifaces_, lorvex::wire::kToolPort, dg);
}

} // namespace devsim
