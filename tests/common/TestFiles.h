#pragma once
// Small helpers for tests that work on real files in temporary directories.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <filesystem>

namespace TestFiles {

inline bool write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

// Rewrites an existing file in place with `bytes`, cut to their length. Truncating to zero
// and writing again would make ext4 flush the file to disk on every close, which costs
// seconds over the thousands of copies a robustness run writes.
inline bool overwrite(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    if (f.write(bytes) != bytes.size())
        return false;
    return f.size() == bytes.size() || f.resize(bytes.size());
}

inline QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Copies a directory tree (files made writable, since the fixtures are read-only).
inline bool copyTree(const QString &from, const QString &to)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::copy(QFile::encodeName(from).toStdString(), QFile::encodeName(to).toStdString(),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec)
        return false;
    for (auto it = fs::recursive_directory_iterator(QFile::encodeName(to).toStdString(), ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::permissions(QFile::encodeName(to).toStdString(), fs::perms::owner_write, fs::perm_options::add, ec);
    return !ec;
}

// The bytes this process has read from files and pipes so far (Linux), or -1 (elsewhere;
// under Wine the file is there, but Wine's own reads are not all counted in it).
inline qint64 bytesReadSoFar()
{
#ifdef Q_OS_WIN
    return -1;
#else
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
#endif
}

} // namespace TestFiles
