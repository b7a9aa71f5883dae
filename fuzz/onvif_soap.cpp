// Fuzzes the reading of device service answers: every reader of the ONVIF
// client over one body, as a camera (or anything answering in its place)
// might send it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

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
    bool reboot = false;
    onvif::ReadSetNetworkInterfaces(body, &reboot, &fault);
    onvif::ReadEmptyAnswer(body, "SystemRebootResponse", &fault);
    onvif::ReadFault(body, &fault);
    return 0;
}
