// The library's engine behind the C functions of LorvexSearch.h: the socket,
// the thread, the search rounds and the requests awaiting a reply.

#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "LorvexSearch.h"
#include "SearchNet.h"
#include "SearchPeers.h"
#include "SearchReprobe.h"
#include "SearchTracker.h"
#include "SearchWire.h"

namespace lorvex::search {

using Clock = std::chrono::steady_clock;

// Timing of the protocol (docs/protocol.md). The repeated probe goes out after
// the devices' 500-ms answer window, so the two bursts of answers never overlap.
constexpr auto kProbeRepeatGap = std::chrono::milliseconds(600);
constexpr int kProbesPerRound = 2;
// A probe is worth sending only while its answers can still arrive within
// the round: the devices' answer window and some slack.
constexpr auto kAnswerWindow = std::chrono::milliseconds(600);
// Targeted probes (by MAC) to tracked devices that have not answered the
// round yet: one per such device every answer window, at most this many in
// one go, so that a table full of forged MACs cannot turn into a storm.
constexpr std::size_t kMaxTargetedPerStep = 1024;
constexpr auto kManualWindow = std::chrono::milliseconds(2000);
constexpr auto kConfigWindow = std::chrono::milliseconds(5000);
// A configuration or activation without a result this long after it was
// sent is sent once more, sealed with a challenge the device is asked for
// anew (it may have forgotten the one the first copy carried).
constexpr auto kConfigRepeatGap = std::chrono::milliseconds(200);
constexpr int kConfigSends = 2;
constexpr auto kRestoreWait = std::chrono::milliseconds(3000);
constexpr auto kRestoreRepeatGap = std::chrono::milliseconds(500);
// What the tool sends to one device's MAC for a request (a probe that asks
// for a challenge, or a sealed copy) goes at most this often.
constexpr auto kAskGap = std::chrono::milliseconds(250);
constexpr int kReceiveBuffer = 4 * 1024 * 1024;
// Probes to all devices: at most kProbesPerSecond a second and
// kProbeBurst at once, whatever the rounds and the loss rule ask for and
// however often a caller starts a search; a probe beyond that waits for its
// turn. With the probes to one MAC (one per kAnswerWindow from the loss
// rule, one per kAskGap for a request) this bounds what the
// tool asks of any one device (docs/protocol.md, "Answer budgets").
constexpr double kProbesPerSecond = 10;
constexpr double kProbeBurst = 4;
// Datagrams taken off the socket and not yet checked: the socket is emptied
// before answers are verified, so a burst is not lost to the kernel buffer
// while keys are agreed.
constexpr std::size_t kMaxInbox = 65536;
// The loss assessment waits for this long without an answer to the round:
// the answers of a burst arrive far closer together on any working link.
constexpr auto kAnswersQuiet = std::chrono::milliseconds(100);

class Engine {
public:
    ~Engine();
    // See LORVEX_SEARCH_Initial; false when already running or the socket fails.
    bool Start(LORVEX_SEARCH_CALLBACK callback, void* user, int batch);
    // See LORVEX_SEARCH_Quit; does nothing on the library thread itself.
    void Stop();
    void StartAuto(int seconds);
    void StopAuto();
    void Manual();
    void SetConfig(const wire::MacBytes& mac, const char* xml);
    // Seals the first password, with the proof of the device's setup code
    // (typed or canonical), to a device that has none; the result comes as
    // LORVEX_SEARCH_EVENT_CONFIG like a configuration result. Nothing is sent
    // when `setupCode` is not a setup code.
    void Activate(const wire::MacBytes& mac, const char* password, const char* setupCode);
    // Seals an identify request (the time to show itself, 1 to
    // trust::kIdentifyMaxSeconds, and the password); the result comes as
    // LORVEX_SEARCH_EVENT_CONFIG. Nothing is sent for a time out of range.
    void Identify(const wire::MacBytes& mac, const char* password, int seconds);
    // Seals a snapshot token request (the token and the password); the
    // result comes as LORVEX_SEARCH_EVENT_CONFIG.
    void GrantSnapshot(const wire::MacBytes& mac, const char* password,
                       const trust::SnapshotToken& token);
    // The device's restoreResult (0 restored), -1 when no authentic
    // acknowledgement of this request came within kRestoreWait.
    int Restore(const wire::MacBytes& mac);
    Identity IdentityOf(const wire::MacBytes& mac, std::string* fingerprint);
    bool Confirm(const wire::MacBytes& mac, const char* fingerprint);

private:
    struct Event {
        char mac[18];
        int code;
        std::string xml;
    };
    struct Round {
        std::uint32_t id = 0;
        bool automatic = false;
        bool announce = false;
        int broadcasts = 0;                   // probes to all devices sent so far
        int broadcastLimit = kProbesPerRound; // set by the loss assessment; no
                                              // probe to all after probeUntil
        std::chrono::milliseconds broadcastGap = kProbeRepeatGap;
        Clock::time_point nextBroadcast;
        Clock::time_point assessAt; // both first bursts are in by then
        // The round's latest authentic answer. While answers still arrive
        // the first bursts are not over: a fleet or receiver slowed by load
        // delivers them late, and counting them early reads as loss.
        Clock::time_point lastAnswerAt;
        bool assessed = false;
        std::optional<Clock::time_point> nextTargeted;
        Clock::time_point probeUntil; // no probe goes out after this
        Clock::time_point fullAt;     // an automatic round that lasts until here is complete
        std::optional<Clock::time_point> closeAt;
        Clock::time_point lastProbeAt; // the latest probe of the round, to all or to a MAC
    };
    // The first answer of an uncertified key for a MAC not listed yet, held
    // until the answer window of the round's latest probe has closed: a
    // certified key that answers for the same MAC meanwhile wins, and this
    // one is never reported.
    struct Held {
        wire::MacBytes mac{};
        trust::Key key{};
        std::string xml;
        Clock::time_point until;
    };
    // A configuration or activation request. Each copy is sealed with a
    // challenge the device issued since the last copy went out (asked for by
    // a probe to its MAC with the request's identifier when none is at hand),
    // so the body is kept, and wiped, until the request ends.
    struct PendingConfig {
        wire::MacBytes mac{};
        std::uint32_t id = 0;
        wire::Kind kind = wire::Kind::SetConfig;
        std::string body;      // wiped when the request ends
        std::string code;      // activation: the canonical setup code, wiped likewise
        int sends = 0;         // sealed copies sent
        bool fetching = false; // a probe asked for a challenge; seal on its answer
        std::optional<Clock::time_point> fetchAt; // such a probe is due then (kAskGap)
        Clock::time_point createdAt;
        Clock::time_point sentAt;
        // Nothing is sealed before this: for a key no maker certified, the
        // answer window of the probe that asked for the challenge, so that a
        // certified key answering for the same MAC is heard first.
        Clock::time_point notBefore;
        PendingConfig();
        ~PendingConfig();
    };
    struct PendingRestore {
        wire::MacBytes mac{};
        std::uint32_t id = 0;
        bool acked = false;
        int result = -1;
    };

    void Run();
    void DrainSocket(net::BatchReceiver& rx);
    int PollTimeoutMs(Clock::time_point now) const;
    void RunTimers(Clock::time_point now, std::vector<Event>* events);
    void RunConfigTimers(Clock::time_point now);
    void Handle(const wire::Message& msg, std::vector<Event>* events,
                const PeerTable::Prepared* prepared = nullptr);
    void HandleAnswer(const wire::Message& msg, std::vector<Event>* events,
                      const PeerTable::Prepared* prepared);
    void HandleConfigResult(const wire::Message& msg, std::vector<Event>* events);
    void HandleRestoreAck(const wire::Message& msg);
    bool IsChallengeFetch(const wire::Message& msg) const;
    bool IsAwaited(const wire::Message& msg) const;
    void StartRequest(wire::Kind kind, const wire::MacBytes& mac, std::string_view body,
                      std::string code = {});
    bool FetchChallenge(std::uint32_t id, const wire::MacBytes& mac, Clock::time_point now);
    Clock::time_point NextAsk(const wire::MacBytes& mac) const;
    void NoteAsk(const wire::MacBytes& mac, Clock::time_point now);
    void TrySealConfig(Clock::time_point now);
    bool AwaitChallenge(std::unique_lock<std::mutex>& lock, const PendingRestore& pending,
                        Clock::time_point deadline);
    std::string ProbeDatagram(std::uint32_t id, const wire::MacBytes& mac) const;
    void HandleInbox(std::size_t limit, std::vector<Event>* events);
    void Deliver(const std::vector<Event>& events);
    void BeginRound(bool automatic, bool announce, Clock::time_point now,
                    std::vector<Event>* events);
    void EndRound(Clock::time_point now, std::vector<Event>* events);
    void RunProbeTimers(Clock::time_point now);
    Clock::time_point AssessDue() const;
    void Assess(Clock::time_point now);
    void SetProbeHorizon(Clock::time_point end);
    void SendProbe(Clock::time_point now);
    void ReleaseHeld(Clock::time_point now, std::vector<Event>* events);
    void Report(const wire::MacBytes& mac, std::string_view xml, std::vector<Event>* events);
    void SendTargetedProbes();
    void SendDatagram(const std::string& datagram);
    static std::uint32_t NewId();
    static void Push(std::vector<Event>* events, const wire::MacBytes& mac, int code,
                     std::string xml);

    std::mutex m_lifecycle; // serialises Start and Stop
    std::mutex m_mutex;     // everything below
    std::condition_variable m_restoreCv;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    bool m_manualPending = false;
    bool m_drained = true; // the socket held nothing at the last look (library thread)
    int m_fd = -1;
    int m_wake = -1;
    std::size_t m_batch = 96;
    LORVEX_SEARCH_CALLBACK m_callback = nullptr;
    void* m_user = nullptr;
    DeviceTracker m_tracker;
    Round m_round;
    int m_autoSeconds = 0;
    bool m_announceNextAuto = false;
    Clock::time_point m_nextAuto;
    std::optional<PendingConfig> m_config;
    std::vector<PendingRestore*> m_restores;
    std::unique_ptr<PeerTable> m_peers;
    std::deque<wire::Message> m_inbox; // library thread only
    std::vector<net::Interface> m_ifaces;
    std::vector<int> m_joined;
    // When a probe asking for a challenge, or a sealed copy, last went to a
    // MAC (kAskGap).
    std::unordered_map<std::uint64_t, Clock::time_point> m_lastAsk;
    std::deque<Held> m_held; // in the order held, so `until` never decreases
    std::unordered_set<std::uint64_t> m_heldMacs;
    double m_probeTokens = kProbeBurst;
    Clock::time_point m_probeTokensAt;
};

} // namespace lorvex::search
