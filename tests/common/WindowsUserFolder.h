#pragma once
// Windows names the user's folders of settings and data itself, and no variable moves them.
// Qt's test mode gives the tests a folder of their own instead (AppData/Local/qttest, for
// settings and data alike); TestUserFolder() switches it on and returns that folder, with
// whatever an earlier test left under Orvik's name in it removed.

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>

inline QString TestUserFolder()
{
    QStandardPaths::setTestModeEnabled(true);
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QFile::remove(folder + QStringLiteral("/orvik"));
    QDir(folder + QStringLiteral("/orvik")).removeRecursively();
    return folder;
}
