// Device identity and sealed requests on the search protocol: the maker's
// certificate that binds a MAC to a device key, the per-session keys a tool
// and a device agree, the authenticator on every device reply and the
// sealing of every request that carries a secret. docs/protocol.md is the
// reference; every primitive is libsodium's.

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "SearchWire.h"

namespace lorvex::trust {

constexpr std::size_t kKeySize = 32;       // X25519 and Ed25519 public keys
constexpr std::size_t kSignatureSize = 64; // Ed25519
constexpr std::size_t kCertSize = 108;
constexpr std::size_t kCertSignedSize = kCertSize - kSignatureSize;
constexpr std::size_t kChallengeSize = 16;
// A reply's tag field: a random nonce, then the Poly1305 authenticator
// under the one-time key that nonce and the session key give.
constexpr std::size_t kTagNonceSize = 16;
constexpr std::size_t kTagSize = kTagNonceSize + 16;
constexpr std::size_t kNonceSize = 24; // XChaCha20-Poly1305
constexpr std::size_t kSealOverhead = kKeySize + kNonceSize + 16 + kChallengeSize;
// Before the document of an answer: certificate, challenge, tag.
constexpr std::size_t kAnswerPrefix = kCertSize + kChallengeSize + kTagSize;
// Before the document of a result or acknowledgement: challenge, tag.
constexpr std::size_t kReplyPrefix = kChallengeSize + kTagSize;
// A challenge is honoured this long after the device issued it, once.
constexpr int kChallengeLifeSeconds = 60;
// Restore is honoured this long after the reset button was pressed.
constexpr int kPresenceSeconds = 600;
// Wrong passwords before a device locks, first lock and longest lock.
constexpr int kWrongPasswordsBeforeLock = 5;
constexpr int kFirstLockSeconds = 60;
constexpr int kLongestLockSeconds = 1800;

using Key = std::array<unsigned char, kKeySize>;
using SecretKey = std::array<unsigned char, 64>; // Ed25519 secret (seed and public key)
using Challenge = std::array<unsigned char, kChallengeSize>;

// Result values a device puts in setIPResult (configuration and activation)
// and restoreResult (restore).
enum DeviceResult : int {
    RESULT_OK = 0,
    RESULT_REFUSED = 1,          // wrong password or a malformed value
    RESULT_NOT_ACTIVATED = 2,    // no password yet: only activation is taken
    RESULT_LOCKED = 3,           // too many wrong passwords; retryAfter tells how long
    RESULT_WEAK_PASSWORD = 4,    // activation with a password that breaks the rule
    RESULT_NO_PRESENCE = 5,      // restore without a recent press of the reset button
    RESULT_ALREADY_ACTIVE = 6,   // activation of a device that has a password
    RESULT_SETUP_CODE_WRONG = 7, // activation without proof of the device's setup code
};

// Setup codes: the secret printed on a device's label that an activation
// request must prove. 12 characters of Crockford's base32 alphabet, shown as
// three groups of four joined by '-' ("ABCD-EFGH-JKMN"): 10 characters carry
// 50 random bits, the last 2 the first 10 bits of BLAKE2b-256 of those 10
// characters, so a mistyped code is refused before any try is spent.
constexpr std::size_t kSetupCodeChars = 12;
constexpr std::size_t kSetupCodeTextSize = 14; // canonical form, dashes included
constexpr std::size_t kSetupCodeRandomBits = 50;
constexpr std::size_t kProofSize = 32;
extern const char kSetupCodeAlphabet[]; // "0123456789ABCDEFGHJKMNPQRSTVWXYZ"

// Reads a typed setup code: case is ignored, spaces and '-' are dropped, 'O'
// reads as '0', 'I' and 'L' as '1'. True, with the canonical form in
// `canonical`, only for 12 characters of the alphabet whose check holds;
// false otherwise (and `canonical` untouched). The caller wipes both texts.
bool NormalizeSetupCode(std::string_view typed, std::string* canonical);

// The canonical setup code carrying the low 50 bits of `bits` (first
// character = highest 5 bits), with its check characters.
std::string SetupCodeFromBits(std::uint64_t bits);

// The proof of the setup code in an activation request: BLAKE2b-256 keyed
// with the canonical code's 14 ASCII bytes over "LVXA", the request's
// 30-byte datagram header, the tool's session key, the challenge and the
// device's key. Only a holder of the code makes it; it travels sealed.
std::array<unsigned char, kProofSize> ActivationProof(std::string_view canonicalCode,
                                                      std::string_view header, const Key& toolKey,
                                                      const Challenge& challenge,
                                                      const Key& deviceKey);

// The maker's certificate: MAC and device key, signed by a maker key.
struct Certificate {
    wire::MacBytes mac{};
    Key deviceKey{};
    std::array<unsigned char, kSignatureSize> signature{};
};

// The 108 bytes: "LVXC", version 1, zero, MAC, device key, signature.
std::string EncodeCertificate(const Certificate& cert);
// False unless `size` is exactly kCertSize with the right magic, version and zero byte.
bool DecodeCertificate(const unsigned char* data, std::size_t size, Certificate* out);
// Signs the first kCertSignedSize bytes with the maker's secret key.
Certificate SignCertificate(const wire::MacBytes& mac, const Key& deviceKey,
                            const SecretKey& makerSecret);
// True when the signature is the maker key's over MAC and device key.
bool VerifyCertificate(const Certificate& cert, const Key& makerKey);

// "AB12:CD34:...": eight groups of four hex digits of the BLAKE2b hash of a
// device key; what a user compares for a key no maker certified.
std::string Fingerprint(const Key& deviceKey);

// The two directional keys of one tool session and one device (crypto_kx,
// tool as client): `toDevice` seals requests, `toTool` authenticates replies.
// Wiped when destroyed.
struct SessionKeys {
    std::array<unsigned char, 32> toDevice{};
    std::array<unsigned char, 32> toTool{};
    SessionKeys() = default;
    SessionKeys(const SessionKeys& o) = default;
    SessionKeys& operator=(const SessionKeys& o) = default;
    ~SessionKeys();
};
// A crypto_kx key pair (X25519).
struct KeyPair {
    Key publicKey{};
    std::array<unsigned char, 32> secretKey{};
    ~KeyPair();
};
KeyPair NewKeyPair();
// The same pair for the same 32-byte seed.
KeyPair SeedKeyPair(const std::array<unsigned char, 32>& seed);
// False for a peer key that gives a degenerate shared secret.
bool ToolSessionKeys(const KeyPair& tool, const Key& deviceKey, SessionKeys* out);
bool DeviceSessionKeys(const KeyPair& device, const Key& toolKey, SessionKeys* out);

// The tag field of a device reply: a nonce (`nonce`, or random when null:
// never the same twice under one key), then Poly1305 over the datagram's
// 30-byte header followed by every payload byte except the tag field, under
// the first 32 bytes of the XChaCha20 key stream of `toTool` at that nonce
// (padded with eight zero bytes).
void ReplyTag(const SessionKeys& keys, std::string_view header, std::string_view beforeTag,
              std::string_view afterTag, unsigned char tag[kTagSize],
              const unsigned char* nonce = nullptr);
bool CheckReplyTag(const SessionKeys& keys, std::string_view header, std::string_view beforeTag,
                   std::string_view afterTag, const unsigned char tag[kTagSize]);

// A device answer's payload, split. Views into the datagram.
struct AnswerParts {
    Certificate cert;
    Challenge challenge{};
    const unsigned char* tag = nullptr;
    std::string_view xml;
};
// False unless the payload holds a certificate for `mac`, a challenge, a tag
// and a non-empty document without a NUL byte.
bool SplitAnswer(const wire::Message& msg, AnswerParts* out);
// The whole answer datagram for a device, tagged (`tagNonce` as ReplyTag's
// nonce: null for a random one, as a device sends).
std::string MakeAnswer(const SessionKeys& keys, std::uint32_t probeId, const Certificate& cert,
                       const Challenge& challenge, std::string_view xml,
                       const unsigned char* tagNonce = nullptr);
// True when the answer's tag is right under `keys`.
bool CheckAnswer(const SessionKeys& keys, const wire::Message& msg, const AnswerParts& parts);

// A result or acknowledgement: kind 4 or 6, challenge (the next one the
// device will honour), tag, document.
std::string MakeReply(const SessionKeys& keys, wire::Kind kind, std::uint32_t requestId,
                      const wire::MacBytes& mac, const Challenge& next, std::string_view xml,
                      const unsigned char* tagNonce = nullptr);
// The document of an authentic reply, and the challenge it carries; false for
// anything else.
bool OpenReply(const SessionKeys& keys, const wire::Message& msg, Challenge* next,
               std::string* xml);

// A sealed request (kinds 3, 5, 7): tool key, nonce, then XChaCha20-Poly1305
// under `toDevice` of challenge and body, with the header and the tool key as
// associated data. Empty when it would not fit a datagram.
std::string SealRequest(const SessionKeys& keys, const Key& toolKey, wire::Kind kind,
                        std::uint32_t requestId, const wire::MacBytes& mac,
                        const Challenge& challenge, std::string_view body,
                        const unsigned char* nonce = nullptr);
// An activation request (kind 7): sealed body = the setup code's proof
// (ActivationProof over this very header) followed by the first password.
// Empty when it would not fit a datagram. Every copy of the body is wiped.
std::string SealActivation(const SessionKeys& keys, const Key& toolKey, const Key& deviceKey,
                           std::uint32_t requestId, const wire::MacBytes& mac,
                           const Challenge& challenge, std::string_view canonicalCode,
                           std::string_view password, const unsigned char* nonce = nullptr);

// The device's side of an opened activation request: true, with the first
// password in `password`, when `body` starts with the proof of
// `canonicalCode` for this request (compared in constant time); false for a
// wrong proof or a body shorter than one. The caller wipes `password`.
bool OpenActivation(std::string_view canonicalCode, const wire::Message& msg, const Key& toolKey,
                    const Challenge& challenge, const Key& deviceKey, std::string_view body,
                    std::string* password);

// Identify requests (kind 8): the device shows itself (a light, a beep, a
// mark on its screen) for 1 to kIdentifyMaxSeconds seconds. The sealed body
// is the time in seconds (2 bytes, big-endian) followed by the device's
// password (UTF-8), answered with kind 4 like a configuration request.
constexpr int kIdentifyMinSeconds = 1;
constexpr int kIdentifyMaxSeconds = 300;
constexpr std::size_t kIdentifyPrefix = 2;
// The body for `seconds` (taken modulo 65536: the caller checks the range)
// and `password`. The caller wipes it.
std::string IdentifyBody(int seconds, std::string_view password);
// The device's reading of an opened identify body: false for a body shorter
// than its 2-byte time; else the time (0..65535, unchecked) and the
// password, which the caller wipes.
bool ReadIdentifyBody(std::string_view body, int* seconds, std::string* password);

// Snapshot token requests (kind 9): the tool draws kSnapshotTokenSize
// random bytes and seals them with the device's password; a camera that
// answers 0 gives its picture once for `GET SnapshotTarget(token)` from the
// address the request came from, within kSnapshotTokenSeconds. The token is
// worth one picture and nothing else, so it may cross the link in clear.
constexpr std::size_t kSnapshotTokenSize = 32;
constexpr int kSnapshotTokenSeconds = 10;
using SnapshotToken = std::array<unsigned char, kSnapshotTokenSize>;
// The body: the token followed by the password (UTF-8). The caller wipes it.
std::string SnapshotTokenBody(const SnapshotToken& token, std::string_view password);
// The device's reading of an opened body: false for one shorter than the
// token; else the token and the password, which the caller wipes.
bool ReadSnapshotTokenBody(std::string_view body, SnapshotToken* token, std::string* password);
// The HTTP target that redeems `token`: "/snapshot?token=" and its 64
// lowercase hexadecimal digits.
std::string SnapshotTarget(const SnapshotToken& token);
// The device's reading of the query value: true only for exactly 64
// hexadecimal digits (either case).
bool ReadSnapshotTokenText(std::string_view text, SnapshotToken* token);

// The tool key of a sealed request, read before the device picks its keys.
bool SealedToolKey(const wire::Message& msg, Key* toolKey);
// Opens a sealed request; false when it was not sealed under `keys` for this
// very header. The body is wiped by the caller after use.
bool OpenRequest(const SessionKeys& keys, const wire::Message& msg, Challenge* challenge,
                 std::string* body);

// The datagram header of a message whose payload is `payloadSize` bytes.
std::string Header(wire::Kind kind, std::uint32_t requestId, const wire::MacBytes& mac,
                   std::size_t payloadSize);

// Why a first password is refused, PASSWORD_OK when it passes the rule:
// 8 to 64 characters (Unicode code points of its UTF-8), at least two of
// ASCII lower case, ASCII upper case, ASCII digits and other characters
// (every other code point, letters of other scripts included), and neither
// the device's MAC (with colons, with dashes or bare) nor its name, compared
// with ASCII letters folded to lower case and every other byte as it is.
enum PasswordVerdict {
    PASSWORD_OK,
    PASSWORD_LENGTH,
    PASSWORD_CLASSES,
    PASSWORD_IS_MAC,
    PASSWORD_IS_NAME
};
PasswordVerdict CheckPasswordStrength(std::string_view password, std::string_view macText,
                                      std::string_view deviceName);

// Maker keys from a folder: every "*.pub" file holding 64 hex digits (white
// space around them ignored). Unreadable files are skipped.
void LoadAnchors(const std::string& folder, std::vector<Key>* out);

// Hex text of bytes, lower case, and back (false unless exactly 2*size digits).
std::string ToHex(const unsigned char* data, std::size_t size);
bool FromHex(std::string_view text, unsigned char* out, std::size_t size);

// libsodium ready; safe to call more than once and from any thread.
bool InitCrypto();

} // namespace lorvex::trust
