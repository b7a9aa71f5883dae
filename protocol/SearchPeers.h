// The library's view of device identities for one session: which key
// answers for each MAC, whether a trusted maker certified it, the keys this
// session agreed with it and the latest challenge it issued. It decides
// which answers are authentic enough to reach the tracker and seals every
// request. No I/O, no clock of its own.

#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "TrustWire.h"

namespace lorvex::search {

// Identity states as LORVEX_TRUST_Identity reports them.
enum class Identity : int {
    Unknown = 0,
    Verified = 1,
    Unverified = 2,
    Confirmed = 3,
    Conflict = 4
};

// Keys no maker certified are let in sparingly: at most this many are held
// at all, and at most kNewUnverifiedPerRound new ones are admitted per round,
// counted only once an answer's tag checked, so that junk spends none of
// it. Agreeing a key to check that tag is the costly part: per round at
// most kAgreementsPerSource of them for answers from one source address,
// and kAgreementsPerRound in all, so a flood of made-up devices can neither
// fill the tracker nor eat the round's time that real devices need.
constexpr std::size_t kMaxUnverifiedPeers = 16384;
constexpr std::size_t kNewUnverifiedPerRound = 4096;
constexpr std::size_t kAgreementsPerSource = 1024;
constexpr std::size_t kAgreementsPerRound = 8192;

class PeerTable {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // A fresh session key pair; `anchors` are the trusted maker keys.
    explicit PeerTable(std::vector<trust::Key> anchors);

    // A MAC as one number, for tables keyed by device.
    static std::uint64_t MacKey(const wire::MacBytes& mac);

    const trust::Key& ToolKey() const { return m_tool.publicKey; }

    // Opens a new round's budgets for unverified keys.
    void NewRound() {
        m_newUnverified = 0;
        m_agreements = 0;
        m_agreementsBySource.clear();
    }

    // What became of an answer.
    enum class Verdict { Dropped, Accepted, Replaced };

    // The costly part of admitting a certified key, done ahead: certificate
    // check, key agreement and tag. It reads no table state, so answers of a
    // burst are prepared on several threads at once.
    struct Prepared {
        bool checked = false;   // the certificate was read and checked
        bool certified = false; // a trusted maker signed it
        bool authentic = false; // (certified only) the tag checks under the agreed keys
        trust::Key key{};
        trust::SessionKeys keys;
    };
    // True when the answer's key is not the one held for its MAC (a new
    // device or a second key): only then is there anything to prepare.
    bool NeedsAdmission(const wire::Message& msg) const;
    Prepared Prepare(const wire::Message& msg) const;
    // An answer (kind 2): Accepted when it is authentic under the key its
    // certificate names and that key is the one this session holds for the
    // MAC (or becomes it). Records the answer's challenge. A second key for a
    // MAC is a conflict: the MAC is flagged at once, whatever the answer's
    // tag (anyone can make an authentic answer for a key of their own, so
    // checking it would prove nothing) and whatever the budgets; a certified
    // key whose answer is authentic replaces an uncertified one (Replaced:
    // the record the uncertified one made must go), and the answer is
    // otherwise dropped. A new uncertified key is agreed only within the
    // agreement budgets of the round and of msg.source, and admitted within
    // the round's budget once its tag checked.
    // `prepared`, when given, is Prepare's work for this very answer.
    Verdict OnAnswer(const wire::Message& msg, TimePoint now, const Prepared* prepared = nullptr);

    // A result or acknowledgement (kinds 4 and 6) authentic under the MAC's
    // session keys: its document, and the next challenge it carries is kept.
    bool OpenReply(const wire::Message& msg, TimePoint now, std::string* xml);

    // True when a secret may go to this MAC: a certified key, or one the user
    // confirmed this session, and no conflict.
    bool MaySendSecret(const wire::MacBytes& mac) const;

    // True when the MAC has a key and an unused challenge younger than its life.
    bool HasFreshChallenge(const wire::MacBytes& mac, TimePoint now) const;

    // The sealed datagram of a request, using up the MAC's challenge; empty
    // when there is no key or no fresh challenge.
    std::string Seal(wire::Kind kind, std::uint32_t requestId, const wire::MacBytes& mac,
                     std::string_view body, TimePoint now);

    // As Seal, for an activation: the body is the proof of the canonical
    // setup code `code` followed by the first password.
    std::string SealActivation(std::uint32_t requestId, const wire::MacBytes& mac,
                               std::string_view code, std::string_view password, TimePoint now);

    Identity State(const wire::MacBytes& mac, std::string* fingerprint) const;
    // True when a trusted maker certified the key held for the MAC (in
    // conflict or not).
    bool Verified(const wire::MacBytes& mac) const;
    // The key held for the MAC; null when none.
    const trust::Key* KeyOf(const wire::MacBytes& mac) const;

    // Confirms the MAC's uncertified key for this session when `fingerprint`
    // is its fingerprint; false otherwise (and for a conflict).
    bool Confirm(const wire::MacBytes& mac, std::string_view fingerprint);

    // A device is gone: its entry goes unless it is flagged or confirmed.
    void Forget(const wire::MacBytes& mac);
    // Drops every uncertified, unconfirmed, unflagged entry.
    void ForgetUnverified();
    void Clear();

private:
    struct Peer {
        trust::Key key{};
        bool verified = false;
        bool confirmed = false;
        bool conflict = false;
        trust::SessionKeys keys;
        trust::Challenge challenge{};
        std::optional<TimePoint> challengeAt; // unset: none, or used
    };
    bool Certified(const trust::Certificate& cert) const;
    // Agrees keys with a candidate and checks the answer's tag: with the
    // work Prepare did when it matches, else here (for an uncertified key
    // only within the agreement budgets, TakeAgreement).
    bool Admit(const wire::Message& msg, const trust::AnswerParts& parts, const Prepared* prepared,
               Peer* out);
    bool TakeAgreement(std::uint32_t source);
    Verdict OnSecondKey(Peer& held, const wire::Message& msg, const trust::AnswerParts& parts,
                        const Prepared* prepared);
    static std::uint64_t Key(const wire::MacBytes& mac) { return MacKey(mac); }

    trust::KeyPair m_tool;
    std::vector<trust::Key> m_anchors;
    std::unordered_map<std::uint64_t, Peer> m_peers;
    std::size_t m_unverified = 0;
    std::size_t m_newUnverified = 0;
    std::size_t m_agreements = 0; // for uncertified keys, this round
    std::unordered_map<std::uint32_t, std::size_t> m_agreementsBySource;
};

// The trusted maker keys: every "*.pub" in the package's anchor folder and in
// the folder named by LORVEX_TRUST_DIR when set (trust::FindAnchorFolders).
std::vector<trust::Key> LoadTrustAnchors();

} // namespace lorvex::search
