#pragma once
// A folder that the test process cannot write once sealed, as a backup on a read-only
// disk or share: a tmpfs mounted read-only when the tests run as root (root writes through
// any permission), else a folder whose write permissions are taken away.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QString>

#ifndef _WIN32
#include <unistd.h>
#endif

class ReadOnlyFolder
{
public:
    // Creates `path` (writable until seal()). False from usable() when a root run cannot
    // mount here (no mount rights in the container).
    explicit ReadOnlyFolder(const QString &path) : m_path(path), m_root(runningAsRoot())
    {
        QDir().mkpath(path);
        if (m_root)
            m_mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=16m", "orvik-test", path}) == 0;
    }
    ~ReadOnlyFolder()
    {
        if (m_mounted)
            QProcess::execute("umount", {m_path});
        else
            setWritable(true); // so that the temporary folder can be removed
    }
    ReadOnlyFolder(const ReadOnlyFolder &) = delete;
    ReadOnlyFolder &operator=(const ReadOnlyFolder &) = delete;

#ifdef _WIN32
    // A folder's read-only attribute does not keep new files out on Windows, and under Wine
    // run as root no file attribute keeps writes out either.
    bool usable() const
    {
        return false;
    }
    static const char *whyNot()
    {
        return "Windows has no folder a test can make read-only";
    }
#else
    bool usable() const
    {
        return !m_root || m_mounted;
    }
    static const char *whyNot()
    {
        return "cannot mount a tmpfs here (running as root, which writes through permissions)";
    }
#endif
    const QString &path() const
    {
        return m_path;
    }

    // From now on nothing inside can be written.
    bool seal()
    {
        if (m_mounted)
            return QProcess::execute("mount", {"-o", "remount,ro", m_path}) == 0;
        setWritable(false);
        return true;
    }

private:
    // Only root may mount; Windows has no such user (and no tmpfs).
    static bool runningAsRoot()
    {
#ifdef _WIN32
        return false;
#else
        return ::geteuid() == 0;
#endif
    }

    void setWritable(bool writable)
    {
        const auto write = QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
        QStringList entries{m_path};
        for (QDirIterator it(m_path, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            entries << it.next();
        for (const QString &entry : entries) {
            const QFile::Permissions p = QFile::permissions(entry);
            QFile::setPermissions(entry, writable ? p | QFile::WriteOwner | QFile::WriteUser : p & ~write);
        }
    }

    QString m_path;
    bool m_root;
    bool m_mounted = false;
};
