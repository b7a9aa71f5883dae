// The rows ONVIF cameras make in lorvex-search's lists (OnvifCommands.h).
#include "OnvifCommands.h"

#include "OnvifReaddress.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <thread>

#include "DeviceIds.h"
#include "DeviceRecord.h"
#include "OnvifClient.h"

namespace onvif_cli {

namespace {

void Copy(char* field, size_t width, const std::string& text) {
    CopySearchText(field, width, text.data(), text.size());
}

} // namespace

SEARCH_INFO CameraRow(const onvif::CameraRecord& camera, int event) {
    const devicelist::DeviceRecord d = devicelist::RecordOf(camera);
    SEARCH_INFO row{};
    row.event = event;
    Copy(row.devName, sizeof row.devName, d.name);
    Copy(row.ipAddr, sizeof row.ipAddr, d.ip);
    Copy(row.ipAddr2, sizeof row.ipAddr2, d.ip2);
    Copy(row.mac, sizeof row.mac, d.mac);
    Copy(row.mask, sizeof row.mask, d.mask);
    Copy(row.route, sizeof row.route, d.gateway);
    Copy(row.productSeries, sizeof row.productSeries, d.type);
    Copy(row.productModel, sizeof row.productModel, d.model);
    Copy(row.softwareVer, sizeof row.softwareVer, d.firmware);
    Copy(row.hardwareVer, sizeof row.hardwareVer, d.hardware);
    row.httpPort = d.httpPort;
    row.httpType = d.https ? 1 : 0;
    return row;
}

Listing MergeCameras(std::vector<SEARCH_INFO> devices, std::vector<std::string> identities,
                     const std::vector<onvif::CameraRecord>& cameras, bool withInformation) {
    const auto extrasOf = [](const onvif::DeviceInformation& info) {
        return format::Extras{{"manufacturer", info.manufacturer}, {"serial", info.serial}};
    };
    devicelist::DeviceMerge merge;
    std::vector<devicelist::MergeStep> steps;
    std::vector<std::string> macs;
    for (const SEARCH_INFO& d : devices) {
        macs.emplace_back(d.mac, strnlen(d.mac, sizeof d.mac));
        merge.Maker(macs.back(), SEARCH_EVENT_NEW, &steps);
    }
    const auto now = devicelist::DeviceMerge::Clock::now();
    for (const onvif::CameraRecord& camera : cameras)
        merge.Camera(camera.endpoint, camera.mac, SEARCH_EVENT_NEW, now, &steps);
    Listing out;
    for (const std::string& mac : macs)
        out.endpoints.push_back(merge.JoinedEndpoint(mac));
    if (withInformation)
        out.extras.assign(devices.size(), extrasOf({}));
    out.rows = std::move(devices);
    out.identities = std::move(identities);
    out.identities.resize(out.rows.size(), "unknown");
    for (const onvif::CameraRecord& camera : cameras) {
        if (merge.CameraKey(camera.endpoint).empty())
            continue; // the maker's row of its MAC stands for it
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
        const std::string mac = devicelist::CanonicalMac(name, devicelist::MacSpelling::Any);
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
            note.outcome = clock == onvif::Outcome::CertificateChanged
                               ? clock
                               : onvif::ReadCameraDetails(&client, camera.ip, &camera.info);
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
    devicelist::DeviceMerge merge;
    std::vector<devicelist::MergeStep> steps;
    for (const commission::PlanDevice& maker : makers)
        merge.Maker(maker.mac, SEARCH_EVENT_NEW, &steps);
    const auto now = devicelist::DeviceMerge::Clock::now();
    for (const onvif::CameraRecord& camera : cameras)
        merge.Camera(camera.endpoint, camera.mac, SEARCH_EVENT_NEW, now, &steps);
    for (commission::PlanDevice& maker : makers)
        if (maker.endpoint.empty())
            maker.endpoint = merge.JoinedEndpoint(maker.mac);
    for (const onvif::CameraRecord& camera : cameras)
        if (!merge.CameraKey(camera.endpoint).empty())
            makers.push_back(PlanDeviceOfCamera(camera));
    return makers;
}

WatchLine WatchMerge::Line(const devicelist::MergeStep& step) const {
    if (step.camera) {
        const onvif::CameraRecord& camera = m_cameras.at(step.endpoint);
        return {CameraRow(camera, step.event), "none", camera.endpoint};
    }
    const MakerRow& maker = m_makers.at(step.key);
    WatchLine line{maker.info, maker.identity, step.endpoint};
    line.row.event = step.event;
    return line;
}

std::vector<WatchLine> WatchMerge::Lines() {
    std::vector<WatchLine> out;
    for (const devicelist::MergeStep& step : m_steps)
        out.push_back(Line(step));
    m_steps.clear();
    return out;
}

std::vector<WatchLine> WatchMerge::Maker(const SEARCH_INFO& info, const std::string& identity) {
    const std::string mac(info.mac, strnlen(info.mac, sizeof info.mac));
    m_makers[mac] = {info, identity};
    m_merge.Maker(mac, info.event, &m_steps);
    std::vector<WatchLine> out = Lines();
    if (info.event == SEARCH_EVENT_GONE)
        m_makers.erase(mac);
    return out;
}

std::vector<WatchLine> WatchMerge::Camera(onvif::CameraEvent event,
                                          const onvif::CameraRecord& camera,
                                          Clock::time_point now) {
    static const int kinds[] = {SEARCH_EVENT_NEW, SEARCH_EVENT_CHANGED, SEARCH_EVENT_GONE};
    m_cameras[camera.endpoint] = camera;
    m_merge.Camera(camera.endpoint, camera.mac, kinds[static_cast<int>(event)], now, &m_steps);
    std::vector<WatchLine> out = Lines();
    if (event == onvif::CameraEvent::Gone)
        m_cameras.erase(camera.endpoint);
    return out;
}

std::vector<WatchLine> WatchMerge::Due(Clock::time_point now) {
    m_merge.Due(now, &m_steps);
    return Lines();
}

} // namespace onvif_cli
