// Arbitrary bytes as a datagram reaching a device: a sealed request is read
// for its tool key, keys are agreed with it and the request is opened. A
// request sealed by a tool that holds the keys must open; anything else
// must be refused without harm.

#include <cstddef>
#include <cstdint>
#include <string>

#include "SearchWire.h"
#include "TrustWire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = lorvex::trust::InitCrypto();
    static const lorvex::trust::KeyPair device = [] {
        std::array<unsigned char, 32> seed{};
        seed.fill(0x40);
        return lorvex::trust::SeedKeyPair(seed);
    }();
    lorvex::wire::Message msg;
    lorvex::trust::Key tool{};
    if (!ready || !lorvex::wire::Decode(data, size, &msg) ||
        !lorvex::trust::SealedToolKey(msg, &tool))
        return 0;
    lorvex::trust::SessionKeys keys;
    if (!lorvex::trust::DeviceSessionKeys(device, tool, &keys))
        return 0;
    lorvex::trust::Challenge challenge{};
    std::string body;
    (void)lorvex::trust::OpenRequest(keys, msg, &challenge, &body);
    return 0;
}
