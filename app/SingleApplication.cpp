#include "SingleApplication.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QtEndian>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

const int kHeaderBytes = 4;
// A message is a short text; a larger length means a peer that does not
// speak this framing, and is not buffered.
const quint32 kMaxMessageBytes = 1 << 20;
// A live copy writes its lock file in the moment it creates it, so a lock
// file without readable contents that is older than this was left by a copy
// killed in that moment.
const qint64 kUnreadableLockAgeMs = 2000;
// Pause between connection attempts while the running copy has its lock but
// is not listening yet (the moments right after its start).
const int kConnectRetryMs = 10;

// A folder only this user can enter: a real directory (not a link to one),
// owned by the user, with no rights for group or others.
bool isPrivateFolder(const QByteArray& path) {
    struct stat st {};
    return lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

// Creates the folder with mode 0700 when it is missing; true when it is
// private then. A folder of that name that someone else made is refused,
// not taken over.
bool makePrivateFolder(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    return isPrivateFolder(path);
}

} // namespace

QString SingleApplication::runtimeFolder() {
    const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && isPrivateFolder(xdg)) {
        return QFile::decodeName(xdg);
    }
    const QByteArray uid = QByteArray::number(::getuid());
    const QByteArray temp = QFile::encodeName(QDir::tempPath()) + "/lorvex-" + uid;
    if (makePrivateFolder(temp)) {
        return QFile::decodeName(temp);
    }
    // Another user can name a folder in the shared temporary folder first;
    // nobody else can in the user's home.
    const QByteArray cache = QFile::encodeName(QDir::homePath()) + "/.cache";
    ::mkdir(cache.constData(), 0700);
    const QByteArray home = cache + "/lorvex-runtime-" + uid;
    return makePrivateFolder(home) ? QFile::decodeName(home) : QString();
}

namespace {

// The identifier in a form fit for a file name, a hash of it so that two
// identifiers that differ only in unfit characters stay apart, and the user.
QString baseName(const QString& id) {
    QString fit = id.left(32);
    for (QChar& c : fit) {
        if (c.unicode() >= 128 || !(c.isLetterOrNumber() || c == '-' || c == '_')) {
            c = '_';
        }
    }
    const QByteArray hash = QCryptographicHash::hash(id.toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("%1-%2-%3")
        .arg(fit, QString::fromLatin1(hash.toHex().left(8)), QString::number(::getuid()));
}

int remaining(const QDeadlineTimer& deadline) {
    return deadline.isForever() ? -1 : int(deadline.remainingTime());
}

bool unreadableAndOld(QLockFile& lock, const QString& path) {
    qint64 pid = 0;
    QString host;
    QString app;
    if (lock.getLockInfo(&pid, &host, &app)) {
        return false;
    }
    const QDateTime modified = QFileInfo(path).lastModified();
    return modified.isValid() &&
           modified.msecsTo(QDateTime::currentDateTime()) > kUnreadableLockAgeMs;
}

bool connectBefore(QLocalSocket& socket, const QString& path, const QDeadlineTimer& deadline) {
    for (;;) {
        socket.connectToServer(path);
        if (socket.waitForConnected(remaining(deadline))) {
            return true;
        }
        socket.abort();
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(qMin<qint64>(kConnectRetryMs, deadline.remainingTime()));
    }
}

bool awaitAck(QLocalSocket& socket, const QDeadlineTimer& deadline) {
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(remaining(deadline))) {
            return false;
        }
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == SingleApplication::kAck;
}

} // namespace

SingleApplication::SingleApplication(const QString& id, int& argc, char** argv)
    : QApplication(argc, argv), m_id(id) {
    m_running = !takeLock() && m_lock->error() == QLockFile::LockFailedError;
    if (m_lock->isLocked()) {
        listen();
    }
}

// The lock goes with the object: the file is removed, the socket closed.
SingleApplication::~SingleApplication() = default;

bool SingleApplication::isRunning() { return m_running; }

QString SingleApplication::id() const { return m_id; }

QString SingleApplication::lockFilePath(const QString& id) {
    const QString folder = runtimeFolder();
    return folder.isEmpty() ? QString() : folder + '/' + baseName(id) + QStringLiteral(".lock");
}

QString SingleApplication::socketPath(const QString& id) {
    const QString folder = runtimeFolder();
    return folder.isEmpty() ? QString() : folder + '/' + baseName(id) + QStringLiteral(".socket");
}

QByteArray SingleApplication::frame(const QString& message) {
    const QByteArray text = message.toUtf8();
    QByteArray bytes(kHeaderBytes, '\0');
    qToBigEndian<quint32>(quint32(text.size()), bytes.data());
    return bytes + text;
}

bool SingleApplication::sendMessage(const QString& message, int timeout) {
    if (!m_running) {
        return false;
    }
    const QDeadlineTimer deadline(timeout);
    QLocalSocket socket;
    if (!connectBefore(socket, socketPath(m_id), deadline)) {
        return false;
    }
    socket.write(frame(message));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remaining(deadline))) {
            return false;
        }
    }
    return awaitAck(socket, deadline);
}

bool SingleApplication::takeLock() {
    const QString path = lockFilePath(m_id);
    m_lock = std::make_unique<QLockFile>(path);
    // A running copy holds its lock for as long as it runs, so the age of the
    // file says nothing; QLockFile then judges the lock by the process it
    // names (gone, another program under a reused PID, or an earlier boot).
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        return true;
    }
    if (m_lock->error() == QLockFile::LockFailedError && unreadableAndOld(*m_lock, path)) {
        m_lock->removeStaleLockFile();
        return m_lock->tryLock(0);
    }
    return false;
}

void SingleApplication::listen() {
    const QString path = socketPath(m_id);
    // Whoever holds the lock owns the socket name: a file there was left by a
    // copy that is gone.
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleApplication::acceptConnections);
    m_server->listen(path);
}

void SingleApplication::acceptConnections() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        readFrom(socket);
    }
}

// Reads once the whole frame is there; until then the bytes wait in the
// socket's buffer.
void SingleApplication::readFrom(QLocalSocket* socket) {
    char header[kHeaderBytes];
    if (socket->peek(header, kHeaderBytes) < kHeaderBytes) {
        return;
    }
    const quint32 length = qFromBigEndian<quint32>(header);
    if (length > kMaxMessageBytes) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (socket->bytesAvailable() < qint64(kHeaderBytes + length)) {
        return;
    }
    socket->skip(kHeaderBytes);
    const QString message = QString::fromUtf8(socket->read(length));
    // Confirm before anyone acts on the message, so that a slow receiver
    // does not make the sender give up on a message that arrived; flushed
    // now, as a receiver that quits on the message leaves no event loop to
    // write it later.
    socket->putChar(kAck);
    socket->flush();
    socket->disconnectFromServer();
    emit messageReceived(message);
}
