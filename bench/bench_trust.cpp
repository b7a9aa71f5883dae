// What checking one device answer costs the tool once the device's session
// keys are agreed: the tag check of a whole answer datagram, against the
// HMAC-SHA-512-256 over the same bytes (the peer: what a tag cost before the
// one-time authenticator), at the sizes camera answers have.
#include "TrustWire.h"

#include <benchmark/benchmark.h>
#include <sodium.h>

#include <string>

namespace {

using namespace lorvex;

struct Answer {
    trust::SessionKeys keys;
    wire::Message msg;
    trust::AnswerParts parts;
};

Answer MakeAnswerOf(std::size_t xmlBytes) {
    trust::InitCrypto();
    Answer a;
    const trust::KeyPair tool = trust::NewKeyPair(), device = trust::NewKeyPair();
    trust::ToolSessionKeys(tool, device.publicKey, &a.keys);
    trust::Certificate cert;
    cert.mac = {0x02, 0x4C, 0x56, 0, 0, 1};
    cert.deviceKey = device.publicKey;
    const std::string xml =
        "<multicastSearchResult>" + std::string(xmlBytes, 'x') + "</multicastSearchResult>";
    const std::string dg = trust::MakeAnswer(a.keys, 7, cert, {}, xml);
    wire::Decode(reinterpret_cast<const unsigned char*>(dg.data()), dg.size(), &a.msg);
    trust::SplitAnswer(a.msg, &a.parts);
    return a;
}

void BM_CheckAnswer(benchmark::State& state) {
    const Answer a = MakeAnswerOf(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(trust::CheckAnswer(a.keys, a.msg, a.parts));
    state.counters["datagram_bytes"] = double(wire::kHeaderSize + a.msg.payload.size());
}

// The peer: HMAC-SHA-512-256 under the same key over header and payload.
void BM_CheckAnswerWithHmac(benchmark::State& state) {
    const Answer a = MakeAnswerOf(static_cast<std::size_t>(state.range(0)));
    const std::string header =
        wire::EncodeHeader(a.msg.kind, a.msg.requestId, a.msg.mac, a.msg.payload.size());
    unsigned char tag[crypto_auth_hmacsha512256_BYTES];
    for (auto _ : state) {
        crypto_auth_hmacsha512256_state st;
        crypto_auth_hmacsha512256_init(&st, a.keys.toTool.data(), a.keys.toTool.size());
        crypto_auth_hmacsha512256_update(&st, reinterpret_cast<const unsigned char*>(header.data()),
                                         header.size());
        crypto_auth_hmacsha512256_update(
            &st, reinterpret_cast<const unsigned char*>(a.msg.payload.data()),
            a.msg.payload.size());
        crypto_auth_hmacsha512256_final(&st, tag);
        benchmark::DoNotOptimize(sodium_memcmp(tag, a.parts.tag, sizeof tag));
    }
}

BENCHMARK(BM_CheckAnswer)->Arg(900)->Arg(1900)->Arg(2900);
BENCHMARK(BM_CheckAnswerWithHmac)->Arg(900)->Arg(1900)->Arg(2900);

} // namespace

BENCHMARK_MAIN();
