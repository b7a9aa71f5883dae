// Timed offscreen program: the main window's device list at ten thousand
// devices. Runs inside scripts/netns-run (the window starts the search):
//   bench_devicelist merge   with no simulated device: the merge of each
//                            event kind, the hand-over, filters, sorting and
//                            memory, against the same work at 100 rows or
//                            against one queued call per record
//   bench_devicelist memory N  with no simulated device: resident memory of
//                            the window with N devices listed and with none
//   bench_devicelist e2e N   with N simulated devices: search start to N rows
// Prints one line per figure.
#include "DevInfo.h"
#include "DeviceColumns.h"
#include "DeviceFilter.h"
#include "DeviceTreeHeaderView.h"
#include "MainWindow.h"
#include "StartupProbe.h"
#include "MainWindowTestSupport.h"
#include "VistaTreeWidget.h"
#include "VistaTreeWidgetItem.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

using namespace windowtest;

namespace {

// A camera answer as the manager hands it over.
SEARCH_INFO camera(int event, int n) {
    char mac[18], address[16];
    std::snprintf(mac, sizeof mac, "02:4C:57:%02X:%02X:%02X", (n >> 16) & 0xFF, (n >> 8) & 0xFF,
                  n & 0xFF);
    std::snprintf(address, sizeof address, "10.0.%d.%d", (n >> 8) & 0xFF, n & 0xFF);
    SEARCH_INFO info = record(event, mac, address);
    put(info.productModel, "LV-IPC4M-B28");
    put(info.softwareVer, "2.4.1(230900)");
    put(info.softwareBulildDate, "2023-09-10");
    put(info.hardwareVer, "V1.2");
    put(info.mask, "255.255.0.0");
    put(info.route, "10.0.0.1");
    put(info.runningTime, "90061");
    const char* const types[] = {"ZVK_IPC", "ZVK_NVR", "ZVK_DVR", "ZVK_MDVR"};
    put(info.productSeries, types[n % 4]);
    return info;
}

// The longest time the event loop went without running a 1 ms timer.
struct LoopWatch {
    QElapsedTimer clock;
    qint64 last = 0, worst = 0;
    QTimer timer;
    LoopWatch() {
        clock.start();
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            worst = std::max(worst, now - last);
            last = now;
        });
        timer.start(1);
    }
    void reset() {
        last = clock.nsecsElapsed();
        worst = 0;
    }
};

void fill(MainWindow* window, int from, int count) {
    for (int n = from; n < from + count; ++n)
        window->slot_recvOnlineDeviceInfo(NewDevInfo(camera(0, n)), 0);
}

// Microseconds per changed event merged with `rows` devices listed: every
// device in turn changes its name and software version.
double changedAt(int rows) {
    std::unique_ptr<MainWindow> window(new MainWindow);
    window->show();
    fill(window.get(), 0, rows);
    QCoreApplication::processEvents();
    const int events = 20000;
    std::vector<DevInfo*> changes;
    for (int i = 0; i < events; ++i) {
        SEARCH_INFO info = camera(2, (i * 7919) % rows);
        std::snprintf(info.devName, sizeof info.devName, "cam r%d", i);
        changes.push_back(NewDevInfo(info));
    }
    QElapsedTimer t;
    t.start();
    for (DevInfo* d : changes)
        window->slot_recvOnlineDeviceInfo(d, 2);
    const qint64 merged = t.nsecsElapsed();
    QCoreApplication::processEvents(); // the repaint the changes asked for
    return merged / 1000.0 / events;
}

// 10,000 new events from the search thread into an empty list, all at
// once: total time to the last row and the longest block of the loop.
// `perRecord` hands each over by its own queued call (the plain way).
void arrival(bool perRecord, int count) {
    std::unique_ptr<MainWindow> window(new MainWindow);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        std::printf("window not exposed\n");
    QTest::qWait(200); // the first paint and the first search's round are over
    LoopWatch watch;
    QElapsedTimer t;
    t.start();
    watch.reset();
    std::thread search([&window, perRecord, count] {
        for (int n = 0; n < count; ++n) {
            if (perRecord)
                QMetaObject::invokeMethod(window.get(), "slot_recvOnlineDeviceInfo",
                                          Qt::QueuedConnection,
                                          Q_ARG(void*, NewDevInfo(camera(0, n))), Q_ARG(int, 0));
            else
                window->Update(camera(0, n), nullptr);
        }
    });
    while (window->onlineCount() < count)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const qint64 total = t.elapsed();
    search.join();
    std::printf("arrival %-22s %d events: %lld ms in all, longest loop block %.1f ms\n",
                perRecord ? "(one call per record)" : "(batched)", count, total, watch.worst / 1e6);
}

// The same refill on a tree of its own as the plain way does it: clear the
// tree (deleting its rows), then make and insert one row per passing record
// at the top. The peer of the window's filter change.
void plainRefill(const QList<DevInfo*>& records, int count) {
    VistaTreeWidget tree;
    tree.setColumnCount(kDeviceColumnCount);
    tree.setUniformRowHeights(true);
    tree.resize(1200, 600);
    tree.show();
    QElapsedTimer t;
    for (int round = 0; round < 3; ++round) {
        for (const bool filtered : {true, false}) {
            t.start();
            tree.clear();
            for (DevInfo* record : records) {
                if (filtered && !(ipv4Value(record->ipAddr) <= ipv4Value("10.0.19.255")))
                    continue;
                tree.insertTopLevelItem(0, VistaTreeWidgetItem::newDeviceRow(record));
            }
            QCoreApplication::processEvents();
            std::printf("plain refill at %d devices (peer): %s %.1f ms\n", count,
                        filtered ? "ip range applied" : "cleared", t.nsecsElapsed() / 1e6);
        }
    }
}

void filtersAndSort(int count) {
    std::unique_ptr<MainWindow> window(new MainWindow);
    window->resize(1280, 800);
    window->show();
    QCoreApplication::processEvents();
    fill(window.get(), 0, count);
    QCoreApplication::processEvents();
    QElapsedTimer t;
    for (int round = 0; round < 3; ++round) {
        t.start();
        // Up to the tree laid out and painted again.
        window->slot_ipaddressMenuTriggered("10.0.0.0", "10.0.19.255");
        QCoreApplication::processEvents();
        const qint64 apply = t.nsecsElapsed();
        t.start();
        window->slot_filterCleared();
        QCoreApplication::processEvents();
        const qint64 clear = t.nsecsElapsed();
        std::printf("filter at %d devices: ip range applied %.1f ms (5120 rows), cleared %.1f ms\n",
                    count, apply / 1e6, clear / 1e6);
    }
    plainRefill(window->deviceList(), count);
    DeviceTreeHeaderView* header = window->deviceHeader();
    for (int column : {int(COL_IP), int(COL_DATA_PORT), int(COL_MAC), int(COL_IP)}) {
        const QPoint at(header->sectionViewportPosition(column) + 30, 10);
        QMouseEvent press(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, {});
        QMouseEvent release(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, {});
        t.start();
        QApplication::sendEvent(header->viewport(), &press);
        QApplication::sendEvent(header->viewport(), &release);
        QCoreApplication::processEvents();
        std::printf("sort click on column %d at %d rows: %.1f ms\n", column, count,
                    t.nsecsElapsed() / 1e6);
    }
}

// Resident memory of a shown window with `count` devices listed against the
// same window with none; in a process of its own, so that no freed heap of
// an earlier measurement is reused.
int memory(int count) {
    std::unique_ptr<MainWindow> window(new MainWindow);
    window->resize(1280, 800);
    window->show();
    QCoreApplication::processEvents();
    const long before = static_cast<long>(ResidentKb());
    fill(window.get(), 0, count);
    QCoreApplication::processEvents();
    const long after = static_cast<long>(ResidentKb());
    std::printf("memory: window %ld KB resident with no device, %ld KB with %d listed: %+ld KB\n",
                before, after, count, after - before);
    return 0;
}

int merge() {
    const double small = changedAt(100), large = changedAt(10000);
    std::printf("changed event merged: %.2f us at 100 rows, %.2f us at 10000 rows, ratio %.2f\n",
                small, large, large / small);
    arrival(false, 10000);
    arrival(true, 10000);
    filtersAndSort(10000);
    return 0;
}

// The window as it starts, with `count` devices answering: construction
// (which starts the search) to the last row.
int endToEnd(int count) {
    QElapsedTimer t;
    t.start();
    std::unique_ptr<MainWindow> window(new MainWindow);
    window->show();
    LoopWatch watch;
    // The loop is watched from the first row on: the window's own first
    // paint is the start-up's, measured by bench/startup.
    while (window->onlineCount() == 0 && t.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        watch.reset();
    }
    while (window->onlineCount() < count && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    std::printf("end to end: %d of %d rows %lld ms after the search started, longest loop block "
                "%.1f ms\n",
                window->onlineCount(), count, t.elapsed(), watch.worst / 1e6);
    return window->onlineCount() == count ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyLook();
    const QString mode = argc > 1 ? QString(argv[1]) : QString("merge");
    if (mode == "memory")
        return memory(argc > 2 ? std::atoi(argv[2]) : 10000);
    if (mode == "e2e")
        return endToEnd(argc > 2 ? std::atoi(argv[2]) : 10000);
    return merge();
}
