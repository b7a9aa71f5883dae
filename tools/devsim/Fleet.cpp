#include "Fleet.h"

#include <arpa/inet.h>

#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>

#include "OnvifDeviceService.h"

namespace devsim {

const std::vector<std::string> kDeviceTypes = {
    "ZVK_IPC", "ZVK_NVR", "ZVK_DVR", "ZVK_MDVR", "ZVK_STORAGE", "ZVK_DECODER", "ZVK_NETKEYBOARD"};

namespace {

struct TypeProfile {
    const char* type;
    const char* model;
    const char* software;
    const char* hardware;
    int dataPort;
    int rtspPort;
};

const TypeProfile kProfiles[] = {
    {"ZVK_IPC", "LV-IPC4M-B28", "2.4.1", "V1.2", 9008, 554},
    {"ZVK_NVR", "LV-NVR3216", "3.1.0", "V2.0", 6036, 554},
    {"ZVK_DVR", "LV-DVR0804", "3.0.7", "V1.1", 6036, 554},
    {"ZVK_MDVR", "LV-MDVR04", "1.6.2", "V1.0", 6036, 0},
    {"ZVK_STORAGE", "LV-IPSAN24", "1.2.0", "V3.0", 3260, 0},
    {"ZVK_DECODER", "LV-DEC16", "2.0.5", "V1.4", 6036, 554},
    {"ZVK_NETKEYBOARD", "LV-KB200", "1.1.3", "V1.0", 6036, 0},
};

const TypeProfile& ProfileOf(const std::string& type) {
    for (const TypeProfile& p : kProfiles)
        if (type == p.type)
            return p;
    return kProfiles[0];
}

// A fleet's bootTime, "YYYY-MM-DD HH:MM:SS" in UTC, as seconds.
std::int64_t BootClock(const std::string& text) {
    std::tm tm{};
    const char* end = strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &tm);
    if (end == nullptr || *end != '\0')
        throw std::runtime_error("bad bootTime: " + text);
    return static_cast<std::int64_t>(timegm(&tm));
}

lorvex::wire::MacBytes AddToMac(lorvex::wire::MacBytes mac, std::uint32_t n) {
    for (int i = 5; i >= 0 && n; --i) {
        const std::uint32_t sum = mac[static_cast<std::size_t>(i)] + (n & 0xFF);
        mac[static_cast<std::size_t>(i)] = sum & 0xFF;
        n = (n >> 8) + (sum >> 8);
    }
    return mac;
}

std::uint32_t HostAddress(const Subnet& s, int n) {
    const std::uint32_t hosts = (1u << (32 - s.prefix)) - 2;
    return s.network + 1 + static_cast<std::uint32_t>(63 + n) % hosts;
}

std::string MaskText(int prefix) {
    return AddressText(prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix));
}

template <class T> void Take(const nlohmann::json& j, const char* key, T* field) {
    if (j.contains(key))
        *field = j.at(key).get<T>();
}

OnvifAuth AuthOf(const std::string& text) {
    if (text == "both")
        return OnvifAuth::Both;
    if (text == "digest")
        return OnvifAuth::Digest;
    if (text == "wsse")
        return OnvifAuth::Wsse;
    throw std::runtime_error("bad onvifAuth: " + text);
}

SnapshotFault SnapshotFaultOf(const std::string& text) {
    static const std::pair<const char*, SnapshotFault> kFaults[] = {
        {"jpeg", SnapshotFault::None},        {"too-large", SnapshotFault::TooLarge},
        {"not-jpeg", SnapshotFault::NotJpeg}, {"truncated", SnapshotFault::Truncated},
        {"slow", SnapshotFault::Slow},        {"basic", SnapshotFault::BasicOnly}};
    for (const auto& [name, fault] : kFaults)
        if (text == name)
            return fault;
    throw std::runtime_error("bad snapshot: " + text);
}

ProbeTypes ProbeTypesOf(const std::string& text) {
    if (text == "both")
        return ProbeTypes::Both;
    if (text == "NetworkVideoTransmitter")
        return ProbeTypes::NetworkVideoTransmitter;
    if (text == "Device")
        return ProbeTypes::Device;
    throw std::runtime_error("bad probeTypes: " + text);
}

// The standard camera keys; the role follows from type and "onvif".
void OverrideOnvif(const nlohmann::json& j, Device* d) {
    OnvifCamera& c = d->onvif;
    if (d->type == kOnvifCameraType)
        c.role = WsdRole::Camera;
    else if (d->type == kWsdPrinterType)
        c.role = WsdRole::Printer;
    else if (j.value("onvif", false))
        c.role = WsdRole::Camera, c.makerToo = true;
    Take(j, "onvifUser", &c.user);
    Take(j, "https", &c.https);
    Take(j, "httpsPort", &c.httpsPort);
    if (c.httpsPort < 1 || c.httpsPort > 65535)
        throw std::runtime_error("bad httpsPort");
    if (j.contains("onvifAuth"))
        c.auth = AuthOf(j.at("onvifAuth").get<std::string>());
    Take(j, "clockOffset", &c.clockOffset);
    Take(j, "rebootNeeded", &c.rebootNeeded);
    Take(j, "rebootSeconds", &c.rebootSeconds);
    if (c.rebootSeconds < 0 || c.rebootSeconds > 600)
        throw std::runtime_error("rebootSeconds out of 0..600");
    Take(j, "macInScopes", &c.macInScopes);
    Take(j, "linkLocalXAddr", &c.linkLocalXAddr);
    if (j.contains("probeTypes"))
        c.probeTypes = ProbeTypesOf(j.at("probeTypes").get<std::string>());
    Take(j, "serial", &c.serial);
    Take(j, "manufacturer", &c.manufacturer);
    Take(j, "endpoint", &c.endpoint);
    // A camera's name, picture and clock.
    Take(j, "nameFixed", &c.nameFixed);
    Take(j, "scopes", &c.extraScopes);
    Take(j, "hostname", &c.hostname);
    Take(j, "hostnameOffered", &c.hostnameOffered);
    Take(j, "networkOffered", &c.networkOffered);
    Take(j, "timeZone", &c.timeZone);
    Take(j, "zoneFixed", &c.zoneFixed);
    Take(j, "mediaProfiles", &c.mediaProfiles);
    if (c.mediaProfiles < 1 || c.mediaProfiles > 2)
        throw std::runtime_error("mediaProfiles out of 1..2");
    Take(j, "audioFirst", &c.audioFirst);
    if (j.contains("snapshot"))
        c.snapshotFault = SnapshotFaultOf(j.at("snapshot").get<std::string>());
    Take(j, "snapshotHost", &c.snapshotHost);
}

void Override(const nlohmann::json& j, Device* d) {
    std::string mac;
    Take(j, "mac", &mac);
    if (!mac.empty() && !lorvex::wire::ParseMac(mac, &d->mac))
        throw std::runtime_error("bad mac: " + mac);
    Take(j, "type", &d->type);
    Take(j, "devName", &d->baseName);
    Take(j, "productModel", &d->productModel);
    Take(j, "softwareVer", &d->softwareVer);
    Take(j, "build", &d->build);
    Take(j, "softwareBuildDate", &d->softwareBuildDate);
    Take(j, "hardwareVer", &d->hardwareVer);
    Take(j, "kernelVer", &d->kernelVer);
    Take(j, "ip", &d->ip);
    Take(j, "mask", &d->mask);
    Take(j, "gateway", &d->gateway);
    Take(j, "ip2", &d->ip2);
    Take(j, "dns1", &d->dns1);
    Take(j, "dns2", &d->dns2);
    Take(j, "encryptType", &d->encryptType);
    Take(j, "dhcp", &d->dhcp);
    Take(j, "httpPort", &d->httpPort);
    Take(j, "dataPort", &d->dataPort);
    Take(j, "rtspPort", &d->rtspPort);
    Take(j, "httpType", &d->httpType);
    Take(j, "activated", &d->activated);
    Take(j, "password", &d->password);
    Take(j, "factoryPassword", &d->factoryPassword);
    Take(j, "silent", &d->silent);
    Take(j, "vanishAfter", &d->vanishAfter);
    Take(j, "rtspInAnswer", &d->rtspInAnswer);
    Take(j, "httpDelayMs", &d->httpDelayMs);
    Take(j, "httpStatus", &d->httpStatus);
    Take(j, "httpSilent", &d->httpSilent);
    Take(j, "certified", &d->certified);
    if (j.contains("setupCode")) {
        const std::string typed = j.at("setupCode").get<std::string>();
        if (!lorvex::trust::NormalizeSetupCode(typed, &d->setupCode))
            throw std::runtime_error("bad setupCode for " + lorvex::wire::FormatMac(d->mac));
    }
    d->devName = d->baseName;
    OverrideOnvif(j, d);
}

} // namespace

bool ParseCidr(const std::string& text, Subnet* out) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos)
        return false;
    in_addr a{};
    if (inet_pton(AF_INET, text.substr(0, slash).c_str(), &a) != 1)
        return false;
    const std::string bits = text.substr(slash + 1);
    if (bits.empty() || bits.size() > 2 ||
        bits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int prefix = std::stoi(bits);
    if (prefix < 8 || prefix > 30)
        return false;
    out->prefix = prefix;
    out->network = ntohl(a.s_addr) & (0xFFFFFFFFu << (32 - prefix));
    return true;
}

std::string AddressText(std::uint32_t address) {
    in_addr a{htonl(address)};
    char buf[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return buf;
}

Device GenerateDevice(const FleetPlan& plan, int index, std::int64_t nowEpoch) {
    const std::vector<std::string>& types = plan.types.empty() ? kDeviceTypes : plan.types;
    const Subnet subnet =
        plan.subnets.empty() ? Subnet{0xC0A80100u, 24} : plan.subnets[index % plan.subnets.size()];
    const int perSubnet = index / static_cast<int>(std::max<std::size_t>(1, plan.subnets.size()));
    const TypeProfile& p = ProfileOf(types[static_cast<std::size_t>(index) % types.size()]);
    Device d;
    d.mac = AddToMac(plan.firstMac, static_cast<std::uint32_t>(index));
    d.type = types[static_cast<std::size_t>(index) % types.size()];
    d.baseName = d.devName = std::string(p.model).substr(3) + "-" + std::to_string(index + 1);
    d.productModel = p.model;
    d.softwareVer = p.software;
    d.build = std::to_string(230900 + index % 97);
    d.softwareBuildDate = "2023-09-" + std::to_string(10 + index % 19);
    d.hardwareVer = p.hardware;
    d.kernelVer = "4.9." + std::to_string(37 + index % 5);
    d.ip = AddressText(HostAddress(subnet, perSubnet));
    d.mask = MaskText(subnet.prefix);
    d.gateway = AddressText(subnet.network + 1);
    d.ip2 = "169.254." + std::to_string(d.mac[4]) + "." + std::to_string(1 + d.mac[5] % 254);
    d.dns1 = "8.8.8.8";
    d.dns2 = "114.114.114.114";
    d.encryptType = "md5";
    d.dataPort = p.dataPort;
    d.rtspPort = p.rtspPort;
    d.activated = index % 5 == 4 ? 1 : 0;
    d.password = plan.password;
    d.factoryPassword = plan.factoryPassword;
    d.bootEpoch = nowEpoch - 600 - 3607LL * (index % 200);
    d.vanishAfter = plan.vanishAfter;
    return d;
}

Device GenerateOnvifCamera(const FleetPlan& plan, int index, std::int64_t nowEpoch) {
    FleetPlan camera = plan;
    camera.firstMac = {0x02, 0x4F, 0x4E, 0x00, 0x00, 0x01};
    // Shifted by the maker devices' count so that addresses follow theirs.
    Device d = GenerateDevice(camera, plan.count + index, nowEpoch);
    d.mac = AddToMac(camera.firstMac, static_cast<std::uint32_t>(index));
    d.ip2 = "169.254." + std::to_string(d.mac[4]) + "." + std::to_string(1 + d.mac[5] % 254);
    d.type = kOnvifCameraType;
    d.baseName = d.devName = "SimCam-" + std::to_string(index + 1);
    d.productModel = "SC-2040";
    d.softwareVer = "5.2.0";
    d.hardwareVer = "HW-A1";
    d.activated = 0;
    d.onvif.role = WsdRole::Camera;
    return d;
}

void Generate(const FleetPlan& plan, std::int64_t nowEpoch, std::vector<Device>* out) {
    for (int i = 0; i < plan.count; ++i)
        out->push_back(GenerateDevice(plan, i, nowEpoch));
    for (int i = 0; i < plan.onvifCount; ++i)
        out->push_back(GenerateOnvifCamera(plan, i, nowEpoch));
}

bool LoadFleetFile(const std::string& path, const FleetPlan& plan, std::int64_t nowEpoch,
                   std::vector<Device>* out, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    try {
        const nlohmann::json doc = nlohmann::json::parse(in);
        FleetPlan base = plan;
        base.firstMac = {0x02, 0x4C, 0x46, 0x00, 0x00, 0x01}; // apart from generated devices
        int index = 0;
        for (const nlohmann::json& j : doc.at("devices")) {
            Device d = GenerateDevice(base, index++, nowEpoch);
            Override(j, &d);
            if (j.contains("clockStart")) { // the camera's clock now reads this time
                std::int64_t start = 0;
                if (!onvif::ParseDateTime(j.at("clockStart").get<std::string>(), &start))
                    throw std::runtime_error("bad clockStart");
                d.onvif.clockOffset = start - nowEpoch;
            }
            if (j.contains("runningSeconds"))
                d.bootEpoch = nowEpoch - j.at("runningSeconds").get<std::int64_t>();
            if (j.contains("bootTime")) // the device's clock read this at boot (UTC)
                d.onvif.clockOffset = BootClock(j.at("bootTime").get<std::string>()) - d.bootEpoch;
            out->push_back(std::move(d));
        }
    } catch (const std::exception& e) {
        *error = path + ": " + e.what();
        return false;
    }
    return true;
}

Fleet::Fleet(std::vector<Device> devices) : m_devices(std::move(devices)) {
    for (std::size_t i = 0; i < m_devices.size(); ++i)
        m_index.emplace(Key(m_devices[i].mac), i);
}

std::optional<std::size_t> Fleet::Find(const lorvex::wire::MacBytes& mac) const {
    auto it = m_index.find(Key(mac));
    if (it == m_index.end())
        return std::nullopt;
    return it->second;
}

std::uint64_t Fleet::Key(const lorvex::wire::MacBytes& mac) {
    std::uint64_t k = 0;
    for (unsigned char b : mac)
        k = (k << 8) | b;
    return k;
}

} // namespace devsim
