// Arbitrary bytes as a datagram reaching the library: answers go through
// the table of identities (certificate, key agreement within the budgets of
// their sender, tag, a second key's flag), results and
// acknowledgements through the reply check. Nothing may crash, and an
// answer's document is only ever read behind its certificate and tag.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "SearchPeers.h"
#include "SearchWire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = lorvex::trust::InitCrypto();
    static lorvex::search::PeerTable table({});
    lorvex::wire::Message msg;
    if (!ready || !lorvex::wire::Decode(data, size, &msg))
        return 0;
    msg.source = static_cast<std::uint32_t>(size % 3); // a few senders, each with its budget
    const auto now = std::chrono::steady_clock::now();
    if (msg.kind == lorvex::wire::Kind::Answer) {
        if (table.OnAnswer(msg, now) != lorvex::search::PeerTable::Verdict::Dropped &&
            msg.payload.size() <= lorvex::trust::kAnswerPrefix)
            __builtin_trap();
    } else {
        std::string xml;
        (void)table.OpenReply(msg, now, &xml);
    }
    if (size % 64 == 0) {
        table.NewRound();
        table.ForgetUnverified();
    }
    return 0;
}
