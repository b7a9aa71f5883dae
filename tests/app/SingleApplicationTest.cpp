// The single-instance guard. This process is the first copy of kId for the
// whole run; later copies are this same program started again with
// "--peer ...", so that each test sees real processes meet over the lock
// file and the socket. Everything happens in a private runtime folder.
#include "SingleApplication.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kId = QStringLiteral("Lorvex-test");
const int kWaitMs = 10000;

// --- the peer: a later copy, run as a child process ------------------------

// hold ID: becomes a copy of ID and reports "primary" or "running"; a
// primary then says "ready", prints every message it receives and quits on
// the message "quit".
int holdPeer(SingleApplication& app) {
    const bool running = app.isRunning();
    std::printf("%s\n", running ? "running" : "primary");
    if (running) {
        return 2;
    }
    QObject::connect(&app, &SingleApplication::messageReceived, &app, [&app](const QString& m) {
        std::printf("received: %s\n", qPrintable(m));
        std::fflush(stdout);
        if (m == QLatin1String("quit")) {
            app.quit();
        }
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

// send ID MESSAGE TIMEOUT: exits 0 when delivered, 1 when not, 2 when no
// copy of ID is running.
int sendPeer(SingleApplication& app, const char* message, const char* timeout) {
    if (!app.isRunning()) {
        return 2;
    }
    return app.sendMessage(QString::fromUtf8(message), QByteArray(timeout).toInt()) ? 0 : 1;
}

int runPeer(int argc, char** argv) {
    if (argc < 4) {
        return 3;
    }
    const QByteArray mode = argv[2];
    SingleApplication app(QString::fromUtf8(argv[3]), argc, argv);
    if (mode == "hold") {
        return holdPeer(app);
    }
    return argc >= 6 && mode == "send" ? sendPeer(app, argv[4], argv[5]) : 3;
}

// --- the driving side -------------------------------------------------------

class Peer {
public:
    explicit Peer(const QStringList& args, const QByteArray& runtimeDir = QByteArray()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!runtimeDir.isEmpty()) {
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromLocal8Bit(runtimeDir));
        }
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_finished = std::make_unique<QSignalSpy>(
            &m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
        m_process.start(QCoreApplication::applicationFilePath(), QStringList{"--peer"} + args);
    }
    ~Peer() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kWaitMs);
        }
    }

    // Waits, with the event loop running (this process may have to answer
    // the peer), until the peer ends; its exit code, or -1 if it did not end.
    int exitCode(int ms = kWaitMs) {
        if (m_finished->isEmpty() && !m_finished->wait(ms)) {
            return -1;
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    // Waits until the peer's output holds `line`.
    bool says(const QByteArray& line, int ms = kWaitMs) {
        const QDeadlineTimer deadline(ms);
        QSignalSpy output(&m_process, &QProcess::readyReadStandardOutput);
        for (;;) {
            m_output += m_process.readAllStandardOutput();
            if (m_output.contains(line + '\n')) {
                return true;
            }
            if (deadline.hasExpired() || !output.wait(int(deadline.remainingTime()))) {
                return false;
            }
        }
    }

    void kill() {
        ::kill(pid_t(m_process.processId()), SIGKILL);
        exitCode();
    }

private:
    QProcess m_process;
    std::unique_ptr<QSignalSpy> m_finished;
    QByteArray m_output;
};

QStringList holdArgs(const QString& id) { return {"hold", id}; }
QStringList sendArgs(const QString& id, const QString& message, int timeout = 5000) {
    return {"send", id, message, QString::number(timeout)};
}

// Writes `frame` in pieces of `piece` bytes, each one out of this process's
// buffer before the next.
bool writeInPieces(QLocalSocket& socket, const QByteArray& frame, int piece) {
    for (int at = 0; at < frame.size(); at += piece) {
        socket.write(frame.mid(at, piece));
        if (socket.bytesToWrite() > 0 &&
            !QTest::qWaitFor([&] { return socket.bytesToWrite() == 0; }, kWaitMs)) {
            return false;
        }
    }
    return true;
}

bool ackArrives(QLocalSocket& socket) {
    if (!QTest::qWaitFor([&] { return socket.bytesAvailable() > 0; }, kWaitMs)) {
        return false;
    }
    return socket.read(1) == QByteArray(1, SingleApplication::kAck);
}

// The ways a copy that is gone leaves its files.
enum class Leftover { KilledCopy, UnreadableOldLock, LockOfOtherProgram, SocketOnly };

} // namespace

Q_DECLARE_METATYPE(Leftover)

class SingleApplicationTest : public QObject {
    Q_OBJECT
public:
    explicit SingleApplicationTest(SingleApplication& app) : m_app(app) {}

private slots:
    void firstCopyHoldsLockAndSocket();
    void filesAreNamedPerUserAndIdentifier_data();
    void filesAreNamedPerUserAndIdentifier();
    void runtimeFolderIsOneOnlyTheUserCanEnter();
    void receivesFramedMessages_data();
    void receivesFramedMessages();
    void dropsPeerWithOversizeLength();
    void answersConnectionsInAnyOrder();
    void laterCopyDeliversToRunningOne();
    void sendFailsWhenNoCopyRuns();
    void sendGivesUpWithoutConfirmation_data();
    void sendGivesUpWithoutConfirmation();
    void goneCopyNeverBlocksStart_data();
    void goneCopyNeverBlocksStart();
    void longRunningCopyStillCounts();
    void unusableRuntimeFolderStillStarts();
    void endingCopyReleasesItsFiles();

private:
    void leave(Leftover leftover, const QString& id);

    SingleApplication& m_app;
};

void SingleApplicationTest::firstCopyHoldsLockAndSocket() {
    QCOMPARE(m_app.id(), kId);
    QVERIFY(!m_app.isRunning());
    QVERIFY(QFileInfo::exists(SingleApplication::lockFilePath(kId)));
    QVERIFY(QFileInfo::exists(SingleApplication::socketPath(kId)));
    // Only this user may connect.
    QCOMPARE(QFileInfo(SingleApplication::socketPath(kId)).permissions() &
                 (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
             QFile::Permissions());
}

void SingleApplicationTest::filesAreNamedPerUserAndIdentifier_data() {
    QTest::addColumn<QString>("id");
    QTest::newRow("plain") << "Lorvex";
    QTest::newRow("slashes and blanks") << "a/b c";
    QTest::newRow("non-ASCII") << QString::fromUtf8("设备");
}

void SingleApplicationTest::filesAreNamedPerUserAndIdentifier() {
    QFETCH(QString, id);
    const QFileInfo lock(SingleApplication::lockFilePath(id));
    const QFileInfo socket(SingleApplication::socketPath(id));
    const QString other = SingleApplication::socketPath(id + QLatin1Char('x'));

    QCOMPARE(lock.path(), SingleApplication::runtimeFolder());
    QCOMPARE(socket.path(), SingleApplication::runtimeFolder());
    QVERIFY(lock.fileName() != socket.fileName());
    const QString user = QStringLiteral("-%1.").arg(::getuid());
    QVERIFY2(lock.fileName().contains(user), qPrintable(lock.fileName()));
    QVERIFY2(!socket.fileName().contains('/') && !socket.fileName().contains(' '),
             qPrintable(socket.fileName()));
    QVERIFY(other != socket.filePath());
}

// The folder of the lock and the socket is one no other local user can
// enter or name first: a runtime folder that is not private is passed over,
// and so is a folder in the temporary folder that someone else made.
void SingleApplicationTest::runtimeFolderIsOneOnlyTheUserCanEnter() {
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTemp = qgetenv("TMPDIR");
    const QByteArray savedHome = qgetenv("HOME");
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString base = scratch.path();
    const QString uid = QString::number(::getuid());
    QVERIFY(QDir(base).mkpath(QStringLiteral("tmp")) && QDir(base).mkpath(QStringLiteral("home")));
    QVERIFY(QDir(base).mkpath(QStringLiteral("private")) && QDir(base).mkpath(QStringLiteral("open")));
    ::chmod(QFile::encodeName(base + "/private").constData(), 0700);
    ::chmod(QFile::encodeName(base + "/open").constData(), 0777);
    QVERIFY(QFile::link(base + "/private", base + "/link"));
    qputenv("TMPDIR", QFile::encodeName(base + "/tmp"));
    qputenv("HOME", QFile::encodeName(base + "/home"));
    const QString temp = base + "/tmp/lorvex-" + uid;

    const struct {
        const char* runtime;
        QString expected;
    } rows[] = {
        {"/private", base + "/private"},
        {"/open", temp},
        {"/link", temp},
        {"/missing", temp},
        {nullptr, temp},
    };
    for (const auto& row : rows) {
        row.runtime ? qputenv("XDG_RUNTIME_DIR", QFile::encodeName(base + row.runtime))
                    : qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(SingleApplication::runtimeFolder(), row.expected);
    }
    QCOMPARE(QFileInfo(temp).permissions() & (QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                              QFile::ExeOther | QFile::WriteOther),
             QFile::Permissions());

    // Another user made the temporary folder's name first.
    QDir(temp).removeRecursively();
    QVERIFY(QDir().mkpath(temp));
    if (::getuid() == 0) {
        QCOMPARE(::chown(QFile::encodeName(temp).constData(), 65534, 65534), 0);
    } else {
        ::chmod(QFile::encodeName(temp).constData(), 0777);
    }
    QCOMPARE(SingleApplication::runtimeFolder(), base + "/home/.cache/lorvex-runtime-" + uid);

    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    qputenv("TMPDIR", savedTemp);
    qputenv("HOME", savedHome);
}

void SingleApplicationTest::receivesFramedMessages_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("piece");
    const QByteArray large(300000, 'm');
    QTest::newRow("whole") << "Lorvex" << 1000;
    QTest::newRow("empty") << QString() << 64;
    QTest::newRow("UTF-8") << QString::fromUtf8("设备 Überwachung") << 64;
    QTest::newRow("byte by byte") << "Lorvex" << 1;
    QTest::newRow("header split") << "Lorvex" << 3;
    QTest::newRow("larger than a socket read") << QString::fromLatin1(large) << 70000;
}

void SingleApplicationTest::receivesFramedMessages() {
    QFETCH(QString, message);
    QFETCH(int, piece);
    QSignalSpy received(&m_app, &SingleApplication::messageReceived);
    QLocalSocket socket;
    socket.connectToServer(SingleApplication::socketPath(kId));
    QVERIFY(socket.waitForConnected(kWaitMs));
    const QByteArray frame = SingleApplication::frame(message);
    QVERIFY(writeInPieces(socket, frame.left(frame.size() - 1), piece));
    // Nothing counts before the last byte is in.
    QCoreApplication::processEvents();
    QCOMPARE(received.count(), 0);
    QCOMPARE(socket.bytesAvailable(), 0);

    QVERIFY(writeInPieces(socket, frame.right(1), 1));
    QVERIFY(ackArrives(socket));
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toString(), message);
}

void SingleApplicationTest::dropsPeerWithOversizeLength() {
    QSignalSpy received(&m_app, &SingleApplication::messageReceived);
    QLocalSocket socket;
    socket.connectToServer(SingleApplication::socketPath(kId));
    QVERIFY(socket.waitForConnected(kWaitMs));
    QByteArray header(4, '\0');
    qToBigEndian<quint32>(0x7fffffff, header.data());
    socket.write(header + "abc");
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QLocalSocket::UnconnectedState, kWaitMs);
    QCOMPARE(received.count(), 0);
}

void SingleApplicationTest::answersConnectionsInAnyOrder() {
    QSignalSpy received(&m_app, &SingleApplication::messageReceived);
    QLocalSocket early;
    QLocalSocket late;
    early.connectToServer(SingleApplication::socketPath(kId));
    late.connectToServer(SingleApplication::socketPath(kId));
    QVERIFY(early.waitForConnected(kWaitMs) && late.waitForConnected(kWaitMs));
    QVERIFY(writeInPieces(late, SingleApplication::frame("second"), 64));
    QVERIFY(ackArrives(late));
    QVERIFY(writeInPieces(early, SingleApplication::frame("first"), 64));
    QVERIFY(ackArrives(early));
    QCOMPARE(received.count(), 2);
    QCOMPARE(received.at(0).at(0).toString(), QStringLiteral("second"));
    QCOMPARE(received.at(1).at(0).toString(), QStringLiteral("first"));
}

void SingleApplicationTest::laterCopyDeliversToRunningOne() {
    QSignalSpy received(&m_app, &SingleApplication::messageReceived);
    Peer later(sendArgs(kId, "Lorvex"));
    QCOMPARE(later.exitCode(), 0);
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toString(), QStringLiteral("Lorvex"));
}

void SingleApplicationTest::sendFailsWhenNoCopyRuns() {
    // This process is the copy that runs: it has no one to send to.
    QVERIFY(!m_app.sendMessage("anyone?", 200));
}

void SingleApplicationTest::sendGivesUpWithoutConfirmation_data() {
    QTest::addColumn<bool>("listening");
    QTest::newRow("stopped copy: connects, never read") << true;
    QTest::newRow("lock held, no socket") << false;
}

// A copy that holds the lock but never reads (stopped, hung) must make the
// sender give up after its time-out, not earlier and not never.
void SingleApplicationTest::sendGivesUpWithoutConfirmation() {
    QFETCH(bool, listening);
    const QString id = QStringLiteral("silent-%1").arg(listening);
    QLockFile lock(SingleApplication::lockFilePath(id));
    QVERIFY(lock.tryLock(0));
    QLocalServer server;
    QVERIFY(!listening || server.listen(SingleApplication::socketPath(id)));

    QElapsedTimer clock;
    clock.start();
    Peer later(sendArgs(id, "Lorvex", 600));
    QCOMPARE(later.exitCode(), 1);
    QVERIFY2(clock.elapsed() >= 600, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
}

void SingleApplicationTest::leave(Leftover leftover, const QString& id) {
    const QString lockPath = SingleApplication::lockFilePath(id);
    QFile lock(lockPath);
    switch (leftover) {
    case Leftover::KilledCopy: {
        Peer first(holdArgs(id));
        QVERIFY(first.says("ready"));
        first.kill();
        QVERIFY(QFileInfo::exists(lockPath));
        QVERIFY(QFileInfo::exists(SingleApplication::socketPath(id)));
        return;
    }
    case Leftover::UnreadableOldLock:
        // Killed between creating the lock file and writing it.
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.close();
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                 QFileDevice::FileModificationTime));
        return;
    case Leftover::LockOfOtherProgram:
        // The PID of a gone copy now belongs to another program (this one).
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(QCoreApplication::applicationPid()) + "\nlorvex\n" +
                   QHostInfo::localHostName().toUtf8() + "\n");
        return;
    case Leftover::SocketOnly: {
        QFile socket(SingleApplication::socketPath(id));
        QVERIFY(socket.open(QIODevice::WriteOnly));
        return;
    }
    }
}

void SingleApplicationTest::goneCopyNeverBlocksStart_data() {
    QTest::addColumn<Leftover>("leftover");
    QTest::newRow("killed copy: lock and socket left") << Leftover::KilledCopy;
    QTest::newRow("lock file empty and old") << Leftover::UnreadableOldLock;
    QTest::newRow("lock naming a PID now of another program") << Leftover::LockOfOtherProgram;
    QTest::newRow("socket file only") << Leftover::SocketOnly;
}

void SingleApplicationTest::goneCopyNeverBlocksStart() {
    QFETCH(Leftover, leftover);
    const QString id = QStringLiteral("gone-%1").arg(int(leftover));
    leave(leftover, id);
    if (QTest::currentTestFailed()) {
        return;
    }
    Peer next(holdArgs(id));
    QVERIFY(next.says("primary"));
    QVERIFY(next.says("ready"));
    // It owns the name now: a later copy sees it running and reaches it.
    Peer later(sendArgs(id, "hi"));
    QCOMPARE(later.exitCode(), 0);
    QVERIFY(next.says("received: hi"));
}

// A copy that has run for a long time has an old lock file; age alone must
// not make it look gone.
void SingleApplicationTest::longRunningCopyStillCounts() {
    const QString id = QStringLiteral("long-running");
    Peer first(holdArgs(id));
    QVERIFY(first.says("ready"));
    QFile lock(SingleApplication::lockFilePath(id));
    QVERIFY(lock.open(QIODevice::ReadWrite));
    QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-2),
                             QFileDevice::FileModificationTime));
    lock.close();
    Peer later(sendArgs(id, "still there?"));
    QCOMPARE(later.exitCode(), 0);
    QVERIFY(first.says("received: still there?"));
}

void SingleApplicationTest::unusableRuntimeFolderStillStarts() {
    QTemporaryDir dir;
    const QByteArray missing = QFile::encodeName(dir.path()) + "/not-there";
    Peer copy(holdArgs("nowhere"), missing);
    QVERIFY(copy.says("primary"));
    QVERIFY(copy.says("ready"));
}

void SingleApplicationTest::endingCopyReleasesItsFiles() {
    const QString id = QStringLiteral("ending");
    {
        Peer first(holdArgs(id));
        QVERIFY(first.says("ready"));
        Peer stop(sendArgs(id, "quit"));
        QCOMPARE(stop.exitCode(), 0);
        QCOMPARE(first.exitCode(), 0);
    }
    QVERIFY(!QFileInfo::exists(SingleApplication::lockFilePath(id)));
    QVERIFY(!QFileInfo::exists(SingleApplication::socketPath(id)));
}

int main(int argc, char** argv) {
    if (argc > 1 && qstrcmp(argv[1], "--peer") == 0) {
        return runPeer(argc, argv);
    }
    QTemporaryDir runtime;
    // Copies of this run meet here only, never a real user's tool.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    SingleApplication app(kId, argc, argv);
    qRegisterMetaType<QProcess::ExitStatus>();
    SingleApplicationTest test(app);
    return QTest::qExec(&test, argc, argv);
}

#include "SingleApplicationTest.moc"
