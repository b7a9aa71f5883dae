// Looks into every block of memory this program frees through operator
// delete while a scan is armed, and counts the blocks that still hold a
// given text: a secret that a buffer took along when it was released
// unwiped. Defines the program's operator new and delete, so a test
// program includes this header in exactly one of its files.
#pragma once

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace test_support {

namespace freed_scan {
inline std::atomic<bool> armed{false};
inline std::atomic<int> found{0};
inline char text[128];
inline std::size_t length = 0;

inline void Look(void* block) {
    if (block == nullptr || !armed.load(std::memory_order_relaxed))
        return;
    const std::size_t size = malloc_usable_size(block);
    if (length > 0 && size >= length && memmem(block, size, text, length) != nullptr)
        found.fetch_add(1);
}
} // namespace freed_scan

// Armed from construction to destruction (one at a time): Found() is the
// number of blocks freed meanwhile that held `text`.
class FreedMemoryScan {
public:
    explicit FreedMemoryScan(const std::string& needle) {
        std::memcpy(freed_scan::text, needle.data(), needle.size());
        freed_scan::length = needle.size();
        freed_scan::found = 0;
        freed_scan::armed = true;
    }
    ~FreedMemoryScan() { freed_scan::armed = false; }
    FreedMemoryScan(const FreedMemoryScan&) = delete;
    FreedMemoryScan& operator=(const FreedMemoryScan&) = delete;
    int Found() const { return freed_scan::found.load(); }
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
    test_support::freed_scan::Look(p);
    std::free(p);
}
void operator delete[](void* p) noexcept { ::operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { ::operator delete(p); }
