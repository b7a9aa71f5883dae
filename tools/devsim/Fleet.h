// Building the simulated fleet from flags or a JSON file, and the shared
// table the protocol side and the per-device servers (DeviceServers.h) work on.

#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "Device.h"

namespace devsim {

// The seven type codes of the maker's devices.
extern const std::vector<std::string> kDeviceTypes;
// Fleet types of devices that speak only WS-Discovery (and, for the camera,
// the standard device service), not our own protocol.
inline constexpr const char* kOnvifCameraType = "ONVIF_CAMERA";
inline constexpr const char* kWsdPrinterType = "WSD_PRINTER";

struct Subnet {
    std::uint32_t network = 0; // host byte order
    int prefix = 24;
};

// "192.168.1.0/24"; false unless the prefix is 8..30.
bool ParseCidr(const std::string& text, Subnet* out);

// Dotted quad of a host-order address.
std::string AddressText(std::uint32_t address);

struct FleetPlan {
    int count = 0;
    std::vector<Subnet> subnets;    // devices are spread over them in turn
    std::vector<std::string> types; // taken in turn; empty = all seven
    std::string password = "123456";
    std::string factoryPassword = "123456";
    lorvex::wire::MacBytes firstMac{0x02, 0x4C, 0x56, 0x00, 0x00, 0x01};
    double vanishAfter = -1;
    int onvifCount = 0; // generated standard cameras, after the maker devices
};

// The `index`-th generated device of `plan`: MAC firstMac + index, type,
// address (host 64 + index / subnets in its subnet, wrapping), names,
// versions, ports and times.
Device GenerateDevice(const FleetPlan& plan, int index, std::int64_t nowEpoch);

// The `index`-th generated standard camera (type ONVIF_CAMERA): MAC
// 02:4F:4E:00:00:01 + index, addresses following the plan's maker devices
// in the same subnets, default camera settings.
Device GenerateOnvifCamera(const FleetPlan& plan, int index, std::int64_t nowEpoch);

// Appends plan.count generated devices, then plan.onvifCount cameras.
void Generate(const FleetPlan& plan, std::int64_t nowEpoch, std::vector<Device>* out);

// Appends the devices of a fleet file: {"devices": [ {...}, ... ]}. Each
// object starts as a generated device (so every field has a value) and
// overrides what it names; see docs/protocol.md for the keys. False with a
// reason in `error` when the file is unreadable or a value has the wrong type.
bool LoadFleetFile(const std::string& path, const FleetPlan& plan, std::int64_t nowEpoch,
                   std::vector<Device>* out, std::string* error);

// The devices under one lock, with a MAC index. The per-device servers
// read and change devices through With() from their own threads.
class Fleet {
public:
    explicit Fleet(std::vector<Device> devices);
    std::size_t Size() const { return m_devices.size(); }
    std::optional<std::size_t> Find(const lorvex::wire::MacBytes& mac) const;
    template <class F> auto With(std::size_t index, F f) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return f(m_devices[index]);
    }

private:
    static std::uint64_t Key(const lorvex::wire::MacBytes& mac);
    std::mutex m_mutex;
    std::vector<Device> m_devices;
    std::unordered_map<std::uint64_t, std::size_t> m_index;
};

} // namespace devsim
