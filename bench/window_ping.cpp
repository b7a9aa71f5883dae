// How fast the real main window answers a ping while it lists a fleet:
//   bench_window_ping ROWS [--after-ms N] [--gap-ms N] [--timeout-ms N] [--events]
// Builds the window as the program does, shows it and lets it search. A
// thread of its own posts a queued call to the window's thread every gap
// (default 20 ms), as a window manager's ping arrives from outside; each
// call notes how long it waited for the event loop. Three phases: from the
// window's show until its first paint and its first row (start-up), from then
// until it lists ROWS rows (the search, while the devices arrive), and the
// following after-ms (default 10,000: two more automatic rounds). Prints one line per
// phase: pings, median, 99th percentile and longest wait in ms (with how
// much of the longest the window thread spent running and how much waiting
// for a processor, from the kernel's schedstat), and the window thread's
// processor time in the phase. With --events it also lists what the window
// thread's event loop did while the longest ping of the search waited: each
// event it delivered then (receiver class, event type, wall and processor
// time), longest first. Exit status 0, 1 when ROWS
// were not listed before the time-out (default 30,000 ms), 2 for bad
// arguments, 77 outside a private network (the window starts the search).
#include "ApplicationFont.h"
#include "MainWindow.h"
#include "NetNamespace.h"
#include "SkinResources.h"
#include "Startup.h"
#include "ZVKStyle.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <ctime>
#include <mutex>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int rows = 0;
    int afterMs = 10000;
    int gapMs = 20;
    int timeoutMs = 30000;
    bool events = false;
};

bool parse(const QStringList& args, Options* o) {
    for (int i = 1; i < args.size(); ++i) {
        bool ok = true;
        const QString& a = args[i];
        int* target = a == QLatin1String("--after-ms")     ? &o->afterMs
                      : a == QLatin1String("--gap-ms")     ? &o->gapMs
                      : a == QLatin1String("--timeout-ms") ? &o->timeoutMs
                                                           : nullptr;
        if (a == QLatin1String("--events"))
            o->events = true;
        else if (target != nullptr && i + 1 < args.size())
            *target = args[++i].toInt(&ok);
        else if (o->rows == 0)
            o->rows = a.toInt(&ok);
        else
            return false;
        if (!ok)
            return false;
    }
    return o->rows > 0 && o->gapMs > 0 && o->afterMs >= 0 && o->timeoutMs > 0;
}

void applyLook() {
    InitSkinResources();
    InstallStyleSheet();
    InstallApplicationFontSubstitutes();
    QApplication::setFont(ApplicationFont());
    QApplication::setStyle(new ZVKStyle);
    RegisterIntegerTypes();
}

// The calling thread's processor time, in ms.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000 + double(t.tv_nsec) / 1e6;
}

// A thread's time on a processor and its time runnable but waiting for one,
// in ms, from the kernel's schedstat of that thread; zeros when unknown.
struct SchedTimes {
    double running = 0, waiting = 0;
};
SchedTimes schedTimes(const std::string& path) {
    SchedTimes t;
    if (FILE* f = std::fopen(path.c_str(), "r")) {
        unsigned long long run = 0, wait = 0;
        if (std::fscanf(f, "%llu %llu", &run, &wait) == 2)
            t = {double(run) / 1e6, double(wait) / 1e6};
        std::fclose(f);
    }
    return t;
}

// One ping: how long it waited, and of that how long the window thread ran
// (its own work) and how long it waited, runnable, for a processor (the
// machine's load); when it was sent and answered.
struct Ping {
    double waited, ran, queued;
    Clock::time_point sent, answered;
};

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// One event the window thread's loop delivered (not those sent from within
// another): when, to which class, of which type, and the thread's processor
// time it took.
struct Delivery {
    Clock::time_point start, end;
    const char* receiver;
    int type;
    double cpuMs, queuedMs; // on a processor, and runnable waiting for one
};

// The application, timing every event the event loop delivers on its own
// thread when asked to.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (!m_timing || m_depth > 0 || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        const int type = event->type();
        const char* name = receiver->metaObject()->className();
        const SchedTimes before = schedTimes(m_schedstat);
        const Clock::time_point start = Clock::now();
        ++m_depth;
        const bool done = QApplication::notify(receiver, event);
        --m_depth;
        const Clock::time_point end = Clock::now();
        const SchedTimes after = schedTimes(m_schedstat);
        m_deliveries.push_back({start, end, name, type, after.running - before.running,
                                after.waiting - before.waiting});
        return done;
    }
    void startTiming() {
        m_schedstat = "/proc/self/task/" + std::to_string(long(syscall(SYS_gettid))) + "/schedstat";
        m_deliveries.reserve(1 << 20);
        m_timing = true;
    }
    // The deliveries that overlap [from, to], longest first.
    std::vector<Delivery> during(Clock::time_point from, Clock::time_point to) const {
        std::vector<Delivery> out;
        for (const Delivery& d : m_deliveries)
            if (d.end >= from && d.start <= to)
                out.push_back(d);
        std::sort(out.begin(), out.end(), [](const Delivery& a, const Delivery& b) {
            return a.end - a.start > b.end - b.start;
        });
        return out;
    }

    // Per receiver class and event type over every delivery that started at
    // `from` or later: count, total and longest wall time, longest processor
    // time; by total, descending.
    struct Kind {
        const char* receiver;
        int type, count;
        double total, longest, longestCpu, longestBlocked;
    };
    std::vector<Kind> kinds(Clock::time_point from) const {
        std::map<std::pair<std::string, int>, Kind> by;
        for (const Delivery& d : m_deliveries) {
            if (d.start < from)
                continue;
            Kind& k = by[{d.receiver, d.type}];
            const double wall = ms(d.end - d.start);
            k.receiver = d.receiver, k.type = d.type, ++k.count, k.total += wall;
            k.longest = std::max(k.longest, wall), k.longestCpu = std::max(k.longestCpu, d.cpuMs);
            k.longestBlocked = std::max(k.longestBlocked, wall - d.cpuMs - d.queuedMs);
        }
        std::vector<Kind> out;
        for (const auto& entry : by)
            out.push_back(entry.second);
        std::sort(out.begin(), out.end(),
                  [](const Kind& a, const Kind& b) { return a.total > b.total; });
        return out;
    }

private:
    bool m_timing = false;
    int m_depth = 0;
    std::string m_schedstat;
    std::vector<Delivery> m_deliveries;
};

// Posts a queued call to the constructing thread every gap and keeps each
// call's wait, in ms, until destroyed. take() hands over the waits so far.
// The calls go to an object of its own, whose end drops those still queued.
class Pinger {
public:
    explicit Pinger(int gapMs) {
        const std::string window =
            "/proc/self/task/" + std::to_string(long(syscall(SYS_gettid))) + "/schedstat";
        m_thread = std::thread([this, gapMs, window] {
            while (!m_stop) {
                const SchedTimes before = schedTimes(window);
                const Clock::time_point sent = Clock::now();
                QMetaObject::invokeMethod(
                    &m_receiver,
                    [this, sent, before, window] {
                        const Clock::time_point answered = Clock::now();
                        const double waited =
                            std::chrono::duration<double, std::milli>(answered - sent).count();
                        const SchedTimes after = schedTimes(window);
                        std::lock_guard<std::mutex> hold(m_mutex);
                        m_waits.push_back({waited, after.running - before.running,
                                           after.waiting - before.waiting, sent, answered});
                    },
                    Qt::QueuedConnection);
                std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
            }
        });
    }
    ~Pinger() {
        m_stop = true;
        m_thread.join();
    }
    std::vector<Ping> take() {
        std::lock_guard<std::mutex> hold(m_mutex);
        std::vector<Ping> out;
        out.swap(m_waits);
        return out;
    }

private:
    QObject m_receiver; // first: goes last, with the calls still queued
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<Ping> m_waits;
    std::thread m_thread;
};

// What the loop delivered while `ping` waited, longest first (at most 12),
// and the loop's events since `from` by kind.
void reportDeliveries(const TimedApplication& app, const Ping& ping, Clock::time_point from) {
    const std::vector<Delivery> seen = app.during(ping.sent, ping.answered);
    double sum = 0, cpu = 0;
    for (const Delivery& d : seen)
        sum += ms(d.end - d.start), cpu += d.cpuMs;
    std::printf("  while the longest ping waited: %zu events, %.1f ms in them (%.1f ms of "
                "processor)\n",
                seen.size(), sum, cpu);
    for (size_t i = 0; i < seen.size() && i < 12; ++i) {
        const double wall = ms(seen[i].end - seen[i].start);
        std::printf("    %7.2f ms (ran %6.2f, waited %6.2f for a processor, %6.2f neither)  %s, "
                    "event type %d\n",
                    wall, seen[i].cpuMs, seen[i].queuedMs,
                    std::max(0.0, wall - seen[i].cpuMs - seen[i].queuedMs), seen[i].receiver,
                    seen[i].type);
    }
    std::printf("  events of the search by receiver and type (count, total, longest wall; "
                "longest ran; longest neither running nor waiting for a processor):\n");
    const std::vector<TimedApplication::Kind> kinds = app.kinds(from);
    for (size_t i = 0; i < kinds.size() && i < 10; ++i)
        std::printf("    %-22s type %3d  %6d  %8.1f ms  %7.2f; %7.2f; %7.2f ms\n",
                    kinds[i].receiver, kinds[i].type, kinds[i].count, kinds[i].total,
                    kinds[i].longest, kinds[i].longestCpu, kinds[i].longestBlocked);
}

Ping printPhase(const char* phase, std::vector<Ping> pings, double cpuMs, qint64 wallMs) {
    if (pings.empty()) {
        std::printf("%-7s no ping answered in %lld ms\n", phase, static_cast<long long>(wallMs));
        return {};
    }
    std::sort(pings.begin(), pings.end(),
              [](const Ping& a, const Ping& b) { return a.waited < b.waited; });
    const auto at = [&](double q) { return pings[size_t(q * double(pings.size() - 1))].waited; };
    const Ping& worst = pings.back();
    std::printf("%-7s %5zu pings  median %6.2f ms  p99 %7.2f ms  max %7.2f ms (window thread "
                "ran %5.1f ms, waited %5.1f ms for a processor)  window thread %4.0f ms of "
                "processor in %5lld ms\n",
                phase, pings.size(), at(0.5), at(0.99), worst.waited, worst.ran, worst.queued,
                cpuMs, static_cast<long long>(wallMs));
    return worst;
}

// Notes the first paint of the object it filters.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(bool* painted) : m_painted(painted) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            *m_painted = true;
        return false;
    }

private:
    bool* m_painted;
};

} // namespace

int main(int argc, char** argv) {
    if (!devsim::InPrivateNetwork()) {
        std::fprintf(stderr, "bench_window_ping: run inside scripts/netns-run\n");
        return 77;
    }
    TimedApplication app(argc, argv);
    Options options;
    if (!parse(app.arguments(), &options)) {
        std::fprintf(stderr, "usage: bench_window_ping ROWS [--after-ms N] [--gap-ms N] "
                             "[--timeout-ms N] [--events]\n");
        return 2;
    }
    applyLook();
    MainWindow window;
    // Start-up ends with the window's first paint and its first row.
    bool painted = false;
    PaintWatch paintWatch(&painted);
    window.installEventFilter(&paintWatch);
    QElapsedTimer clock;
    clock.start();
    window.show();
    Pinger pinger(options.gapMs);
    if (options.events)
        app.startTiming();
    double cpu = threadCpuMs();
    qint64 phaseStart = 0;
    bool started = false, listed = false;
    Clock::time_point firstRow;
    int status = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (!started && painted && window.onlineCount() > 0) {
            started = true;
            firstRow = Clock::now();
            printPhase("start", pinger.take(), threadCpuMs() - cpu, now);
            cpu = threadCpuMs();
            phaseStart = now;
        }
        if (!listed && window.onlineCount() >= options.rows) {
            listed = true;
            std::printf("listed  %d rows in %lld ms\n", window.onlineCount(),
                        static_cast<long long>(now));
            const Ping worst =
                printPhase("search", pinger.take(), threadCpuMs() - cpu, now - phaseStart);
            if (options.events)
                reportDeliveries(app, worst, firstRow);
            cpu = threadCpuMs();
            phaseStart = now;
        } else if (!listed && now >= options.timeoutMs) {
            std::printf("listed  only %d of %d rows in %lld ms\n", window.onlineCount(),
                        options.rows, static_cast<long long>(now));
            printPhase("search", pinger.take(), threadCpuMs() - cpu, now - phaseStart);
            status = 1;
            app.quit();
        } else if (listed && now - phaseStart >= options.afterMs) {
            printPhase("after", pinger.take(), threadCpuMs() - cpu, now - phaseStart);
            std::printf("rows    %d at the end\n", window.onlineCount());
            app.quit();
        }
    });
    watch.start(10);
    app.exec();
    return status;
}
