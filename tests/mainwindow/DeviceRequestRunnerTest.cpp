// One blocking request at a time off the window thread, its result back on
// the window thread, and a runner that goes away while a request runs.
#include "DeviceRequestRunner.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// A job that blocks until released, as a device that has not answered yet.
class Gate {
public:
    void open() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    void pass() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

} // namespace

class TestDeviceRequestRunner : public QObject {
    Q_OBJECT
private slots:
    void resultComesBackOnOwnersThread();
    void secondRequestRefusedWhileOneRuns();
    void eventLoopRunsWhileRequestBlocks();
    void destroyedWhileRunningWaitsAndDeliversNothing();
};

void TestDeviceRequestRunner::resultComesBackOnOwnersThread() {
    DeviceRequestRunner runner;
    std::atomic<bool> jobOnOwner{true};
    QThread* owner = QThread::currentThread();
    QThread* seenIn = nullptr;
    connect(&runner, &DeviceRequestRunner::finished, [&] { seenIn = QThread::currentThread(); });
    QSignalSpy spy(&runner, &DeviceRequestRunner::finished);
    QVERIFY(runner.start(7, [&] {
        jobOnOwner = QThread::currentThread() == owner;
        return 42;
    }));
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.at(0).at(0).toInt(), 7);
    QCOMPARE(spy.at(0).at(1).toInt(), 42);
    QVERIFY(!jobOnOwner);
    QCOMPARE(seenIn, owner);
    QVERIFY(!runner.isRunning());
}

void TestDeviceRequestRunner::secondRequestRefusedWhileOneRuns() {
    DeviceRequestRunner runner;
    Gate gate;
    std::atomic<int> second{0};
    QSignalSpy spy(&runner, &DeviceRequestRunner::finished);
    QVERIFY(runner.start(1, [&] {
        gate.pass();
        return 1;
    }));
    QVERIFY(runner.isRunning());
    QVERIFY(!runner.start(2, [&] { return ++second; }));
    gate.open();
    QVERIFY(spy.wait(5000));
    // Running until delivered, then free for the next one.
    QVERIFY(runner.start(3, [] { return 3; }));
    QVERIFY(spy.wait(5000));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toInt(), 3);
    QCOMPARE(second.load(), 0);
}

void TestDeviceRequestRunner::eventLoopRunsWhileRequestBlocks() {
    DeviceRequestRunner runner;
    Gate gate;
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
        if (++ticks == 5)
            gate.open(); // the device answers only after the window ticked
    });
    timer.start(10);
    QSignalSpy spy(&runner, &DeviceRequestRunner::finished);
    QVERIFY(runner.start(1, [&] {
        gate.pass();
        return 0;
    }));
    QVERIFY(spy.wait(5000));
    QVERIFY(ticks >= 5);
}

void TestDeviceRequestRunner::destroyedWhileRunningWaitsAndDeliversNothing() {
    std::atomic<bool> returned{false};
    int delivered = 0;
    QElapsedTimer clock;
    {
        DeviceRequestRunner runner;
        connect(&runner, &DeviceRequestRunner::finished, [&] { ++delivered; });
        QVERIFY(runner.start(1, [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            returned = true;
            return 0;
        }));
        clock.start();
    }
    QVERIFY(returned);               // the job was not cut off
    QVERIFY(clock.elapsed() < 3000); // and nothing waited past it
    QCoreApplication::processEvents();
    QCOMPARE(delivered, 0);
}

QTEST_GUILESS_MAIN(TestDeviceRequestRunner)
#include "DeviceRequestRunnerTest.moc"
