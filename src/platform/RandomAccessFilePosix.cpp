// RandomAccessFile on POSIX descriptors.
#include "platform/RandomAccessFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The reason the last failed system call gave (errno), in words.
QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool fail(QString *error)
{
    if (error)
        *error = systemError();
    return false;
}

int fdOf(std::intptr_t handle)
{
    return int(handle);
}

// What a file of `mode` is, when it is not a regular file.
QString kindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return QString();
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a file");
}

RandomAccessFile::OpenResult notRegular(QString *error, const QString &kind)
{
    if (error)
        *error = QStringLiteral("not a regular file (%1)").arg(kind);
    return RandomAccessFile::OpenResult::NotRegularFile;
}

} // namespace

RandomAccessFile::OpenResult RandomAccessFile::open(const QString &path, Access access, QString *error)
{
    close();
    const QByteArray native = QFile::encodeName(path);
    int flags = O_CLOEXEC | O_NOCTTY;
    switch (access) {
    case Access::Read:
        flags |= O_RDONLY | O_NONBLOCK;
        break;
    case Access::ReadWrite:
        flags |= O_RDWR | O_NONBLOCK;
        break;
    case Access::CreateNew:
        flags |= O_WRONLY | O_CREAT | O_EXCL;
        break;
    }
    // O_NONBLOCK: a named pipe under the name would otherwise hold the open until something
    // writes to it; it is refused below like any other file that is not regular.
    int fd;
    do {
        fd = ::open(native.constData(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // A folder does not open for writing, a socket not at all: they are named for what
        // they are rather than by the system's complaint.
        const int why = errno;
        if (why == EISDIR || why == ENXIO || why == EOPNOTSUPP) {
            const QString kind = describeKind(path);
            if (!kind.isEmpty())
                return notRegular(error, kind);
        }
        errno = why;
        fail(error);
        return OpenResult::Failed;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        fail(error);
        ::close(fd);
        return OpenResult::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return notRegular(error, kindOfMode(st.st_mode));
    }
    if (flags & O_NONBLOCK)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_handle = fd;
    return OpenResult::Opened;
}

void RandomAccessFile::close()
{
    if (isOpen())
        ::close(fdOf(m_handle));
    m_handle = kClosed;
}

qint64 RandomAccessFile::moveOnce(Direction direction, std::uint64_t offset, char *bytes, std::size_t length,
                                  QString *why) const
{
    for (;;) {
        const ssize_t n = direction == Direction::Read ? ::pread(fdOf(m_handle), bytes, length, off_t(offset))
                                                       : ::pwrite(fdOf(m_handle), bytes, length, off_t(offset));
        if (n >= 0)
            return qint64(n);
        if (errno != EINTR) {
            fail(why);
            return -1;
        }
    }
}

bool RandomAccessFile::sync(QString *error)
{
    if (!mayWrite(error, false))
        return false;
    return ::fsync(fdOf(m_handle)) == 0 || fail(error);
}

bool RandomAccessFile::truncate(std::uint64_t length, QString *error)
{
    if (!mayWrite(error, false))
        return false;
    return ::ftruncate(fdOf(m_handle), off_t(length)) == 0 || fail(error);
}

qint64 RandomAccessFile::size(QString *error) const
{
    struct stat st;
    if (::fstat(fdOf(m_handle), &st) != 0) {
        fail(error);
        return -1;
    }
    return qint64(st.st_size);
}

bool RandomAccessFile::syncFolderOf(const QString &path, QString *error)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return fail(error);
    const bool ok = ::fsync(fd) == 0 || fail(error);
    ::close(fd);
    return ok;
}

QString RandomAccessFile::describeKind(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QString();
    return kindOfMode(st.st_mode);
}

bool RandomAccessFile::remove(const QString &path, QString *error)
{
    if (!mayWrite(error, false))
        return false;
    return ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT || fail(error);
}

bool RandomAccessFile::exists(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}
