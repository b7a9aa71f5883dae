// The observer pair through which the search manager hands device records
// to whoever shows them.
#pragma once

#include <cstddef>
#include <vector>

#include "Lock.h"

template <class T> class CObservable;

// Receives records from a CObservable it is attached to.
template <class T> class CObserver {
public:
    virtual ~CObserver() = default;
    // Called with the subject's own copy of one record and the subject that
    // sends it, on the thread that notifies (for the search manager: the
    // search library's thread). Must not call Attach or Detach of sender.
    virtual void Update(T info, CObservable<T>* sender) {
        (void)info;
        (void)sender;
    }
};

// Keeps an ordered list of observers (not owned) under a lock of its own,
// so that attaching and detaching on one thread never overlaps a
// notification on another.
template <class T> class CObservable {
public:
    CObservable() = default;
    virtual ~CObservable() = default;
    CObservable(const CObservable&) = delete;
    CObservable& operator=(const CObservable&) = delete;

    // Appends observer at the end; one already attached is moved to the end.
    // Null is ignored. Waits for a notification in progress to finish.
    void Attach(CObserver<T>* observer) {
        if (observer == nullptr)
            return;
        CAutoLock hold(m_observerLock);
        Remove(observer);
        m_observers.push_back(observer);
    }

    // Removes observer if it is attached. When this returns, the observer
    // gets no further Update from this subject.
    void Detach(CObserver<T>* observer) {
        CAutoLock hold(m_observerLock);
        Remove(observer);
    }

    // Calls Update on every attached observer in list order, each with its
    // own copy of info. The observer list stays locked throughout.
    void Notify(T info) {
        CAutoLock hold(m_observerLock);
        // Indexed so that an Update that breaks the contract and detaches
        // cannot walk off the list.
        for (size_t i = 0; i < m_observers.size(); ++i)
            m_observers[i]->Update(info, this);
    }

private:
    void Remove(CObserver<T>* observer) {
        for (auto it = m_observers.begin(); it != m_observers.end(); ++it) {
            if (*it == observer) {
                m_observers.erase(it);
                return;
            }
        }
    }

    CCriticalSection m_observerLock;
    std::vector<CObserver<T>*> m_observers;
};
