// Arbitrary bytes as a device or media service request: the first line is
// the Authorization header, the rest the body. The camera answers without
// harm, its login guard stays within its bounds, what SetScopes keeps stays
// within its caps; the same header as the log-in of a picture request is
// refused or accepted without harm too.

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
    if (r.status < 200 || r.status > 599 || d.onvif.digestNonces.size() > 64 ||
        d.onvif.extraScopes.size() > 32 || d.devName.size() > 64 || d.onvif.hostname.size() > 253 ||
        d.onvif.timeZone.size() > 64)
        std::abort();
    request.method = "GET";
    request.uri = "/onvif/snapshot.jpg?profile=Profile_1";
    const auto picture =
        devsim::onvif::AuthenticatePicture(&d, request, devsim::Clock::time_point{});
    if (picture && picture->status != 401 && picture->status != 403)
        std::abort();
    (void)devsim::onvif::ApplyPendingAddress(&d);
    return 0;
}
