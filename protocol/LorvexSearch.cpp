#include "LorvexSearch.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include <sodium.h>

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
    return mac && TheEngine().Restore(ToMac(mac)) == 0 ? 1 : 0;
}

int LORVEX_TRUST_Identity(const unsigned char mac[6], char* fingerprint) {
    if (!mac)
        return LORVEX_IDENTITY_UNKNOWN;
    std::string fp;
    const int state = static_cast<int>(TheEngine().IdentityOf(ToMac(mac), &fp));
    if (fingerprint && state != LORVEX_IDENTITY_UNKNOWN)
        std::snprintf(fingerprint, LORVEX_FINGERPRINT_BYTES, "%s", fp.c_str());
    return state;
}

int LORVEX_TRUST_ConfirmKey(const unsigned char mac[6], const char* fingerprint) {
    return mac && TheEngine().Confirm(ToMac(mac), fingerprint) ? 1 : 0;
}

void LORVEX_TRUST_Activate(const unsigned char mac[6], const char* password,
                           const char* setupCode) {
    if (mac)
        TheEngine().Activate(ToMac(mac), password, setupCode);
}

void LORVEX_TRUST_Identify(const unsigned char mac[6], const char* password, int seconds) {
    if (mac)
        TheEngine().Identify(ToMac(mac), password, seconds);
}

void LORVEX_TRUST_SnapshotToken(const unsigned char mac[6], const char* password,
                                const unsigned char token[LORVEX_SNAPSHOT_TOKEN_BYTES]) {
    if (!mac || !token)
        return;
    lorvex::trust::SnapshotToken t;
    std::memcpy(t.data(), token, t.size());
    TheEngine().GrantSnapshot(ToMac(mac), password, t);
    sodium_memzero(t.data(), t.size());
}

int LORVEX_TRUST_Restore(const unsigned char mac[6]) {
    return mac ? TheEngine().Restore(ToMac(mac)) : -1;
}

} // extern "C"

static_assert(LORVEX_SEARCH_MAX_CONFIG_BYTES ==
                  lorvex::wire::kMaxPayload - lorvex::trust::kSealOverhead,
              "the public limit is what a sealed request leaves for the document");
static_assert(LORVEX_SNAPSHOT_TOKEN_BYTES == lorvex::trust::kSnapshotTokenSize &&
                  LORVEX_SNAPSHOT_TOKEN_SECONDS == lorvex::trust::kSnapshotTokenSeconds,
              "the public token is the protocol's");
static_assert(LORVEX_IDENTIFY_MAX_SECONDS == lorvex::trust::kIdentifyMaxSeconds,
              "the public bound is the protocol's");
static_assert(static_cast<int>(lorvex::search::Identity::Conflict) == LORVEX_IDENTITY_CONFLICT,
              "identity states as published");
