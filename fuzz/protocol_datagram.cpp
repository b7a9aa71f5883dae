// Feeds arbitrary bytes to the decoder as one datagram from the LAN. A
// datagram that decodes must encode back to the same bytes (but for the case
// of the MAC text) and must be harmless to the device tracker. The bytes are
// also read as a device name and as each clock field.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// The same bytes as a device name from a configuration request: a name
// the rule takes fits a record and holds no control byte of ASCII and no
// space at either end.
void DeviceName(const std::uint8_t* data, std::size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    if (!lorvex::wire::IsDeviceName(name))
        return;
    if (name.empty() || name.size() > lorvex::wire::kMaxDeviceNameBytes || name.front() == ' ' ||
        name.back() == ' ')
        __builtin_trap();
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            __builtin_trap();
}

// The same bytes as the clock fields of a configuration request: what a
// rule takes stays within its bound and holds no byte an attribute or a
// TZ reader would take as markup or white space; a time is in its range.
void ClockFields(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool server = lorvex::wire::IsClockNtpServer(text);
    const bool zone = lorvex::wire::IsClockTimeZone(text);
    if ((server && size > lorvex::wire::kMaxNtpServerBytes) ||
        (zone && size > lorvex::wire::kMaxTimeZoneBytes))
        __builtin_trap();
    if (server || zone)
        for (const char c : text)
            if (c <= ' ' || c == '"' || c == '&' || c == '\'' ||
                static_cast<unsigned char>(c) > 0x7E)
                __builtin_trap();
    std::int64_t utc = 0;
    if (lorvex::wire::ReadClockTime(text, &utc) &&
        (utc < lorvex::wire::kMinClockTime || utc > lorvex::wire::kMaxClockTime))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static lorvex::search::DeviceTracker tracker;
    DeviceName(data, size);
    ClockFields(data, size);
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
