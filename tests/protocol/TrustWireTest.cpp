// Device identity and sealing: the worked vectors of docs/protocol.md, and
// that every alteration, replay or wrong key is refused.

#include <gtest/gtest.h>
#include <sodium.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <string>

#include "SearchPeers.h"
#include "TrustWire.h"

namespace {

using namespace lorvex;

std::string Hex(const std::string& s) {
    return trust::ToHex(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

template <class A> std::string Hex(const A& a) { return trust::ToHex(a.data(), a.size()); }

wire::Message Decoded(const std::string& dg) {
    wire::Message m;
    EXPECT_TRUE(wire::Decode(reinterpret_cast<const unsigned char*>(dg.data()), dg.size(), &m));
    return m;
}

// The fixed keys of the worked example: maker seed 01..20, device seed 40..5F,
// tool seed 80..9F, challenge C0..CF, nonce A0..B7, next challenge D0..DF,
// tag nonces E0..EF (answer) and F0..FF (acknowledgement).
struct Example : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(trust::InitCrypto());
        std::array<unsigned char, 32> maker, dev, tool;
        for (int i = 0; i < 32; ++i) {
            maker[i] = static_cast<unsigned char>(i + 1);
            dev[i] = static_cast<unsigned char>(0x40 + i);
            tool[i] = static_cast<unsigned char>(0x80 + i);
        }
        crypto_sign_seed_keypair(makerKey.data(), makerSecret.data(), maker.data());
        device = trust::SeedKeyPair(dev);
        toolPair = trust::SeedKeyPair(tool);
        for (int i = 0; i < 16; ++i) {
            challenge[i] = static_cast<unsigned char>(0xC0 + i);
            next[i] = static_cast<unsigned char>(0xD0 + i);
            answerTagNonce[i] = static_cast<unsigned char>(0xE0 + i);
            ackTagNonce[i] = static_cast<unsigned char>(0xF0 + i);
        }
        for (int i = 0; i < 24; ++i)
            nonce[i] = static_cast<unsigned char>(0xA0 + i);
        cert = trust::SignCertificate(mac, device.publicKey, makerSecret);
        ASSERT_TRUE(trust::ToolSessionKeys(toolPair, device.publicKey, &keys));
    }
    wire::MacBytes mac{0x02, 0x4C, 0x56, 0x00, 0x00, 0x01};
    trust::Key makerKey{};
    trust::SecretKey makerSecret{};
    trust::KeyPair device, toolPair;
    trust::Challenge challenge{}, next{};
    unsigned char nonce[24];
    unsigned char answerTagNonce[trust::kTagNonceSize], ackTagNonce[trust::kTagNonceSize];
    trust::Certificate cert;
    trust::SessionKeys keys;
    const std::string xml = "<multicastSearchResult/>";
    const std::string ackXml =
        "<multicastSearchResult><restoreResult>0</restoreResult></multicastSearchResult>";
};

TEST_F(Example, WorkedVectorsOfTheProtocolDescription) {
    EXPECT_EQ(Hex(makerKey), "79b5562e8fe654f94078b112e8a98ba7901f853ae695bed7e0e3910bad049664");
    EXPECT_EQ(Hex(device.publicKey),
              "20243c2fa724ef40cdd0a518dd546e05b914cad065b4e8a3958079080aac6607");
    EXPECT_EQ(Hex(toolPair.publicKey),
              "7dde4ebc7e6bb3293a4643423b22ca4df3542b90c1779230bd777a9ee6d3d92f");
    EXPECT_EQ(Hex(trust::EncodeCertificate(cert)),
              "4c5658430100024c5600000120243c2fa724ef40cdd0a518dd546e05b914cad0"
              "65b4e8a3958079080aac660773c0dd166e492e49c0b2b83df9429d0a84fd8cee"
              "640d2a3beff765376abb959e39e05b0733418f2301ebc42cf9882a952a0e12eb"
              "13bf6e35642906cf3d8d520f");
    EXPECT_EQ(trust::Fingerprint(device.publicKey), "A768:A7AE:E291:D471:49C5:0DAD:9CC9:B45F");
    EXPECT_EQ(Hex(keys.toDevice),
              "c4dca99f5c4f6fbc776e141a7480a32e8330eeb3511a22789fbef78b8865626a");
    EXPECT_EQ(Hex(keys.toTool), "ed26b3f5cd1d2c6d94ae16db870c6f7c8963004942885a53e316282f4c27645c");
    const trust::Key& tk = toolPair.publicKey;
    EXPECT_EQ(Hex(wire::Encode({wire::Kind::Probe, 0x11223344, wire::MacBytes{},
                                std::string(reinterpret_cast<const char*>(tk.data()), 32)})),
              "4c565853020100201122334430303a30303a30303a30303a30303a3030007dde"
              "4ebc7e6bb3293a4643423b22ca4df3542b90c1779230bd777a9ee6d3d92f");
    EXPECT_EQ(Hex(trust::MakeAnswer(keys, 0x11223344, cert, challenge, xml, answerTagNonce)),
              "4c565853020200b41122334430323a34433a35363a30303a30303a3031004c56"
              "58430100024c5600000120243c2fa724ef40cdd0a518dd546e05b914cad065b4"
              "e8a3958079080aac660773c0dd166e492e49c0b2b83df9429d0a84fd8cee640d"
              "2a3beff765376abb959e39e05b0733418f2301ebc42cf9882a952a0e12eb13bf"
              "6e35642906cf3d8d520fc0c1c2c3c4c5c6c7c8c9cacbcccdcecfe0e1e2e3e4e5"
              "e6e7e8e9eaebecedeeef9706db1783dbb2c0714266125b5b3ddd3c6d756c7469"
              "63617374536561726368526573756c742f3e");
    EXPECT_EQ(Hex(trust::SealRequest(keys, tk, wire::Kind::Restore, 0x55667788, mac, challenge, "",
                                     nonce)),
              "4c565853020500585566778830323a34433a35363a30303a30303a3031007dde"
              "4ebc7e6bb3293a4643423b22ca4df3542b90c1779230bd777a9ee6d3d92fa0a1"
              "a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b741805ec4929ed6c9c6ce"
              "1ace5e9957afc7d7a0a94c767412aa1b6b0327310ba1");
    EXPECT_EQ(Hex(trust::MakeReply(keys, wire::Kind::RestoreAck, 0x55667788, mac, next, ackXml,
                                   ackTagNonce)),
              "4c5658530206007f5566778830323a34433a35363a30303a30303a303100d0d1"
              "d2d3d4d5d6d7d8d9dadbdcdddedff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff6214"
              "6b526843bdcfc64306d6f40c77673c6d756c7469636173745365617263685265"
              "73756c743e3c726573746f7265526573756c743e303c2f726573746f72655265"
              "73756c743e3c2f6d756c746963617374536561726368526573756c743e");
}

TEST_F(Example, CertificateHoldsOnlyUnderItsMakerAndForItsMac) {
    EXPECT_TRUE(trust::VerifyCertificate(cert, makerKey));
    trust::Key other = makerKey;
    other[0] ^= 1;
    EXPECT_FALSE(trust::VerifyCertificate(cert, other));
    for (std::size_t i = 0; i < trust::kCertSize; i += 7) {
        std::string bytes = trust::EncodeCertificate(cert);
        bytes[i] = static_cast<char>(bytes[i] ^ 0x20);
        trust::Certificate altered;
        const bool decoded = trust::DecodeCertificate(
            reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &altered);
        EXPECT_FALSE(decoded && trust::VerifyCertificate(altered, makerKey)) << "byte " << i;
    }
}

// Every byte of an answer is covered: header (round identifier, MAC),
// certificate, challenge, tag, document. A replay into another round fails.
TEST_F(Example, AnAnswerAlteredAnywhereOrReplayedInAnotherRoundFails) {
    const std::string dg = trust::MakeAnswer(keys, 0x11223344, cert, challenge, xml);
    trust::AnswerParts parts;
    wire::Message good = Decoded(dg);
    ASSERT_TRUE(trust::SplitAnswer(good, &parts));
    EXPECT_TRUE(trust::CheckAnswer(keys, good, parts));
    for (std::size_t i = 8; i < dg.size(); ++i) {
        std::string bad = dg;
        bad[i] = static_cast<char>(bad[i] ^ 0x01);
        wire::Message m;
        trust::AnswerParts p;
        if (!wire::Decode(reinterpret_cast<const unsigned char*>(bad.data()), bad.size(), &m))
            continue;
        EXPECT_FALSE(trust::SplitAnswer(m, &p) && trust::CheckAnswer(keys, m, p)) << "byte " << i;
    }
    trust::SessionKeys stranger;
    ASSERT_TRUE(trust::ToolSessionKeys(trust::NewKeyPair(), device.publicKey, &stranger));
    EXPECT_FALSE(trust::CheckAnswer(stranger, good, parts)) << "another tool session";
}

// A device draws a new tag nonce for every datagram, so a one-time key never
// authenticates two messages: the same answer sent twice carries two tags,
// and each checks. A tag moved onto the other datagram's nonce does not.
TEST_F(Example, EveryTaggedDatagramDrawsItsOwnNonce) {
    const std::string a = trust::MakeAnswer(keys, 0x11223344, cert, challenge, xml);
    const std::string b = trust::MakeAnswer(keys, 0x11223344, cert, challenge, xml);
    const std::size_t tagAt = wire::kHeaderSize + trust::kCertSize + trust::kChallengeSize;
    EXPECT_NE(a.substr(tagAt, trust::kTagNonceSize), b.substr(tagAt, trust::kTagNonceSize));
    for (const std::string& dg : {a, b}) {
        wire::Message m = Decoded(dg);
        trust::AnswerParts parts;
        ASSERT_TRUE(trust::SplitAnswer(m, &parts));
        EXPECT_TRUE(trust::CheckAnswer(keys, m, parts));
    }
    std::string mixed = a;
    mixed.replace(tagAt, trust::kTagNonceSize, b, tagAt, trust::kTagNonceSize);
    wire::Message m = Decoded(mixed);
    trust::AnswerParts parts;
    ASSERT_TRUE(trust::SplitAnswer(m, &parts));
    EXPECT_FALSE(trust::CheckAnswer(keys, m, parts));
    const std::string r1 = trust::MakeReply(keys, wire::Kind::RestoreAck, 1, mac, next, ackXml);
    const std::string r2 = trust::MakeReply(keys, wire::Kind::RestoreAck, 1, mac, next, ackXml);
    EXPECT_NE(r1, r2);
    trust::Challenge got{};
    std::string body;
    EXPECT_TRUE(trust::OpenReply(keys, Decoded(r1), &got, &body));
    EXPECT_TRUE(trust::OpenReply(keys, Decoded(r2), &got, &body));
}

TEST_F(Example, ASealedRequestOpensOnlyWithItsKeysAndHeader) {
    const std::string body = "<searchSetIP password=\"canary-7Q\"/>";
    const std::string dg = trust::SealRequest(keys, toolPair.publicKey, wire::Kind::SetConfig, 42,
                                              mac, challenge, body);
    EXPECT_EQ(dg.find("canary"), std::string::npos);
    trust::SessionKeys deviceSide;
    ASSERT_TRUE(trust::DeviceSessionKeys(device, toolPair.publicKey, &deviceSide));
    trust::Challenge got{};
    std::string opened;
    ASSERT_TRUE(trust::OpenRequest(deviceSide, Decoded(dg), &got, &opened));
    EXPECT_EQ(opened, body);
    EXPECT_EQ(got, challenge);
    struct {
        const char* what;
        std::size_t at;
    } cases[] = {{"kind", 5},      {"identifier", 9}, {"MAC", 14},
                 {"tool key", 31}, {"nonce", 70},     {"sealed text", 100}};
    for (const auto& c : cases) {
        std::string bad = dg;
        bad[c.at] = static_cast<char>(bad[c.at] ^ (c.at == 5 ? 0x06 : 0x01));
        wire::Message m;
        const bool decoded =
            wire::Decode(reinterpret_cast<const unsigned char*>(bad.data()), bad.size(), &m);
        EXPECT_FALSE(decoded && trust::OpenRequest(deviceSide, m, &got, &opened)) << c.what;
    }
    EXPECT_FALSE(trust::OpenRequest(keys, Decoded(dg), &got, &opened) &&
                 keys.toDevice != deviceSide.toDevice);
}

// The sealed payload is 88 bytes longer than its body: tool key (32), nonce
// (24), challenge (16) and the AEAD tag (16); the cipher text is n + 16 for
// a plaintext of n = 16 + body.
TEST_F(Example, ASealedPayloadIs88BytesMoreThanItsBody) {
    for (std::size_t body : {0u, 1u, 100u, 3978u}) {
        const std::string dg = trust::SealRequest(keys, toolPair.publicKey, wire::Kind::SetConfig,
                                                  1, mac, challenge, std::string(body, 'x'));
        EXPECT_EQ(dg.size(), wire::kHeaderSize + 88 + body) << body;
    }
    EXPECT_TRUE(trust::SealRequest(keys, toolPair.publicKey, wire::Kind::SetConfig, 1, mac,
                                   challenge, std::string(3979, 'x'))
                    .empty())
        << "past the datagram's limit";
}

TEST_F(Example, RepliesAreAuthenticUnderTheSessionOnly) {
    const std::string dg = trust::MakeReply(keys, wire::Kind::ConfigResult, 9, mac, next, xml);
    trust::Challenge got{};
    std::string text;
    ASSERT_TRUE(trust::OpenReply(keys, Decoded(dg), &got, &text));
    EXPECT_EQ(text, xml);
    EXPECT_EQ(got, next);
    std::string copied = dg;
    copied[11] = static_cast<char>(copied[11] ^ 0x03); // a result copied onto another request
    EXPECT_FALSE(trust::OpenReply(keys, Decoded(copied), &got, &text));
    std::string kind = dg;
    kind[5] = static_cast<char>(wire::Kind::RestoreAck); // passed off as an acknowledgement
    EXPECT_FALSE(trust::OpenReply(keys, Decoded(kind), &got, &text));
    // The MAC text may come in lower case: the tag covers the bytes as sent.
    trust::SessionKeys deviceSide;
    ASSERT_TRUE(trust::DeviceSessionKeys(device, toolPair.publicKey, &deviceSide));
    std::string lower = trust::MakeReply(deviceSide, wire::Kind::ConfigResult, 9, mac, next, xml);
    for (std::size_t i = 12; i < 29; ++i)
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
    EXPECT_FALSE(trust::OpenReply(keys, Decoded(lower), &got, &text))
        << "tagged over the upper-case header, received in lower case";
}

TEST_F(Example, ATagOverALowerCaseMacTextChecks) {
    std::string header =
        wire::EncodeHeader(wire::Kind::ConfigResult, 9, mac, trust::kReplyPrefix + xml.size());
    for (std::size_t i = 12; i < 29; ++i)
        header[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(header[i])));
    unsigned char tag[trust::kTagSize];
    const std::string_view nextBytes(reinterpret_cast<const char*>(next.data()), next.size());
    trust::ReplyTag(keys, header, nextBytes, xml, tag);
    const std::string dg = header + std::string(nextBytes) +
                           std::string(reinterpret_cast<const char*>(tag), sizeof tag) + xml;
    trust::Challenge got{};
    std::string text;
    EXPECT_TRUE(trust::OpenReply(keys, Decoded(dg), &got, &text));
}

TEST(SetupCode, TypedFormsAndRefusals) {
    struct {
        const char* typed;
        const char* canonical; // null: not a setup code
    } cases[] = {
        {"0J6H-B7H6-NWGR", "0J6H-B7H6-NWGR"},
        {"0j6hb7h6nwgr", "0J6H-B7H6-NWGR"},
        {" 0J6H B7H6 NWGR ", "0J6H-B7H6-NWGR"},
        {"oj6h-b7h6-nwgr", "0J6H-B7H6-NWGR"}, // O reads as 0
        {"0000-0000-005Z", "0000-0000-005Z"},
        {"OOOO-oooo-oo5z", "0000-0000-005Z"},
        {"ZZZZ-ZZZZ-ZZ3A", "ZZZZ-ZZZZ-ZZ3A"},
        {"P3TK-JZC1-RRQ2", "P3TK-JZC1-RRQ2"},
        {"P3TK-JZCI-RRQ2", "P3TK-JZC1-RRQ2"}, // I reads as 1
        {"P3TK-JZCl-RRQ2", "P3TK-JZC1-RRQ2"}, // l reads as 1
        {"0J6H-B7H6-NWGS", nullptr},          // check characters fail
        {"0J6H-B7H7-NWGR", nullptr},          // one character mistyped
        {"0J6H-H7B6-NWGR", nullptr},          // two characters swapped
        {"0J6H-B7H6-NWG", nullptr},           // too short
        {"0J6H-B7H6-NWGR0", nullptr},         // too long
        {"0J6H_B7H6_NWGR", nullptr},          // '_' is no separator
        {"0J6H-B7H6-NWUR", nullptr},          // U is not in the alphabet
        {"0J6H-B7H6-NWGR\n", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        std::string got = "untouched";
        EXPECT_EQ(trust::NormalizeSetupCode(c.typed, &got), c.canonical != nullptr) << c.typed;
        EXPECT_EQ(got, c.canonical ? c.canonical : "untouched") << c.typed;
    }
    EXPECT_EQ(trust::SetupCodeFromBits(0), "0000-0000-005Z");
    EXPECT_EQ(trust::SetupCodeFromBits((std::uint64_t{1} << 50) - 1), "ZZZZ-ZZZZ-ZZ3A");
    EXPECT_EQ(trust::SetupCodeFromBits(0x0123456789ABCULL), "0J6H-B7H6-NWGR");
    EXPECT_EQ(trust::SetupCodeFromBits(0x0123456789ABCULL | (std::uint64_t{7} << 50)),
              "0J6H-B7H6-NWGR")
        << "bits above the 50 are not used";
}

// A slip of one character is caught by the check characters before
// anything is sent, but for about one slip in a thousand (the device then
// counts the try as wrong). Measured over the slips of a hundred codes.
TEST(SetupCode, SlipsAreRefusedBeforeAnythingIsSent) {
    std::size_t slips = 0, passed = 0;
    std::string canonical;
    for (std::uint64_t i = 0; i < 100; ++i) {
        const std::string code = trust::SetupCodeFromBits(i * 0x9E3779B97F4A7ULL);
        for (std::size_t at = 0; at < code.size(); ++at) {
            for (const char* c = trust::kSetupCodeAlphabet; *c && code[at] != '-'; ++c) {
                std::string slip = code;
                slip[at] = *c;
                if (*c == code[at])
                    continue;
                ++slips;
                passed += trust::NormalizeSetupCode(slip, &canonical);
            }
        }
    }
    EXPECT_EQ(slips, 100u * 12 * 31);
    EXPECT_LT(passed * 200, slips) << passed << " of " << slips << " slips passed the check";
}

TEST_F(Example, ActivationProvesTheSetupCode) {
    const std::string code = "0J6H-B7H6-NWGR";
    const std::string header =
        wire::EncodeHeader(wire::Kind::Activate, 0x99AABBCC, mac, trust::kSealOverhead + 32 + 13);
    EXPECT_EQ(Hex(header), "4c5658530207008599aabbcc30323a34433a35363a30303a30303a303100");
    EXPECT_EQ(
        Hex(trust::ActivationProof(code, header, toolPair.publicKey, challenge, device.publicKey)),
        "a52c0ab0d998226c29aecebdb2f721e995a59be2500f2a270cbf7c0d34c5cd00");
    const std::string dg =
        trust::SealActivation(keys, toolPair.publicKey, device.publicKey, 0x99AABBCC, mac,
                              challenge, code, "Camera-Door-7", nonce);
    EXPECT_EQ(Hex(dg), "4c5658530207008599aabbcc30323a34433a35363a30303a30303a3031007dde"
                       "4ebc7e6bb3293a4643423b22ca4df3542b90c1779230bd777a9ee6d3d92fa0a1"
                       "a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b741805ec4929ed6c9c6ce"
                       "1ace5e9957afc22e375fe8c0abcf177f316e307ba68ea15eead44796372e13d4"
                       "fafc38a4663c55b19db2f26de3326a1dcfc7a45730eb593f59e1696c71acfe6b"
                       "76bcf3");
    trust::SessionKeys deviceSide;
    ASSERT_TRUE(trust::DeviceSessionKeys(device, toolPair.publicKey, &deviceSide));
    const wire::Message m = Decoded(dg);
    trust::Challenge got{};
    std::string body, password;
    ASSERT_TRUE(trust::OpenRequest(deviceSide, m, &got, &body));
    EXPECT_TRUE(
        trust::OpenActivation(code, m, toolPair.publicKey, got, device.publicKey, body, &password));
    EXPECT_EQ(password, "Camera-Door-7");
    // Anything but the very code, request and keys fails the proof.
    struct {
        const char* what;
        std::string code;
        trust::Key tool, deviceKey;
        trust::Challenge challenge;
        std::string body;
    } wrong[] = {
        {"another code", "P3TK-JZC1-RRQ2", toolPair.publicKey, device.publicKey, got, body},
        {"another tool", code, device.publicKey, device.publicKey, got, body},
        {"another device", code, toolPair.publicKey, toolPair.publicKey, got, body},
        {"another challenge", code, toolPair.publicKey, device.publicKey, next, body},
        {"a body without proof", code, toolPair.publicKey, device.publicKey, got, "Camera-Door-7"},
        {"no body", code, toolPair.publicKey, device.publicKey, got, ""},
    };
    for (const auto& w : wrong) {
        password = "untouched";
        EXPECT_FALSE(
            trust::OpenActivation(w.code, m, w.tool, w.challenge, w.deviceKey, w.body, &password))
            << w.what;
        EXPECT_EQ(password, "untouched") << w.what;
    }
    wire::Message other = m;
    other.header[11] ^= 1; // the proof covers the request identifier
    EXPECT_FALSE(trust::OpenActivation(code, other, toolPair.publicKey, got, device.publicKey, body,
                                       &password));
}

TEST_F(Example, IdentifyRequestCarriesTimeAndPassword) {
    const std::string body = trust::IdentifyBody(30, "Camera-Door-7");
    EXPECT_EQ(Hex(body), "001e43616d6572612d446f6f722d37");
    const std::string dg = trust::SealRequest(keys, toolPair.publicKey, wire::Kind::Identify,
                                              0x0A0B0C0D, mac, challenge, body, nonce);
    EXPECT_EQ(Hex(dg), "4c565853020800670a0b0c0d30323a34433a35363a30303a30303a3031007dde"
                       "4ebc7e6bb3293a4643423b22ca4df3542b90c1779230bd777a9ee6d3d92fa0a1"
                       "a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b741805ec4929ed6c9c6ce"
                       "1ace5e9957af671c7e8e5c3dfbc2139590bcf0a1b0acf6d651efaca6fefbf392"
                       "2335a7a9b0");
    trust::SessionKeys deviceSide;
    ASSERT_TRUE(trust::DeviceSessionKeys(device, toolPair.publicKey, &deviceSide));
    trust::Challenge got{};
    std::string opened, password;
    ASSERT_TRUE(trust::OpenRequest(deviceSide, Decoded(dg), &got, &opened));
    int seconds = 0;
    ASSERT_TRUE(trust::ReadIdentifyBody(opened, &seconds, &password));
    EXPECT_EQ(seconds, 30);
    EXPECT_EQ(password, "Camera-Door-7");
    std::string cut(1, '\0');
    EXPECT_FALSE(trust::ReadIdentifyBody(cut, &seconds, &password)) << "no room for the time";
}

TEST_F(Example, SnapshotTokenRequestAndItsHttpTarget) {
    trust::SnapshotToken token;
    for (std::size_t i = 0; i < token.size(); ++i)
        token[i] = static_cast<unsigned char>(0x10 + i);
    const std::string body = trust::SnapshotTokenBody(token, "Camera-Door-7");
    EXPECT_EQ(Hex(body), "101112131415161718191a1b1c1d1e1f202122232425262728292a2b2c2d2e2f"
                         "43616d6572612d446f6f722d37");
    const std::string dg = trust::SealRequest(keys, toolPair.publicKey, wire::Kind::SnapshotToken,
                                              0x1A2B3C4D, mac, challenge, body, nonce);
    EXPECT_EQ(Hex(dg), "4c565853020900851a2b3c4d30323a34433a35363a30303a30303a3031007dde"
                       "4ebc7e6bb3293a4643423b22ca4df3542b90c1779230bd777a9ee6d3d92fa0a1"
                       "a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b741805ec4929ed6c9c6ce"
                       "1ace5e9957af77132ffc254d9fb426c8e5c89e91997814da531533bc3b2e3742"
                       "acda204c851355b19db2f26de3326a1dcfc7a4889bcedfc129ed67adb5a8c72b"
                       "123dee");
    const std::string target = trust::SnapshotTarget(token);
    EXPECT_EQ(target, "/snapshot?token="
                      "101112131415161718191a1b1c1d1e1f202122232425262728292a2b2c2d2e2f");
    trust::SessionKeys deviceSide;
    ASSERT_TRUE(trust::DeviceSessionKeys(device, toolPair.publicKey, &deviceSide));
    trust::Challenge got{};
    std::string opened, password;
    ASSERT_TRUE(trust::OpenRequest(deviceSide, Decoded(dg), &got, &opened));
    trust::SnapshotToken read{};
    ASSERT_TRUE(trust::ReadSnapshotTokenBody(opened, &read, &password));
    EXPECT_EQ(read, token);
    EXPECT_EQ(password, "Camera-Door-7");
    EXPECT_FALSE(trust::ReadSnapshotTokenBody(opened.substr(0, 31), &read, &password));
    // The device's reading of the query: 64 hex digits exactly, either case.
    const std::string hex = target.substr(target.find('=') + 1);
    std::string upper = hex;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(trust::ReadSnapshotTokenText(upper, &read) && read == token);
    for (const std::string& bad : {hex.substr(1), hex + "0", "g" + hex.substr(1), std::string()})
        EXPECT_FALSE(trust::ReadSnapshotTokenText(bad, &read)) << bad;
}

TEST_F(Example, ConfigurationRequestCarriesTheName) {
    const std::string body = "<searchSetIP password=\"Camera-Door-7\" ipAddr=\"10.77.0.64\" "
                             "maskAddr=\"255.255.255.0\" route=\"10.77.0.1\" "
                             "devName=\"Gate-North-03\"/>";
    const std::string dg = trust::SealRequest(keys, toolPair.publicKey, wire::Kind::SetConfig,
                                              0x31323334, mac, challenge, body, nonce);
    EXPECT_EQ(Hex(dg), "4c565853020300d63132333430323a34433a35363a30303a30303a3031007dde"
                       "4ebc7e6bb3293a4643423b22ca4df3542b90c1779230bd777a9ee6d3d92fa0a1"
                       "a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b741805ec4929ed6c9c6ce"
                       "1ace5e9957af5b71588e433be1f05ba5b683a2fce614478c1e4473a43f4a7e06"
                       "e3836d4cef5379a2dde0a22ca7064416d998ae11f6558300feac185a4b866296"
                       "df573fabf775444039fa1c074b068208295ac6323e7c93a9c410b9933974f405"
                       "f3f16aba749f325f8c4f3e869c7c7886f3ad3e80bae807b6f82f45457a62555a"
                       "561fe63f862186d3369f7b644e06b0cd37d1f3f1");
}

TEST_F(Example, ConfigurationRequestCarriesTheClock) {
    const std::string body = "<searchSetIP password=\"Camera-Door-7\" ipAddr=\"10.77.0.64\" "
                             "maskAddr=\"255.255.255.0\" route=\"10.77.0.1\" "
                             "ntpServer=\"10.77.0.1\" timeZone=\"CET-1CEST,M3.5.0,M10.5.0/3\" "
                             "time=\"1796875200\"/>";
    const std::string dg = trust::SealRequest(keys, toolPair.publicKey, wire::Kind::SetConfig,
                                              0x35363738, mac, challenge, body, nonce);
    EXPECT_EQ(Hex(dg), "4c5658530203010c3536373830323a34433a35363a30303a30303a3031007dde"
                       "4ebc7e6bb3293a4643423b22ca4df3542b90c1779230bd777a9ee6d3d92fa0a1"
                       "a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b741805ec4929ed6c9c6ce"
                       "1ace5e9957af5b71588e433be1f05ba5b683a2fce614478c1e4473a43f4a7e06"
                       "e3836d4cef5379a2dde0a22ca7064416d998ae11f6558300feac185a4b866296"
                       "df573fabf775444039fa1c074b068208295ac6323e7c93a9c410b9933974f405"
                       "f3f16aba749f325f8c4f3e8c8d7a6582ecbe66d0c0ab42e3fb561d193e244948"
                       "4549a06ca0c6bc45f28349c6f04c8e75aca6ab5d709ef705c1ed96dc3a7aba3b"
                       "c3289c7eb3ad09ac8a923f275bcd3053a4189293691a1949081c34772292cbce"
                       "1772ffe47588bd218dc5");
}

TEST(PasswordRule, StrengthVerdicts) {
    struct {
        const char* password;
        trust::PasswordVerdict verdict;
    } cases[] = {
        {"Camera-Door-7", trust::PASSWORD_OK},
        {"abcdefg1", trust::PASSWORD_OK},
        {"abcdef1", trust::PASSWORD_LENGTH},
        {"abcdefgh", trust::PASSWORD_CLASSES},
        {"12345678", trust::PASSWORD_CLASSES},
        {"02:4c:56:00:00:01", trust::PASSWORD_IS_MAC},
        {"024C56000001", trust::PASSWORD_IS_MAC},
        {"02-4c-56-00-00-01", trust::PASSWORD_IS_MAC}, // the MAC with dashes too
        {"02.4C.56.00.00.01", trust::PASSWORD_OK},     // no form people write a MAC in
        {"IPC4M-B28-1", trust::PASSWORD_IS_NAME},
        {"ipc4m-b28-1", trust::PASSWORD_IS_NAME},
        {"Камера-Дверь-7", trust::PASSWORD_OK},     // one code point per letter, "other"
        {"пароль-камеры", trust::PASSWORD_CLASSES}, // letters beyond ASCII are "other"
        {"пароль7", trust::PASSWORD_LENGTH},        // characters, not bytes, are counted
        {"密码密码密码密码密码密码密码密码密码密码密码密码密码密码密码密码密码密码密码密码密码密码"
         "1",
         trust::PASSWORD_OK},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trust::CheckPasswordStrength(c.password, "02:4C:56:00:00:01", "IPC4M-B28-1"),
                  c.verdict)
            << c.password;
    EXPECT_EQ(trust::CheckPasswordStrength(std::string(65, 'a') + "1", "", ""),
              trust::PASSWORD_LENGTH);
    // Names compare with ASCII letters folded and other letters as they are.
    EXPECT_EQ(trust::CheckPasswordStrength("камера-ворот-1", "", "камера-ворот-1"),
              trust::PASSWORD_IS_NAME);
    EXPECT_EQ(trust::CheckPasswordStrength("КАМЕРА-ВОРОТ-1", "", "камера-ворот-1"),
              trust::PASSWORD_OK);
}

TEST(TrustAnchors, OnlyWellFormedPublicKeyFilesCount) {
    const std::string dir = testing::TempDir() + "anchors-" + std::to_string(getpid());
    ASSERT_EQ(system(("mkdir -p " + dir).c_str()), 0);
    std::ofstream(dir + "/maker.pub") << "  " << std::string(64, 'a') << "\n";
    std::ofstream(dir + "/copy.pub") << std::string(64, 'a') << "\n";
    std::ofstream(dir + "/short.pub") << std::string(62, 'a') << "\n";
    std::ofstream(dir + "/maker.seed") << std::string(64, 'b') << "\n";
    std::vector<trust::Key> anchors;
    trust::LoadAnchors(dir, &anchors);
    ASSERT_EQ(anchors.size(), 1u);
    EXPECT_EQ(anchors[0][0], 0xAA);
    trust::LoadAnchors(dir + "/missing", &anchors);
    EXPECT_EQ(anchors.size(), 1u);
    ASSERT_EQ(system(("rm -rf " + dir).c_str()), 0);
}

// The table of identities: a second key for a MAC is a conflict that stops
// secrets; a certified key displaces an uncertified one; junk is budgeted.
class Peers : public Example {
protected:
    // An answer to `table`'s probe from a device with `pair`, certified or not.
    std::string AnswerFrom(search::PeerTable& table, const trust::KeyPair& pair, bool certified,
                           std::uint32_t round = 1) {
        trust::SessionKeys k;
        EXPECT_TRUE(trust::DeviceSessionKeys(pair, table.ToolKey(), &k));
        const trust::Certificate c = certified
                                         ? trust::SignCertificate(mac, pair.publicKey, makerSecret)
                                         : trust::Certificate{mac, pair.publicKey, {}};
        return trust::MakeAnswer(k, round, c, challenge, xml);
    }
    static bool Admitted(search::PeerTable& table, const wire::Message& m,
                         std::chrono::steady_clock::time_point at) {
        return table.OnAnswer(m, at) != search::PeerTable::Verdict::Dropped;
    }
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
};

TEST_F(Peers, ConflictStopsSecretsAndACertifiedKeyWins) {
    search::PeerTable table({makerKey});
    const trust::KeyPair spoofer = trust::NewKeyPair();
    ASSERT_TRUE(Admitted(table, Decoded(AnswerFrom(table, spoofer, false)), now));
    EXPECT_EQ(table.State(mac, nullptr), search::Identity::Unverified);
    EXPECT_FALSE(table.MaySendSecret(mac));
    ASSERT_EQ(table.OnAnswer(Decoded(AnswerFrom(table, device, true)), now),
              search::PeerTable::Verdict::Replaced);
    std::string fp;
    EXPECT_EQ(table.State(mac, &fp), search::Identity::Conflict);
    EXPECT_EQ(fp, trust::Fingerprint(device.publicKey)) << "the certified key is held";
    EXPECT_FALSE(table.MaySendSecret(mac));
    EXPECT_FALSE(Admitted(table, Decoded(AnswerFrom(table, spoofer, false)), now));
    EXPECT_FALSE(table.Confirm(mac, trust::Fingerprint(spoofer.publicKey)));
    EXPECT_TRUE(table.Seal(wire::Kind::SetConfig, 5, mac, "x", now).size() > 0)
        << "sealing is the caller's to refuse; MaySendSecret says no";
}

TEST_F(Peers, ChallengesAreUsedOnceAndAgeOut) {
    search::PeerTable table({makerKey});
    ASSERT_TRUE(Admitted(table, Decoded(AnswerFrom(table, device, true)), now));
    EXPECT_TRUE(table.MaySendSecret(mac));
    EXPECT_FALSE(table.Seal(wire::Kind::SetConfig, 5, mac, "x", now).empty());
    EXPECT_TRUE(table.Seal(wire::Kind::SetConfig, 6, mac, "x", now).empty()) << "used up";
    ASSERT_TRUE(Admitted(table, Decoded(AnswerFrom(table, device, true)), now));
    EXPECT_TRUE(
        table.Seal(wire::Kind::SetConfig, 7, mac, "x", now + std::chrono::seconds(61)).empty());
}

// Junk spends nothing real devices need: an answer whose tag fails costs at
// most a key agreement, bounded per source address and round, and never a
// place of the round's budget; a second key for a held MAC is flagged
// whatever any budget says.
TEST_F(Peers, JunkSpendsNoPlaceAndASecondKeyIsAlwaysFlagged) {
    search::PeerTable table({makerKey});
    const std::uint32_t junkSource = 0x0A4D0009, realSource = 0x0A4D0001;
    auto from = [](wire::Message m, std::uint32_t source) {
        m.source = source;
        return m;
    };
    auto junk = [&](std::size_t i) {
        mac[3] = 0x77;
        mac[4] = static_cast<unsigned char>(i >> 8);
        mac[5] = static_cast<unsigned char>(i);
        std::string dg = AnswerFrom(table, trust::NewKeyPair(), false);
        dg[dg.size() - 1] ^= 1; // the tag no longer checks
        return from(Decoded(dg), junkSource);
    };
    for (std::size_t i = 0; i < search::kNewUnverifiedPerRound + 100; ++i)
        ASSERT_FALSE(Admitted(table, junk(i), now));
    mac = {0x02, 0x4C, 0x56, 0, 0, 1};
    const trust::KeyPair real = trust::NewKeyPair();
    ASSERT_TRUE(Admitted(table, from(Decoded(AnswerFrom(table, real, false)), realSource), now))
        << "the round's budget is untouched by junk";
    mac[5] = 2;
    EXPECT_FALSE(Admitted(
        table, from(Decoded(AnswerFrom(table, trust::NewKeyPair(), false)), junkSource), now))
        << "even an authentic answer from the junk's source: its agreements are spent";
    EXPECT_TRUE(Admitted(table, from(Decoded(AnswerFrom(table, device, true)), junkSource), now))
        << "a certified device is never turned away by a budget";
    table.NewRound();
    mac[5] = 3;
    EXPECT_TRUE(Admitted(
        table, from(Decoded(AnswerFrom(table, trust::NewKeyPair(), false)), junkSource), now))
        << "a new round, new agreements";
    // Another key for the real device's MAC, from the spent source, its tag broken.
    table.NewRound();
    for (std::size_t i = 0; i < search::kAgreementsPerSource; ++i)
        (void)Admitted(table, junk(i), now);
    mac = {0x02, 0x4C, 0x56, 0, 0, 1};
    std::string second = AnswerFrom(table, trust::NewKeyPair(), false);
    second[second.size() - 1] ^= 1;
    EXPECT_FALSE(Admitted(table, from(Decoded(second), junkSource), now));
    EXPECT_EQ(table.State(mac, nullptr), search::Identity::Conflict);
    EXPECT_EQ(*table.KeyOf(mac), real.publicKey) << "the first key is kept, flagged";
}

// Admissions of new uncertified keys are counted per round once their tag
// checked; their agreements per source address.
TEST_F(Peers, UncertifiedNewcomersAreBudgetedPerRoundAndSource) {
    search::PeerTable table({makerKey});
    std::size_t admitted = 0;
    const std::size_t sources = search::kNewUnverifiedPerRound / search::kAgreementsPerSource + 1;
    for (std::size_t i = 0; i < search::kNewUnverifiedPerRound + 10; ++i) {
        mac[4] = static_cast<unsigned char>(i >> 8);
        mac[5] = static_cast<unsigned char>(i);
        wire::Message m = Decoded(AnswerFrom(table, trust::NewKeyPair(), false));
        m.source = static_cast<std::uint32_t>(i % sources);
        admitted += Admitted(table, m, now);
    }
    EXPECT_EQ(admitted, search::kNewUnverifiedPerRound);
    mac[5] ^= 0x55;
    EXPECT_TRUE(Admitted(table, Decoded(AnswerFrom(table, device, true)), now))
        << "a certified device is never turned away by the budget";
}

} // namespace
