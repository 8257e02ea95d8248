#include "app/SingleInstance.h"

#include "platform/HostSystem.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

// The requests a second process sends, one line each: "show", or "open " and the folder's
// path in UTF-8, percent-encoded so that no byte of it ends the line. And how long it keeps
// trying: the first process may hold the lock a moment before its socket listens, or be
// busy with as many connections as it serves at once.
constexpr char kShowRequest[] = "show";
constexpr char kOpenRequest[] = "open ";
constexpr int kHandOverMilliseconds = 5000;
// An answer is one short word.
constexpr qint64 kMaxAnswerBytes = 4096;
// How often the first process looks whether its server still listens.
constexpr int kWatchdogMilliseconds = 1000;

int remainingOf(const QDeadlineTimer &deadline)
{
    return int(std::max<qint64>(1, deadline.remainingTime()));
}

} // namespace

SingleInstance::SingleInstance(const QString &runtimeDirectory, QObject *parent)
    : QObject(parent)
    , m_directory(runtimeDirectory)
{}

SingleInstance::~SingleInstance()
{
    if (m_server) {
        m_server->close(); // removes the socket file
        delete m_server;   // and the connections still open, before the count they keep
    }
    // m_lock unlocks (and removes the lock file) when destroyed.
}

QString SingleInstance::DefaultDirectory()
{
#ifdef _WIN32
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
#else
    // Not QStandardPaths' runtime location: without XDG_RUNTIME_DIR it makes a folder of a
    // fixed name in /tmp itself. The private folder below is made and checked here.
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
#endif
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

QString SingleInstance::Folder() const
{
    return QDir(m_directory).filePath(QStringLiteral("orvik-%1").arg(HostSystem::userKey()));
}

QString SingleInstance::LockPath() const
{
    return Folder() + QStringLiteral("/instance.lock");
}

QString SingleInstance::ServerPath() const
{
    return Folder() + QStringLiteral("/instance.socket");
}

bool SingleInstance::IsListening() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::Acquire()
{
    QDir().mkpath(m_directory);
    QString why;
    if (!HostSystem::makePrivateFolder(Folder(), &why)) {
        // Someone else's folder under the user's name, or one others may write: nothing in
        // it is trusted, and nothing is handed to it.
        m_problem = QStringLiteral("%1 cannot be used: %2").arg(QDir::toNativeSeparators(Folder()), why);
        return true;
    }
    m_lock = std::make_unique<QLockFile>(LockPath());
    // Only a dead holder makes a lock stale, never its age: the first window may stay open
    // for days.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError)
            return false;
        // No lock can be made here: run without the rule rather than not at all.
        m_problem = QStringLiteral("the lock file %1 cannot be made").arg(QDir::toNativeSeparators(LockPath()));
        m_lock.reset();
        return true;
    }

    m_server = new QLocalServer;
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(kMaxConnections);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
    Listen();
    m_watchdog = new QTimer(this);
    m_watchdog->setInterval(kWatchdogMilliseconds);
    connect(m_watchdog, &QTimer::timeout, this, &SingleInstance::KeepListening);
    m_watchdog->start();
    return true;
}

bool SingleInstance::Listen()
{
    // A socket file left by a process that died, or by this one's server that stopped,
    // would make listen() fail.
    QLocalServer::removeServer(ServerPath());
    return m_server->listen(ServerPath());
}

void SingleInstance::KeepListening()
{
    // Qt closes a server whose accept() fails (no descriptor left) and removes its socket
    // file; and a socket file removed by hand leaves the server listening where no one
    // finds it. Either way the next start would find the lock held and nobody to answer.
#ifdef _WIN32
    const bool reachable = true; // a named pipe has no file to lose
#else
    const bool reachable = QFileInfo(ServerPath()).exists();
#endif
    if (m_server->isListening() && reachable)
        return;
    m_server->close();
    Listen();
}

void SingleInstance::OnNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        // Another user's process, or more connections than are served at once: dropped
        // before a byte of theirs is read.
        if (m_connections >= kMaxConnections || !HostSystem::localPeerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        Serve(socket);
    }
}

void SingleInstance::Serve(QLocalSocket *socket)
{
    ++m_connections;
    connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // One request, one line, within seconds: whoever sends more, or nothing, is dropped.
    socket->setReadBufferSize(kMaxRequestBytes + 1);
    QTimer::singleShot(kRequestMilliseconds, socket, [socket] { socket->abort(); });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > kMaxRequestBytes)
                socket->abort();
            return;
        }
        disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
        const QByteArray request = socket->readLine(kMaxRequestBytes + 1).trimmed();
        QString folder;
        if (request.startsWith(kOpenRequest))
            folder = QString::fromUtf8(QByteArray::fromPercentEncoding(request.mid(qstrlen(kOpenRequest))));
        QByteArray answer = "unknown";
        // The handler may open windows and run their event loops, in which this connection
        // can end.
        const QPointer<QLocalSocket> asking(socket);
        if (request == kShowRequest || !folder.isEmpty())
            answer = m_activate ? m_activate(folder).toUtf8() : QByteArray("starting");
        if (!asking)
            return;
        socket->write(answer + '\n');
        socket->flush();
        // The caller closes once it has read the answer. Closing here could lose it: on
        // Windows the server's end of a pipe drops what the other end has not read yet.
    });
}

QString SingleInstance::HandOver(const QString &folder, QString *why) const
{
    const QByteArray request =
        (folder.isEmpty() ? QByteArray(kShowRequest) : kOpenRequest + folder.toUtf8().toPercentEncoding()) + '\n';
    const QDeadlineTimer deadline(kHandOverMilliseconds);
    QString reason = QStringLiteral("nothing listens on %1").arg(QDir::toNativeSeparators(ServerPath()));
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(ServerPath());
        if (!socket.waitForConnected(std::min(500, remainingOf(deadline)))) {
            QThread::msleep(100);
            continue;
        }
        // Never a word to a process of another user's, however it came to listen there.
        if (!HostSystem::localPeerIsThisUser(socket.socketDescriptor())) {
            if (why)
                *why = QStringLiteral("the process listening on %1 is not this user's")
                           .arg(QDir::toNativeSeparators(ServerPath()));
            return QString();
        }
        socket.setReadBufferSize(kMaxAnswerBytes);
        socket.write(request);
        if (socket.waitForBytesWritten(remainingOf(deadline))) {
            while (!socket.canReadLine() && socket.bytesAvailable() < kMaxAnswerBytes
                   && socket.waitForReadyRead(remainingOf(deadline))) {}
            if (socket.canReadLine())
                return QString::fromUtf8(socket.readLine(kMaxAnswerBytes).trimmed());
        }
        // Dropped (the first process serves as many connections as it takes) or silent:
        // asked again while there is time.
        reason =
            QStringLiteral("the process listening on %1 did not answer").arg(QDir::toNativeSeparators(ServerPath()));
        socket.abort();
        QThread::msleep(100);
    }
    if (why)
        *why = reason;
    return QString();
}
