// Arbitrary bytes as a certificate: one that decodes encodes back to the
// same bytes, and checking it under an anchor is harmless.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "TrustWire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = lorvex::trust::InitCrypto();
    lorvex::trust::Certificate cert;
    if (!ready || !lorvex::trust::DecodeCertificate(data, size, &cert))
        return 0;
    const std::string again = lorvex::trust::EncodeCertificate(cert);
    if (again.size() != size || std::memcmp(again.data(), data, size) != 0)
        __builtin_trap();
    lorvex::trust::Key anchor{};
    std::memcpy(anchor.data(), data + 12, anchor.size()); // any key, even a bad one
    (void)lorvex::trust::VerifyCertificate(cert, anchor);
    (void)lorvex::trust::Fingerprint(cert.deviceKey);
    return 0;
}
