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
enum class Identity : int { Unknown = 0, Verified = 1, Unverified = 2, Confirmed = 3, Conflict = 4 };

// Keys no maker certified are let in sparingly: at most this many are held
// at all, and at most kNewUnverifiedPerRound new ones are agreed per round,
// so a flood of made-up devices can neither fill the tracker nor eat the
// round's time that certified devices need.
constexpr std::size_t kMaxUnverifiedPeers = 16384;
constexpr std::size_t kNewUnverifiedPerRound = 4096;

class PeerTable {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // A fresh session key pair; `anchors` are the trusted maker keys.
    explicit PeerTable(std::vector<trust::Key> anchors);

    const trust::Key& ToolKey() const { return m_tool.publicKey; }

    // Opens a new round's budget for unverified keys.
    void NewRound() { m_newUnverified = 0; }

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
    // MAC is a conflict: the MAC is flagged, a certified key replaces an
    // uncertified one (Replaced: the record the uncertified one made must
    // go), and the answer is otherwise dropped.
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

    Identity State(const wire::MacBytes& mac, std::string* fingerprint) const;

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
    // Agrees keys with a new candidate and checks the answer's tag.
    bool Admit(const wire::Message& msg, const trust::AnswerParts& parts, const Prepared* prepared,
               Peer* out);
    static std::uint64_t Key(const wire::MacBytes& mac);

    trust::KeyPair m_tool;
    std::vector<trust::Key> m_anchors;
    std::unordered_map<std::uint64_t, Peer> m_peers;
    std::size_t m_unverified = 0;
    std::size_t m_newUnverified = 0;
};

// The trusted maker keys: every "*.pub" in the package's anchor folder and in
// the folder named by LORVEX_TRUST_DIR when set (trust::FindAnchorFolders).
std::vector<trust::Key> LoadTrustAnchors();

} // namespace lorvex::search
