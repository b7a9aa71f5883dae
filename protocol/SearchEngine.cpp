#include "SearchEngine.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <sodium.h>

namespace lorvex::search {
namespace {

constexpr int kMaxBatch = 1024;
constexpr int kMaxAutoSeconds = 86400;
constexpr int kBatchesPerWake = 32; // then timers get their turn
constexpr int kRestoreSends = 3;
constexpr auto kIdlePoll = std::chrono::milliseconds(1000);
constexpr std::size_t kHandledPerSlice = 256;      // then the socket is emptied again
constexpr std::size_t kPrepareInParallelFrom = 32; // fewer new keys are not worth a thread
constexpr std::size_t kPrepareThreads = 4;

void Wipe(std::string* s) {
    if (!s->empty())
        sodium_memzero(s->data(), s->size());
    s->clear();
}

// The data of the first <name> element of a reply document, when it is
// digits alone; -1 otherwise. Replies are short and flat.
int DecimalElement(const std::string& xml, const char* name) {
    const std::string open = std::string("<") + name + ">";
    const std::size_t at = xml.find(open);
    if (at == std::string::npos)
        return -1;
    const std::size_t from = at + open.size();
    const std::size_t to = xml.find('<', from);
    if (to == std::string::npos || to == from || to - from > 9)
        return -1;
    for (std::size_t i = from; i < to; ++i)
        if (xml[i] < '0' || xml[i] > '9')
            return -1;
    return std::atoi(xml.c_str() + from);
}

void CloseFd(int* fd) {
    if (*fd >= 0)
        close(*fd);
    *fd = -1;
}

} // namespace

Engine::~Engine() { Stop(); }

Engine::PendingConfig::PendingConfig() = default;
Engine::PendingConfig::~PendingConfig() {
    Wipe(&body);
    Wipe(&code);
}

bool Engine::Start(LORVEX_SEARCH_CALLBACK callback, void* user, int batch) {
    std::lock_guard<std::mutex> life(m_lifecycle);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_thread.joinable() || !trust::InitCrypto())
        return false;
    m_fd = net::OpenGroupSocket(wire::kToolPort, kReceiveBuffer);
    m_wake = net::OpenWakeFd();
    if (m_fd < 0 || m_wake < 0) {
        CloseFd(&m_fd);
        CloseFd(&m_wake);
        return false;
    }
    m_batch = static_cast<std::size_t>(std::clamp(batch, 1, kMaxBatch));
    m_callback = callback;
    m_user = user;
    m_stop = false;
    m_peers = std::make_unique<PeerTable>(LoadTrustAnchors()); // a new session key each start
    m_inbox.clear();
    m_ifaces = net::ListMulticastInterfaces();
    net::JoinAll(m_fd, m_ifaces, &m_joined);
    m_thread = std::thread(&Engine::Run, this);
    return true;
}

void Engine::Stop() {
    std::lock_guard<std::mutex> life(m_lifecycle);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_thread.joinable() || m_thread.get_id() == std::this_thread::get_id())
            return;
        m_stop = true;
        m_restoreCv.notify_all();
        net::Wake(m_wake);
    }
    m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    CloseFd(&m_fd);
    CloseFd(&m_wake);
    m_callback = nullptr;
    m_user = nullptr;
    m_tracker.Clear();
    m_round = Round{};
    m_autoSeconds = 0;
    m_manualPending = false;
    m_config.reset();
    m_held.clear();
    m_heldMacs.clear();
    m_peers.reset();
    m_inbox.clear();
    m_ifaces.clear();
    m_joined.clear();
}

void Engine::StartAuto(int seconds) {
    if (seconds < 1)
        return StopAuto();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd < 0)
        return;
    m_autoSeconds = std::min(seconds, kMaxAutoSeconds);
    m_nextAuto = Clock::now();
    m_announceNextAuto = true;
    net::Wake(m_wake);
}

void Engine::StopAuto() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_autoSeconds = 0;
    if (m_tracker.RoundOpen() && m_round.automatic)
        m_tracker.EndRound(false);
}

void Engine::Manual() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd < 0)
        return;
    m_manualPending = true;
    net::Wake(m_wake);
}

void Engine::SetConfig(const wire::MacBytes& mac, const char* xml) {
    if (xml)
        StartRequest(wire::Kind::SetConfig, mac, xml);
}

void Engine::Identify(const wire::MacBytes& mac, const char* password, int seconds) {
    if (!password || seconds < trust::kIdentifyMinSeconds || seconds > trust::kIdentifyMaxSeconds)
        return;
    std::string body = trust::IdentifyBody(seconds, password);
    StartRequest(wire::Kind::Identify, mac, body);
    Wipe(&body);
}

void Engine::GrantSnapshot(const wire::MacBytes& mac, const char* password,
                           const trust::SnapshotToken& token) {
    if (!password)
        return;
    std::string body = trust::SnapshotTokenBody(token, password);
    StartRequest(wire::Kind::SnapshotToken, mac, body);
    Wipe(&body);
}

void Engine::Activate(const wire::MacBytes& mac, const char* password, const char* setupCode) {
    std::string code;
    code.reserve(2 * trust::kSetupCodeTextSize); // on the heap: moved, never copied
    if (!password || !setupCode || !trust::NormalizeSetupCode(setupCode, &code))
        return; // a mistyped code spends no try on the device
    StartRequest(wire::Kind::Activate, mac, password, std::move(code));
}

// Only the latest request awaits a reply: the caller keeps one result slot,
// so a late reply to an earlier request must not count for this one. A
// request carries a secret, so it goes only to a key that is certified or
// confirmed and free of conflict.
void Engine::StartRequest(wire::Kind kind, const wire::MacBytes& mac, std::string_view body,
                          std::string code) {
    const std::size_t proof = kind == wire::Kind::Activate ? trust::kProofSize : 0;
    if (body.size() + proof + trust::kSealOverhead > wire::kMaxPayload) {
        Wipe(&code);
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd < 0 || !m_peers || !m_peers->MaySendSecret(mac)) {
        Wipe(&code);
        return;
    }
    const Clock::time_point now = Clock::now();
    m_config.emplace();
    PendingConfig& c = *m_config;
    c.mac = mac;
    c.id = NewId();
    c.kind = kind;
    c.body = body;
    c.code = std::move(code);
    c.createdAt = c.sentAt = c.notBefore = now;
    // A key no maker certified gets a secret only once the answer window of
    // a probe to its MAC has passed without a certified key answering too.
    const bool certified = m_peers->State(mac, nullptr) == Identity::Verified;
    if (!certified || !m_peers->HasFreshChallenge(mac, now))
        FetchChallenge(c.id, mac, now);
    if (!certified)
        c.notBefore = now + kAnswerWindow;
    TrySealConfig(now);
    net::Wake(m_wake);
}

// When the next probe asking for a challenge, or sealed copy, may go to
// `mac`; every such datagram to one MAC is kAskGap after the one before, so
// no caller can make the tool outrun a device's answer budget.
Clock::time_point Engine::NextAsk(const wire::MacBytes& mac) const {
    auto last = m_lastAsk.find(PeerTable::MacKey(mac));
    return last == m_lastAsk.end() ? Clock::time_point{} : last->second + kAskGap;
}

void Engine::NoteAsk(const wire::MacBytes& mac, Clock::time_point now) {
    if (m_lastAsk.size() > 4096) // forget MACs not asked for a while
        for (auto it = m_lastAsk.begin(); it != m_lastAsk.end();)
            it = now - it->second > kAskGap ? m_lastAsk.erase(it) : std::next(it);
    m_lastAsk[PeerTable::MacKey(mac)] = now;
}

// A probe to the device's MAC with the request's identifier: its answer
// brings a challenge the device has just issued. A pending request's probe
// asked for before its turn (NextAsk) is sent when its turn comes. True
// when the probe went out.
bool Engine::FetchChallenge(std::uint32_t id, const wire::MacBytes& mac, Clock::time_point now) {
    PendingConfig* config = m_config && m_config->id == id ? &*m_config : nullptr;
    if (now < NextAsk(mac)) {
        if (config)
            config->fetchAt = NextAsk(mac);
        return false;
    }
    NoteAsk(mac, now);
    SendDatagram(ProbeDatagram(id, mac));
    if (config) {
        config->fetching = true;
        config->fetchAt.reset();
    }
    return true;
}

// Seals and sends the pending request's next copy once its time has come
// and a fresh challenge is at hand; drops it when the MAC got into conflict
// meanwhile (nothing is sent; the caller sees the conflict).
void Engine::TrySealConfig(Clock::time_point now) {
    PendingConfig& c = *m_config;
    if (now < c.notBefore)
        return;
    if (!m_peers->MaySendSecret(c.mac)) {
        m_config.reset();
        return;
    }
    if (!m_peers->HasFreshChallenge(c.mac, now)) {
        if (!c.fetching && !c.fetchAt)
            FetchChallenge(c.id, c.mac, now);
        return;
    }
    if (now < NextAsk(c.mac)) {
        c.notBefore = NextAsk(c.mac); // the timers come back then
        return;
    }
    NoteAsk(c.mac, now);
    const std::string datagram = c.kind == wire::Kind::Activate
                                     ? m_peers->SealActivation(c.id, c.mac, c.code, c.body, now)
                                     : m_peers->Seal(c.kind, c.id, c.mac, c.body, now);
    c.fetching = false;
    c.sentAt = now;
    ++c.sends;
    SendDatagram(datagram);
}

int Engine::Restore(const wire::MacBytes& mac) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_fd < 0 || m_stop || !m_peers)
        return -1;
    PendingRestore pending{mac, NewId(), false, -1};
    m_restores.push_back(&pending);
    const auto deadline = Clock::now() + kRestoreWait;
    auto done = [&] { return pending.acked || m_stop.load(); };
    // Every copy is sealed with a challenge the device issued after the
    // copy before went out: a device that forgot the challenge of one copy
    // (or never got it) is not sent the same datagram again.
    for (int sends = 0; sends < kRestoreSends && !done() && Clock::now() < deadline; ++sends) {
        if (!AwaitChallenge(lock, pending, deadline) || done())
            break;
        m_restoreCv.wait_until(lock, std::min(NextAsk(mac), deadline), done);
        if (done() || Clock::now() >= deadline)
            break;
        NoteAsk(mac, Clock::now());
        SendDatagram(m_peers->Seal(wire::Kind::Restore, pending.id, mac, {}, Clock::now()));
        m_restoreCv.wait_until(lock, std::min(Clock::now() + kRestoreRepeatGap, deadline), done);
    }
    m_restoreCv.wait_until(lock, deadline, done); // the acknowledgement of the last copy
    m_restores.erase(std::find(m_restores.begin(), m_restores.end(), &pending));
    return pending.acked ? pending.result : -1;
}

// A restore is sealed with the device's latest challenge; without a fresh
// one the device is asked for it by a probe to its MAC, in its turn
// (NextAsk).
bool Engine::AwaitChallenge(std::unique_lock<std::mutex>& lock, const PendingRestore& pending,
                            Clock::time_point deadline) {
    if (m_peers->HasFreshChallenge(pending.mac, Clock::now()))
        return true;
    m_restoreCv.wait_until(lock, std::min(NextAsk(pending.mac), deadline),
                           [&] { return m_stop.load() || pending.acked; });
    if (m_stop || pending.acked || !m_peers)
        return false;
    FetchChallenge(pending.id, pending.mac, Clock::now());
    return m_restoreCv.wait_until(
               lock, deadline,
               [&] {
                   return m_stop.load() || pending.acked ||
                          (m_peers && m_peers->HasFreshChallenge(pending.mac, Clock::now()));
               }) &&
           !m_stop && !pending.acked;
}

Identity Engine::IdentityOf(const wire::MacBytes& mac, std::string* fingerprint) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_peers ? m_peers->State(mac, fingerprint) : Identity::Unknown;
}

bool Engine::Confirm(const wire::MacBytes& mac, const char* fingerprint) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return fingerprint && m_peers && m_peers->Confirm(mac, fingerprint);
}

std::string Engine::ProbeDatagram(std::uint32_t id, const wire::MacBytes& mac) const {
    const trust::Key& key = m_peers->ToolKey();
    return wire::Encode({wire::Kind::Probe, id, mac,
                         std::string(reinterpret_cast<const char*>(key.data()), key.size())});
}

void Engine::Run() {
    net::BatchReceiver rx(m_batch);
    while (!m_stop) {
        int timeout = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            timeout = PollTimeoutMs(Clock::now());
        }
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake, POLLIN, 0}};
        poll(fds, 2, timeout);
        if (fds[1].revents & POLLIN)
            net::DrainWake(m_wake);
        m_drained = true;
        if (fds[0].revents & POLLIN)
            DrainSocket(rx);
        std::vector<Event> events;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stop)
                break;
            RunTimers(Clock::now(), &events);
        }
        Deliver(events);
    }
}

// Empties the socket into the inbox before checking anything, then checks a
// slice, and again: verifying answers costs more than receiving them.
void Engine::DrainSocket(net::BatchReceiver& rx) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        rx.AcceptOnly(m_joined); // only group traffic on a joined interface counts
    }
    auto sink = [this](const unsigned char* data, std::size_t size, std::uint32_t source) {
        wire::Message m;
        if (m_inbox.size() < kMaxInbox && wire::Decode(data, size, &m) &&
            wire::IsDeviceKind(m.kind)) {
            m.source = source;
            m_inbox.push_back(std::move(m));
        }
    };
    for (int i = 0; i < kBatchesPerWake && !m_stop; ++i) {
        bool empty = false;
        for (int b = 0; b < kBatchesPerWake * 4; ++b)
            if (rx.ReceiveFrom(m_fd, sink) == 0) {
                empty = true;
                break;
            }
        m_drained = empty && m_inbox.empty();
        if (m_inbox.empty())
            break;
        std::vector<Event> events;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            HandleInbox(kHandledPerSlice, &events);
        }
        Deliver(events);
    }
}

// New keys in a burst are checked on several threads first (certificate,
// key agreement, tag: about 0.1 ms each), then every answer is handled in
// order on this one.
void Engine::HandleInbox(std::size_t limit, std::vector<Event>* events) {
    const std::size_t n = std::min(limit, m_inbox.size());
    std::vector<std::size_t> fresh;
    for (std::size_t i = 0; i < n; ++i) {
        const wire::Message& m = m_inbox[i];
        if (m.kind == wire::Kind::Answer && IsAwaited(m) && m_peers->NeedsAdmission(m))
            fresh.push_back(i);
    }
    std::vector<PeerTable::Prepared> prepared(fresh.size());
    const std::size_t workers = fresh.size() < kPrepareInParallelFrom
                                    ? 1
                                    : std::min<std::size_t>(kPrepareThreads, fresh.size());
    auto work = [&](std::size_t first) {
        for (std::size_t j = first; j < fresh.size(); j += workers)
            prepared[j] = m_peers->Prepare(m_inbox[fresh[j]]);
    };
    std::vector<std::thread> pool;
    for (std::size_t w = 1; w < workers; ++w)
        pool.emplace_back(work, w);
    work(0);
    for (std::thread& t : pool)
        t.join();
    for (std::size_t i = 0, j = 0; i < n; ++i) {
        const bool ready = j < fresh.size() && fresh[j] == i;
        Handle(m_inbox.front(), events, ready ? &prepared[j++] : nullptr);
        m_inbox.pop_front();
    }
}

int Engine::PollTimeoutMs(Clock::time_point now) const {
    if (m_manualPending || !m_inbox.empty())
        return 0;
    Clock::time_point next = now + kIdlePoll;
    if (m_tracker.RoundOpen() && m_round.broadcasts < m_round.broadcastLimit)
        next = std::min(next, m_round.nextBroadcast);
    if (m_tracker.RoundOpen() && !m_round.assessed)
        next = std::min(next, AssessDue());
    if (m_tracker.RoundOpen() && m_round.nextTargeted)
        next = std::min(next, *m_round.nextTargeted);
    if (m_tracker.RoundOpen() && m_round.closeAt)
        next = std::min(next, *m_round.closeAt);
    if (m_autoSeconds > 0)
        next = std::min(next, m_nextAuto);
    // A request waiting for its time (a fetch's answer wakes it otherwise).
    if (m_config && (m_config->sends == 0 || m_config->fetching) && m_config->notBefore > now)
        next = std::min(next, m_config->notBefore);
    if (m_config && m_config->fetchAt)
        next = std::min(next, *m_config->fetchAt);
    if (m_config && m_config->sends > 0 && m_config->sends < kConfigSends && !m_config->fetching &&
        !m_config->fetchAt)
        next = std::min(next, m_config->sentAt + kConfigRepeatGap);
    if (m_config)
        next = std::min(next, m_config->createdAt + kConfigWindow);
    if (!m_held.empty())
        next = std::min(next, m_held.front().until);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    return static_cast<int>(std::max<long long>(0, ms + 1));
}

void Engine::RunTimers(Clock::time_point now, std::vector<Event>* events) {
    if (m_manualPending) {
        m_manualPending = false;
        BeginRound(false, true, now, events);
    }
    if (m_autoSeconds > 0 && now >= m_nextAuto) {
        BeginRound(true, m_announceNextAuto, now, events);
        m_announceNextAuto = false;
        m_nextAuto = now + std::chrono::seconds(m_autoSeconds);
        m_round.fullAt = m_nextAuto;
        SetProbeHorizon(m_nextAuto);
    }
    if (m_tracker.RoundOpen())
        RunProbeTimers(now);
    ReleaseHeld(now, events);
    if (m_tracker.RoundOpen() && m_round.closeAt && now >= *m_round.closeAt)
        EndRound(now, events);
    RunConfigTimers(now);
}

// The pending request's copies: the first once its time has come, the
// next after kConfigRepeatGap without a result, and the end of its window.
void Engine::RunConfigTimers(Clock::time_point now) {
    if (!m_config)
        return;
    if (now >= m_config->createdAt + kConfigWindow) {
        m_config.reset();
        return;
    }
    PendingConfig& c = *m_config;
    if (c.fetchAt && now >= *c.fetchAt)
        FetchChallenge(c.id, c.mac, now);
    if (c.sends == 0 || c.fetching) {
        TrySealConfig(now);
    } else if (c.sends < kConfigSends && !c.fetching && !c.fetchAt &&
               now >= c.sentAt + kConfigRepeatGap) {
        // The next copy is sealed when the device's new challenge arrives.
        FetchChallenge(c.id, c.mac, now);
    }
}

void Engine::BeginRound(bool automatic, bool announce, Clock::time_point now,
                        std::vector<Event>* events) {
    EndRound(now, events);
    m_ifaces = net::ListMulticastInterfaces();
    net::JoinAll(m_fd, m_ifaces, &m_joined);
    // A manual search starts tracking afresh: the caller empties its list
    // then anyway, and a table filled by forged MACs while no automatic
    // search counted misses would otherwise keep every real device out.
    if (!automatic) {
        m_tracker.Clear();
        m_peers->ForgetUnverified();
    }
    m_peers->NewRound();
    m_tracker.BeginRound(automatic, announce);
    m_round = Round{};
    m_round.id = NewId();
    m_round.automatic = automatic;
    m_round.announce = announce;
    m_round.nextBroadcast = now;
    m_round.assessAt = now + kProbesPerRound * kProbeRepeatGap;
    m_round.fullAt = now;
    SetProbeHorizon(now + kManualWindow);
    if (!automatic)
        m_round.closeAt = now + kManualWindow;
    m_held.clear(); // their devices answer the new round too
    m_heldMacs.clear();
    SendProbe(now);
}

void Engine::SetProbeHorizon(Clock::time_point end) { m_round.probeUntil = end - kAnswerWindow; }

// The first two probes go out as always. Once their answers are in (and
// taken off the socket, so that a slow receiver is not mistaken for loss),
// the round is assessed; from then on tracked devices still unheard get
// probes of their own, and an announce round that saw loss adds probes to
// all devices until few enough can still be missing.
void Engine::RunProbeTimers(Clock::time_point now) {
    // A probe is due by its schedule; one scheduled too late for its
    // answers to arrive within the round is not sent at all.
    if (m_round.broadcasts >= kProbesPerRound && m_round.nextBroadcast > m_round.probeUntil)
        m_round.broadcastLimit = m_round.broadcasts;
    if (m_round.broadcasts < m_round.broadcastLimit && now >= m_round.nextBroadcast)
        SendProbe(now);
    if (!m_round.assessed && now >= AssessDue() && m_drained)
        Assess(now);
    if (m_round.nextTargeted && now >= *m_round.nextTargeted) {
        SendTargetedProbes();
        m_round.nextTargeted = *m_round.nextTargeted + kAnswerWindow;
        if (*m_round.nextTargeted > m_round.probeUntil)
            m_round.nextTargeted.reset();
    }
}

// Both first bursts are in once their window has passed and answers have
// stopped arriving, or when no probe could follow anyway.
Clock::time_point Engine::AssessDue() const {
    const Clock::time_point quiet = m_round.lastAnswerAt + kAnswersQuiet;
    return std::max(m_round.assessAt, std::min(quiet, m_round.probeUntil));
}

void Engine::Assess(Clock::time_point now) {
    m_round.assessed = true;
    if (now <= m_round.probeUntil)
        m_round.nextTargeted = now;
    if (!m_round.announce)
        return; // later rounds of a watch only need to keep what they track
    const DeviceTracker::RoundCounts c = m_tracker.Counts();
    // Silence may be an empty network or lost probes (at 20 % loss each way
    // three in a row are lost one search in 125): in a round that reports
    // every device, probe again every answer window until something
    // answers or the round has no time left. Later rounds of a watch on an
    // empty network keep their two probes.
    if (c.answered == 0) {
        m_round.assessed = false;
        m_round.assessAt = now + kProbeRepeatGap;
        m_round.broadcastLimit = m_round.broadcasts + 1;
        m_round.nextBroadcast = now;
        return;
    }
    // Answers that kept coming after both bursts' windows had closed came
    // late, not never: the fleet or this receiver is saturated. More probes
    // to all would only queue more answers ahead of the next round's.
    if (m_round.lastAnswerAt > m_round.assessAt) {
        m_round.broadcastLimit = m_round.broadcasts;
        return;
    }
    const ReprobePlan plan = PlanBroadcasts(c.answered, c.answeredTwice);
    m_round.broadcastLimit = plan.broadcasts;
    m_round.broadcastGap = plan.gap;
    m_round.nextBroadcast = now;
}

void Engine::EndRound(Clock::time_point now, std::vector<Event>* events) {
    if (!m_tracker.RoundOpen())
        return;
    const bool complete = m_round.automatic && now >= m_round.fullAt;
    for (const wire::MacBytes& mac : m_tracker.EndRound(complete)) {
        m_peers->Forget(mac);
        Push(events, mac, LORVEX_SEARCH_EVENT_GONE, {});
    }
}

// The round's next probe to all devices, when the engine-wide budget of
// probes to all has one; else it is put off until it has.
void Engine::SendProbe(Clock::time_point now) {
    const double elapsed = std::chrono::duration<double>(now - m_probeTokensAt).count();
    m_probeTokens = std::min(kProbeBurst, m_probeTokens + elapsed * kProbesPerSecond);
    m_probeTokensAt = now;
    if (m_probeTokens < 1) {
        m_round.nextBroadcast =
            now + std::chrono::duration_cast<Clock::duration>(
                      std::chrono::duration<double>((1 - m_probeTokens) / kProbesPerSecond));
        return;
    }
    m_probeTokens -= 1;
    SendDatagram(ProbeDatagram(m_round.id, wire::MacBytes{}));
    m_round.lastProbeAt = now;
    ++m_round.broadcasts;
    m_round.nextBroadcast +=
        m_round.broadcasts < kProbesPerRound ? kProbeRepeatGap : m_round.broadcastGap;
}

void Engine::SendTargetedProbes() {
    const std::vector<wire::MacBytes> macs = m_tracker.Unanswered(kMaxTargetedPerStep);
    for (const wire::MacBytes& mac : macs)
        SendDatagram(ProbeDatagram(m_round.id, mac));
    if (!macs.empty())
        m_round.lastProbeAt = Clock::now();
}

void Engine::Handle(const wire::Message& msg, std::vector<Event>* events,
                    const PeerTable::Prepared* prepared) {
    switch (msg.kind) {
    case wire::Kind::Answer:
        return HandleAnswer(msg, events, prepared);
    case wire::Kind::ConfigResult:
        return HandleConfigResult(msg, events);
    case wire::Kind::RestoreAck:
        return HandleRestoreAck(msg);
    default:
        return;
    }
}

// A probe to one MAC with a pending request's identifier asks that device
// for a fresh challenge; its answer only refreshes the challenge.
bool Engine::IsChallengeFetch(const wire::Message& msg) const {
    if (m_config && m_config->id == msg.requestId && m_config->mac == msg.mac)
        return true;
    for (const PendingRestore* p : m_restores)
        if (p->id == msg.requestId && p->mac == msg.mac)
            return true;
    return false;
}

// An answer counts only for the open round or a pending request. Answers to
// earlier rounds (a slow fleet's backlog, or a replay) are dropped before any
// key work: agreeing keys for them would starve the round that is open.
bool Engine::IsAwaited(const wire::Message& msg) const {
    return (m_tracker.RoundOpen() && msg.requestId == m_round.id) || IsChallengeFetch(msg);
}

void Engine::HandleAnswer(const wire::Message& msg, std::vector<Event>* events,
                          const PeerTable::Prepared* prepared) {
    if (!wire::IsDeviceMac(msg.mac) || !IsAwaited(msg))
        return;
    const Clock::time_point now = Clock::now();
    if (IsChallengeFetch(msg)) {
        if (m_peers->OnAnswer(msg, now, prepared) == PeerTable::Verdict::Dropped)
            return;
        if (m_config && m_config->id == msg.requestId && m_config->fetching)
            TrySealConfig(now);
        m_restoreCv.notify_all();
        return;
    }
    // Only authentic answers take a place in the tracker.
    const PeerTable::Verdict verdict = m_peers->OnAnswer(msg, now, prepared);
    if (verdict == PeerTable::Verdict::Dropped)
        return;
    const std::string_view xml = std::string_view(msg.payload).substr(trust::kAnswerPrefix);
    // The certified device displaces what an uncertified key said in its
    // name, at once, as a change of the record.
    if (verdict == PeerTable::Verdict::Replaced && m_tracker.Forget(msg.mac)) {
        m_tracker.OnAnswer(msg.mac, xml);
        Push(events, msg.mac, LORVEX_SEARCH_EVENT_CHANGED, std::string(xml));
        return;
    }
    m_round.lastAnswerAt = now;
    // A certified answer in a round always wins over an uncertified one
    // that came first: the first answer of an uncertified key for a MAC
    // not listed yet waits until the window in which every device answers
    // the round's latest probe has closed (ReleaseHeld).
    if (!m_peers->Verified(msg.mac) && !m_tracker.Tracks(msg.mac)) {
        const trust::Key* key = m_peers->KeyOf(msg.mac);
        if (key && m_heldMacs.insert(PeerTable::MacKey(msg.mac)).second)
            m_held.push_back(
                {msg.mac, *key, std::string(xml), m_round.lastProbeAt + kAnswerWindow});
        return;
    }
    Report(msg.mac, xml, events);
}

void Engine::Report(const wire::MacBytes& mac, std::string_view xml, std::vector<Event>* events) {
    const Reaction r = m_tracker.OnAnswer(mac, xml);
    if (r.changed)
        Push(events, mac, LORVEX_SEARCH_EVENT_CHANGED, std::string(xml));
    if (r.report)
        Push(events, mac, LORVEX_SEARCH_EVENT_ANSWER, std::string(xml));
}

// Held answers whose window has closed: reported when their key is still
// the one held for the MAC (no certified key answered meanwhile), else
// dropped.
void Engine::ReleaseHeld(Clock::time_point now, std::vector<Event>* events) {
    while (!m_held.empty() && m_held.front().until <= now) {
        const Held h = std::move(m_held.front());
        m_held.pop_front();
        m_heldMacs.erase(PeerTable::MacKey(h.mac));
        const trust::Key* key = m_peers->KeyOf(h.mac);
        if (key && *key == h.key && !m_peers->Verified(h.mac) && m_tracker.RoundOpen())
            Report(h.mac, h.xml, events);
    }
}

void Engine::HandleConfigResult(const wire::Message& msg, std::vector<Event>* events) {
    if (!m_config || m_config->id != msg.requestId || m_config->mac != msg.mac)
        return;
    std::string xml;
    if (m_config->sends == 0 || !m_peers->OpenReply(msg, Clock::now(), &xml))
        return;
    m_config.reset();
    Push(events, msg.mac, LORVEX_SEARCH_EVENT_CONFIG, std::move(xml));
}

void Engine::HandleRestoreAck(const wire::Message& msg) {
    for (PendingRestore* p : m_restores) {
        if (p->id != msg.requestId || p->mac != msg.mac || p->acked)
            continue;
        std::string xml;
        if (!m_peers->OpenReply(msg, Clock::now(), &xml))
            return;
        const int result = DecimalElement(xml, "restoreResult");
        p->result = result < 0 ? trust::RESULT_REFUSED : result;
        p->acked = true;
        m_restoreCv.notify_all();
    }
}

void Engine::Deliver(const std::vector<Event>& events) {
    if (!m_callback)
        return;
    for (const Event& e : events) {
        if (m_stop)
            return;
        char mac[18];
        std::memcpy(mac, e.mac, sizeof mac);
        m_callback(mac, e.code, e.xml.c_str(), m_user);
    }
}

void Engine::SendDatagram(const std::string& datagram) {
    if (!datagram.empty())
        net::SendAll(m_fd, m_ifaces, wire::kDevicePort, datagram);
}

// From libsodium's generator: nobody who watched earlier identifiers can
// tell the next one, so no answer can be collected ahead for a round.
std::uint32_t Engine::NewId() {
    std::uint32_t id = 0;
    while (id == 0)
        id = randombytes_random();
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
