#pragma once

#include <QString>
#include <QVariant>

class QLocale;
class QObject;

// The program's settings: program directory, system root, UI language, UI font and the
// folder picker. The settings file `config.ini` (beside the program, else the user's, see
// FileLocations) is only read, never written; every value has a default.
class CConfig
{
public:
    // Settings of the running program (its own directory).
    CConfig();
    // Settings read from another directory, so tests need not write beside their binary.
    explicit CConfig(const QString &appDir);
    virtual ~CConfig();

    CConfig(const CConfig &) = delete;
    CConfig &operator=(const CConfig &) = delete;

    // The UI font; empty until CreateUiFont and again after DeleteUiFont. Held as a QVariant
    // so that the settings stay usable without the GUI libraries.
    QVariant m_font;
    QString m_appDir;       // the program directory, ending in "/"
    QString m_sysDriveRoot; // the system drive's root ("/", "C:/"), where the media player is searched
    int m_language = 3;     // UI language code: 0 Chinese, 1 English, 2 other Chinese, 3 Turkish

    // Sets m_appDir to appDir, m_sysDriveRoot to the system root and reads m_language from
    // appDir's config.ini, as construction does; m_font is left alone. The program reads its
    // own directory once, when g_config is built; a test calls this to run the windows on a
    // program folder of its own.
    void Reload(const QString &appDir);

    // The window helpers are members of the settings but need widgets: they are defined in
    // the GUI library (app/ConfigUi.cpp), so the core links without it.
    void CreateUiFont();
    void ApplyFontToChildren(QObject *window) const;
    QString BrowseForFolder(QObject *parent, const QString &title, const QString &extra) const;

    void DeleteUiFont();

    static int LanguageFromSystem();
    static int LanguageFromLocale(const QLocale &locale);

    // m_appDir + "config.ini" when that file exists, else the user's config.ini
    // ($XDG_CONFIG_HOME/orvik/config.ini), which need not exist.
    QString SettingsPath() const;
    // The player choice, read anew from the settings file at every call (default 0).
    int ReadPlayerType() const;
    // The backup root as written in the settings file (empty when missing).
    QString ReadBackupRoot() const;
    // The code page that settings files without UTF-8 or UTF-16 text are read in.
    int LegacyCodePage() const;
    // The language file of m_language, relative to the program directory: in the language
    // folder beside the program, else in the installation's ("../share/orvik/language/...");
    // empty for codes without a file.
    QString LanguageFileName() const;

    // The directory of the running executable, ending in "/".
    static QString ProgramDirectory();
};

extern CConfig g_config;
