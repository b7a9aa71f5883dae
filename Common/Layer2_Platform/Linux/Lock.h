// Locks of the platform layer. The system needs exactly one kind: the
// recursive critical section that guards the search manager's device list
// and its observer list, the only locks between the search library's
// callback thread and the window thread.
#pragma once

#include <mutex>

// A recursive lock, free after construction. Any thread may enter it; the
// holding thread may enter again and must then leave once per entry before
// another thread gets in. Neither copied nor moved.
class CCriticalSection {
public:
    CCriticalSection() = default;
    // The section must not be held when it is destroyed.
    ~CCriticalSection() = default;
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    // Blocks until the section is free or already held by this thread.
    void Lock();
    // Enters when the section is free or already held by this thread and
    // returns true; returns false at once when another thread holds it.
    bool TryLock();
    // Leaves one entry; the calling thread must hold the section.
    void Unlock();

private:
    std::recursive_mutex m_mutex;
};

// Holds a section for the life of the guard, so that every way out of a
// block leaves it.
class CAutoLock {
public:
    explicit CAutoLock(CCriticalSection& section) : m_section(section) { m_section.Lock(); }
    ~CAutoLock() { m_section.Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    CCriticalSection& m_section;
};
