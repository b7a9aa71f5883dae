// Arbitrary bytes as a datagram reaching a device: a sealed request is read
// for its tool key, keys are agreed with it and the request is opened; an
// activation's body is then checked for the proof of the device's setup
// code, an identify request's body read for its time and password, a
// snapshot token request's for its token and password. A
// request sealed by a tool that holds the keys must open; anything else
// must be refused without harm. The same bytes as a typed setup code:
// whatever reads as one reads back as itself in its canonical form; and as
// the token of a picture request's query: whatever reads as one is written
// back as the same digits.

#include <cstddef>
#include <cstdint>
#include <string>

#include "SearchWire.h"
#include "TrustWire.h"

namespace {

constexpr char kCode[] = "0J6H-B7H6-NWGR"; // the device's setup code

void TypedCode(const std::uint8_t* data, std::size_t size) {
    std::string canonical, again;
    if (!lorvex::trust::NormalizeSetupCode(
            std::string_view(reinterpret_cast<const char*>(data), size), &canonical))
        return;
    if (canonical.size() != lorvex::trust::kSetupCodeTextSize ||
        !lorvex::trust::NormalizeSetupCode(canonical, &again) || again != canonical)
        __builtin_trap();
}

void TokenText(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    lorvex::trust::SnapshotToken token{};
    if (!lorvex::trust::ReadSnapshotTokenText(text, &token))
        return;
    const std::string target = lorvex::trust::SnapshotTarget(token);
    const std::string_view digits = std::string_view(target).substr(target.find('=') + 1);
    for (std::size_t i = 0; i < size; ++i)
        if ((text[i] | 0x20) != digits[i])
            __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = lorvex::trust::InitCrypto();
    TypedCode(data, size);
    TokenText(data, size);
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
    std::string body, password;
    int seconds = -1;
    if (lorvex::trust::OpenRequest(keys, msg, &challenge, &body) &&
        msg.kind == lorvex::wire::Kind::Identify &&
        lorvex::trust::ReadIdentifyBody(body, &seconds, &password) &&
        (seconds < 0 || seconds > 0xffff ||
         password.size() + lorvex::trust::kIdentifyPrefix != body.size()))
        __builtin_trap();
    lorvex::trust::SnapshotToken token{};
    if (lorvex::trust::OpenRequest(keys, msg, &challenge, &body) &&
        msg.kind == lorvex::wire::Kind::SnapshotToken &&
        lorvex::trust::ReadSnapshotTokenBody(body, &token, &password) &&
        password.size() + token.size() != body.size())
        __builtin_trap();
    if (lorvex::trust::OpenRequest(keys, msg, &challenge, &body) &&
        msg.kind == lorvex::wire::Kind::Activate &&
        lorvex::trust::OpenActivation(kCode, msg, tool, challenge, device.publicKey, body,
                                      &password) &&
        password.size() + lorvex::trust::kProofSize != body.size())
        __builtin_trap();
    return 0;
}
