#include "OnvifTable.h"

#include <arpa/inet.h>

namespace onvif {
namespace {

constexpr std::size_t kMaxHeardAddresses = 32;

std::string Dotted(std::uint32_t hostOrder) {
    in_addr a{};
    a.s_addr = htonl(hostOrder);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

int ReachRank(Reach r) { return r == Reach::Subnet ? 0 : r == Reach::LinkLocal ? 1 : 2; }

// Whether two records differ in what a list shows or a client uses.
bool Differs(const CameraRecord& a, const CameraRecord& b) {
    return a.types != b.types || a.scopes != b.scopes || a.xaddrs != b.xaddrs ||
           a.xaddr != b.xaddr || a.reach != b.reach || a.ip != b.ip || a.port != b.port ||
           a.interfaceName != b.interfaceName || a.localAddress != b.localAddress ||
           a.metadataVersion != b.metadataVersion || a.mac != b.mac;
}

void NoteHeard(std::map<std::string, CameraTable::Clock::time_point>* heard, const std::string& ip,
               CameraTable::Clock::time_point now) {
    if (ip.empty())
        return;
    if (heard->size() >= kMaxHeardAddresses && heard->count(ip) == 0)
        heard->erase(heard->begin());
    (*heard)[ip] = now;
}

} // namespace

CameraRecord RecordFromMatch(const DiscoveryMatch& match, const Card& card) {
    CameraRecord r;
    r.endpoint = match.endpoint;
    r.types = match.types;
    r.scopes = match.scopes;
    r.xaddrs = match.xaddrs;
    r.metadataVersion = match.metadataVersion;
    r.name = ScopeValue(match.scopes, "name");
    r.hardware = ScopeValue(match.scopes, "hardware");
    r.mac = NormaliseMac(ScopeValue(match.scopes, "MAC"));
    r.interfaceName = card.name;
    r.localAddress = Dotted(card.address);
    const int chosen = ChooseXAddr(match.xaddrs, Subnet{card.address, card.mask}, &r.reach);
    if (chosen >= 0)
        r.xaddr = match.xaddrs[static_cast<size_t>(chosen)];
    // Shown address: the chosen XAddr's, else the first one that parses.
    XAddr x;
    if (chosen >= 0 && ParseXAddr(r.xaddr, &x)) {
        r.ip = x.host, r.port = x.port;
    } else {
        for (const std::string& text : match.xaddrs)
            if (ParseXAddr(text, &x)) {
                r.ip = x.host, r.port = x.port;
                break;
            }
    }
    return r;
}

void CameraTable::Heard(const DiscoveryMatch& match, const Card& card, const std::string& source,
                        Clock::time_point now, int pair, CameraEvents* events) {
    if (!IsVideoDevice(match))
        return;
    auto it = m_entries.find(match.endpoint);
    if (it == m_entries.end() && m_entries.size() >= kMaxCameras)
        return;
    CameraRecord fresh = RecordFromMatch(match, card);
    fresh.lastSeen = now;
    const bool added = it == m_entries.end();
    if (added) {
        it = m_entries.emplace(match.endpoint, Entry()).first;
        it->second.order = m_next++;
    }
    Entry& e = it->second;
    e.lastRound = m_round;
    if (pair >= 0 && pair < 32)
        e.pairs |= 1u << pair;
    NoteHeard(&e.heardFrom, source, now);
    XAddr x;
    for (const std::string& text : match.xaddrs)
        if (ParseXAddr(text, &x))
            NoteHeard(&e.heardFrom, x.host, now);
    if (added) {
        e.record = fresh;
        events->emplace_back(CameraEvent::Added, e.record);
        return;
    }
    // Heard on a card that reaches it worse than the card it is listed on:
    // keep the better way in, only the time moves.
    if (fresh.interfaceName != e.record.interfaceName &&
        ReachRank(fresh.reach) > ReachRank(e.record.reach)) {
        e.record.lastSeen = now;
        return;
    }
    fresh.info = e.record.info;
    if (fresh.mac.empty())
        fresh.mac = e.record.mac; // learnt from the camera itself earlier
    const bool changed = Differs(fresh, e.record);
    e.record = fresh;
    if (changed)
        events->emplace_back(CameraEvent::Changed, e.record);
}

void CameraTable::Bye(const std::string& endpoint, CameraEvents* events) {
    auto it = m_entries.find(endpoint);
    if (it == m_entries.end())
        return;
    events->emplace_back(CameraEvent::Gone, it->second.record);
    m_entries.erase(it);
}

void CameraTable::BeginRound(bool dropSilent, CameraEvents* events) {
    ++m_round;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        it->second.pairs = 0;
        if (dropSilent && it->second.lastRound <= m_round - 3) {
            events->emplace_back(CameraEvent::Gone, it->second.record);
            it = m_entries.erase(it);
        } else {
            ++it;
        }
    }
}

std::pair<std::size_t, std::size_t> CameraTable::FirstPairCounts() const {
    std::size_t once = 0, twice = 0;
    for (const auto& e : m_entries) {
        const unsigned p = e.second.pairs & 3u;
        once += p != 0;
        twice += p == 3u;
    }
    return {once, twice};
}

std::vector<CameraRecord> CameraTable::Cameras() const {
    std::map<long, const CameraRecord*> ordered;
    for (const auto& e : m_entries)
        ordered[e.second.order] = &e.second.record;
    std::vector<CameraRecord> out;
    out.reserve(ordered.size());
    for (const auto& o : ordered)
        out.push_back(*o.second);
    return out;
}

bool CameraTable::Find(const std::string& key, CameraRecord* out) const {
    auto it = m_entries.find(key);
    if (it != m_entries.end()) {
        *out = it->second.record;
        return true;
    }
    const std::string mac = NormaliseMac(key);
    if (mac.empty())
        return false;
    const Entry* best = nullptr;
    for (const auto& e : m_entries)
        if (e.second.record.mac == mac && (best == nullptr || e.second.order < best->order))
            best = &e.second;
    if (best == nullptr)
        return false;
    *out = best->record;
    return true;
}

bool CameraTable::SetInformation(const std::string& endpoint, const DeviceInformation& info,
                                 CameraEvents* events) {
    auto it = m_entries.find(endpoint);
    if (it == m_entries.end())
        return false;
    it->second.record.info = info;
    events->emplace_back(CameraEvent::Changed, it->second.record);
    return true;
}

bool CameraTable::SetMac(const std::string& endpoint, const std::string& mac,
                         CameraEvents* events) {
    auto it = m_entries.find(endpoint);
    const std::string normal = NormaliseMac(mac);
    if (it == m_entries.end() || normal.empty() || !it->second.record.mac.empty())
        return false;
    it->second.record.mac = normal;
    events->emplace_back(CameraEvent::Changed, it->second.record);
    return true;
}

bool CameraTable::HeardFrom(const std::string& endpoint, const std::string& ip,
                            Clock::time_point* when) const {
    auto it = m_entries.find(endpoint);
    if (it == m_entries.end())
        return false;
    auto h = it->second.heardFrom.find(ip);
    if (h == it->second.heardFrom.end())
        return false;
    *when = h->second;
    return true;
}

} // namespace onvif
