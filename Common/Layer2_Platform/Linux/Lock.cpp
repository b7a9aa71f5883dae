#include "Lock.h"

void CCriticalSection::Lock() { m_mutex.lock(); }

void CCriticalSection::Unlock() { m_mutex.unlock(); }
