// CLorvexManage's host facilities: the reachability probe, device web
// pages, the link-local route, the local adapter's data and the trust
// anchors the environment adds.
#include <arpa/inet.h>

#include <cstdio>

#include "DeviceAddress.h"
#include "HostNet.h"
#include "HostProcess.h"
#include "LorvexManage.h"
#include "TrustAnchors.h"

namespace {

constexpr int32_t kWebProbeMs = 200;

// 169.254.0.0/16, which only the link-local route reaches.
bool IsLinkLocalAddress(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1 &&
           (ntohl(address.s_addr) & 0xFFFF0000u) == 0xA9FE0000u;
}

void Assign(std::string* out, const std::string& value) {
    if (out != nullptr)
        *out = value;
}

} // namespace

std::string ReachableAddress(const PortProbe& probe, const SEARCH_INFO& device, const char* first,
                             int32_t timeoutMs) {
    in_addr address{};
    if (first == nullptr || inet_pton(AF_INET, first, &address) != 1 || !IsPort(device.dataPort))
        return device.ipAddr2;
    const bool reached = probe(address.s_addr, static_cast<uint16_t>(device.dataPort), timeoutMs);
    return reached ? first : device.ipAddr2;
}

bool CLorvexManage::ProbeTcpPort(uint32_t address, uint16_t port, int32_t timeoutMs) {
    return ::ProbeTcpPort(address, port, timeoutMs);
}

bool CLorvexManage::DeviceWebUrl(const SEARCH_INFO& device, const char* addressText,
                                 std::string* url) {
    in_addr address{};
    if (addressText == nullptr || inet_aton(addressText, &address) == 0)
        return false;
    if (!IsPort(device.httpPort))
        return false;
    char dotted[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, dotted, sizeof dotted);
    char text[64];
    if (device.httpType == 1)
        std::snprintf(text, sizeof text, "https://%s:%d", dotted, device.httpPort);
    else if (device.httpPort == 80)
        std::snprintf(text, sizeof text, "http://%s", dotted);
    else
        std::snprintf(text, sizeof text, "http://%s:%d", dotted, device.httpPort);
    *url = text;
    return true;
}

bool CLorvexManage::DeviceWebPage(const char* mac, std::string* url) {
    SEARCH_INFO device{};
    if (url == nullptr || !FindDevice(mac, &device))
        return false;
    const PortProbe probe = &::ProbeTcpPort;
    // The page is opened at ipAddr when the device answers there.
    const std::string address = ReachableAddress(probe, device, device.ipAddr, kWebProbeMs);
    AwaitLinkLocalRoute(address);
    return DeviceWebUrl(device, address.c_str(), url);
}

bool CLorvexManage::OpenDeviceWeb(const char* mac) {
    std::string url;
    if (!DeviceWebPage(mac, &url))
        return false;
    OpenUrl(url);
    return true;
}

LinkLocalRouteState CLorvexManage::AddLinkLocalRoute(const char* localAddress,
                                                     const HostNetFiles& files) {
    if (localAddress == nullptr || LinkLocalRouteCommand(InterfaceOfAddress(localAddress)).empty())
        return LinkLocalRouteState::NotLocal;
    // Noted first: a request that comes while the route is being added
    // waits for this very work (EnsureLinkLocalRoute's calls take turns).
    {
        const std::lock_guard<std::mutex> hold(m_routeLock);
        m_routeAddress = localAddress;
        m_routeFiles = files;
    }
    return EnsureLinkLocalRoute(localAddress, files);
}

void CLorvexManage::AwaitLinkLocalRoute(const std::string& address) {
    if (!IsLinkLocalAddress(address))
        return;
    std::string local;
    HostNetFiles files;
    {
        const std::lock_guard<std::mutex> hold(m_routeLock);
        local = m_routeAddress;
        files = m_routeFiles;
    }
    if (!local.empty())
        EnsureLinkLocalRoute(local, files);
}

std::string CLorvexManage::LinkLocalRouteCarrier(const char* localAddress,
                                                 const HostNetFiles& files) {
    const std::string name = LinkLocalRouteInterface(localAddress);
    std::string carrier;
    if (!name.empty())
        ReadLinkLocalVerdict(files.routes, name, &carrier);
    return carrier;
}

std::string CLorvexManage::LinkLocalRouteInterface(const char* localAddress) {
    return localAddress == nullptr ? std::string() : InterfaceOfAddress(localAddress);
}

std::string CLorvexManage::LinkLocalRouteAdvice(const char* localAddress) {
    if (localAddress == nullptr)
        return {};
    std::string line;
    for (const std::string& word : LinkLocalRouteCommand(InterfaceOfAddress(localAddress)))
        line += (line.empty() ? "" : " ") + word;
    return line;
}

std::string CLorvexManage::TrustDirOverride() {
    return lorvex::trust::FindAnchorFolders().environment;
}

void CLorvexManage::GetLocalNetInfo(std::string* ip, std::string* mask, std::string* gateway,
                                    std::string* dns, const HostNetFiles& files) {
    const LocalNetInfo info = ReadLocalNetInfo(files);
    Assign(ip, info.ip);
    Assign(mask, info.mask);
    Assign(gateway, info.gateway);
    Assign(dns, info.dns);
}
