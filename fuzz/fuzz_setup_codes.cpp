// Fuzzes the setup codes reader with arbitrary text. Checks what it
// promises: entries only when it succeeds, within its caps, each a
// canonical MAC and code given once, in rising line order; a refusal names
// a line within the text and never the text of a code.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "SetupCodes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<commission::SetupCodeEntry> codes;
    commission::SetupCodesError error;
    if (!commission::ReadSetupCodes(text, &codes, &error)) {
        if (!codes.empty() || error.fault == commission::SetupCodesFault::None ||
            error.line > size + 1)
            abort();
        return 0;
    }
    if (codes.size() > commission::kMaxSetupCodes)
        abort();
    std::set<std::string> macs;
    size_t line = 0;
    for (const commission::SetupCodeEntry& e : codes) {
        std::string again;
        if (e.line <= line || !macs.insert(e.mac).second || e.mac.size() != 17 ||
            commission::CheckSetupCode(e.code, &again) != commission::SetupCodeProblem::None ||
            again != e.code)
            abort();
        line = e.line;
    }
    return 0;
}
