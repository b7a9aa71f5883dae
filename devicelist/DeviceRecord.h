// DeviceRecord: one device of the list, of either protocol (the maker's
// search or an ONVIF camera), with one name per field; what plans, batches,
// the command line's rows and the merge of both protocols work on. Made
// from the two edges of the model: a SEARCH_INFO (the maker's answer as it
// came) and an onvif::CameraRecord (what discovery and the device service
// told). Plain data, no Qt.
#pragma once

#include <cstdint>
#include <string>

#include "OnvifCamera.h"
#include "SearchInfo.h"

namespace devicelist {

// The type code of every ONVIF camera's record; no maker's device has it,
// since theirs all hold "ZVK".
extern const char kCameraTypeCode[]; // "ONVIF camera"

struct DeviceRecord {
    std::string mac; // canonical "AA:BB:CC:DD:EE:FF"; empty for a camera without one
    // An ONVIF camera's EndpointReference address; empty for the maker's
    // devices. A camera whose scopes name no MAC is known by it alone.
    std::string endpoint;
    std::string name;
    std::string type; // type code: "ZVK_IPC" ..., kCameraTypeCode for a camera
    std::string ip;   // first address
    std::string ip2;  // second address (a camera's other address, often link-local)
    std::string mask;
    std::string gateway;
    int32_t httpPort = 0;
    int32_t dataPort = 0;
    std::string model;
    std::string firmware;
    std::string hardware; // hardware version (a camera: its hardware id)
    bool https = false;   // the web page is served over HTTPS

    bool IsCamera() const { return !endpoint.empty(); }
};

// What lists, plans and batches know a device by: its MAC, or the endpoint
// of a camera that has no MAC.
const std::string& DeviceKey(const DeviceRecord& device);

// The maker's device of record, each text read within its field (no
// endpoint: the maker's search has none).
DeviceRecord RecordOf(const SEARCH_INFO& record);

// An ONVIF camera: name from its scope; model GetDeviceInformation's, else
// the hardware scope; firmware and hardware id from GetDeviceInformation;
// ip and HTTP port of the chosen XAddr; ip2 the host of its first XAddr at
// another host; https when the chosen XAddr is; mask and gateway as the
// camera told them once logged in (empty until then: discovery does not
// tell them). The data port stays empty.
DeviceRecord RecordOf(const onvif::CameraRecord& camera);

} // namespace devicelist
