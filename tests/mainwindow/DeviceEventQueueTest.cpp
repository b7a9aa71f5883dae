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
    void olderGenerationsDropped_data();
    void olderGenerationsDropped();
};

static DevInfo* device(int n) {
    DevInfo* d = new DevInfo;
    d->dataPort = n;
    return d;
}

void TestDeviceEventQueue::oneTakeAskedPerBurst() {
    DeviceEventQueue queue;
    QVERIFY(queue.push(device(0), 0, 0));
    QVERIFY(!queue.push(device(1), 2, 0));
    QVERIFY(!queue.push(device(2), 1, 0));
    bool more = false;
    QList<DeviceEventQueue::Event> batch = queue.take(2, &more);
    QCOMPARE(batch.size(), 2);
    QVERIFY(more);
    QCOMPARE(batch[1].opt, 2);
    // Still pending: the taker comes back, no new request.
    QVERIFY(!queue.push(device(3), 0, 0));
    for (const auto& e : batch)
        delete e.device;
    batch = queue.take(2, &more);
    QCOMPARE(batch.size(), 2);
    QVERIFY(!more);
    for (const auto& e : batch)
        delete e.device;
    QVERIFY(queue.push(device(4), 0, 0)); // empty again: ask for a take
    // The record still queued is freed with the queue (the sanitizer run checks).
}

void TestDeviceEventQueue::orderAcrossThreads() {
    DeviceEventQueue queue;
    const int n = 20000;
    std::thread producer([&queue] {
        for (int i = 0; i < n; ++i)
            queue.push(device(i), i % 3, 0);
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

using Generations = QVector<quint32>;

// Events pushed with these generations (their records numbered in push
// order), then acceptFrom(from) before the first take: the records taken,
// in order, two per take.
void TestDeviceEventQueue::olderGenerationsDropped_data() {
    QTest::addColumn<Generations>("pushed");
    QTest::addColumn<quint32>("from");
    QTest::addColumn<QVector<int>>("taken");
    QTest::newRow("all current") << Generations{3, 3, 3} << 3u << QVector<int>{0, 1, 2};
    QTest::newRow("emptied list's events first")
        << Generations{2, 2, 3, 3} << 3u << QVector<int>{2, 3};
    QTest::newRow("old ones among new ones")
        << Generations{3, 2, 3, 1, 3} << 3u << QVector<int>{0, 2, 4};
    QTest::newRow("only old ones") << Generations{0, 1, 2} << 3u << QVector<int>{};
    QTest::newRow("newer than accepted are kept") << Generations{4, 5} << 3u << QVector<int>{0, 1};
    QTest::newRow("count wrapped") << Generations{0xFFFFFFFFu, 0, 1} << 0u << QVector<int>{1, 2};
}

void TestDeviceEventQueue::olderGenerationsDropped() {
    QFETCH(Generations, pushed);
    QFETCH(quint32, from);
    QFETCH(QVector<int>, taken);
    DeviceEventQueue queue;
    for (int i = 0; i < pushed.size(); ++i)
        queue.push(device(i), 0, pushed[i]);
    queue.acceptFrom(from);
    QVector<int> got;
    bool more = true;
    while (more) {
        for (const auto& e : queue.take(2, &more)) {
            got.append(e.device->dataPort);
            delete e.device;
        }
    }
    QCOMPARE(got, taken);
    // Dropped records are freed by the queue (the sanitizer run checks), and
    // with nothing left the next push asks for a take again.
    QVERIFY(queue.push(device(9), 0, from));
}

QTEST_MAIN(TestDeviceEventQueue)
#include "DeviceEventQueueTest.moc"
