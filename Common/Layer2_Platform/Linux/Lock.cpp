#include "Lock.h"

void CCriticalSection::Lock() { m_mutex.lock(); }

bool CCriticalSection::TryLock() { return m_mutex.try_lock(); }

void CCriticalSection::Unlock() { m_mutex.unlock(); }
