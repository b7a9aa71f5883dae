#include "LorvexSearch.h"

#include <algorithm>

#include "SearchEngine.h"

namespace {

// One engine per process, as the interface has no handle.
lorvex::search::Engine& TheEngine() {
    static lorvex::search::Engine engine;
    return engine;
}

lorvex::wire::MacBytes ToMac(const unsigned char mac[6]) {
    lorvex::wire::MacBytes out{};
    std::copy(mac, mac + 6, out.begin());
    return out;
}

} // namespace

extern "C" {

void LORVEX_SEARCH_Initial(LORVEX_SEARCH_CALLBACK callback, void* user, int batch) {
    TheEngine().Start(callback, user, batch);
}

void LORVEX_SEARCH_StartAuto(int seconds) { TheEngine().StartAuto(seconds); }

void LORVEX_SEARCH_StopAuto(void) { TheEngine().StopAuto(); }

void LORVEX_SEARCH_Manual(void) { TheEngine().Manual(); }

void LORVEX_SEARCH_Quit(void) { TheEngine().Stop(); }

void LORVEX_SET_CONFIG(const unsigned char mac[6], const char* xml) {
    if (mac)
        TheEngine().SetConfig(ToMac(mac), xml);
}

int LORVEX_SET_DevRestoreDefault(const unsigned char mac[6]) {
    return mac && TheEngine().Restore(ToMac(mac)) ? 1 : 0;
}

} // extern "C"

static_assert(LORVEX_SEARCH_MAX_CONFIG_BYTES == lorvex::wire::kMaxPayload,
              "the public limit is the wire's payload limit");
