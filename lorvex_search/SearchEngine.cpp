#include "SearchEngine.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace lorvex::search {
namespace {

constexpr int kMaxBatch = 1024;
constexpr int kMaxAutoSeconds = 86400;
constexpr int kBatchesPerWake = 32; // then timers get their turn
constexpr int kRestoreSends = 3;
constexpr auto kIdlePoll = std::chrono::milliseconds(1000);

void CloseFd(int* fd) {
    if (*fd >= 0)
        close(*fd);
    *fd = -1;
}

} // namespace

Engine::~Engine() { Stop(); }

bool Engine::Start(LORVEX_SEARCH_CALLBACK callback, void* user, int batch) {
    std::lock_guard<std::mutex> life(lifecycle_);
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable())
        return false;
    fd_ = net::OpenGroupSocket(wire::kToolPort, kReceiveBuffer);
    wake_ = net::OpenWakeFd();
    if (fd_ < 0 || wake_ < 0) {
        CloseFd(&fd_);
        CloseFd(&wake_);
        return false;
    }
    batch_ = static_cast<std::size_t>(std::clamp(batch, 1, kMaxBatch));
    callback_ = callback;
    user_ = user;
    stop_ = false;
    ifaces_ = net::ListMulticastInterfaces();
    net::JoinAll(fd_, ifaces_, &joined_);
    thread_ = std::thread(&Engine::Run, this);
    return true;
}

void Engine::Stop() {
    std::lock_guard<std::mutex> life(lifecycle_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id())
            return;
        stop_ = true;
        restoreCv_.notify_all();
        net::Wake(wake_);
    }
    thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    CloseFd(&fd_);
    CloseFd(&wake_);
    callback_ = nullptr;
    user_ = nullptr;
    tracker_.Clear();
    round_ = Round{};
    autoSeconds_ = 0;
    manualPending_ = false;
    config_.reset();
    ifaces_.clear();
    joined_.clear();
}

void Engine::StartAuto(int seconds) {
    if (seconds < 1)
        return StopAuto();
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0)
        return;
    autoSeconds_ = std::min(seconds, kMaxAutoSeconds);
    nextAuto_ = Clock::now();
    announceNextAuto_ = true;
    net::Wake(wake_);
}

void Engine::StopAuto() {
    std::lock_guard<std::mutex> lock(mutex_);
    autoSeconds_ = 0;
    if (tracker_.RoundOpen() && round_.automatic)
        tracker_.EndRound(false);
}

void Engine::Manual() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0)
        return;
    manualPending_ = true;
    net::Wake(wake_);
}

void Engine::SetConfig(const wire::MacBytes& mac, const char* xml) {
    if (!xml)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0)
        return;
    wire::Message msg{wire::Kind::SetConfig, NewId(), mac, xml};
    std::string datagram = wire::Encode(msg);
    if (datagram.empty())
        return;
    // Only the latest request awaits a reply: the caller keeps one result slot,
    // so a late reply to an earlier request must not count for this one.
    config_ = PendingConfig{mac, msg.requestId, datagram, false, Clock::now()};
    SendDatagram(datagram);
    net::Wake(wake_);
}

bool Engine::Restore(const wire::MacBytes& mac) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (fd_ < 0 || stop_)
        return false;
    PendingRestore pending{mac, NewId(), false};
    restores_.push_back(&pending);
    const std::string datagram = wire::Encode({wire::Kind::Restore, pending.id, mac, {}});
    const auto deadline = Clock::now() + kRestoreWait;
    for (int sends = 0; !pending.acked && !stop_ && Clock::now() < deadline;) {
        if (sends++ < kRestoreSends)
            SendDatagram(datagram);
        const auto until = std::min(Clock::now() + kRestoreRepeatGap, deadline);
        restoreCv_.wait_until(lock, until, [&] { return pending.acked || stop_.load(); });
    }
    restores_.erase(std::find(restores_.begin(), restores_.end(), &pending));
    return pending.acked;
}

void Engine::Run() {
    net::BatchReceiver rx(batch_);
    while (!stop_) {
        int timeout = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            timeout = PollTimeoutMs(Clock::now());
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
        poll(fds, 2, timeout);
        if (fds[1].revents & POLLIN)
            net::DrainWake(wake_);
        drained_ = true;
        if (fds[0].revents & POLLIN)
            DrainSocket(rx);
        std::vector<Event> events;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_)
                break;
            RunTimers(Clock::now(), &events);
        }
        Deliver(events);
    }
}

void Engine::DrainSocket(net::BatchReceiver& rx) {
    std::vector<wire::Message> msgs;
    auto sink = [&msgs](const unsigned char* data, std::size_t size) {
        wire::Message m;
        if (wire::Decode(data, size, &m) && wire::IsDeviceKind(m.kind))
            msgs.push_back(std::move(m));
    };
    for (int i = 0; i < kBatchesPerWake && !stop_; ++i) {
        msgs.clear();
        drained_ = false;
        if (rx.ReceiveOnce(fd_, sink) == 0) {
            drained_ = true;
            break;
        }
        std::vector<Event> events;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const wire::Message& m : msgs)
                Handle(m, &events);
        }
        Deliver(events);
    }
}

int Engine::PollTimeoutMs(Clock::time_point now) const {
    if (manualPending_)
        return 0;
    Clock::time_point next = now + kIdlePoll;
    if (tracker_.RoundOpen() && round_.broadcasts < round_.broadcastLimit)
        next = std::min(next, round_.nextBroadcast);
    if (tracker_.RoundOpen() && !round_.assessed)
        next = std::min(next, round_.assessAt);
    if (tracker_.RoundOpen() && round_.nextTargeted)
        next = std::min(next, *round_.nextTargeted);
    if (tracker_.RoundOpen() && round_.closeAt)
        next = std::min(next, *round_.closeAt);
    if (autoSeconds_ > 0)
        next = std::min(next, nextAuto_);
    if (config_)
        next =
            std::min(next, config_->sentAt + (config_->resent ? kConfigWindow : kConfigRepeatGap));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    return static_cast<int>(std::max<long long>(0, ms + 1));
}

void Engine::RunTimers(Clock::time_point now, std::vector<Event>* events) {
    if (manualPending_) {
        manualPending_ = false;
        BeginRound(false, true, now, events);
    }
    if (autoSeconds_ > 0 && now >= nextAuto_) {
        BeginRound(true, announceNextAuto_, now, events);
        announceNextAuto_ = false;
        nextAuto_ = now + std::chrono::seconds(autoSeconds_);
        round_.fullAt = nextAuto_;
        SetProbeHorizon(nextAuto_);
    }
    if (tracker_.RoundOpen())
        RunProbeTimers(now);
    if (tracker_.RoundOpen() && round_.closeAt && now >= *round_.closeAt)
        EndRound(now, events);
    if (config_ && !config_->resent && now >= config_->sentAt + kConfigRepeatGap) {
        SendDatagram(config_->datagram);
        config_->resent = true;
    }
    if (config_ && now >= config_->sentAt + kConfigWindow)
        config_.reset();
}

void Engine::BeginRound(bool automatic, bool announce, Clock::time_point now,
                        std::vector<Event>* events) {
    EndRound(now, events);
    ifaces_ = net::ListMulticastInterfaces();
    net::JoinAll(fd_, ifaces_, &joined_);
    // A manual search starts tracking afresh: the caller empties its list
    // then anyway, and a table filled by forged MACs while no automatic
    // search counted misses would otherwise keep every real device out.
    if (!automatic)
        tracker_.Clear();
    tracker_.BeginRound(automatic, announce);
    round_ = Round{};
    round_.id = NewId();
    round_.automatic = automatic;
    round_.announce = announce;
    round_.nextBroadcast = now;
    round_.assessAt = now + kProbesPerRound * kProbeRepeatGap;
    round_.fullAt = now;
    SetProbeHorizon(now + kManualWindow);
    if (!automatic)
        round_.closeAt = now + kManualWindow;
    SendProbe();
}

void Engine::SetProbeHorizon(Clock::time_point end) { round_.probeUntil = end - kAnswerWindow; }

// The first two probes go out as always. Once their answers are in (and
// taken off the socket, so that a slow receiver is not mistaken for loss),
// the round is assessed; from then on tracked devices still unheard get
// probes of their own, and an announce round that saw loss adds probes to
// all devices until few enough can still be missing.
void Engine::RunProbeTimers(Clock::time_point now) {
    const bool inTime = now <= round_.probeUntil;
    if (round_.broadcasts < round_.broadcastLimit && now >= round_.nextBroadcast &&
        (round_.broadcasts < kProbesPerRound || inTime))
        SendProbe();
    if (!round_.assessed && now >= round_.assessAt && drained_)
        Assess(now);
    if (round_.nextTargeted && now >= *round_.nextTargeted) {
        if (inTime)
            SendTargetedProbes();
        round_.nextTargeted = *round_.nextTargeted + kAnswerWindow;
        if (*round_.nextTargeted > round_.probeUntil)
            round_.nextTargeted.reset();
    }
}

void Engine::Assess(Clock::time_point now) {
    round_.assessed = true;
    round_.nextTargeted = now;
    if (!round_.announce)
        return; // later rounds of a watch only need to keep what they track
    const DeviceTracker::RoundCounts c = tracker_.Counts();
    // Silence may be an empty network or both probes lost: one more probe
    // tells, and costs an empty network a single datagram.
    if (c.answered == 0 && !round_.probedSilence) {
        round_.probedSilence = true;
        round_.assessed = false;
        round_.assessAt = now + kProbeRepeatGap;
        round_.broadcastLimit = round_.broadcasts + 1;
        round_.nextBroadcast = now;
        return;
    }
    const ReprobePlan plan = PlanBroadcasts(c.answered, c.answeredTwice);
    round_.broadcastLimit = plan.broadcasts;
    round_.broadcastGap = plan.gap;
    round_.nextBroadcast = now;
}

void Engine::EndRound(Clock::time_point now, std::vector<Event>* events) {
    if (!tracker_.RoundOpen())
        return;
    const bool complete = round_.automatic && now >= round_.fullAt;
    for (const wire::MacBytes& mac : tracker_.EndRound(complete))
        Push(events, mac, 2, {});
}

void Engine::SendProbe() {
    SendDatagram(wire::Encode({wire::Kind::Probe, round_.id, wire::MacBytes{}, {}}));
    ++round_.broadcasts;
    round_.nextBroadcast +=
        round_.broadcasts < kProbesPerRound ? kProbeRepeatGap : round_.broadcastGap;
}

void Engine::SendTargetedProbes() {
    for (const wire::MacBytes& mac : tracker_.Unanswered(kMaxTargetedPerStep))
        SendDatagram(wire::Encode({wire::Kind::Probe, round_.id, mac, {}}));
}

void Engine::Handle(const wire::Message& msg, std::vector<Event>* events) {
    switch (msg.kind) {
    case wire::Kind::Answer:
        return HandleAnswer(msg, events);
    case wire::Kind::ConfigResult:
        return HandleConfigResult(msg, events);
    case wire::Kind::RestoreAck:
        return HandleRestoreAck(msg);
    default:
        return;
    }
}

void Engine::HandleAnswer(const wire::Message& msg, std::vector<Event>* events) {
    if (!tracker_.RoundOpen() || msg.requestId != round_.id)
        return;
    if (!wire::IsDeviceMac(msg.mac) || msg.payload.empty())
        return;
    const Reaction r = tracker_.OnAnswer(msg.mac, msg.payload);
    if (r.changed)
        Push(events, msg.mac, 3, msg.payload);
    if (r.report)
        Push(events, msg.mac, 1, msg.payload);
}

void Engine::HandleConfigResult(const wire::Message& msg, std::vector<Event>* events) {
    if (!config_ || config_->id != msg.requestId || config_->mac != msg.mac)
        return;
    if (msg.payload.empty())
        return;
    config_.reset();
    Push(events, msg.mac, 10000, msg.payload);
}

void Engine::HandleRestoreAck(const wire::Message& msg) {
    for (PendingRestore* p : restores_) {
        if (p->id != msg.requestId || p->mac != msg.mac)
            continue;
        p->acked = true;
        restoreCv_.notify_all();
    }
}

void Engine::Deliver(const std::vector<Event>& events) {
    if (!callback_)
        return;
    for (const Event& e : events) {
        if (stop_)
            return;
        char mac[18];
        std::memcpy(mac, e.mac, sizeof mac);
        callback_(mac, e.code, e.xml.c_str(), user_);
    }
}

void Engine::SendDatagram(const std::string& datagram) {
    if (!datagram.empty())
        net::SendAll(fd_, ifaces_, wire::kDevicePort, datagram);
}

std::uint32_t Engine::NewId() {
    std::uint32_t id = 0;
    while (id == 0)
        id = static_cast<std::uint32_t>(rng_());
    return id;
}

void Engine::Push(std::vector<Event>* events, const wire::MacBytes& mac, int code,
                  std::string xml) {
    Event e;
    wire::FormatMac(mac, e.mac);
    e.code = code;
    e.xml = std::move(xml);
    events->push_back(std::move(e));
}

} // namespace lorvex::search
