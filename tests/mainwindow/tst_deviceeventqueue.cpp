// The hand-over queue between the search thread and the window.
#include "DevInfo.h"
#include "DeviceEventQueue.h"

#include <QTest>

#include <thread>

class TestDeviceEventQueue : public QObject {
    Q_OBJECT
private slots:
    void oneTakeAskedPerBurst();
    void orderAcrossThreads();
};

static DevInfo* device(int n) {
    DevInfo* d = new DevInfo;
    d->dataPort = n;
    return d;
}

void TestDeviceEventQueue::oneTakeAskedPerBurst() {
    DeviceEventQueue queue;
    QVERIFY(queue.push(device(0), 0));
    QVERIFY(!queue.push(device(1), 2));
    QVERIFY(!queue.push(device(2), 1));
    bool more = false;
    QList<DeviceEventQueue::Event> batch = queue.take(2, &more);
    QCOMPARE(batch.size(), 2);
    QVERIFY(more);
    QCOMPARE(batch[1].opt, 2);
    // Still pending: the taker comes back, no new request.
    QVERIFY(!queue.push(device(3), 0));
    for (const auto& e : batch)
        delete e.device;
    batch = queue.take(2, &more);
    QCOMPARE(batch.size(), 2);
    QVERIFY(!more);
    for (const auto& e : batch)
        delete e.device;
    QVERIFY(queue.push(device(4), 0)); // empty again: ask for a take
    // The record still queued is freed with the queue (the sanitizer run checks).
}

void TestDeviceEventQueue::orderAcrossThreads() {
    DeviceEventQueue queue;
    const int n = 20000;
    std::thread producer([&queue] {
        for (int i = 0; i < n; ++i)
            queue.push(device(i), i % 3);
    });
    int expected = 0;
    bool more = true;
    while (expected < n) {
        for (const auto& e : queue.take(100, &more)) {
            QCOMPARE(e.device->dataPort, expected);
            QCOMPARE(e.opt, expected % 3);
            ++expected;
            delete e.device;
        }
    }
    producer.join();
    queue.take(1, &more);
    QVERIFY(!more);
}

QTEST_MAIN(TestDeviceEventQueue)
#include "tst_deviceeventqueue.moc"
