#include "DeviceEventQueue.h"

#include "DevInfo.h"

#include <QMutexLocker>

DeviceEventQueue::~DeviceEventQueue() { clear(); }

namespace {

bool olderThan(quint32 generation, quint32 oldest) {
    return static_cast<qint32>(generation - oldest) < 0;
}

} // namespace

bool DeviceEventQueue::push(DevInfo* device, int opt, quint32 generation) {
    QMutexLocker locker(&m_lock);
    m_events.append(Event{device, opt, generation});
    if (m_takePending)
        return false;
    m_takePending = true;
    return true;
}

QList<DeviceEventQueue::Event> DeviceEventQueue::take(int limit, bool* more) {
    QMutexLocker locker(&m_lock);
    QList<Event> batch;
    int used = 0;
    for (; used < m_events.size() && batch.size() < limit; ++used) {
        const Event& event = m_events.at(used);
        if (olderThan(event.generation, m_generation))
            delete event.device;
        else
            batch.append(event);
    }
    m_events.erase(m_events.begin(), m_events.begin() + used);
    *more = !m_events.isEmpty();
    if (!*more)
        m_takePending = false;
    return batch;
}

void DeviceEventQueue::clear() {
    QMutexLocker locker(&m_lock);
    for (const Event& event : m_events)
        delete event.device;
    m_events.clear();
    m_takePending = false;
}

void DeviceEventQueue::acceptFrom(quint32 generation) {
    QMutexLocker locker(&m_lock);
    m_generation = generation;
}
