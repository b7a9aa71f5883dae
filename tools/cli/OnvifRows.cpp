// The rows ONVIF cameras make in lorvex-search's lists (OnvifCommands.h).
#include "OnvifCommands.h"

#include "OnvifReaddress.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <thread>

#include "OnvifClient.h"

namespace onvif_cli {

const char kCameraType[] = "ONVIF camera";

namespace {

void Copy(char* field, size_t width, const std::string& text) {
    CopySearchText(field, width, text.data(), text.size());
}

} // namespace

SEARCH_INFO CameraRow(const onvif::CameraRecord& camera, int event) {
    SEARCH_INFO row{};
    row.event = event;
    Copy(row.devName, sizeof row.devName, camera.name);
    Copy(row.ipAddr, sizeof row.ipAddr, camera.ip);
    Copy(row.mac, sizeof row.mac, camera.mac);
    Copy(row.productSeries, sizeof row.productSeries, kCameraType);
    Copy(row.productModel, sizeof row.productModel,
         camera.info.model.empty() ? camera.hardware : camera.info.model);
    Copy(row.softwareVer, sizeof row.softwareVer, camera.info.firmware);
    Copy(row.hardwareVer, sizeof row.hardwareVer, camera.info.hardwareId);
    row.httpPort = camera.port;
    onvif::XAddr x;
    row.httpType = onvif::ParseXAddr(camera.xaddr, &x) && x.scheme == "https" ? 1 : 0;
    // ipAddr2: the camera's other address, its link-local one beside a
    // subnet address or the foreign one it is reached around.
    for (const std::string& text : camera.xaddrs)
        if (onvif::ParseXAddr(text, &x) && x.host != camera.ip) {
            Copy(row.ipAddr2, sizeof row.ipAddr2, x.host);
            break;
        }
    return row;
}

Listing MergeCameras(std::vector<SEARCH_INFO> devices, std::vector<std::string> identities,
                     const std::vector<onvif::CameraRecord>& cameras, bool withInformation) {
    const auto extrasOf = [](const onvif::DeviceInformation& info) {
        return format::Extras{{"manufacturer", info.manufacturer}, {"serial", info.serial}};
    };
    Listing out;
    out.endpoints.assign(devices.size(), std::string());
    if (withInformation)
        out.extras.assign(devices.size(), extrasOf({}));
    out.rows = std::move(devices);
    out.identities = std::move(identities);
    out.identities.resize(out.rows.size(), "unknown");
    for (const onvif::CameraRecord& camera : cameras) {
        bool merged = false;
        for (size_t i = 0; i < out.rows.size() && !camera.mac.empty(); ++i)
            if (out.endpoints[i].empty() && camera.mac == out.rows[i].mac) {
                out.endpoints[i] = camera.endpoint;
                merged = true;
                break;
            }
        if (merged)
            continue;
        out.rows.push_back(CameraRow(camera, SEARCH_EVENT_NEW));
        out.identities.push_back("none");
        out.endpoints.push_back(camera.endpoint);
        if (withInformation)
            out.extras.push_back(extrasOf(camera.info));
    }
    return out;
}

bool NamedForLogin(const onvif::CameraRecord& camera, const std::vector<std::string>& named,
                   bool all) {
    if (all)
        return true;
    for (const std::string& name : named) {
        if (name == camera.endpoint)
            return true;
        const std::string mac = onvif::NormaliseMac(name);
        if (!mac.empty() && mac == camera.mac)
            return true;
    }
    return false;
}

std::vector<LoginNote> ReadInformation(std::vector<onvif::CameraRecord>* cameras,
                                       const std::string& user, const SharedSecret& password,
                                       std::chrono::steady_clock::time_point deadline,
                                       const std::vector<std::string>& named, bool all) {
    // Two endpoints with one MAC: one copies the other, and neither is
    // logged in to (as CameraSearch::Find judges a camera named by MAC).
    std::map<std::string, std::vector<std::string>> byMac;
    for (const onvif::CameraRecord& c : *cameras)
        if (!c.mac.empty())
            byMac[c.mac].push_back(c.source);
    for (onvif::CameraRecord& c : *cameras) {
        const auto shared = byMac.find(c.mac);
        if (shared == byMac.end() || shared->second.size() < 2)
            continue;
        c.contested = true;
        for (const std::string& source : shared->second)
            if (std::find(c.claimants.begin(), c.claimants.end(), source) == c.claimants.end())
                c.claimants.push_back(source);
        std::sort(c.claimants.begin(), c.claimants.end());
    }
    std::vector<LoginNote> notes(cameras->size());
    // Each worker takes the next camera; a record and its note are written
    // by its worker only.
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < cameras->size(); i = next++) {
            onvif::CameraRecord& camera = (*cameras)[i];
            if (!NamedForLogin(camera, named, all))
                continue;
            LoginNote& note = notes[i];
            note.endpoint = camera.endpoint;
            note.claimants = camera.claimants;
            note.outcome = onvif::LoginAllowed(camera);
            if (note.outcome != onvif::Outcome::Done)
                continue;
            onvif::DeviceClient client(camera.xaddr, user, password);
            client.SetEndpoint(camera.endpoint);
            client.SetDeadline(deadline);
            long long offset = 0;
            const onvif::Outcome clock = client.GetSystemDateAndTime(&offset);
            note.clockOffset = offset;
            note.clockOff = clock == onvif::Outcome::Done && onvif::ClockIsOff(offset);
            onvif::DeviceInformation info;
            note.outcome = clock == onvif::Outcome::CertificateChanged
                               ? clock
                               : client.GetDeviceInformation(&info);
            if (note.outcome == onvif::Outcome::Done)
                camera.info = info;
        }
    };
    std::vector<std::thread> workers;
    for (size_t n = 0; n < std::min(kInformationCalls, cameras->size()); ++n)
        workers.emplace_back(work);
    for (std::thread& t : workers)
        t.join();
    std::vector<LoginNote> said;
    for (LoginNote& note : notes)
        if (!note.endpoint.empty() &&
            (note.clockOff || note.outcome == onvif::Outcome::CertificateChanged ||
             note.outcome == onvif::Outcome::ClockOff || note.outcome == onvif::Outcome::Conflict))
            said.push_back(std::move(note));
    return said;
}

SEARCH_INFO PlanRow(const onvif::CameraRecord& camera) {
    SEARCH_INFO row = CameraRow(camera, SEARCH_EVENT_NEW);
    onvif::XAddr x;
    std::string own, linkLocal;
    for (const std::string& text : camera.xaddrs) {
        if (!onvif::ParseXAddr(text, &x) || x.host.front() == '[')
            continue;
        std::string& slot = x.host.compare(0, 8, "169.254.") == 0 ? linkLocal : own;
        if (slot.empty())
            slot = x.host;
    }
    Copy(row.ipAddr, sizeof row.ipAddr, own);
    Copy(row.ipAddr2, sizeof row.ipAddr2, linkLocal);
    return row;
}

commission::PlanDevice PlanDeviceOfCamera(const onvif::CameraRecord& camera) {
    commission::PlanDevice d = commission::PlanDeviceOf(PlanRow(camera));
    d.endpoint = camera.endpoint;
    return d;
}

std::vector<commission::PlanDevice> PlanDevices(std::vector<commission::PlanDevice> makers,
                                                const std::vector<onvif::CameraRecord>& cameras) {
    const size_t makerCount = makers.size();
    for (const onvif::CameraRecord& camera : cameras) {
        size_t same = 0;
        while (same < makerCount && (camera.mac.empty() || makers[same].mac != camera.mac))
            ++same;
        if (same == makerCount)
            makers.push_back(PlanDeviceOfCamera(camera));
        else if (makers[same].endpoint.empty())
            makers[same].endpoint = camera.endpoint;
    }
    return makers;
}

bool WatchMerge::Merged(const onvif::CameraRecord& camera) const {
    return !camera.mac.empty() && m_makers.count(camera.mac) != 0;
}

std::string WatchMerge::EndpointOf(const std::string& mac) const {
    for (const auto& c : m_cameras)
        if (c.second.record.mac == mac)
            return c.first;
    return std::string();
}

WatchLine WatchMerge::CameraLine(const onvif::CameraRecord& camera, int event) {
    return {CameraRow(camera, event), "none", camera.endpoint};
}

WatchLine WatchMerge::MakerChanged(const std::string& mac) const {
    const MakerRow& maker = m_makers.at(mac);
    WatchLine line{maker.info, maker.identity, EndpointOf(mac)};
    line.row.event = SEARCH_EVENT_CHANGED;
    return line;
}

std::vector<WatchLine> WatchMerge::Maker(const SEARCH_INFO& info, const std::string& identity) {
    const std::string mac(info.mac, strnlen(info.mac, sizeof info.mac));
    std::vector<WatchLine> out;
    if (info.event == SEARCH_EVENT_GONE) {
        m_makers.erase(mac);
        out.push_back({info, identity, EndpointOf(mac)});
        // Its cameras are rows of their own again.
        for (auto& c : m_cameras)
            if (c.second.record.mac == mac && !c.second.shown) {
                c.second.shown = true;
                out.push_back(CameraLine(c.second.record, SEARCH_EVENT_NEW));
            }
        return out;
    }
    m_makers[mac] = {info, identity};
    for (auto& c : m_cameras)
        if (c.second.record.mac == mac && c.second.shown) {
            c.second.shown = false;
            out.push_back(CameraLine(c.second.record, SEARCH_EVENT_GONE));
        }
    out.push_back({info, identity, EndpointOf(mac)});
    return out;
}

std::vector<WatchLine> WatchMerge::Camera(onvif::CameraEvent event,
                                          const onvif::CameraRecord& camera,
                                          Clock::time_point now) {
    std::vector<WatchLine> out;
    auto it = m_cameras.find(camera.endpoint);
    // The maker's rows this event may change: the one of the camera's old
    // MAC and the one of its new MAC, with the endpoints they show now.
    std::map<std::string, std::string> shownEndpoint;
    for (const std::string* mac :
         {it != m_cameras.end() ? &it->second.record.mac : static_cast<const std::string*>(nullptr),
          event == onvif::CameraEvent::Gone ? nullptr : &camera.mac})
        if (mac != nullptr && !mac->empty() && m_makers.count(*mac) != 0)
            shownEndpoint[*mac] = EndpointOf(*mac);
    if (event == onvif::CameraEvent::Gone) {
        if (it != m_cameras.end() && it->second.shown)
            out.push_back(CameraLine(camera, SEARCH_EVENT_GONE));
        if (it != m_cameras.end())
            m_cameras.erase(it);
    } else {
        if (it == m_cameras.end())
            it = m_cameras.emplace(camera.endpoint, Held{camera, false, now}).first;
        Held& held = it->second;
        held.record = camera;
        if (Merged(camera)) {
            if (held.shown)
                out.push_back(CameraLine(camera, SEARCH_EVENT_GONE));
            held.shown = false;
            held.arrived = now;
        } else if (held.shown) {
            out.push_back(CameraLine(camera, SEARCH_EVENT_CHANGED));
        } else if (camera.mac.empty()) {
            // Nothing of the maker's can take it in.
            held.shown = true;
            out.push_back(CameraLine(camera, SEARCH_EVENT_NEW));
        }
    }
    for (const auto& row : shownEndpoint)
        if (EndpointOf(row.first) != row.second)
            out.push_back(MakerChanged(row.first));
    return out;
}

std::vector<WatchLine> WatchMerge::Due(Clock::time_point now) {
    std::vector<WatchLine> out;
    for (auto& c : m_cameras) {
        Held& held = c.second;
        if (!held.shown && !Merged(held.record) && now - held.arrived >= m_grace) {
            held.shown = true;
            out.push_back(CameraLine(held.record, SEARCH_EVENT_NEW));
        }
    }
    return out;
}

} // namespace onvif_cli
