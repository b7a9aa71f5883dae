// The texts that name a device or a message, shared by the engine and the
// simulator: the canonical MAC every list, plan and request compares by,
// and a fresh WS-Addressing message identifier. No dependency beyond
// libsodium, so that every engine library and the simulator can link it.
#pragma once

#include <string>
#include <string_view>

namespace devicelist {

// Which spellings of a MAC CanonicalMac accepts.
enum class MacSpelling {
    // Six hexadecimal pairs joined by colons, either case: the form the
    // search library, plan files and the maker's requests carry.
    Colons,
    // Also joined by dashes (one separator throughout) or twelve digits in
    // a row: what an installer types and what cameras announce.
    Any,
};

// The canonical form "AA:BB:CC:DD:EE:FF" of text (upper case, colons);
// empty when text is no MAC in the spellings `accept` allows.
std::string CanonicalMac(std::string_view text, MacSpelling accept = MacSpelling::Colons);

// The six bytes of text read as CanonicalMac reads it; false, and `out`
// untouched, when text is no MAC in the spellings `accept` allows.
bool ParseMacBytes(std::string_view text, unsigned char out[6],
                   MacSpelling accept = MacSpelling::Colons);

// The value 0..15 of a hexadecimal digit (either case); -1 for any other
// character.
int HexValue(char c);

// A new random message identifier "urn:uuid:..." (a version 4 UUID).
std::string NewMessageId();

} // namespace devicelist
