#include "SearchTracker.h"

namespace lorvex::search {
namespace {

constexpr std::string_view kOpenTag = "<runningTime>";
constexpr std::string_view kCloseTag = "</runningTime>";
constexpr std::uint64_t kFnvOffset = 1469598103934665603ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

std::uint64_t Fnv(std::uint64_t h, std::string_view part) {
    for (unsigned char c : part) {
        h ^= c;
        h *= kFnvPrime;
    }
    return h;
}

} // namespace

std::uint64_t AnswerFingerprint(std::string_view xml) {
    std::uint64_t h = kFnvOffset;
    std::size_t at = 0;
    while (at < xml.size()) {
        std::size_t open = xml.find(kOpenTag, at);
        if (open == std::string_view::npos)
            break;
        open += kOpenTag.size();
        h = Fnv(h, xml.substr(at, open - at));
        const std::size_t close = xml.find(kCloseTag, open);
        at = close == std::string_view::npos ? xml.size() : close;
    }
    if (at < xml.size())
        h = Fnv(h, xml.substr(at));
    return h;
}

std::uint64_t DeviceTracker::Key(const wire::MacBytes& mac) {
    std::uint64_t key = 0;
    for (unsigned char b : mac)
        key = (key << 8) | b;
    return key;
}

wire::MacBytes DeviceTracker::Unkey(std::uint64_t key) {
    wire::MacBytes mac{};
    for (int i = 5; i >= 0; --i, key >>= 8)
        mac[static_cast<std::size_t>(i)] = key & 0xFF;
    return mac;
}

void DeviceTracker::BeginRound(bool automatic, bool announce) {
    ++m_round;
    m_open = true;
    m_automatic = automatic;
    m_announce = announce;
    m_counts = {};
}

std::vector<wire::MacBytes> DeviceTracker::EndRound(bool complete) {
    std::vector<wire::MacBytes> gone;
    const bool countMisses = m_open && m_automatic && complete;
    m_open = false;
    if (!countMisses)
        return gone;
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        Entry& e = it->second;
        if (e.lastRound != m_round && ++e.misses >= kMissesUntilGone) {
            gone.push_back(Unkey(it->first));
            it = m_devices.erase(it);
        } else {
            ++it;
        }
    }
    return gone;
}

Reaction DeviceTracker::OnAnswer(const wire::MacBytes& mac, std::string_view xml) {
    if (!m_open)
        return {};
    const std::uint64_t fp = AnswerFingerprint(xml);
    auto it = m_devices.find(Key(mac));
    if (it == m_devices.end()) {
        if (m_devices.size() >= kMaxDevices)
            return {};
        m_devices.emplace(Key(mac), Entry{fp, m_round, 0, 1});
        ++m_counts.answered;
        return {false, true};
    }
    Entry& e = it->second;
    if (e.lastRound == m_round) {
        if (e.answers == 1)
            ++m_counts.answeredTwice;
        e.answers = 2;
        return {};
    }
    e.lastRound = m_round;
    e.answers = 1;
    ++m_counts.answered;
    e.misses = 0;
    const bool changed = e.fingerprint != fp;
    e.fingerprint = fp;
    return {changed, m_announce};
}

std::vector<wire::MacBytes> DeviceTracker::Unanswered(std::size_t limit) const {
    std::vector<wire::MacBytes> out;
    for (auto it = m_devices.begin(); it != m_devices.end() && out.size() < limit; ++it)
        if (it->second.lastRound != m_round)
            out.push_back(Unkey(it->first));
    return out;
}

void DeviceTracker::Clear() {
    m_devices.clear();
    m_open = false;
    m_counts = {};
}

} // namespace lorvex::search
