#include "StartupProbe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QList>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

// How long after the first paint the resident set is read: long enough for
// the window's start-up work queued behind the first paint to have run.
const int kResidentDelayMs = 1000;
const int kStartTimeField = 22;

QByteArray readProcFile(const char* path) {
    QFile file(QString::fromLatin1(path));
    // /proc files report size 0; read them in one go as a stream.
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void reportResident() {
    std::fprintf(stderr, "probe: rss kb=%lld\n", static_cast<long long>(ResidentKb()));
    std::fflush(stderr);
    if (qEnvironmentVariableIntValue("LORVEX_EXIT_AFTER_FIRST_PAINT") == 1) {
        QCoreApplication::exit(0);
    }
}

long long realtimeUs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

void reportFirstPaint() {
    std::fprintf(stderr, "probe: first-paint ms=%.1f realtime-us=%lld\n", MsSinceProcessStart(),
                 realtimeUs());
    std::fflush(stderr);
}

class FirstPaintFilter : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            reportFirstPaint();
            QTimer::singleShot(kResidentDelayMs, this, reportResident);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

} // namespace

qint64 ParseStartTicks(const QByteArray& stat) {
    const int close = stat.lastIndexOf(')');
    if (close < 0) {
        return -1;
    }
    // After the name come fields 3, 4, ...: field 22 is the 20th of them.
    const QList<QByteArray> fields = stat.mid(close + 1).simplified().split(' ');
    const int index = kStartTimeField - 3;
    if (fields.size() <= index) {
        return -1;
    }
    bool ok = false;
    const qint64 ticks = fields.at(index).toLongLong(&ok);
    return ok ? ticks : -1;
}

qint64 ParseResidentKb(const QByteArray& status) {
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith("VmRSS:")) {
            bool ok = false;
            const qint64 kb = line.mid(6).simplified().split(' ').value(0).toLongLong(&ok);
            return ok ? kb : -1;
        }
    }
    return -1;
}

double MsSinceProcessStart() {
    const qint64 ticks = ParseStartTicks(readProcFile("/proc/self/stat"));
    timespec now{};
    if (ticks < 0 || clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        return -1;
    }
    const double startMs = 1000.0 * double(ticks) / double(sysconf(_SC_CLK_TCK));
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6 - startMs;
}

qint64 ResidentKb() { return ParseResidentKb(readProcFile("/proc/self/status")); }

void WatchFirstPaint(QWidget* window) {
    if (qEnvironmentVariableIntValue("LORVEX_REPORT_FIRST_PAINT") == 1) {
        window->installEventFilter(new FirstPaintFilter(window));
    }
}
