// Feeds arbitrary bytes to the decoder as one datagram from the LAN. A
// datagram that decodes must encode back to the same bytes (but for the case
// of the MAC text) and must be harmless to the device tracker.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "SearchTracker.h"
#include "SearchWire.h"

namespace {

bool SameButMacCase(const std::string& a, const std::uint8_t* b, std::size_t size) {
    if (a.size() != size)
        return false;
    for (std::size_t i = 0; i < size; ++i) {
        const bool inMac = i >= 12 && i < 29;
        const int x = static_cast<unsigned char>(a[i]);
        const int y = b[i];
        if (inMac ? std::toupper(x) != std::toupper(y) : x != y)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static lorvex::search::DeviceTracker tracker;
    lorvex::wire::Message msg;
    if (!lorvex::wire::Decode(data, size, &msg))
        return 0;
    if (!SameButMacCase(lorvex::wire::Encode(msg), data, size))
        __builtin_trap();
    if (size % 7 == 0) { // rounds begin and end now and then, so misses and gone are reached
        tracker.EndRound(true);
        tracker.BeginRound(size % 2 == 0, size % 3 == 0);
    }
    tracker.OnAnswer(msg.mac, msg.payload);
    return 0;
}
