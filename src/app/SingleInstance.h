#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

// The rule that one user runs one Orvik at a time.
//
// The first process takes a lock file in the user's runtime folder and listens on a local
// socket beside it. A later process finds the lock held, connects to the socket and asks the
// first one to bring its window forward, handing it the folder it was started with, if any;
// then it ends. Neither side looks at window captions, so the rule holds in every language.
// A lock left behind by a process that died is recognised (its process is gone) and taken
// over; a socket file left behind is replaced.
//
//   SingleInstance instance;
//   if (!instance.Acquire()) { instance.HandOver(folder); return; }   // a first process runs
//   instance.SetActivateHandler([&](const QString &folder) { ...; return "shown"; });
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // `directory` holds the lock file and the socket; by default the user's runtime folder
    // (XDG_RUNTIME_DIR), else the temporary folder.
    explicit SingleInstance(const QString &directory = DefaultDirectory(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first: the lock is held and the socket listens until
    // the object is destroyed. False when another living process holds the lock. When the
    // lock cannot be made at all (folder not writable) the process runs as if it were the
    // first, without the rule.
    bool Acquire();

    // Asks the first process to bring its window forward and, when `folder` is not empty, to
    // open that folder (an absolute path). Returns the first process's answer ("shown",
    // "minimised", "opened", ...) or an empty string when it did not answer within a few
    // seconds.
    QString HandOver(const QString &folder = QString()) const;

    // Called on the first process's UI thread for every hand-over with the folder handed
    // over (empty for none); the text it returns is sent back to the process that asked.
    void SetActivateHandler(std::function<QString(const QString &folder)> handler) { m_activate = std::move(handler); }

    QString LockPath() const;
    QString ServerPath() const;
    bool IsListening() const;

    static QString DefaultDirectory();

private:
    void OnNewConnection();

    QString m_directory;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    std::function<QString(const QString &)> m_activate;
};
