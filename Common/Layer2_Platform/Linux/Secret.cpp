#include "Secret.h"

#include <cstring>

void WipeSecret(std::string* secret) {
    if (!secret->empty())
        explicit_bzero(&(*secret)[0], secret->size());
    secret->clear();
}

SharedSecret MakeSharedSecret(const char* bytes, size_t size) {
    return SharedSecret(new std::string(bytes, size), [](std::string* s) {
        WipeSecret(s);
        delete s;
    });
}
