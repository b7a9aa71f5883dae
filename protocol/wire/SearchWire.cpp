#include "SearchWire.h"

#include "DeviceIds.h"

#include <cstring>

namespace lorvex::wire {
namespace {

constexpr unsigned char kMagic[4] = {'L', 'V', 'X', 'S'};
constexpr std::size_t kMacOffset = 12;
constexpr std::size_t kMacTextSize = 17;

void PutU16(std::string& out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<char>((v >> 8) & 0xFF);
    out[at + 1] = static_cast<char>(v & 0xFF);
}

void PutU32(std::string& out, std::size_t at, std::uint32_t v) {
    PutU16(out, at, v >> 16);
    PutU16(out, at + 2, v & 0xFFFF);
}

std::uint32_t GetU16(const unsigned char* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }

std::uint32_t GetU32(const unsigned char* p) { return (GetU16(p) << 16) | GetU16(p + 2); }

bool KnownKind(unsigned char k) {
    return k >= static_cast<unsigned char>(Kind::Probe) &&
           k <= static_cast<unsigned char>(Kind::SnapshotToken);
}

} // namespace

bool ParseMac(std::string_view text, MacBytes* out) {
    MacBytes mac{};
    if (!devicelist::ParseMacBytes(text, mac.data()))
        return false;
    if (out)
        *out = mac;
    return true;
}

void FormatMac(const MacBytes& mac, char out[18]) {
    static const char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < 6; ++i) {
        out[i * 3] = kHex[mac[i] >> 4];
        out[i * 3 + 1] = kHex[mac[i] & 0x0F];
        out[i * 3 + 2] = i < 5 ? ':' : '\0';
    }
}

std::string FormatMac(const MacBytes& mac) {
    char text[18];
    FormatMac(mac, text);
    return text;
}

bool IsAnyMac(const MacBytes& mac) {
    for (unsigned char b : mac)
        if (b != 0)
            return false;
    return true;
}

bool IsDeviceMac(const MacBytes& mac) { return !IsAnyMac(mac) && (mac[0] & 0x01) == 0; }

namespace {

// The code point of the UTF-8 sequence at `at`, which it steps over; -1
// for anything but a well-formed, shortest sequence of a scalar value.
long NextCodePoint(std::string_view text, std::size_t* at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(*at);
    std::size_t extra = 0;
    long cp = 0, least = 0;
    if (lead < 0x80) {
        ++*at;
        return lead;
    }
    if ((lead & 0xE0) == 0xC0)
        extra = 1, cp = lead & 0x1F, least = 0x80;
    else if ((lead & 0xF0) == 0xE0)
        extra = 2, cp = lead & 0x0F, least = 0x800;
    else if ((lead & 0xF8) == 0xF0)
        extra = 3, cp = lead & 0x07, least = 0x10000;
    else
        return -1;
    if (*at + extra >= text.size())
        return -1; // cut short
    for (std::size_t i = 1; i <= extra; ++i) {
        if ((byte(*at + i) & 0xC0) != 0x80)
            return -1;
        cp = (cp << 6) | (byte(*at + i) & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return -1;
    *at += extra + 1;
    return cp;
}

} // namespace

bool IsDeviceName(std::string_view name) {
    if (name.empty() || name.size() > kMaxDeviceNameBytes || name.front() == ' ' ||
        name.back() == ' ')
        return false;
    for (std::size_t at = 0; at < name.size();) {
        const long cp = NextCodePoint(name, &at);
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F))
            return false; // malformed (-1) or a control character
    }
    return true;
}

namespace {

bool AsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool AllOf(std::string_view text, const char* others) {
    for (const char c : text)
        if (!AsciiAlnum(c) && (c == '\0' || std::strchr(others, c) == nullptr))
            return false;
    return true;
}

} // namespace

bool IsClockNtpServer(std::string_view server) {
    if (server.empty() || server.size() > kMaxNtpServerBytes)
        return false;
    return (AsciiAlnum(server.front()) || server.front() == ':') && AllOf(server, ".-:");
}

bool IsClockTimeZone(std::string_view zone) {
    if (zone.empty() || zone.size() > kMaxTimeZoneBytes)
        return false;
    const char first = zone.front();
    const bool letter = (first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z');
    return (letter || first == '<') && AllOf(zone, "<>+-:,./");
}

bool ReadClockTime(std::string_view text, std::int64_t* utc) {
    if (text.empty() || text.size() > 10 || text.front() == '0')
        return false;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < kMinClockTime || value > kMaxClockTime)
        return false;
    if (utc)
        *utc = value;
    return true;
}

bool IsDeviceKind(Kind kind) {
    return kind == Kind::Answer || kind == Kind::ConfigResult || kind == Kind::RestoreAck;
}

std::string EncodeHeader(Kind kind, std::uint32_t requestId, const MacBytes& mac,
                         std::size_t payloadSize) {
    std::string out(kHeaderSize, '\0');
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    out[4] = static_cast<char>(kVersion);
    out[5] = static_cast<char>(kind);
    PutU16(out, 6, static_cast<std::uint32_t>(payloadSize));
    PutU32(out, 8, requestId);
    char text[18];
    FormatMac(mac, text);
    std::memcpy(out.data() + kMacOffset, text, kMacTextSize);
    return out;
}

std::string Encode(const Message& msg) {
    if (msg.payload.size() > kMaxPayload)
        return {};
    return EncodeHeader(msg.kind, msg.requestId, msg.mac, msg.payload.size()) + msg.payload;
}

bool Decode(const unsigned char* data, std::size_t size, Message* out) {
    if (!data || size < kHeaderSize || size > kMaxDatagram)
        return false;
    if (std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return false;
    if (data[4] != kVersion || !KnownKind(data[5]))
        return false;
    if (GetU16(data + 6) != size - kHeaderSize)
        return false;
    if (data[kMacOffset + kMacTextSize] != 0)
        return false;
    const char* mac = reinterpret_cast<const char*>(data + kMacOffset);
    if (!ParseMac(std::string_view(mac, kMacTextSize), &out->mac))
        return false;
    const char* payload = reinterpret_cast<const char*>(data + kHeaderSize);
    std::memcpy(out->header.data(), data, kHeaderSize);
    out->kind = static_cast<Kind>(data[5]);
    out->requestId = GetU32(data + 8);
    out->payload.assign(payload, size - kHeaderSize);
    return true;
}

} // namespace lorvex::wire
