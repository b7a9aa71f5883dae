// The start-up probe of the benchmark: the /proc readings and the hook that
// reports the first paint.
#include "StartupProbe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

QElapsedTimer g_sinceMain;

// A stat line whose fields after the name are 3, 4, ... up to 52, with the
// start time (field 22) set to `ticks`.
QByteArray statLine(const QByteArray& name, const QByteArray& ticks) {
    QByteArray line = "4242 (" + name + ")";
    for (int field = 3; field <= 52; ++field) {
        line += ' ' + (field == 22 ? ticks : QByteArray::number(field * 10));
    }
    return line + '\n';
}

// Sends this process's standard error to a file while it lives.
class StderrCapture {
public:
    StderrCapture() {
        m_file.open();
        std::fflush(stderr);
        m_saved = dup(2);
        dup2(m_file.handle(), 2);
    }
    ~StderrCapture() { restore(); }
    QByteArray text() {
        restore();
        QFile read(m_file.fileName());
        return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
    }

private:
    void restore() {
        if (m_saved >= 0) {
            std::fflush(stderr);
            dup2(m_saved, 2);
            close(m_saved);
            m_saved = -1;
        }
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

} // namespace

class StartupProbeTest : public QObject {
    Q_OBJECT
private slots:
    void startTicks_data();
    void startTicks();
    void residentKb_data();
    void residentKb();
    void processAgeCoversThisRun();
    void residentSetGrowsWithTouchedMemory();
    void silentWithoutTheSwitch();
    void reportsFirstPaintThenQuits();
};

void StartupProbeTest::startTicks_data() {
    QTest::addColumn<QByteArray>("stat");
    QTest::addColumn<qint64>("ticks");
    QTest::newRow("plain name") << statLine("lorvex", "123456") << qint64(123456);
    QTest::newRow("blanks and parentheses in the name")
        << statLine("a) b (c d", "77") << qint64(77);
    QTest::newRow("large value") << statLine("x", "9876543210123") << qint64(9876543210123);
    QTest::newRow("no name") << QByteArray("4242 lorvex S 1 2 3") << qint64(-1);
    QTest::newRow("cut before the start time") << statLine("x", "5").left(40) << qint64(-1);
    QTest::newRow("not a number") << statLine("x", "12ab") << qint64(-1);
    QTest::newRow("empty") << QByteArray() << qint64(-1);
}

void StartupProbeTest::startTicks() {
    QFETCH(QByteArray, stat);
    QFETCH(qint64, ticks);
    QCOMPARE(ParseStartTicks(stat), ticks);
}

void StartupProbeTest::residentKb_data() {
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<qint64>("kb");
    QTest::newRow("among other lines")
        << QByteArray("Name:\tlorvex\nVmPeak:\t  900000 kB\nVmRSS:\t   45678 kB\nRssAnon:\t 1 kB\n")
        << qint64(45678);
    QTest::newRow("VmHWM is not the resident set")
        << QByteArray("VmHWM:\t 99999 kB\nVmRSS:\t 123 kB\n") << qint64(123);
    QTest::newRow("missing") << QByteArray("Name:\tx\nVmSize:\t 5 kB\n") << qint64(-1);
    QTest::newRow("no number") << QByteArray("VmRSS:\t kB\n") << qint64(-1);
}

void StartupProbeTest::residentKb() {
    QFETCH(QByteArray, status);
    QFETCH(qint64, kb);
    QCOMPARE(ParseResidentKb(status), kb);
}

// The age runs on the clock of the kernel's start time: at least as long as
// main() has run (less one tick of its resolution), and not absurdly longer.
void StartupProbeTest::processAgeCoversThisRun() {
    const double age = MsSinceProcessStart();
    const double sinceMain = double(g_sinceMain.elapsed());
    const double tickMs = 1000.0 / double(sysconf(_SC_CLK_TCK));
    QVERIFY2(age >= sinceMain - tickMs, qPrintable(QString::number(age)));
    QVERIFY2(age < sinceMain + 60000, qPrintable(QString::number(age)));
}

void StartupProbeTest::residentSetGrowsWithTouchedMemory() {
    const qint64 before = ResidentKb();
    QVERIFY(before > 0);
    std::vector<char> block(64 << 20);
    for (size_t i = 0; i < block.size(); i += 4096) {
        block[i] = char(i);
    }
    QVERIFY2(ResidentKb() - before >= 60000, qPrintable(QString::number(ResidentKb() - before)));
    QVERIFY(block[4096] == char(4096));
}

void StartupProbeTest::silentWithoutTheSwitch() {
    qunsetenv("LORVEX_REPORT_FIRST_PAINT");
    QWidget window;
    const int children = window.children().size();
    WatchFirstPaint(&window);
    QCOMPARE(window.children().size(), children);
}

void StartupProbeTest::reportsFirstPaintThenQuits() {
    qputenv("LORVEX_REPORT_FIRST_PAINT", "1");
    qputenv("LORVEX_EXIT_AFTER_FIRST_PAINT", "1");
    StderrCapture capture;
    QWidget window;
    window.resize(200, 100);
    WatchFirstPaint(&window);
    // Ends the loop with 3 if the probe never quits.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(3); });
    guard.start(15000);
    window.show();
    const int code = QCoreApplication::exec();
    window.update();
    QCoreApplication::processEvents();
    const QByteArray text = capture.text();
    qunsetenv("LORVEX_REPORT_FIRST_PAINT");
    qunsetenv("LORVEX_EXIT_AFTER_FIRST_PAINT");

    QCOMPARE(code, 0);
    const QRegularExpression paint("^probe: first-paint ms=[0-9]+\\.[0-9] realtime-us=[0-9]{16}$",
                                   QRegularExpression::MultilineOption);
    const QRegularExpression rss("^probe: rss kb=[1-9][0-9]*$",
                                 QRegularExpression::MultilineOption);
    QVERIFY2(paint.match(QString::fromUtf8(text)).hasMatch(), text.constData());
    QVERIFY2(rss.match(QString::fromUtf8(text)).hasMatch(), text.constData());
    // Once: a later paint reports nothing more.
    QCOMPARE(text.count("first-paint"), 1);
    QVERIFY(text.indexOf("first-paint") < text.indexOf("rss"));
}

int main(int argc, char** argv) {
    g_sinceMain.start();
    QApplication app(argc, argv);
    StartupProbeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "StartupProbeTest.moc"
