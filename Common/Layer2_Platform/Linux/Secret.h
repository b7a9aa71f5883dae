// Secrets in this process's memory (passwords, setup codes, generated
// passwords): every copy is wiped once it has been used, so that a later look
// at the memory (a core file, swap, another bug) finds none, and the process
// cannot be dumped or attached to while it holds one.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

// Overwrites every byte the text's buffer holds, up to its capacity (so that
// what an earlier, longer value left behind the end goes too; the compiler
// may not leave that out), and empties it. The buffer stays the string's.
void WipeSecret(std::string* secret);

// Keeps the process non-dumpable (prctl PR_SET_DUMPABLE 0: no core file, no
// ptrace attach and no /proc/PID/mem for other processes of the same user)
// while at least one holder exists anywhere in the process. The first holder
// notes the setting it found; the last one to go puts it back. Thread-safe.
class NonDumpableHold {
public:
    NonDumpableHold();
    ~NonDumpableHold();
    NonDumpableHold(const NonDumpableHold&);
    NonDumpableHold& operator=(const NonDumpableHold&) = default;
};

// The number of NonDumpableHold objects alive now (for tests and checks).
int NonDumpableHolders();

// Wipes the text when the scope ends, on every way out of it, and keeps the
// process non-dumpable meanwhile.
class SecretGuard {
public:
    explicit SecretGuard(std::string* secret) : m_secret(secret) {}
    ~SecretGuard() { WipeSecret(m_secret); }
    SecretGuard(const SecretGuard&) = delete;
    SecretGuard& operator=(const SecretGuard&) = delete;

private:
    std::string* m_secret;
    NonDumpableHold m_hold;
};

// One copy of a secret shared by whoever holds the pointer (a request that
// runs on another thread and the function objects that carry it there),
// wiped when the last holder lets go; the process stays non-dumpable until
// then. Copying the pointer copies no byte of the secret, which copying a
// captured string would.
using SharedSecret = std::shared_ptr<std::string>;
SharedSecret MakeSharedSecret(const char* bytes, size_t size);
