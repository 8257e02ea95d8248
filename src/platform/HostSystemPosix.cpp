// HostSystem on POSIX systems.
#include "platform/HostSystem.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace HostSystem {

QString userKey()
{
    return QString::number(qulonglong(::getuid()));
}

bool makePrivateFolder(const QString &path, QString *why)
{
    const QByteArray native = QFile::encodeName(path);
    const auto fail = [&](const QString &reason) {
        *why = reason;
        return false;
    };
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    // Looked at as it was opened, not by its name: a link to a folder elsewhere is refused.
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return fail(errno == ELOOP || errno == ENOTDIR ? QStringLiteral("it is a link or not a folder")
                                                       : QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st
    {};
    const bool looked = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (!looked)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (st.st_uid != ::getuid())
        return fail(QStringLiteral("it belongs to user %1").arg(qulonglong(st.st_uid)));
    // Others who could write there may have put names in it already: it is not made
    // private now, it is refused.
    if (st.st_mode & 077)
        return fail(QStringLiteral("others may use it (mode %1)").arg(st.st_mode & 07777, 4, 8, QLatin1Char('0')));
    return true;
}

bool localPeerIsThisUser(qintptr socketDescriptor)
{
#ifdef SO_PEERCRED
    struct ucred peer
    {};
    socklen_t length = sizeof peer;
    if (::getsockopt(int(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || length != sizeof peer)
        return false;
    return peer.uid == ::getuid();
#else
    uid_t uid = 0;
    gid_t gid = 0;
    return ::getpeereid(int(socketDescriptor), &uid, &gid) == 0 && uid == ::getuid();
#endif
}

QString executablePath()
{
    // Linux names the executable in /proc; this works before any QCoreApplication exists.
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.exists() ? self.symLinkTarget() : QString();
}

QString systemDriveRoot()
{
    return QStringLiteral("/");
}

QString findMediaPlayer(const QString &)
{
    for (const char *candidate : {"vlc", "mpv", "totem", "celluloid", "ffplay"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(candidate));
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

QString fallbackMediaPlayer()
{
    // Looked up in PATH when started.
    return QStringLiteral("mplayer");
}

bool isTerminal(std::FILE *stream)
{
    return ::isatty(::fileno(stream)) != 0;
}

void writeBytesAsGiven(std::FILE *) {}

void prepareProcess() {}

} // namespace HostSystem
