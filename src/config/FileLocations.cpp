#include "config/FileLocations.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

constexpr QLatin1String kLanguageFolder("language/");
constexpr QLatin1String kSettingsFile("config.ini");
constexpr QLatin1String kTemplateFile("sample.xlsx");
// The user's folders below the XDG configuration and data folders.
constexpr QLatin1String kUserFolder("/orvik/");

} // namespace

namespace FileLocations {

QString AsFolder(QString dir)
{
    if (!dir.isEmpty() && !dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}

QString FindIn(const QString &dir, const QString &name)
{
    const QString path = AsFolder(dir) + name;
    return QFileInfo::exists(path) ? path : QString();
}

QString InstalledDataDir(const QString &programDir)
{
    // ORVIK_DATA_FROM_BIN is the data folder relative to the folder of the executables, as
    // the build's install rules lay them out.
    return AsFolder(AsFolder(programDir) + QStringLiteral(ORVIK_DATA_FROM_BIN));
}

QString LanguageFolder(const QString &programDir)
{
    if (FindIn(programDir, kLanguageFolder).isEmpty()) {
        const QString installed = QStringLiteral(ORVIK_DATA_FROM_BIN "/") + kLanguageFolder;
        if (!FindIn(programDir, installed).isEmpty())
            return installed;
    }
    return kLanguageFolder;
}

QString SettingsFile(const QString &programDir)
{
    const QString beside = FindIn(programDir, kSettingsFile);
    if (!beside.isEmpty())
        return beside;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + kUserFolder + kSettingsFile;
}

QString TemplateBesideProgram(const QString &programDir)
{
    return FindIn(programDir, kTemplateFile);
}

QString InstalledTemplate(const QString &programDir)
{
    return FindIn(InstalledDataDir(programDir), kTemplateFile);
}

QString UserTemplateFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + kUserFolder + kTemplateFile;
}

} // namespace FileLocations
