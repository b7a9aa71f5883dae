#include "DeviceEventQueue.h"

#include "DevInfo.h"

#include <QMutexLocker>

DeviceEventQueue::~DeviceEventQueue() { clear(); }

bool DeviceEventQueue::push(DevInfo* device, int opt) {
    QMutexLocker locker(&m_lock);
    m_events.append(Event{device, opt});
    if (m_takePending)
        return false;
    m_takePending = true;
    return true;
}

QList<DeviceEventQueue::Event> DeviceEventQueue::take(int limit, bool* more) {
    QMutexLocker locker(&m_lock);
    *more = limit < m_events.size();
    if (!*more) {
        m_takePending = false;
        QList<Event> all;
        all.swap(m_events);
        return all;
    }
    const QList<Event> batch = m_events.mid(0, limit);
    m_events.erase(m_events.begin(), m_events.begin() + limit);
    return batch;
}

void DeviceEventQueue::clear() {
    QMutexLocker locker(&m_lock);
    for (const Event& event : m_events)
        delete event.device;
    m_events.clear();
    m_takePending = false;
}
