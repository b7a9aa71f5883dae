// SingleApplication: the application object that keeps the tool to one copy
// per user. The first copy with an identifier holds a lock file and listens
// on a local socket; a later copy finds the lock held, reports isRunning()
// and can hand the running copy a text message.
//
// Both files live in the user's runtime folder (XDG_RUNTIME_DIR, else the
// temporary folder) and carry the identifier and the user id in their names.
// The socket is a filesystem socket: the main window runs inside a network
// namespace, and abstract sockets do not reach across namespaces.
//
// A copy that was killed outright leaves both files behind. The next start
// sees that the lock names a process that is gone (or that the lock file is
// unreadable and old), removes the stale lock and the stale socket and runs
// as the first copy: a stale file never keeps the tool from starting.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

class SingleApplication : public QApplication {
    Q_OBJECT
public:
    // Builds the application from `argc`/`argv` (unchanged, as QApplication
    // does) and decides at once whether another copy with identifier `id`
    // runs for this user. If none does, this copy takes the lock and listens
    // for messages; if the lock cannot be taken for another reason (no
    // writable runtime folder), this copy runs unguarded rather than refuse.
    SingleApplication(const QString& id, int& argc, char** argv);
    ~SingleApplication() override;

    // True when another copy held the lock at construction; false in the copy
    // that holds it.
    bool isRunning();

    // Sends `message` to the running copy and waits for it to confirm that
    // it has read the whole message. True only with that confirmation within
    // `timeout` ms; false when no other copy runs, when none answers in time
    // (e.g. a stopped one) or the connection fails.
    bool sendMessage(const QString& message, int timeout = 5000);

    // The identifier given at construction.
    QString id() const;

    // The folder the lock file and the socket lie in, one that only this
    // user can enter (read at each call, made when missing): XDG_RUNTIME_DIR
    // when it is a private folder of the user's; else lorvex-UID in the
    // temporary folder, made with mode 0700; else, when another user holds
    // that name, .cache/lorvex-runtime-UID in the home folder. A folder that
    // is a link, is another user's or lets others in is never used, so no
    // other local user can take the name first and keep the tool from
    // starting. Empty when none can be had: the tool then starts unguarded.
    static QString runtimeFolder();

    // Where the lock file and the socket of identifier `id` lie for this
    // user now, in runtimeFolder(); empty when it is.
    static QString lockFilePath(const QString& id);
    static QString socketPath(const QString& id);

    // The bytes a message travels as: a 4-byte big-endian length, then the
    // text in UTF-8. The receiver answers one kAck byte once it has read all.
    static QByteArray frame(const QString& message);
    static const char kAck = 0x06;

signals:
    // In the running copy, once per message fully read from a later copy.
    void messageReceived(const QString& message);

private:
    bool takeLock();
    void listen();
    void acceptConnections();
    void readFrom(QLocalSocket* socket);

    QString m_id;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    bool m_running = false;
};
