#include "DeviceIds.h"

#include <sodium.h>

#include <cstdio>

namespace devicelist {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

namespace {

// The separator of a 17-character spelling, or 0 when it has none allowed.
char SeparatorOf(std::string_view text, MacSpelling accept) {
    if (text.size() != 17)
        return 0;
    const char sep = text[2];
    if (sep == ':' || (sep == '-' && accept == MacSpelling::Any))
        return sep;
    return 0;
}

} // namespace

bool ParseMacBytes(std::string_view text, unsigned char out[6], MacSpelling accept) {
    const char sep = SeparatorOf(text, accept);
    const bool bare = accept == MacSpelling::Any && text.size() == 12;
    if (sep == 0 && !bare)
        return false;
    const size_t step = bare ? 2 : 3;
    unsigned char bytes[6];
    for (size_t i = 0; i < 6; ++i) {
        const size_t at = i * step;
        const int hi = HexValue(text[at]);
        const int lo = HexValue(text[at + 1]);
        if (hi < 0 || lo < 0 || (!bare && i < 5 && text[at + 2] != sep))
            return false;
        bytes[i] = static_cast<unsigned char>(hi * 16 + lo);
    }
    for (size_t i = 0; i < 6; ++i)
        out[i] = bytes[i];
    return true;
}

std::string CanonicalMac(std::string_view text, MacSpelling accept) {
    static const char kHex[] = "0123456789ABCDEF";
    unsigned char bytes[6];
    if (!ParseMacBytes(text, bytes, accept))
        return std::string();
    std::string out(17, ':');
    for (size_t i = 0; i < 6; ++i) {
        out[i * 3] = kHex[bytes[i] >> 4];
        out[i * 3 + 1] = kHex[bytes[i] & 0x0F];
    }
    return out;
}

std::string NewMessageId() {
    unsigned char b[16];
    randombytes_buf(b, sizeof b);
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
    char text[48];
    std::snprintf(text, sizeof text,
                  "urn:uuid:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12],
                  b[13], b[14], b[15]);
    return text;
}

} // namespace devicelist
