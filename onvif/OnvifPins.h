// The public keys of the cameras' HTTPS certificates, pinned on first use
// per endpoint, in a file the user owns:
// $XDG_DATA_HOME/lorvex/camera-certificates, else
// ~/.local/share/lorvex/camera-certificates. One line per camera,
// "sha256//BASE64 ENDPOINT". The file is created 0600 in a folder made
// 0700, and replaced whole (a new file renamed over it) under a lock file
// beside it, so that several windows and command lines share it.
// Thread-safe.
#pragma once

#include <cstddef>
#include <string>

namespace onvif {

// Pins kept at most; the file's bytes read at most.
constexpr std::size_t kMaxPins = 65536;
constexpr std::size_t kMaxPinFileBytes = 8 * 1024 * 1024;

// The pin file's path; empty when neither XDG_DATA_HOME nor HOME is set
// (pins then last only as long as one client).
std::string PinFilePath();

// The pin of endpoint; false when none is stored.
bool LookupPin(const std::string& endpoint, std::string* pin);

// Stores pin for endpoint unless one is stored already, and returns the
// pin stored afterwards: pin itself, or the earlier one (which then wins:
// a later key never replaces it here). An endpoint that cannot be written
// as one line (control characters, empty, over 512 bytes) or a file that
// cannot be written leaves nothing stored, and pin is returned.
std::string RememberPin(const std::string& endpoint, const std::string& pin);

// Drops the pin of endpoint, so that the next connection pins the key it
// meets: the way to accept a camera's replaced certificate. False when
// none was stored or the file could not be written.
bool ForgetPin(const std::string& endpoint);

} // namespace onvif
