// How fast the real main window answers a ping while it lists a fleet:
//   bench_window_ping ROWS [--after-ms N] [--gap-ms N] [--timeout-ms N]
// Builds the window as the program does, shows it and lets it search. A
// thread of its own posts a queued call to the window's thread every gap
// (default 20 ms), as a window manager's ping arrives from outside; each
// call notes how long it waited for the event loop. Two phases: from the
// window's show until it lists ROWS rows (the search), and the following
// after-ms (default 10,000: two more automatic rounds). Prints one line per
// phase: pings, median, 99th percentile and longest wait in ms (with how
// much of the longest the window thread spent running and how much waiting
// for a processor, from the kernel's schedstat), and the window thread's
// processor time in the phase. Exit status 0, 1 when ROWS
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
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
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
};

bool parse(const QStringList& args, Options* o) {
    for (int i = 1; i < args.size(); ++i) {
        bool ok = true;
        const QString& a = args[i];
        int* target = a == QLatin1String("--after-ms")     ? &o->afterMs
                      : a == QLatin1String("--gap-ms")     ? &o->gapMs
                      : a == QLatin1String("--timeout-ms") ? &o->timeoutMs
                                                           : nullptr;
        if (target != nullptr && i + 1 < args.size())
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
// machine's load).
struct Ping {
    double waited, ran, queued;
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
                        const double waited =
                            std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
                        const SchedTimes after = schedTimes(window);
                        std::lock_guard<std::mutex> hold(m_mutex);
                        m_waits.push_back({waited, after.running - before.running,
                                           after.waiting - before.waiting});
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

void report(const char* phase, std::vector<Ping> pings, double cpuMs, qint64 wallMs) {
    if (pings.empty()) {
        std::printf("%-7s no ping answered in %lld ms\n", phase, static_cast<long long>(wallMs));
        return;
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
}

} // namespace

int main(int argc, char** argv) {
    if (!devsim::InPrivateNetwork()) {
        std::fprintf(stderr, "bench_window_ping: run inside scripts/netns-run\n");
        return 77;
    }
    QApplication app(argc, argv);
    Options options;
    if (!parse(app.arguments(), &options)) {
        std::fprintf(stderr, "usage: bench_window_ping ROWS [--after-ms N] [--gap-ms N] "
                             "[--timeout-ms N]\n");
        return 2;
    }
    applyLook();
    MainWindow window;
    QElapsedTimer clock;
    clock.start();
    window.show();
    Pinger pinger(options.gapMs);
    double cpu = threadCpuMs();
    qint64 phaseStart = 0;
    bool listed = false;
    int status = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (!listed && window.onlineCount() >= options.rows) {
            listed = true;
            std::printf("listed  %d rows in %lld ms\n", window.onlineCount(),
                        static_cast<long long>(now));
            report("search", pinger.take(), threadCpuMs() - cpu, now);
            cpu = threadCpuMs();
            phaseStart = now;
        } else if (!listed && now >= options.timeoutMs) {
            std::printf("listed  only %d of %d rows in %lld ms\n", window.onlineCount(),
                        options.rows, static_cast<long long>(now));
            report("search", pinger.take(), threadCpuMs() - cpu, now);
            status = 1;
            app.quit();
        } else if (listed && now - phaseStart >= options.afterMs) {
            report("after", pinger.take(), threadCpuMs() - cpu, now - phaseStart);
            std::printf("rows    %d at the end\n", window.onlineCount());
            app.quit();
        }
    });
    watch.start(10);
    app.exec();
    return status;
}
