#include "app/SingleInstance.h"

#include "platform/HostSystem.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

namespace {

// The requests a second process sends, one line each: "show", or "open " and the folder's
// path in UTF-8, percent-encoded so that no byte of it ends the line. And how long it keeps
// trying: the first process may hold the lock a moment before its socket listens.
constexpr char kShowRequest[] = "show";
constexpr char kOpenRequest[] = "open ";
constexpr int kHandOverMilliseconds = 5000;

QString baseName()
{
    return QStringLiteral("orvik-%1").arg(HostSystem::userKey());
}

} // namespace

SingleInstance::SingleInstance(const QString &directory, QObject *parent) : QObject(parent), m_directory(directory) {}

SingleInstance::~SingleInstance()
{
    if (m_server) {
        m_server->close(); // removes the socket file
        delete m_server;
    }
    // m_lock unlocks (and removes the lock file) when destroyed.
}

QString SingleInstance::DefaultDirectory()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

QString SingleInstance::LockPath() const
{
    return QDir(m_directory).filePath(baseName() + QStringLiteral(".lock"));
}

QString SingleInstance::ServerPath() const
{
    return QDir(m_directory).filePath(baseName() + QStringLiteral(".socket"));
}

bool SingleInstance::IsListening() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::Acquire()
{
    QDir().mkpath(m_directory);
    m_lock = std::make_unique<QLockFile>(LockPath());
    // Only a dead holder makes a lock stale, never its age: the first window may stay open
    // for days.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError)
            return false;
        // No lock can be made here: run without the rule rather than not at all.
        m_lock.reset();
        return true;
    }

    // A socket file left by a process that died would make listen() fail.
    QLocalServer::removeServer(ServerPath());
    m_server = new QLocalServer;
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
    if (!m_server->listen(ServerPath())) {
        delete m_server;
        m_server = nullptr;
    }
    return true;
}

void SingleInstance::OnNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray request = socket->readLine().trimmed();
            QString folder;
            if (request.startsWith(kOpenRequest))
                folder = QString::fromUtf8(QByteArray::fromPercentEncoding(request.mid(qstrlen(kOpenRequest))));
            QByteArray answer = "unknown";
            if (request == kShowRequest || !folder.isEmpty())
                answer = m_activate ? m_activate(folder).toUtf8() : QByteArray("starting");
            socket->write(answer + '\n');
            socket->flush();
            // The caller closes once it has read the answer. Closing here could lose it: on
            // Windows the server's end of a pipe drops what the other end has not read yet.
        });
    }
}

QString SingleInstance::HandOver(const QString &folder) const
{
    const QByteArray request =
        (folder.isEmpty() ? QByteArray(kShowRequest) : kOpenRequest + folder.toUtf8().toPercentEncoding()) + '\n';
    const QDeadlineTimer deadline(kHandOverMilliseconds);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(ServerPath());
        if (socket.waitForConnected(500)) {
            socket.write(request);
            if (!socket.waitForBytesWritten(1000))
                return QString();
            while (!socket.canReadLine() && socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {}
            return QString::fromUtf8(socket.readLine().trimmed());
        }
        QThread::msleep(100);
    }
    return QString();
}
