#include "config/Config.h"

#include "config/FileLocations.h"
#include "config/IniFile.h"
#include "config/TextDecoder.h"
#include "platform/HostSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace {
// Constant-initialised, so it is ready before the program-wide settings object is built.
constexpr QLatin1String kSection("config");
} // namespace

CConfig::CConfig()
{
    Reload(ProgramDirectory());
}

CConfig::CConfig(const QString &appDir)
{
    Reload(appDir);
}

CConfig::~CConfig() = default;

void CConfig::Reload(const QString &appDir)
{
    m_appDir = FileLocations::AsFolder(QDir::fromNativeSeparators(appDir));
    m_sysDriveRoot = HostSystem::systemDriveRoot();
    // The program's own settings file is read before any language is known: the system
    // language decides how a file in a legacy code page is read.
    const IniFile ini = IniFile::load(SettingsPath(), TextDecoder::legacyCodePageForLanguage(LanguageFromSystem()));
    m_language = ini.readInt(kSection, QStringLiteral("m_language"), 3);
    if (m_language == -1)
        m_language = LanguageFromSystem();
}

QString CConfig::ProgramDirectory()
{
    if (QCoreApplication::instance())
        return FileLocations::AsFolder(QCoreApplication::applicationDirPath());
    // The program-wide settings object is built before the application object exists;
    // the system still knows where the executable lives.
    const QString self = HostSystem::executablePath();
    if (!self.isEmpty())
        return FileLocations::AsFolder(QFileInfo(self).absolutePath());
    return FileLocations::AsFolder(QDir::currentPath());
}

void CConfig::DeleteUiFont()
{
    m_font = QVariant();
}

int CConfig::LanguageFromLocale(const QLocale &locale)
{
    switch (locale.language()) {
    case QLocale::Chinese:
        // Only Chinese of the People's Republic has a language file of its own.
        return locale.territory() == QLocale::China ? 0 : 2;
    case QLocale::Turkish:
        return 3;
    default:
        return 1;
    }
}

int CConfig::LanguageFromSystem()
{
    return LanguageFromLocale(QLocale::system());
}

QString CConfig::SettingsPath() const
{
    return FileLocations::SettingsFile(m_appDir);
}

int CConfig::LegacyCodePage() const
{
    return TextDecoder::legacyCodePageForLanguage(m_language);
}

int CConfig::ReadPlayerType() const
{
    return IniFile::load(SettingsPath(), LegacyCodePage()).readInt(kSection, QStringLiteral("m_PlayerType"), 0);
}

QString CConfig::ReadBackupRoot() const
{
    // Written on Windows, ".\\Rec" or "..\\Rec": "\\" separates folders on every system.
    QString root = IniFile::load(SettingsPath(), LegacyCodePage()).readString(kSection, QStringLiteral("m_BackDir"));
    root.replace(u'\\', u'/');
    return root;
}

QString CConfig::LanguageFileName() const
{
    QString name;
    switch (m_language) {
    case 0:
        name = QStringLiteral("Menu_Chinese.xml");
        break;
    case 1:
        name = QStringLiteral("Menu_English.xml");
        break;
    case 3:
        name = QStringLiteral("Menu_Turkish.xml");
        break;
    default:
        return QString();
    }
    return FileLocations::LanguageFile(m_appDir, name);
}
