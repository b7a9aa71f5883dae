#include "DeviceRecord.h"

#include <cstring>

#include "OnvifDiscovery.h"

namespace devicelist {

const char kCameraTypeCode[] = "ONVIF camera";

namespace {

template <size_t N> std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

} // namespace

const std::string& DeviceKey(const DeviceRecord& device) {
    return device.mac.empty() ? device.endpoint : device.mac;
}

DeviceRecord RecordOf(const SEARCH_INFO& r) {
    DeviceRecord d;
    d.mac = FieldText(r.mac);
    d.name = FieldText(r.devName);
    d.type = FieldText(r.productSeries);
    d.ip = FieldText(r.ipAddr);
    d.ip2 = FieldText(r.ipAddr2);
    d.mask = FieldText(r.mask);
    d.gateway = FieldText(r.route);
    d.httpPort = r.httpPort;
    d.dataPort = r.dataPort;
    d.model = FieldText(r.productModel);
    d.firmware = FieldText(r.softwareVer);
    d.hardware = FieldText(r.hardwareVer);
    d.https = r.httpType == 1;
    return d;
}

DeviceRecord RecordOf(const onvif::CameraRecord& camera) {
    DeviceRecord d;
    d.mac = camera.mac;
    d.endpoint = camera.endpoint;
    d.name = camera.name;
    d.type = kCameraTypeCode;
    d.ip = camera.ip;
    d.httpPort = camera.port;
    d.model = camera.info.model.empty() ? camera.hardware : camera.info.model;
    d.firmware = camera.info.firmware;
    d.hardware = camera.info.hardwareId;
    d.mask = camera.info.mask;
    d.gateway = camera.info.gateway;
    onvif::XAddr x;
    d.https = onvif::ParseXAddr(camera.xaddr, &x) && x.scheme == "https";
    for (const std::string& text : camera.xaddrs)
        if (onvif::ParseXAddr(text, &x) && x.host != camera.ip) {
            d.ip2 = x.host;
            break;
        }
    return d;
}

} // namespace devicelist
