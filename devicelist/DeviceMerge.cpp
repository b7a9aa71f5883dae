#include "DeviceMerge.h"

#include "SearchInfo.h"

namespace devicelist {

namespace {

const std::string kNone;

} // namespace

DeviceMerge::DeviceMerge(Clock::duration grace) : m_grace(grace) {}

void DeviceMerge::Clear() {
    m_makers.clear();
    m_cameras.clear();
    m_keys.clear();
    m_byMac.clear();
    m_waiting.clear();
}

const std::string& DeviceMerge::JoinedEndpoint(const std::string& mac) const {
    const auto found = m_byMac.find(mac);
    return found == m_byMac.end() ? kNone : *found->second.begin();
}

const std::string& DeviceMerge::CameraKey(const std::string& endpoint) const {
    const auto found = m_cameras.find(endpoint);
    return found == m_cameras.end() ? kNone : found->second.key;
}

std::string DeviceMerge::ChooseKey(const std::string& endpoint, const std::string& mac) const {
    if (mac.empty())
        return endpoint;
    if (m_makers.count(mac) != 0)
        return std::string();
    const auto holder = m_keys.find(mac);
    return holder == m_keys.end() || holder->second == endpoint ? mac : endpoint;
}

void DeviceMerge::Index(const std::string& endpoint, const std::string& mac) {
    if (!mac.empty())
        m_byMac[mac].insert(endpoint);
}

void DeviceMerge::Unindex(const std::string& endpoint, const std::string& mac) {
    const auto found = m_byMac.find(mac);
    if (found == m_byMac.end())
        return;
    found->second.erase(endpoint);
    if (found->second.empty())
        m_byMac.erase(found);
}

// Gives a camera without a row the row its key allows now.
void DeviceMerge::Show(const std::string& endpoint, Held* held, std::vector<MergeStep>* out) {
    m_waiting.erase(endpoint);
    held->key = ChooseKey(endpoint, held->mac);
    if (held->key.empty())
        return;
    m_keys[held->key] = endpoint;
    out->push_back({SEARCH_EVENT_NEW, true, held->key, endpoint});
}

void DeviceMerge::Maker(const std::string& mac, int event, std::vector<MergeStep>* out) {
    if (event == SEARCH_EVENT_NEW && m_makers.insert(mac).second) {
        // Every camera announcing its MAC joins its row: their own rows go,
        // and those waiting out their grace wait no more.
        const auto cameras = m_byMac.find(mac);
        if (cameras != m_byMac.end())
            for (const std::string& endpoint : cameras->second) {
                m_waiting.erase(endpoint);
                Held& held = m_cameras[endpoint];
                if (held.key.empty())
                    continue;
                out->push_back({SEARCH_EVENT_GONE, true, held.key, endpoint});
                m_keys.erase(held.key);
                held.key.clear();
            }
    }
    out->push_back({event, false, mac, JoinedEndpoint(mac)});
    if (event != SEARCH_EVENT_GONE || m_makers.erase(mac) == 0)
        return;
    // Its cameras are rows of their own again.
    const auto cameras = m_byMac.find(mac);
    if (cameras == m_byMac.end())
        return;
    for (const std::string& endpoint : cameras->second) {
        Held& held = m_cameras[endpoint];
        if (held.key.empty())
            Show(endpoint, &held, out);
    }
}

void DeviceMerge::Camera(const std::string& endpoint, const std::string& mac, int event,
                         Clock::time_point now, std::vector<MergeStep>* out) {
    auto it = m_cameras.find(endpoint);
    const bool known = it != m_cameras.end();
    const std::string oldKey = known ? it->second.key : std::string();
    const std::string oldMac = known ? it->second.mac : std::string();
    // The makers' rows whose joined endpoint this event may change, with
    // the endpoint they show before it.
    std::pair<std::string, std::string> rows[2];
    size_t rowCount = 0;
    for (const std::string* m : {&oldMac, event == SEARCH_EVENT_GONE ? &kNone : &mac})
        if (!m->empty() && m_makers.count(*m) != 0 && (rowCount == 0 || rows[0].first != *m))
            rows[rowCount++] = {*m, JoinedEndpoint(*m)};

    std::string key;
    if (event == SEARCH_EVENT_GONE) {
        if (known) {
            Unindex(endpoint, oldMac);
            m_waiting.erase(endpoint);
            m_cameras.erase(it);
        }
    } else {
        if (!known)
            it = m_cameras.emplace(endpoint, Held{std::string(), std::string(), now}).first;
        Held& held = it->second;
        if (oldMac != mac) {
            Unindex(endpoint, oldMac);
            Index(endpoint, mac);
        }
        held.mac = mac;
        key = ChooseKey(endpoint, mac);
        if (key.empty()) {
            // Joined to the maker's row: its grace starts again should that go.
            held.arrived = now;
            m_waiting.erase(endpoint);
        } else if (oldKey.empty() && !mac.empty() && now - held.arrived < m_grace) {
            m_waiting.insert(endpoint);
            key.clear();
        }
    }
    if (!oldKey.empty() && oldKey != key) {
        out->push_back({SEARCH_EVENT_GONE, true, oldKey, endpoint});
        m_keys.erase(oldKey);
    }
    if (event != SEARCH_EVENT_GONE) {
        it->second.key = key;
        if (!key.empty()) {
            m_waiting.erase(endpoint);
            m_keys[key] = endpoint;
            out->push_back(
                {oldKey == key ? SEARCH_EVENT_CHANGED : SEARCH_EVENT_NEW, true, key, endpoint});
        }
    }
    for (size_t i = 0; i < rowCount; ++i) {
        const std::string& shown = JoinedEndpoint(rows[i].first);
        if (shown != rows[i].second)
            out->push_back({SEARCH_EVENT_CHANGED, false, rows[i].first, shown, true});
    }
}

void DeviceMerge::Due(Clock::time_point now, std::vector<MergeStep>* out) {
    std::vector<std::string> due;
    for (const std::string& endpoint : m_waiting)
        if (now - m_cameras[endpoint].arrived >= m_grace)
            due.push_back(endpoint);
    for (const std::string& endpoint : due)
        Show(endpoint, &m_cameras[endpoint], out);
}

} // namespace devicelist
