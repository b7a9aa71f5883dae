#include "LorvexSearchRecorder.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "LorvexSearch.h"

namespace {

struct State {
    std::mutex mutex;
    std::vector<std::string> calls;
    LORVEX_SEARCH_CALLBACK callback = nullptr;
    void* user = nullptr;
    int restoreResult = 1;
    int identity = LORVEX_IDENTITY_VERIFIED;
    int trustRestore = 0;
};

State& Get() {
    static State state;
    return state;
}

void Record(std::string call) {
    std::lock_guard<std::mutex> hold(Get().mutex);
    Get().calls.push_back(std::move(call));
}

std::string MacText(const unsigned char mac[6]) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

} // namespace

namespace recorder {

void Reset() {
    std::lock_guard<std::mutex> hold(Get().mutex);
    Get().calls.clear();
    Get().callback = nullptr;
    Get().user = nullptr;
    Get().restoreResult = 1;
    Get().identity = LORVEX_IDENTITY_VERIFIED;
    Get().trustRestore = 0;
}

void SetIdentity(int state) {
    std::lock_guard<std::mutex> hold(Get().mutex);
    Get().identity = state;
}

void SetTrustRestoreResult(int result) {
    std::lock_guard<std::mutex> hold(Get().mutex);
    Get().trustRestore = result;
}

std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> hold(Get().mutex);
    return Get().calls;
}

bool Inject(const char* mac, int code, const char* xml) {
    LORVEX_SEARCH_CALLBACK callback;
    void* user;
    {
        std::lock_guard<std::mutex> hold(Get().mutex);
        callback = Get().callback;
        user = Get().user;
    }
    if (callback == nullptr)
        return false;
    std::string buffer = mac != nullptr ? mac : "";
    callback(mac != nullptr ? &buffer[0] : nullptr, code, xml, user);
    return true;
}

void* User() {
    std::lock_guard<std::mutex> hold(Get().mutex);
    return Get().user;
}

void SetRestoreResult(int result) {
    std::lock_guard<std::mutex> hold(Get().mutex);
    Get().restoreResult = result;
}

} // namespace recorder

extern "C" {

void LORVEX_SEARCH_Initial(LORVEX_SEARCH_CALLBACK callback, void* user, int batch) {
    {
        std::lock_guard<std::mutex> hold(Get().mutex);
        Get().callback = callback;
        Get().user = user;
    }
    Record("Initial(" + std::to_string(batch) + ")");
}

void LORVEX_SEARCH_StartAuto(int seconds) { Record("StartAuto(" + std::to_string(seconds) + ")"); }

void LORVEX_SEARCH_StopAuto(void) { Record("StopAuto"); }

void LORVEX_SEARCH_Manual(void) { Record("Manual"); }

void LORVEX_SEARCH_Quit(void) {
    Record("Quit");
    std::lock_guard<std::mutex> hold(Get().mutex);
    Get().callback = nullptr;
}

void LORVEX_SET_CONFIG(const unsigned char mac[6], const char* xml) {
    // Built in one buffer of its final size and moved into the record, so
    // that recording frees no copy of the request's password.
    const char* text = xml != nullptr ? xml : "";
    std::string call;
    call.reserve(30 + std::strlen(text));
    call.append("SetConfig(").append(MacText(mac)).append(",").append(text).append(")");
    Record(std::move(call));
}

int LORVEX_SET_DevRestoreDefault(const unsigned char mac[6]) {
    Record("Restore(" + MacText(mac) + ")");
    std::lock_guard<std::mutex> hold(Get().mutex);
    return Get().restoreResult;
}

int LORVEX_TRUST_Identity(const unsigned char mac[6], char* fingerprint) {
    (void)mac; // asked before every secret; not recorded, so call lists stay as they were
    if (fingerprint)
        std::snprintf(fingerprint, LORVEX_FINGERPRINT_BYTES, "%s",
                      "AB12:CD34:EF56:0000:1111:2222:3333:4444");
    std::lock_guard<std::mutex> hold(Get().mutex);
    return Get().identity;
}

int LORVEX_TRUST_ConfirmKey(const unsigned char mac[6], const char* fingerprint) {
    Record("Confirm(" + MacText(mac) + "," + (fingerprint ? fingerprint : "") + ")");
    std::lock_guard<std::mutex> hold(Get().mutex);
    if (Get().identity != LORVEX_IDENTITY_UNVERIFIED)
        return 0;
    Get().identity = LORVEX_IDENTITY_CONFIRMED;
    return 1;
}

void LORVEX_TRUST_Activate(const unsigned char mac[6], const char* password,
                           const char* setupCode) {
    Record("Activate(" + MacText(mac) + "," + (password ? password : "") + "," +
           (setupCode ? setupCode : "") + ")");
}

void LORVEX_TRUST_Identify(const unsigned char mac[6], const char* password, int seconds) {
    Record("Identify(" + MacText(mac) + "," + (password ? password : "") + "," +
           std::to_string(seconds) + ")");
}

void LORVEX_TRUST_SnapshotToken(const unsigned char mac[6], const char* password,
                                const unsigned char*) {
    Record("SnapshotToken(" + MacText(mac) + "," + (password ? password : "") + ")");
}

int LORVEX_TRUST_Restore(const unsigned char mac[6]) {
    Record("TrustRestore(" + MacText(mac) + ")");
    std::lock_guard<std::mutex> hold(Get().mutex);
    return Get().trustRestore;
}

} // extern "C"
