#include "config/FileLocations.h"

#include "config/FolderNames.h"

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

QString MatchIn(const QString &dir, const QString &name)
{
    // Names without regard to case, as on Windows, where the program's folder may have
    // been put together: "Language/MENU_ENGLISH.XML" is the language file too.
    return FolderNames::findPath(AsFolder(dir), name);
}

QString FindIn(const QString &dir, const QString &name)
{
    const QString found = MatchIn(dir, name);
    return found.isEmpty() ? QString() : AsFolder(dir) + found;
}

QString InstalledDataDir(const QString &programDir)
{
    // ORVIK_DATA_FROM_BIN is the data folder relative to the folder of the executables, as
    // the build's install rules lay them out.
    return AsFolder(AsFolder(programDir) + QStringLiteral(ORVIK_DATA_FROM_BIN));
}

QString LanguageFolder(const QString &programDir)
{
    if (const QString beside = MatchIn(programDir, kLanguageFolder); !beside.isEmpty())
        return beside;
    const QString installed = MatchIn(programDir, QStringLiteral(ORVIK_DATA_FROM_BIN "/") + kLanguageFolder);
    return installed.isEmpty() ? QString(kLanguageFolder) : installed;
}

QString LanguageFile(const QString &programDir, const QString &fileName)
{
    const QString folder = LanguageFolder(programDir);
    const QString found = MatchIn(programDir, folder + fileName);
    return found.isEmpty() ? folder + fileName : found;
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
