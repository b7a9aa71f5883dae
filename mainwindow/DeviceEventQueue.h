// The hand-over of device events from the search library's thread to the
// window's thread.
#pragma once

#include <QList>
#include <QMutex>

struct DevInfo;

// DeviceEventQueue keeps device events in the order they were reported
// until the GUI thread takes them. A burst of thousands of answers then
// costs one queued call per batch instead of one per record, and the GUI
// thread takes them a slice at a time, so the event loop runs between
// slices. It owns the records it holds; what is still queued when it is
// destroyed is freed. Each event carries the search manager's list
// generation it was decided in: an event of a list a refresh has emptied
// can reach the queue after the refresh, and take() drops it instead of
// bringing the device back as a row no later event removes.
class DeviceEventQueue {
public:
    struct Event {
        DevInfo* device;
        int opt;            // the device event's SearchEventKind
        quint32 generation; // the manager's list generation of the event
    };

    DeviceEventQueue() = default;
    DeviceEventQueue(const DeviceEventQueue&) = delete;
    DeviceEventQueue& operator=(const DeviceEventQueue&) = delete;
    ~DeviceEventQueue();

    // Any thread: appends the event and takes ownership of `device`. True
    // when the queue was empty and no take is pending: the caller then
    // schedules one take on the GUI thread.
    bool push(DevInfo* device, int opt, quint32 generation);
    // Takes up to `limit` events, oldest first; ownership passes to the
    // caller. Events older than the generation given to acceptFrom are freed
    // on the way, not taken, and not counted against `limit`. `*more` tells whether events remain:
    // then a take stays pending and the caller schedules the next one; otherwise the next push
    // asks.
    QList<Event> take(int limit, bool* more);
    // Frees every record still queued.
    void clear();
    // From now on events of a generation older than `generation` are
    // dropped (serial-number order, so the count may wrap). Events already
    // queued of that generation or a newer one stay.
    void acceptFrom(quint32 generation);

private:
    QMutex m_lock;
    QList<Event> m_events;
    bool m_takePending = false;
    quint32 m_generation = 0; // the oldest generation taken
};
