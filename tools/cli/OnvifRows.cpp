// The rows ONVIF cameras make in lorvex-search's lists (OnvifCommands.h).
#include "OnvifCommands.h"

#include <algorithm>
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

void ReadInformation(std::vector<onvif::CameraRecord>* cameras, const std::string& user,
                     const SharedSecret& password, std::chrono::steady_clock::time_point deadline) {
    // Each worker takes the next camera; a record is written by its worker only.
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < cameras->size(); i = next++) {
            onvif::CameraRecord& camera = (*cameras)[i];
            if (camera.reach == onvif::Reach::None || camera.xaddr.empty())
                continue;
            onvif::DeviceClient client(camera.xaddr, user, password);
            client.SetDeadline(deadline);
            onvif::DeviceInformation info;
            if (client.GetDeviceInformation(&info) == onvif::Outcome::Done)
                camera.info = info;
        }
    };
    std::vector<std::thread> workers;
    for (size_t n = 0; n < std::min(kInformationCalls, cameras->size()); ++n)
        workers.emplace_back(work);
    for (std::thread& t : workers)
        t.join();
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

} // namespace onvif_cli
