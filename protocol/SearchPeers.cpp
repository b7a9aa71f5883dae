#include "SearchPeers.h"

#include "TrustAnchors.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace lorvex::search {
namespace {

constexpr auto kChallengeLife = std::chrono::seconds(trust::kChallengeLifeSeconds);

} // namespace

std::vector<trust::Key> LoadTrustAnchors() {
    std::vector<trust::Key> anchors;
    const trust::AnchorFolders folders = trust::FindAnchorFolders();
    if (!folders.package.empty())
        trust::LoadAnchors(folders.package, &anchors);
    if (!folders.environment.empty())
        trust::LoadAnchors(folders.environment, &anchors);
    return anchors;
}

PeerTable::PeerTable(std::vector<trust::Key> anchors)
    : m_tool(trust::NewKeyPair()), m_anchors(std::move(anchors)) {}

std::uint64_t PeerTable::Key(const wire::MacBytes& mac) {
    std::uint64_t k = 0;
    for (unsigned char b : mac)
        k = (k << 8) | b;
    return k;
}

bool PeerTable::Certified(const trust::Certificate& cert) const {
    for (const trust::Key& anchor : m_anchors)
        if (trust::VerifyCertificate(cert, anchor))
            return true;
    return false;
}

bool PeerTable::NeedsAdmission(const wire::Message& msg) const {
    if (msg.payload.size() < trust::kCertSize)
        return false;
    auto it = m_peers.find(Key(msg.mac));
    return it == m_peers.end() ||
           std::memcmp(it->second.key.data(), msg.payload.data() + 12, trust::kKeySize) != 0;
}

PeerTable::Prepared PeerTable::Prepare(const wire::Message& msg) const {
    Prepared out;
    trust::AnswerParts parts;
    if (!trust::SplitAnswer(msg, &parts))
        return out;
    out.checked = true;
    out.key = parts.cert.deviceKey;
    out.certified = Certified(parts.cert);
    out.authentic = out.certified && trust::ToolSessionKeys(m_tool, out.key, &out.keys) &&
                    trust::CheckAnswer(out.keys, msg, parts);
    return out;
}

bool PeerTable::Admit(const wire::Message& msg, const trust::AnswerParts& parts,
                      const Prepared* prepared, Peer* out) {
    out->key = parts.cert.deviceKey;
    const bool ahead = prepared && prepared->checked && prepared->key == out->key;
    if (ahead && prepared->certified) {
        out->verified = true;
        out->keys = prepared->keys;
        return prepared->authentic;
    }
    out->verified = ahead ? false : Certified(parts.cert);
    if (!out->verified &&
        (m_newUnverified >= kNewUnverifiedPerRound || m_unverified >= kMaxUnverifiedPeers))
        return false;
    if (!out->verified)
        ++m_newUnverified;
    return trust::ToolSessionKeys(m_tool, out->key, &out->keys) &&
           trust::CheckAnswer(out->keys, msg, parts);
}

PeerTable::Verdict PeerTable::OnAnswer(const wire::Message& msg, TimePoint now,
                                       const Prepared* prepared) {
    trust::AnswerParts parts;
    if (!trust::SplitAnswer(msg, &parts))
        return Verdict::Dropped;
    Verdict verdict = Verdict::Accepted;
    auto it = m_peers.find(Key(msg.mac));
    if (it != m_peers.end() && it->second.key == parts.cert.deviceKey) {
        if (!trust::CheckAnswer(it->second.keys, msg, parts))
            return Verdict::Dropped;
    } else {
        Peer candidate;
        if (!Admit(msg, parts, prepared, &candidate))
            return Verdict::Dropped;
        if (it == m_peers.end()) {
            m_unverified += candidate.verified ? 0 : 1;
            it = m_peers.emplace(Key(msg.mac), std::move(candidate)).first;
        } else {
            // Two keys answer for one MAC: no secret goes there from now on.
            Peer& held = it->second;
            held.conflict = true;
            if (!candidate.verified || held.verified)
                return Verdict::Dropped;
            --m_unverified; // the held key was uncertified
            candidate.conflict = true;
            held = std::move(candidate);
            verdict = Verdict::Replaced;
        }
    }
    it->second.challenge = parts.challenge;
    it->second.challengeAt = now;
    return verdict;
}

bool PeerTable::OpenReply(const wire::Message& msg, TimePoint now, std::string* xml) {
    auto it = m_peers.find(Key(msg.mac));
    if (it == m_peers.end())
        return false;
    trust::Challenge next{};
    if (!trust::OpenReply(it->second.keys, msg, &next, xml))
        return false;
    it->second.challenge = next;
    it->second.challengeAt = now;
    return true;
}

bool PeerTable::MaySendSecret(const wire::MacBytes& mac) const {
    auto it = m_peers.find(Key(mac));
    return it != m_peers.end() && !it->second.conflict &&
           (it->second.verified || it->second.confirmed);
}

bool PeerTable::HasFreshChallenge(const wire::MacBytes& mac, TimePoint now) const {
    auto it = m_peers.find(Key(mac));
    return it != m_peers.end() && it->second.challengeAt &&
           now - *it->second.challengeAt < kChallengeLife;
}

std::string PeerTable::Seal(wire::Kind kind, std::uint32_t requestId, const wire::MacBytes& mac,
                            std::string_view body, TimePoint now) {
    if (!HasFreshChallenge(mac, now))
        return {};
    Peer& p = m_peers.find(Key(mac))->second;
    p.challengeAt.reset(); // a device honours each challenge once
    return trust::SealRequest(p.keys, m_tool.publicKey, kind, requestId, mac, p.challenge, body);
}

Identity PeerTable::State(const wire::MacBytes& mac, std::string* fingerprint) const {
    auto it = m_peers.find(Key(mac));
    if (it == m_peers.end())
        return Identity::Unknown;
    if (fingerprint)
        *fingerprint = trust::Fingerprint(it->second.key);
    const Peer& p = it->second;
    if (p.conflict)
        return Identity::Conflict;
    if (p.verified)
        return Identity::Verified;
    return p.confirmed ? Identity::Confirmed : Identity::Unverified;
}

bool PeerTable::Confirm(const wire::MacBytes& mac, std::string_view fingerprint) {
    auto it = m_peers.find(Key(mac));
    if (it == m_peers.end() || it->second.conflict ||
        trust::Fingerprint(it->second.key) != fingerprint)
        return false;
    it->second.confirmed = true;
    return true;
}

void PeerTable::Forget(const wire::MacBytes& mac) {
    auto it = m_peers.find(Key(mac));
    if (it == m_peers.end() || it->second.conflict || it->second.confirmed)
        return;
    m_unverified -= it->second.verified ? 0 : 1;
    m_peers.erase(it);
}

void PeerTable::ForgetUnverified() {
    for (auto it = m_peers.begin(); it != m_peers.end();) {
        const Peer& p = it->second;
        if (!p.verified && !p.confirmed && !p.conflict) {
            --m_unverified;
            it = m_peers.erase(it);
        } else {
            ++it;
        }
    }
}

void PeerTable::Clear() {
    m_peers.clear();
    m_unverified = 0;
    m_newUnverified = 0;
}

} // namespace lorvex::search
