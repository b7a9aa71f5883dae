#include "TrustWire.h"

#include <dirent.h>
#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

namespace lorvex::trust {
namespace {

constexpr unsigned char kCertMagic[4] = {'L', 'V', 'X', 'C'};
constexpr unsigned char kCertVersion = 1;
constexpr std::size_t kAeadTag = crypto_aead_xchacha20poly1305_ietf_ABYTES;

static_assert(kTagSize == kTagNonceSize + crypto_onetimeauth_BYTES,
              "a reply tag is its nonce and a Poly1305 authenticator");
static_assert(kNonceSize == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES, "request nonces");
static_assert(kKeySize == crypto_kx_PUBLICKEYBYTES && kKeySize == crypto_sign_PUBLICKEYBYTES,
              "one key size");
static_assert(kSignatureSize == crypto_sign_BYTES, "Ed25519 signatures");
static_assert(kSealOverhead == kKeySize + kNonceSize + kAeadTag + kChallengeSize, "seal layout");

const unsigned char* Bytes(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

std::string_view View(const std::string& s) { return std::string_view(s); }

// The header a received message came with, or the one it would be sent
// with when it was built here.
std::string ReceivedHeader(const wire::Message& msg) {
    if (msg.header[0] == 0)
        return wire::EncodeHeader(msg.kind, msg.requestId, msg.mac, msg.payload.size());
    return std::string(reinterpret_cast<const char*>(msg.header.data()), msg.header.size());
}

} // namespace

bool InitCrypto() { return sodium_init() >= 0; }

SessionKeys::~SessionKeys() {
    sodium_memzero(toDevice.data(), toDevice.size());
    sodium_memzero(toTool.data(), toTool.size());
}

KeyPair::~KeyPair() { sodium_memzero(secretKey.data(), secretKey.size()); }

std::string EncodeCertificate(const Certificate& cert) {
    std::string out(kCertSize, '\0');
    unsigned char* p = reinterpret_cast<unsigned char*>(out.data());
    std::memcpy(p, kCertMagic, 4);
    p[4] = kCertVersion;
    p[5] = 0;
    std::memcpy(p + 6, cert.mac.data(), 6);
    std::memcpy(p + 12, cert.deviceKey.data(), kKeySize);
    std::memcpy(p + kCertSignedSize, cert.signature.data(), kSignatureSize);
    return out;
}

bool DecodeCertificate(const unsigned char* data, std::size_t size, Certificate* out) {
    if (!data || size != kCertSize || std::memcmp(data, kCertMagic, 4) != 0)
        return false;
    if (data[4] != kCertVersion || data[5] != 0)
        return false;
    std::memcpy(out->mac.data(), data + 6, 6);
    std::memcpy(out->deviceKey.data(), data + 12, kKeySize);
    std::memcpy(out->signature.data(), data + kCertSignedSize, kSignatureSize);
    return true;
}

Certificate SignCertificate(const wire::MacBytes& mac, const Key& deviceKey,
                            const SecretKey& makerSecret) {
    Certificate cert{mac, deviceKey, {}};
    const std::string bytes = EncodeCertificate(cert);
    crypto_sign_detached(cert.signature.data(), nullptr, Bytes(bytes), kCertSignedSize,
                         makerSecret.data());
    return cert;
}

bool VerifyCertificate(const Certificate& cert, const Key& makerKey) {
    const std::string bytes = EncodeCertificate(cert);
    return crypto_sign_verify_detached(cert.signature.data(), Bytes(bytes), kCertSignedSize,
                                       makerKey.data()) == 0;
}

std::string Fingerprint(const Key& deviceKey) {
    unsigned char hash[16];
    crypto_generichash(hash, sizeof hash, deviceKey.data(), deviceKey.size(), nullptr, 0);
    const std::string hex = ToHex(hash, sizeof hash);
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 4)
        out += (i ? ":" : "") + hex.substr(i, 4);
    std::transform(out.begin(), out.end(), out.begin(), ::toupper);
    return out;
}

KeyPair NewKeyPair() {
    KeyPair kp;
    crypto_kx_keypair(kp.publicKey.data(), kp.secretKey.data());
    return kp;
}

KeyPair SeedKeyPair(const std::array<unsigned char, 32>& seed) {
    KeyPair kp;
    crypto_kx_seed_keypair(kp.publicKey.data(), kp.secretKey.data(), seed.data());
    return kp;
}

bool ToolSessionKeys(const KeyPair& tool, const Key& deviceKey, SessionKeys* out) {
    // crypto_kx: the client's rx is the server's tx.
    return crypto_kx_client_session_keys(out->toTool.data(), out->toDevice.data(),
                                         tool.publicKey.data(), tool.secretKey.data(),
                                         deviceKey.data()) == 0;
}

bool DeviceSessionKeys(const KeyPair& device, const Key& toolKey, SessionKeys* out) {
    return crypto_kx_server_session_keys(out->toDevice.data(), out->toTool.data(),
                                         device.publicKey.data(), device.secretKey.data(),
                                         toolKey.data()) == 0;
}

namespace {

// Poly1305 of header, beforeTag and afterTag under the one-time key of
// `nonce`. A key is used for one message only because every reply draws a
// new random nonce; the key stream is XChaCha20's, as in libsodium's AEAD.
void ReplyAuthenticator(const SessionKeys& keys, const unsigned char nonce[kTagNonceSize],
                        std::string_view header, std::string_view beforeTag,
                        std::string_view afterTag, unsigned char out[crypto_onetimeauth_BYTES]) {
    unsigned char streamNonce[crypto_stream_xchacha20_NONCEBYTES] = {};
    std::memcpy(streamNonce, nonce, kTagNonceSize);
    unsigned char oneTimeKey[crypto_onetimeauth_KEYBYTES];
    crypto_stream_xchacha20(oneTimeKey, sizeof oneTimeKey, streamNonce, keys.toTool.data());
    crypto_onetimeauth_state st;
    crypto_onetimeauth_init(&st, oneTimeKey);
    crypto_onetimeauth_update(&st, Bytes(header), header.size());
    crypto_onetimeauth_update(&st, Bytes(beforeTag), beforeTag.size());
    crypto_onetimeauth_update(&st, Bytes(afterTag), afterTag.size());
    crypto_onetimeauth_final(&st, out);
    sodium_memzero(oneTimeKey, sizeof oneTimeKey);
    sodium_memzero(&st, sizeof st);
}

} // namespace

void ReplyTag(const SessionKeys& keys, std::string_view header, std::string_view beforeTag,
              std::string_view afterTag, unsigned char tag[kTagSize], const unsigned char* nonce) {
    if (nonce)
        std::memcpy(tag, nonce, kTagNonceSize);
    else
        randombytes_buf(tag, kTagNonceSize);
    ReplyAuthenticator(keys, tag, header, beforeTag, afterTag, tag + kTagNonceSize);
}

bool CheckReplyTag(const SessionKeys& keys, std::string_view header, std::string_view beforeTag,
                   std::string_view afterTag, const unsigned char tag[kTagSize]) {
    unsigned char want[crypto_onetimeauth_BYTES];
    ReplyAuthenticator(keys, tag, header, beforeTag, afterTag, want);
    return sodium_memcmp(want, tag + kTagNonceSize, sizeof want) == 0;
}

std::string Header(wire::Kind kind, std::uint32_t requestId, const wire::MacBytes& mac,
                   std::size_t payloadSize) {
    return wire::EncodeHeader(kind, requestId, mac, payloadSize);
}

bool SplitAnswer(const wire::Message& msg, AnswerParts* out) {
    const std::string& p = msg.payload;
    if (p.size() <= kAnswerPrefix)
        return false;
    const unsigned char* b = Bytes(p);
    if (!DecodeCertificate(b, kCertSize, &out->cert) || out->cert.mac != msg.mac)
        return false;
    std::memcpy(out->challenge.data(), b + kCertSize, kChallengeSize);
    out->tag = b + kCertSize + kChallengeSize;
    out->xml = std::string_view(p).substr(kAnswerPrefix);
    return out->xml.find('\0') == std::string_view::npos;
}

std::string MakeAnswer(const SessionKeys& keys, std::uint32_t probeId, const Certificate& cert,
                       const Challenge& challenge, std::string_view xml,
                       const unsigned char* tagNonce) {
    const std::size_t size = kAnswerPrefix + xml.size();
    if (size > wire::kMaxPayload)
        return {};
    const std::string header = Header(wire::Kind::Answer, probeId, cert.mac, size);
    std::string before = EncodeCertificate(cert);
    before.append(reinterpret_cast<const char*>(challenge.data()), kChallengeSize);
    unsigned char tag[kTagSize];
    ReplyTag(keys, header, before, xml, tag, tagNonce);
    std::string out = header + before;
    out.append(reinterpret_cast<const char*>(tag), kTagSize);
    out.append(xml);
    return out;
}

bool CheckAnswer(const SessionKeys& keys, const wire::Message& msg, const AnswerParts& parts) {
    const std::string header = ReceivedHeader(msg);
    return CheckReplyTag(keys, header, View(msg.payload).substr(0, kCertSize + kChallengeSize),
                         parts.xml, parts.tag);
}

std::string MakeReply(const SessionKeys& keys, wire::Kind kind, std::uint32_t requestId,
                      const wire::MacBytes& mac, const Challenge& next, std::string_view xml,
                      const unsigned char* tagNonce) {
    const std::size_t size = kReplyPrefix + xml.size();
    if (size > wire::kMaxPayload)
        return {};
    const std::string header = Header(kind, requestId, mac, size);
    const std::string_view before(reinterpret_cast<const char*>(next.data()), kChallengeSize);
    unsigned char tag[kTagSize];
    ReplyTag(keys, header, before, xml, tag, tagNonce);
    std::string out = header;
    out.append(before);
    out.append(reinterpret_cast<const char*>(tag), kTagSize);
    out.append(xml);
    return out;
}

bool OpenReply(const SessionKeys& keys, const wire::Message& msg, Challenge* next,
               std::string* xml) {
    const std::string& p = msg.payload;
    if (p.size() <= kReplyPrefix)
        return false;
    const std::string_view body = View(p).substr(kReplyPrefix);
    if (body.find('\0') != std::string_view::npos)
        return false;
    const std::string header = ReceivedHeader(msg);
    if (!CheckReplyTag(keys, header, View(p).substr(0, kChallengeSize), body,
                       Bytes(p) + kChallengeSize))
        return false;
    std::memcpy(next->data(), p.data(), kChallengeSize);
    xml->assign(body);
    return true;
}

std::string SealRequest(const SessionKeys& keys, const Key& toolKey, wire::Kind kind,
                        std::uint32_t requestId, const wire::MacBytes& mac,
                        const Challenge& challenge, std::string_view body,
                        const unsigned char* nonce) {
    const std::size_t size = kSealOverhead + body.size();
    if (size > wire::kMaxPayload)
        return {};
    std::string out = Header(kind, requestId, mac, size);
    out.append(reinterpret_cast<const char*>(toolKey.data()), kKeySize);
    unsigned char n[kNonceSize];
    if (nonce)
        std::memcpy(n, nonce, kNonceSize);
    else
        randombytes_buf(n, sizeof n);
    out.append(reinterpret_cast<const char*>(n), kNonceSize);
    std::string plain(reinterpret_cast<const char*>(challenge.data()), kChallengeSize);
    plain.append(body);
    const std::string ad = out.substr(0, wire::kHeaderSize + kKeySize);
    std::string sealed(plain.size() + kAeadTag, '\0');
    unsigned long long sealedSize = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(reinterpret_cast<unsigned char*>(sealed.data()),
                                               &sealedSize, Bytes(plain), plain.size(), Bytes(ad),
                                               ad.size(), nullptr, n, keys.toDevice.data());
    sodium_memzero(plain.data(), plain.size());
    out.append(sealed.data(), static_cast<std::size_t>(sealedSize));
    return out;
}

const char kSetupCodeAlphabet[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";

namespace {

constexpr std::size_t kSetupCodeDataChars = 10;
constexpr unsigned char kProofLabel[4] = {'L', 'V', 'X', 'A'};

// The two check characters of the first 10 characters: the first 10 bits
// of their BLAKE2b-256 hash, 5 bits each.
void SetupCodeCheck(const char data[kSetupCodeDataChars], char out[2]) {
    unsigned char hash[32];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(data),
                       kSetupCodeDataChars, nullptr, 0);
    const unsigned v = (unsigned{hash[0]} << 2) | (unsigned{hash[1]} >> 6);
    out[0] = kSetupCodeAlphabet[(v >> 5) & 31];
    out[1] = kSetupCodeAlphabet[v & 31];
    sodium_memzero(hash, sizeof hash);
}

// "ABCDEFGHJKMN" as "ABCD-EFGH-JKMN", written over `out` in place (no
// temporary copy of the code is left behind).
void Grouped(const char chars[kSetupCodeChars], std::string* out) {
    out->assign(kSetupCodeTextSize, '-');
    for (std::size_t i = 0, at = 0; i < kSetupCodeChars; ++i, ++at) {
        if (i > 0 && i % 4 == 0)
            ++at;
        (*out)[at] = chars[i];
    }
}

// The alphabet character a typed one stands for, 0 when none.
char SetupCodeChar(char typed) {
    char c = typed >= 'a' && typed <= 'z' ? static_cast<char>(typed - 'a' + 'A') : typed;
    if (c == 'O')
        c = '0';
    else if (c == 'I' || c == 'L')
        c = '1';
    return c != '\0' && std::strchr(kSetupCodeAlphabet, c) ? c : '\0';
}

} // namespace

bool NormalizeSetupCode(std::string_view typed, std::string* canonical) {
    char chars[kSetupCodeChars];
    std::size_t n = 0;
    bool good = true;
    for (char t : typed) {
        if (t == ' ' || t == '-')
            continue;
        const char c = SetupCodeChar(t);
        if (c == '\0' || n == kSetupCodeChars) {
            good = false;
            break;
        }
        chars[n++] = c;
    }
    char check[2] = {};
    if (good && n == kSetupCodeChars)
        SetupCodeCheck(chars, check);
    good = good && n == kSetupCodeChars && check[0] == chars[10] && check[1] == chars[11];
    if (good)
        Grouped(chars, canonical);
    sodium_memzero(chars, sizeof chars);
    return good;
}

std::string SetupCodeFromBits(std::uint64_t bits) {
    char chars[kSetupCodeChars];
    for (std::size_t i = 0; i < kSetupCodeDataChars; ++i)
        chars[i] = kSetupCodeAlphabet[(bits >> (kSetupCodeRandomBits - 5 * (i + 1))) & 31];
    SetupCodeCheck(chars, chars + kSetupCodeDataChars);
    std::string out;
    Grouped(chars, &out);
    sodium_memzero(chars, sizeof chars);
    return out;
}

std::array<unsigned char, kProofSize> ActivationProof(std::string_view canonicalCode,
                                                      std::string_view header, const Key& toolKey,
                                                      const Challenge& challenge,
                                                      const Key& deviceKey) {
    std::array<unsigned char, kProofSize> proof{};
    crypto_generichash_state st;
    crypto_generichash_init(&st, Bytes(canonicalCode), canonicalCode.size(), proof.size());
    crypto_generichash_update(&st, kProofLabel, sizeof kProofLabel);
    crypto_generichash_update(&st, Bytes(header), header.size());
    crypto_generichash_update(&st, toolKey.data(), toolKey.size());
    crypto_generichash_update(&st, challenge.data(), challenge.size());
    crypto_generichash_update(&st, deviceKey.data(), deviceKey.size());
    crypto_generichash_final(&st, proof.data(), proof.size());
    sodium_memzero(&st, sizeof st);
    return proof;
}

std::string SealActivation(const SessionKeys& keys, const Key& toolKey, const Key& deviceKey,
                           std::uint32_t requestId, const wire::MacBytes& mac,
                           const Challenge& challenge, std::string_view canonicalCode,
                           std::string_view password, const unsigned char* nonce) {
    const std::size_t bodySize = kProofSize + password.size();
    if (kSealOverhead + bodySize > wire::kMaxPayload)
        return {};
    const std::string header =
        Header(wire::Kind::Activate, requestId, mac, kSealOverhead + bodySize);
    std::array<unsigned char, kProofSize> proof =
        ActivationProof(canonicalCode, header, toolKey, challenge, deviceKey);
    std::string body(reinterpret_cast<const char*>(proof.data()), proof.size());
    body.append(password);
    sodium_memzero(proof.data(), proof.size());
    std::string out =
        SealRequest(keys, toolKey, wire::Kind::Activate, requestId, mac, challenge, body, nonce);
    sodium_memzero(body.data(), body.size());
    return out;
}

bool OpenActivation(std::string_view canonicalCode, const wire::Message& msg, const Key& toolKey,
                    const Challenge& challenge, const Key& deviceKey, std::string_view body,
                    std::string* password) {
    if (body.size() < kProofSize || canonicalCode.size() != kSetupCodeTextSize)
        return false;
    std::array<unsigned char, kProofSize> want =
        ActivationProof(canonicalCode, ReceivedHeader(msg), toolKey, challenge, deviceKey);
    const bool right = sodium_memcmp(want.data(), body.data(), kProofSize) == 0;
    sodium_memzero(want.data(), want.size());
    if (right)
        password->assign(body.substr(kProofSize));
    return right;
}

std::string IdentifyBody(int seconds, std::string_view password) {
    std::string body;
    body.reserve(kIdentifyPrefix + password.size());
    body += static_cast<char>((seconds >> 8) & 0xff);
    body += static_cast<char>(seconds & 0xff);
    body.append(password);
    return body;
}

bool ReadIdentifyBody(std::string_view body, int* seconds, std::string* password) {
    if (body.size() < kIdentifyPrefix)
        return false;
    *seconds = (static_cast<unsigned char>(body[0]) << 8) | static_cast<unsigned char>(body[1]);
    password->assign(body.substr(kIdentifyPrefix));
    return true;
}

std::string SnapshotTokenBody(const SnapshotToken& token, std::string_view password) {
    std::string body;
    body.reserve(token.size() + password.size());
    body.append(reinterpret_cast<const char*>(token.data()), token.size());
    body.append(password);
    return body;
}

bool ReadSnapshotTokenBody(std::string_view body, SnapshotToken* token, std::string* password) {
    if (body.size() < token->size())
        return false;
    std::memcpy(token->data(), body.data(), token->size());
    password->assign(body.substr(token->size()));
    return true;
}

std::string SnapshotTarget(const SnapshotToken& token) {
    static const char kHex[] = "0123456789abcdef";
    std::string target = "/snapshot?token=";
    for (unsigned char b : token) {
        target += kHex[b >> 4];
        target += kHex[b & 15];
    }
    return target;
}

bool ReadSnapshotTokenText(std::string_view text, SnapshotToken* token) {
    if (text.size() != 2 * token->size())
        return false;
    auto nibble = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    for (std::size_t i = 0; i < token->size(); ++i) {
        const int hi = nibble(text[2 * i]), lo = nibble(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        (*token)[i] = static_cast<unsigned char>(hi << 4 | lo);
    }
    return true;
}

bool SealedToolKey(const wire::Message& msg, Key* toolKey) {
    if (msg.payload.size() < kSealOverhead)
        return false;
    std::memcpy(toolKey->data(), msg.payload.data(), kKeySize);
    return true;
}

bool OpenRequest(const SessionKeys& keys, const wire::Message& msg, Challenge* challenge,
                 std::string* body) {
    const std::string& p = msg.payload;
    if (p.size() < kSealOverhead)
        return false;
    const std::string ad = ReceivedHeader(msg) + p.substr(0, kKeySize);
    const unsigned char* nonce = Bytes(p) + kKeySize;
    const std::size_t sealedAt = kKeySize + kNonceSize;
    std::string plain(p.size() - sealedAt - kAeadTag, '\0');
    unsigned long long plainSize = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(plain.data()),
                                                   &plainSize, nullptr, Bytes(p) + sealedAt,
                                                   p.size() - sealedAt, Bytes(ad), ad.size(), nonce,
                                                   keys.toDevice.data()) != 0)
        return false;
    std::memcpy(challenge->data(), plain.data(), kChallengeSize);
    body->assign(plain, kChallengeSize, std::string::npos);
    sodium_memzero(plain.data(), plain.size());
    return true;
}

namespace {

// ASCII letters in lower case; every other byte (UTF-8 of other letters
// included) as it is, whatever the locale.
std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

// Characters, not bytes: UTF-8 continuation bytes do not count.
std::size_t CharacterCount(std::string_view s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

} // namespace

PasswordVerdict CheckPasswordStrength(std::string_view password, std::string_view macText,
                                      std::string_view deviceName) {
    const std::size_t n = CharacterCount(password);
    if (n < 8 || n > 64)
        return PASSWORD_LENGTH;
    bool lower = false, upper = false, digit = false, other = false;
    for (unsigned char c : password) {
        lower |= c >= 'a' && c <= 'z';
        upper |= c >= 'A' && c <= 'Z';
        digit |= c >= '0' && c <= '9';
        other |= !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') && !(c >= '0' && c <= '9');
    }
    if (int{lower} + int{upper} + int{digit} + int{other} < 2)
        return PASSWORD_CLASSES;
    // The MAC in any of the forms people write it: with colons, with
    // dashes, or bare, in either case.
    const std::string p = Lower(password);
    std::string bare = Lower(macText);
    bare.erase(
        std::remove_if(bare.begin(), bare.end(), [](char c) { return c == ':' || c == '-'; }),
        bare.end());
    std::string dashed = Lower(macText);
    std::replace(dashed.begin(), dashed.end(), ':', '-');
    if (!bare.empty() && (p == Lower(macText) || p == bare || p == dashed))
        return PASSWORD_IS_MAC;
    if (!deviceName.empty() && p == Lower(deviceName))
        return PASSWORD_IS_NAME;
    return PASSWORD_OK;
}

std::string ToHex(const unsigned char* data, std::size_t size) {
    std::string out(size * 2 + 1, '\0');
    sodium_bin2hex(out.data(), out.size(), data, size);
    out.pop_back();
    return out;
}

bool FromHex(std::string_view text, unsigned char* out, std::size_t size) {
    std::size_t got = 0;
    const char* end = nullptr;
    return text.size() == size * 2 &&
           sodium_hex2bin(out, size, text.data(), text.size(), nullptr, &got, &end) == 0 &&
           got == size && end == text.data() + text.size();
}

void LoadAnchors(const std::string& folder, std::vector<Key>* out) {
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".pub") != 0)
            continue;
        std::ifstream in(folder + "/" + name);
        std::string text;
        if (!(in >> text))
            continue;
        Key key{};
        if (FromHex(text, key.data(), key.size()) &&
            std::find(out->begin(), out->end(), key) == out->end())
            out->push_back(key);
    }
    closedir(dir);
}

} // namespace lorvex::trust
