#include "Secret.h"

#include <sys/prctl.h>

#include <cstring>
#include <mutex>

namespace {

struct DumpableState {
    std::mutex lock;
    int holders = 0;
    int before = 1; // the setting the first holder found
};

DumpableState& State() {
    static DumpableState* state = new DumpableState; // never destroyed: holders may outlive statics
    return *state;
}

void Acquire() {
    DumpableState& s = State();
    const std::lock_guard<std::mutex> hold(s.lock);
    if (s.holders++ == 0) {
        const int found = prctl(PR_GET_DUMPABLE, 0, 0, 0, 0);
        s.before = found < 0 ? 1 : found;
        prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    }
}

void Release() {
    DumpableState& s = State();
    const std::lock_guard<std::mutex> hold(s.lock);
    // Only 0 and 1 may be set; a process that found another value (2, the
    // suid setting) stays non-dumpable.
    if (--s.holders == 0 && s.before == 1)
        prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
}

// The secret and the hold that keeps the process non-dumpable live and go
// together.
struct HeldSecret {
    std::string text;
    NonDumpableHold hold;
    ~HeldSecret() { WipeSecret(&text); }
};

} // namespace

void WipeSecret(std::string* secret) {
    // Growing to the capacity neither moves the buffer nor leaves a byte
    // behind the end unwiped.
    secret->resize(secret->capacity());
    if (!secret->empty())
        explicit_bzero(&(*secret)[0], secret->size());
    secret->clear();
}

NonDumpableHold::NonDumpableHold() { Acquire(); }

NonDumpableHold::NonDumpableHold(const NonDumpableHold&) { Acquire(); }

NonDumpableHold::~NonDumpableHold() { Release(); }

int NonDumpableHolders() {
    DumpableState& s = State();
    const std::lock_guard<std::mutex> hold(s.lock);
    return s.holders;
}

SharedSecret MakeSharedSecret(const char* bytes, size_t size) {
    auto held = std::make_shared<HeldSecret>();
    held->text.assign(bytes, size);
    return SharedSecret(held, &held->text);
}
