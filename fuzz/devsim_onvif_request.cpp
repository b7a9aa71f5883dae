// Arbitrary bytes as a device service request: the first line is the
// Authorization header, the rest the body. The camera answers without harm
// and its login guard stays within its bounds.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Fleet.h"
#include "OnvifDeviceService.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static devsim::Device camera = [] {
        devsim::Device d = devsim::GenerateOnvifCamera(devsim::FleetPlan{}, 0, 0);
        d.password = "pw";
        return d;
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t nl = text.find('\n');
    devsim::onvif::Request request;
    request.authorization = text.substr(0, nl);
    request.body = nl == std::string::npos ? std::string() : text.substr(nl + 1);
    devsim::Device d = camera;
    const auto r = devsim::onvif::Handle(&d, request, 1800000000, devsim::Clock::time_point{});
    if (r.status < 200 || r.status > 599 || d.onvif.digestNonces.size() > 64)
        std::abort();
    (void)devsim::onvif::ApplyPendingAddress(&d);
    return 0;
}
