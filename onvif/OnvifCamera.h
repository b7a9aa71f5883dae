// The record of one ONVIF camera as the search and the device client know
// it. Plain data, copied freely between threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "OnvifDiscovery.h"

namespace onvif {

// What GetDeviceInformation says; empty until it has been read. Beside it
// the camera's IPv4 mask ("255.255.255.0") and default gateway, as
// GetNetworkInterfaces and GetNetworkDefaultGateway tell them in the same
// log-in (ReadCameraNetwork); each empty when the camera does not tell it.
struct DeviceInformation {
    std::string manufacturer, model, firmware, serial, hardwareId;
    std::string mask, gateway;
};

struct CameraRecord {
    std::string endpoint; // identity: the EndpointReference address
    std::vector<std::string> types;
    std::vector<std::string> scopes;
    std::string name;     // from the name scope
    std::string hardware; // from the hardware scope
    std::string mac;      // "AA:BB:CC:DD:EE:FF" from the MAC scope; empty when none
    std::vector<std::string> xaddrs;
    std::string xaddr; // the one to use (ChooseXAddr); empty when out of reach
    Reach reach = Reach::None;
    std::string ip;            // host of xaddr, else of the first XAddr with one
    std::uint16_t port = 0;    // port of the same XAddr
    std::string interfaceName; // the card it was heard on
    std::string localAddress;  // that card's address
    // The address the discovery message came from: the only host logged
    // in to (ChooseXAddr), together with a link-local XAddr of its own.
    std::string source;
    // True when the message's XAddrs name only other hosts than source on
    // this card's subnet: the camera is out of reach by that rule alone.
    bool pointsElsewhere = false;
    // True when more than one host claims this camera: its endpoint came
    // from two addresses within the last two rounds, or (as Find returns
    // it) two endpoints carry its MAC. Nobody is logged in to
    // then: a host that copies a camera's endpoint or MAC would otherwise
    // receive the installer's password. claimants lists the addresses.
    bool contested = false;
    std::vector<std::string> claimants;
    std::uint32_t metadataVersion = 0;
    std::chrono::steady_clock::time_point lastSeen;
    DeviceInformation info;
};

enum class CameraEvent { Added, Changed, Gone };

// Receives camera events from a CameraSearch, on the search's own thread.
// Must return quickly and must not call Stop of the search that calls it.
class CameraObserver {
public:
    virtual ~CameraObserver() = default;
    virtual void OnCamera(CameraEvent event, const CameraRecord& camera) = 0;
};

} // namespace onvif
