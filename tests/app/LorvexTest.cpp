// The real program started the way a user starts it, twice and more: the
// second start against a live, a stopped and a killed first copy, and the
// start-up probe. The program's main window searches by multicast and adds a
// route, so this test runs only inside a private network namespace (CTest
// starts it through scripts/netns-run). Each test has its own runtime folder,
// so no copy of a real user is ever seen.
#include "SingleApplication.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

const QString kId = QStringLiteral("Lorvex");
const QByteArray kBoxLine = "message box: error: Lorvex is already running";
const int kUpMs = 20000;
// The second start sends with 5000 ms; on top comes its own start and end.
const int kSecondStartMs = 20000;

qint64 lockOwner() {
    qint64 pid = 0;
    QString host, app;
    QLockFile lock(SingleApplication::lockFilePath(kId));
    return lock.getLockInfo(&pid, &host, &app) ? pid : 0;
}

// The copy answers from its event loop, which runs only once its window is
// built: on a loaded machine that takes seconds, so wait as long as for the
// start itself.
bool confirmsMessages() {
    QLocalSocket socket;
    socket.connectToServer(SingleApplication::socketPath(kId));
    if (!socket.waitForConnected(5000)) {
        return false;
    }
    socket.write(SingleApplication::frame(QStringLiteral("Lorvex")));
    socket.waitForBytesWritten(5000);
    return socket.waitForReadyRead(kUpMs) &&
           socket.read(1) == QByteArray(1, SingleApplication::kAck);
}

} // namespace

class LorvexTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void secondStartAgainstLiveCopy();
    void secondStartAgainstStoppedCopy();
    void startAfterKilledCopyRunsNormally();
    void firstPaintProbeEndsTheLoopCleanly();

private:
    QProcess* start(const QStringList& env = {});
    bool waitUntilOwner(QProcess* copy);

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::vector<std::unique_ptr<QProcess>> m_copies;
};

void LorvexTest::init() {
    m_runtime = std::make_unique<QTemporaryDir>();
    QVERIFY(m_runtime->isValid());
    // This process computes the same file names as the copies it starts.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime->path()));
}

void LorvexTest::cleanup() {
    for (auto& copy : m_copies) {
        if (copy->state() != QProcess::NotRunning) {
            ::kill(pid_t(copy->processId()), SIGCONT);
            copy->kill();
            copy->waitForFinished(5000);
        }
    }
    m_copies.clear();
    m_runtime.reset();
}

QProcess* LorvexTest::start(const QStringList& env) {
    auto copy = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("LORVEX_TEST_CLOSE_BOXES", "1");
    for (const QString& pair : env) {
        environment.insert(pair.section('=', 0, 0), pair.section('=', 1));
    }
    copy->setProcessEnvironment(environment);
    copy->start(QStringLiteral(LORVEX_EXECUTABLE), QStringList());
    m_copies.push_back(std::move(copy));
    return m_copies.back().get();
}

// The copy is up once the lock names it and its socket takes connections.
// The socket file alone proves nothing: a killed copy leaves its file behind
// until the next copy replaces it.
bool LorvexTest::waitUntilOwner(QProcess* copy) {
    auto listening = [] {
        QLocalSocket socket;
        socket.connectToServer(SingleApplication::socketPath(kId));
        const bool up = socket.waitForConnected(200);
        socket.abort();
        return up;
    };
    return copy->waitForStarted(kUpMs) &&
           QTest::qWaitFor(
               [copy, &listening] { return lockOwner() == copy->processId() && listening(); },
               kUpMs);
}

void LorvexTest::secondStartAgainstLiveCopy() {
    QProcess* first = start();
    QVERIFY(waitUntilOwner(first));
    // The probe switch shows that the second start paints no window.
    QProcess* second = start({"LORVEX_REPORT_FIRST_PAINT=1"});
    QVERIFY(second->waitForFinished(kSecondStartMs));
    const QByteArray err = second->readAllStandardError();
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY2(err.contains(kBoxLine), err.constData());
    QVERIFY2(!err.contains("first-paint"), err.constData());
    // The running copy takes no action on the message and keeps running.
    QCOMPARE(first->state(), QProcess::Running);
    QCOMPARE(lockOwner(), first->processId());
}

void LorvexTest::secondStartAgainstStoppedCopy() {
    QProcess* first = start();
    QVERIFY(waitUntilOwner(first));
    QCOMPARE(::kill(pid_t(first->processId()), SIGSTOP), 0);
    QElapsedTimer clock;
    clock.start();
    QProcess* second = start();
    QVERIFY(second->waitForFinished(kSecondStartMs));
    const qint64 took = clock.elapsed();
    ::kill(pid_t(first->processId()), SIGCONT);
    const QByteArray err = second->readAllStandardError();
    QCOMPARE(second->exitCode(), 1);
    QVERIFY2(err.contains(kBoxLine), err.constData());
    // It waited out its 5-s send before giving up; how much longer its own
    // start and end took depends on the machine's load, which
    // waitForFinished already bounds.
    QVERIFY2(took >= 5000, qPrintable(QString::number(took)));
    // Woken again, the first copy still owns the name and answers.
    QVERIFY(confirmsMessages());
}

void LorvexTest::startAfterKilledCopyRunsNormally() {
    QProcess* first = start();
    QVERIFY(waitUntilOwner(first));
    first->kill();
    QVERIFY(first->waitForFinished(5000));
    QVERIFY(QFileInfo::exists(SingleApplication::lockFilePath(kId)));
    QVERIFY(QFileInfo::exists(SingleApplication::socketPath(kId)));

    QProcess* next = start();
    QVERIFY(waitUntilOwner(next));
    QVERIFY(confirmsMessages());
    QCOMPARE(next->state(), QProcess::Running);

    QProcess* third = start();
    QVERIFY(third->waitForFinished(kSecondStartMs));
    const QByteArray err = third->readAllStandardError();
    QCOMPARE(third->exitCode(), 0);
    QVERIFY2(err.contains(kBoxLine), err.constData());
    QCOMPARE(next->state(), QProcess::Running);
}

// The window paints, the probe quits the event loop, and the loop's result
// is the exit code; on the way out the copy gives its lock and socket up.
void LorvexTest::firstPaintProbeEndsTheLoopCleanly() {
    QProcess* copy = start({"LORVEX_REPORT_FIRST_PAINT=1", "LORVEX_EXIT_AFTER_FIRST_PAINT=1"});
    QVERIFY(copy->waitForFinished(kUpMs));
    const QByteArray err = copy->readAllStandardError();
    QCOMPARE(copy->exitStatus(), QProcess::NormalExit);
    QCOMPARE(copy->exitCode(), 0);
    QVERIFY2(err.contains("probe: first-paint ms="), err.constData());
    QVERIFY2(err.contains("probe: rss kb="), err.constData());
    QVERIFY(!QFileInfo::exists(SingleApplication::lockFilePath(kId)));
    QVERIFY(!QFileInfo::exists(SingleApplication::socketPath(kId)));
}

int main(int argc, char** argv) {
    // The program must never search on this machine's own network.
    if (qEnvironmentVariableIsEmpty("LORVEX_NETNS_HOST")) {
        std::fprintf(stderr, "LorvexTest: skipped: run it through scripts/netns-run\n");
        return 77;
    }
    QCoreApplication app(argc, argv);
    LorvexTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "LorvexTest.moc"
