// Fuzzes the device answer parser: any text must leave every field of the
// record zero-terminated inside its width, and never touch event or mac;
// and the one-pass reading must take the answer and write the record
// exactly as the reading through a whole document does.
#include "SearchInfo.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

template <size_t N> void CheckText(const char (&field)[N]) {
    if (!std::memchr(field, '\0', N))
        abort();
}

void CheckRecord(const SEARCH_INFO& r) {
    CheckText(r.devName);
    CheckText(r.ipAddr);
    CheckText(r.mask);
    CheckText(r.ipAddr2);
    CheckText(r.route);
    CheckText(r.dns1);
    CheckText(r.dns2);
    CheckText(r.productSeries);
    CheckText(r.softwareVer);
    CheckText(r.softwareBulildDate);
    CheckText(r.hardwareVer);
    CheckText(r.kernelVer);
    CheckText(r.productModel);
    CheckText(r.runningTime);
    CheckText(r.bootTime);
    CheckText(r.encryptType);
    if (r.event != 5 || std::strcmp(r.mac, "00:11:22:33:44:55") != 0)
        abort();
    if (r.dhcpSwitch > 1)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20))
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size); // adds the zero byte
    SEARCH_INFO rec;
    std::memset(&rec, 0, sizeof rec);
    rec.event = 5;
    std::strcpy(rec.mac, "00:11:22:33:44:55");
    const bool taken = ParseSearchResult(text.c_str(), &rec);
    CheckRecord(rec);
    SEARCH_INFO again;
    std::memset(&again, 0, sizeof again);
    again.event = 5;
    std::strcpy(again.mac, "00:11:22:33:44:55");
    if (ParseSearchResult(text.c_str(), &again) != taken ||
        std::memcmp(&rec, &again, sizeof rec) != 0)
        abort(); // the parse must not depend on anything but the text
    SEARCH_INFO quick, slow;
    std::memset(&quick, 0x5A, sizeof quick);
    std::memset(&slow, 0x5A, sizeof slow);
    if (ParseSearchResult(text.c_str(), &quick) !=
            ParseSearchResultWithDocument(text.c_str(), &slow) ||
        std::memcmp(&quick, &slow, sizeof quick) != 0)
        abort();
    return 0;
}
