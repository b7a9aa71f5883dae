// The messages that lead from a camera's device service to its picture:
// where its media service is (GetServices, GetCapabilities), its media
// profiles and the snapshot URI of one. Pure functions; every answer is
// hostile input read through ReadXml.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "OnvifSoap.h"

namespace onvif {

// The longest service address or URI kept; a longer one is refused.
constexpr std::size_t kMaxUriBytes = 1024;
// Profiles read at most.
constexpr std::size_t kMaxProfiles = 32;

struct MediaProfile {
    std::string token;
    std::string name;
    bool video = false;        // carries a video source configuration
    int width = 0, height = 0; // its video encoder's resolution, 0 when not told
};

// Bodies of the requests. GetServices and GetCapabilities go to the device
// service; GetProfiles and GetSnapshotUri to the media service, their
// element carrying its own namespace declaration.
std::string GetServicesBody();
std::string GetCapabilitiesBody();
std::string GetProfilesBody();
std::string GetSnapshotUriBody(const std::string& profileToken);

// Readers. Ok fills the output; anything else leaves it untouched.
// The media service's address from GetServices (the Service whose
// Namespace is the media service's): Ok with an empty address when the
// answer lists none; NotSoap when the one listed is unusable (too long, a
// control character or blank inside).
SoapRead ReadMediaService(const std::string& body, std::string* xaddr, SoapFault* fault);
// The same from GetCapabilities (Capabilities/Media/XAddr).
SoapRead ReadMediaCapability(const std::string& body, std::string* xaddr, SoapFault* fault);
// At most kMaxProfiles profiles with a token; NotSoap for none.
SoapRead ReadProfiles(const std::string& body, std::vector<MediaProfile>* out, SoapFault* fault);
// MediaUri/Uri; NotSoap when missing, longer than kMaxUriBytes or holding a
// control character or blank.
SoapRead ReadSnapshotUri(const std::string& body, std::string* uri, SoapFault* fault);

// The first profile with a video source, or null.
const MediaProfile* FirstVideoProfile(const std::vector<MediaProfile>& profiles);

} // namespace onvif
