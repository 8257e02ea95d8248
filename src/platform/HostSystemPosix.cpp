// HostSystem on POSIX systems.
#include "platform/HostSystem.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <unistd.h>

namespace HostSystem {

QString userKey()
{
    return QString::number(qulonglong(::getuid()));
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
