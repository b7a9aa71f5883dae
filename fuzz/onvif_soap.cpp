// Fuzzes the reading of device and media service answers: every reader of
// the ONVIF client over one body, as a camera (or anything answering in
// its place) might send it, each held to the bounds it promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "OnvifMedia.h"
#include "OnvifSettings.h"
#include "OnvifSoap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    onvif::SoapFault fault;
    long long offset = 0;
    onvif::ReadSystemDateAndTime(body, 1796821200, &offset, &fault);
    if (offset < -20000000000LL || offset > 300000000000LL)
        abort();
    onvif::DeviceInformation info;
    onvif::ReadDeviceInformation(body, &info, &fault);
    for (const std::string* field : {&info.manufacturer, &info.model, &info.serial})
        if (field->size() > 256)
            abort();
    std::vector<onvif::NetworkInterface> list;
    if (onvif::ReadNetworkInterfaces(body, &list, &fault) == onvif::SoapRead::Ok &&
        (list.empty() || list.size() > 16))
        abort();
    std::string gateway;
    if (onvif::ReadNetworkDefaultGateway(body, &gateway, &fault) == onvif::SoapRead::Ok &&
        gateway.size() > 15)
        abort();
    bool reboot = false;
    onvif::ReadSetNetworkInterfaces(body, &reboot, &fault);
    onvif::ReadEmptyAnswer(body, "SystemRebootResponse", &fault);
    onvif::ReadFault(body, &fault);

    std::vector<onvif::Scope> scopes;
    if (onvif::ReadScopes(body, &scopes, &fault) == onvif::SoapRead::Ok) {
        if (scopes.empty() || scopes.size() > onvif::kMaxScopeItems)
            abort();
        for (const onvif::Scope& scope : scopes)
            if (scope.item.empty() || scope.item.size() > onvif::kMaxScopeBytes)
                abort();
    }
    std::string text;
    onvif::ReadHostname(body, &text, &fault);
    onvif::NtpSettings ntp;
    if (onvif::ReadNtp(body, &ntp, &fault) == onvif::SoapRead::Ok && ntp.servers.size() > 8)
        abort();
    onvif::ClockSettings clock;
    onvif::ReadClockSettings(body, 1796821200, &clock, &fault);
    for (auto read : {onvif::ReadMediaService, onvif::ReadMediaCapability, onvif::ReadSnapshotUri})
        if (read(body, &text, &fault) == onvif::SoapRead::Ok && text.size() > onvif::kMaxUriBytes)
            abort();
    std::vector<onvif::MediaProfile> profiles;
    if (onvif::ReadProfiles(body, &profiles, &fault) == onvif::SoapRead::Ok &&
        (profiles.empty() || profiles.size() > onvif::kMaxProfiles))
        abort();
    return 0;
}
