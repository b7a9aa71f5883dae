// Passwords in this process's memory: every copy is wiped once it has been
// used, so that a later look at the memory (a core file, swap, another bug)
// finds no password.
#pragma once

#include <memory>
#include <string>

// Overwrites the text's bytes (the compiler may not leave that out) and
// empties it.
void WipeSecret(std::string* secret);

// Wipes the text when the scope ends, on every way out of it.
class SecretGuard {
public:
    explicit SecretGuard(std::string* secret) : m_secret(secret) {}
    ~SecretGuard() { WipeSecret(m_secret); }
    SecretGuard(const SecretGuard&) = delete;
    SecretGuard& operator=(const SecretGuard&) = delete;

private:
    std::string* m_secret;
};

// One copy of a secret shared by whoever holds the pointer (a request that
// runs on another thread and the function objects that carry it there),
// wiped when the last holder lets go. Copying the pointer copies no byte of
// the secret, which copying a captured string would.
using SharedSecret = std::shared_ptr<std::string>;
SharedSecret MakeSharedSecret(const char* bytes, size_t size);
