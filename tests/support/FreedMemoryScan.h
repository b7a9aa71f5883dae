// Counts the blocks this program frees through operator delete, while a
// scan is armed, that still hold a given text: a secret some buffer took
// along when it was released unwiped. Defines the program's operator new
// and delete, so a test program includes this header in one file only.
#pragma once

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace test_support {

inline std::atomic<bool> g_scanArmed{false};
inline std::atomic<int> g_scanFound{0};
inline std::string g_scanText;

// Armed from construction to destruction, one at a time.
class FreedMemoryScan {
public:
    explicit FreedMemoryScan(const std::string& text) {
        g_scanText = text;
        g_scanFound = 0;
        g_scanArmed = true;
    }
    ~FreedMemoryScan() { g_scanArmed = false; }
    int Found() const { return g_scanFound.load(); }
};

} // namespace test_support

// Not inlined, so that no caller sees free() meet a block operator new made.
__attribute__((noinline)) void* operator new(std::size_t size) {
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
__attribute__((noinline)) void operator delete(void* p) noexcept {
    using namespace test_support;
    const std::string& text = g_scanText;
    if (p != nullptr && g_scanArmed && !text.empty() &&
        memmem(p, malloc_usable_size(p), text.data(), text.size()) != nullptr)
        ++g_scanFound;
    std::free(p);
}
void operator delete[](void* p) noexcept { ::operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { ::operator delete(p); }
