#include "OnvifTable.h"

#include <arpa/inet.h>

#include <algorithm>

#include "DeviceIds.h"

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
           a.metadataVersion != b.metadataVersion || a.mac != b.mac || a.source != b.source ||
           a.contested != b.contested || a.claimants != b.claimants;
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

CameraRecord RecordFromMatch(const DiscoveryMatch& match, const Card& card,
                             const std::string& source) {
    CameraRecord r;
    r.endpoint = match.endpoint;
    r.types = match.types;
    r.scopes = match.scopes;
    r.xaddrs = match.xaddrs;
    r.metadataVersion = match.metadataVersion;
    r.name = ScopeValue(match.scopes, "name");
    r.hardware = ScopeValue(match.scopes, "hardware");
    r.mac = devicelist::CanonicalMac(ScopeValue(match.scopes, "MAC"), devicelist::MacSpelling::Any);
    r.interfaceName = card.name;
    r.localAddress = Dotted(card.address);
    r.source = source;
    const Subnet subnet{card.address, card.mask};
    const int chosen = ChooseXAddr(match.xaddrs, subnet, source, &r.reach);
    Reach any = Reach::None;
    r.pointsElsewhere = chosen < 0 && ChooseXAddr(match.xaddrs, subnet, source, &any, true) >= 0;
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
    CameraRecord fresh = RecordFromMatch(match, card, source);
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
    if (!source.empty()) {
        if (e.sources.size() >= kMaxHeardAddresses && e.sources.count(source) == 0)
            e.sources.erase(
                std::min_element(e.sources.begin(), e.sources.end(),
                                 [](const auto& a, const auto& b) { return a.second < b.second; }));
        e.sources[source] = m_round;
    }
    XAddr x;
    for (const std::string& text : match.xaddrs)
        if (ParseXAddr(text, &x))
            NoteHeard(&e.heardFrom, x.host, now);
    if (added) {
        e.record = fresh;
        Judge(e.sources, &e.record);
        events->emplace_back(CameraEvent::Added, e.record);
        return;
    }
    // Heard on a card that reaches it worse than the card it is listed on,
    // or from another host while the one it is listed from still speaks (a
    // second claimant: contested, and the row does not flip between them):
    // keep the record, only the time and the claimants move.
    const auto listed = e.sources.find(e.record.source);
    const bool otherClaimant = !source.empty() && source != e.record.source &&
                               listed != e.sources.end() && listed->second >= m_round - 1;
    if (otherClaimant || (fresh.interfaceName != e.record.interfaceName &&
                          ReachRank(fresh.reach) > ReachRank(e.record.reach))) {
        e.record.lastSeen = now;
        const CameraRecord before = e.record;
        Judge(e.sources, &e.record);
        if (Differs(before, e.record))
            events->emplace_back(CameraEvent::Changed, e.record);
        return;
    }
    fresh.info = e.record.info;
    if (fresh.mac.empty())
        fresh.mac = e.record.mac; // learnt from the camera itself earlier
    Judge(e.sources, &fresh);
    const bool changed = Differs(fresh, e.record);
    e.record = fresh;
    if (changed)
        events->emplace_back(CameraEvent::Changed, e.record);
}

void CameraTable::Judge(const std::map<std::string, int>& sources, CameraRecord* record) const {
    std::vector<std::string> recent;
    for (const auto& s : sources)
        if (s.second >= m_round - 1)
            recent.push_back(s.first);
    record->contested = recent.size() > 1;
    record->claimants = record->contested ? recent : std::vector<std::string>();
}

void CameraTable::Moved(const std::string& endpoint, const std::string& ip, CameraEvents* events) {
    auto it = m_entries.find(endpoint);
    if (it == m_entries.end())
        return;
    Entry& e = it->second;
    for (auto s = e.sources.begin(); s != e.sources.end();)
        s = s->first == ip ? std::next(s) : e.sources.erase(s);
    const bool was = e.record.contested;
    Judge(e.sources, &e.record);
    if (was != e.record.contested)
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
            continue;
        }
        // A claimant silent for two rounds no longer contests the camera.
        const bool was = it->second.record.contested;
        Judge(it->second.sources, &it->second.record);
        if (was != it->second.record.contested)
            events->emplace_back(CameraEvent::Changed, it->second.record);
        ++it;
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
    const Entry* found = nullptr;
    auto it = m_entries.find(key);
    if (it != m_entries.end())
        found = &it->second;
    const std::string mac = found != nullptr
                                ? found->record.mac
                                : devicelist::CanonicalMac(key, devicelist::MacSpelling::Any);
    std::vector<std::string> claimants;
    size_t carriers = 0;
    if (!mac.empty()) {
        for (const auto& e : m_entries) {
            if (e.second.record.mac != mac)
                continue;
            ++carriers;
            claimants.push_back(e.second.record.source);
            if (it == m_entries.end() && (found == nullptr || e.second.order < found->order))
                found = &e.second;
        }
    }
    if (found == nullptr)
        return false;
    *out = found->record;
    // Two endpoints with one MAC: one of them copies the other. Named by
    // MAC, or by the endpoint of a row the window keys by that MAC, the
    // camera cannot be told from its copy.
    if (carriers > 1) {
        out->contested = true;
        for (const std::string& c : out->claimants)
            claimants.push_back(c);
        std::sort(claimants.begin(), claimants.end());
        claimants.erase(std::unique(claimants.begin(), claimants.end()), claimants.end());
        out->claimants = claimants;
    }
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
    const std::string normal = devicelist::CanonicalMac(mac, devicelist::MacSpelling::Any);
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
