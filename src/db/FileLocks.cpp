#include "db/FileLocks.h"

#include "config/FolderNames.h"

#include <QFileInfo>
#include <QList>

#include <chrono>
#include <thread>

namespace FileLocks {

bool lockStatement(const jet::RandomAccessFile &file, bool write)
{
    if (write)
        return tryLockStatement(file, true) == Attempt::Locked;
    // A delete holds the lock for a fraction of a second; wait up to two seconds for it.
    for (int attempt = 0; attempt < 200; ++attempt) {
        switch (tryLockStatement(file, false)) {
        case Attempt::Locked:
            return true;
        case Attempt::Failed:
            return false;
        case Attempt::Busy:
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

QString heldJetLockFile(const QString &databasePath)
{
    const QFileInfo info(databasePath);
    QList<QFileInfo> files{info};
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        files << QFileInfo(canonical);
    // Written on Windows, the lock file's name may be in any letter case ("DBR.LDB").
    for (const QFileInfo &file : files) {
        const QString dir = file.absolutePath() + QLatin1Char('/');
        for (const char *suffix : {".ldb", ".LDB", ".laccdb"}) {
            const QString found = FolderNames::find(dir, file.completeBaseName() + QLatin1String(suffix));
            if (!found.isEmpty() && isJetLockFileHeld(dir + found))
                return dir + found;
        }
    }
    return QString();
}

} // namespace FileLocks
