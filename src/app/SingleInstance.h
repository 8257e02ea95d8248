#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;
class QTimer;

// The rule that one user runs one Orvik at a time.
//
// The first process takes a lock file in a folder of the user's own and listens on a local
// socket beside it. A later process finds the lock held, connects to the socket and asks the
// first one to bring its window forward, handing it the folder it was started with, if any;
// then it ends. Neither side looks at window captions, so the rule holds in every language.
// A lock left behind by a process that died is recognised (its process is gone) and taken
// over; a socket file left behind is replaced.
//
// Nobody else takes part: the folder (orvik-<user> in the runtime folder) is made private to
// the user, or checked to be, before anything in it is used, and each side of a connection
// checks that the other runs as the same user. A running instance that cannot be proven to
// be the user's own, or that does not answer in time, is not handed anything: the process
// starts on its own instead. The listening side keeps itself reachable: a request longer
// than a line of a few kilobytes, a connection that says nothing within seconds and
// connections beyond a handful at once are dropped, and a server that stopped listening
// (or whose socket file went) listens again.
//
//   SingleInstance instance;
//   if (!instance.Acquire() && !instance.HandOver(folder).isEmpty()) return;  // handed over
//   instance.SetActivateHandler([&](const QString &folder) { ...; return "shown"; });
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // The longest request taken (a folder's path, percent-encoded), the connections served
    // at once, and how long one may take to send its request.
    static constexpr qint64 kMaxRequestBytes = 64 * 1024;
    static constexpr int kMaxConnections = 16;
    static constexpr int kRequestMilliseconds = 3000;

    // `runtimeDirectory` holds the user's private folder with the lock file and the socket;
    // by default the user's runtime folder (XDG_RUNTIME_DIR), else the temporary folder.
    explicit SingleInstance(const QString &runtimeDirectory = DefaultDirectory(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first: the lock is held and the socket listens until
    // the object is destroyed. False when another process holds the lock. When the rule
    // cannot be kept here (the folder cannot be made, is not the user's own or not private,
    // the lock cannot be made) the process runs as if it were the first, without the rule,
    // and Problem() says why.
    bool Acquire();

    // Asks the first process to bring its window forward and, when `folder` is not empty, to
    // open that folder (an absolute path). Returns the first process's answer ("shown",
    // "minimised", "opened", ...), or an empty string, with the reason in `why`, when no
    // process of this user's answered within a few seconds: the caller then starts on its own.
    QString HandOver(const QString &folder = QString(), QString *why = nullptr) const;

    // Called on the first process's UI thread for every hand-over with the folder handed
    // over (empty for none); the text it returns is sent back to the process that asked.
    void SetActivateHandler(std::function<QString(const QString &folder)> handler) { m_activate = std::move(handler); }

    // The user's private folder, and the lock file and the socket in it.
    QString Folder() const;
    QString LockPath() const;
    QString ServerPath() const;
    bool IsListening() const;
    // Why Acquire() runs without the rule; empty when it keeps it.
    const QString &Problem() const { return m_problem; }

    static QString DefaultDirectory();

private:
    void OnNewConnection();
    void Serve(QLocalSocket *socket);
    // Listens anew when the server stopped or its socket file went.
    void KeepListening();
    bool Listen();

    QString m_directory;
    QString m_problem;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    QTimer *m_watchdog = nullptr;
    int m_connections = 0;
    std::function<QString(const QString &)> m_activate;
};
