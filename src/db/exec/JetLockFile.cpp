#include "db/exec/JetLockFile.h"

#include "config/FolderNames.h"
#include "platform/FileLocks.h"

#include <QFileInfo>
#include <QList>

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
            if (!found.isEmpty() && FileLocks::isJetLockFileHeld(dir + found))
                return dir + found;
        }
    }
    return QString();
}
