#include "backup/BackupArray.h"
#include "config/Config.h"
#include "config/FileLocations.h"

#include "common/TestFiles.h"
#include "common/WindowsUserFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void defaultsWithoutSettingsFile();
    void languageCodes_data();
    void languageCodes();
    void languageFromLocale_data();
    void languageFromLocale();
    void playerTypeIsReadAtEveryCall();
    void directories();
    void filesOfAnInstalledProgram();
};

void TestConfig::defaultsWithoutSettingsFile()
{
    QTemporaryDir dir;
    const CConfig config(dir.path());
    QCOMPARE(config.m_language, 3);
    QCOMPARE(config.LanguageFileName(), QStringLiteral("language/Menu_Turkish.xml"));
    QCOMPARE(config.ReadPlayerType(), 0);
    QCOMPARE(config.ReadBackupRoot(), QString());
    QVERIFY(!config.m_font.isValid());
}

void TestConfig::languageCodes_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("file");
    QTest::newRow("Chinese") << QByteArray("0") << 0 << "language/Menu_Chinese.xml";
    QTest::newRow("English") << QByteArray("1") << 1 << "language/Menu_English.xml";
    QTest::newRow("other Chinese has no file") << QByteArray("2") << 2 << QString();
    QTest::newRow("Turkish") << QByteArray("3") << 3 << "language/Menu_Turkish.xml";
    QTest::newRow("unknown code has no file") << QByteArray("7") << 7 << QString();
    QTest::newRow("text reads 0") << QByteArray("abc") << 0 << "language/Menu_Chinese.xml";
    QTest::newRow("empty keeps the default") << QByteArray("") << 3 << "language/Menu_Turkish.xml";
    QTest::newRow("-1 follows the system") << QByteArray("-1") << CConfig::LanguageFromSystem() << QString();
}

void TestConfig::languageCodes()
{
    QFETCH(QByteArray, value);
    QFETCH(int, code);
    QFETCH(QString, file);
    QTemporaryDir dir;
    QVERIFY(
        TestFiles::write(dir.filePath("config.ini"), "[Config]\r\nM_Language = " + value + "\r\nm_PlayerType=1\r\n"));
    const CConfig config(dir.path());
    QCOMPARE(config.m_language, code);
    if (value != "-1")
        QCOMPARE(config.LanguageFileName(), file);
    QVERIFY(config.m_language != -1);
}

void TestConfig::languageFromLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("code");
    QTest::newRow("Chinese (PRC)") << "zh_CN" << 0;
    QTest::newRow("Chinese (Taiwan)") << "zh_TW" << 2;
    QTest::newRow("Chinese (Hong Kong)") << "zh_HK" << 2;
    QTest::newRow("Turkish") << "tr_TR" << 3;
    QTest::newRow("German") << "de_DE" << 1;
    QTest::newRow("English") << "en_US" << 1;
}

void TestConfig::languageFromLocale()
{
    QFETCH(QString, locale);
    QFETCH(int, code);
    QCOMPARE(CConfig::LanguageFromLocale(QLocale(locale)), code);
}

void TestConfig::playerTypeIsReadAtEveryCall()
{
    QTemporaryDir dir;
    const CConfig config(dir.path());
    QVERIFY(TestFiles::write(dir.filePath("config.ini"), "[config]\nm_PlayerType=1\n"));
    QCOMPARE(config.ReadPlayerType(), 1);
    QVERIFY(TestFiles::write(dir.filePath("config.ini"), "[config]\nm_PlayerType=7\n"));
    QCOMPARE(config.ReadPlayerType(), 7);
    QVERIFY(QFile::remove(dir.filePath("config.ini")));
    QCOMPARE(config.ReadPlayerType(), 0);
}

void TestConfig::directories()
{
    QTemporaryDir dir;
    const CConfig withoutSlash(dir.path());
    const CConfig withSlash(dir.path() + "/");
    QCOMPARE(withoutSlash.m_appDir, dir.path() + "/");
    QCOMPARE(withSlash.m_appDir, dir.path() + "/");
    QVERIFY(TestFiles::write(dir.filePath("config.ini"), "[config]\n"));
    QCOMPARE(withoutSlash.SettingsPath(), dir.path() + "/config.ini");
#ifdef _WIN32
    // The drive of the system folder: "C:/" for C:\Windows\system32.
    QVERIFY2(QRegularExpression("^[A-Za-z]:/$").match(withoutSlash.m_sysDriveRoot).hasMatch(),
             qPrintable(withoutSlash.m_sysDriveRoot));
#else
    QCOMPARE(withoutSlash.m_sysDriveRoot, QStringLiteral("/"));
#endif
    QCOMPARE(CConfig::ProgramDirectory(), QCoreApplication::applicationDirPath() + "/");
    // Reload reads everything again from the directory it is given.
    QTemporaryDir other;
    QVERIFY(TestFiles::write(other.filePath("config.ini"), "[config]\nm_language=0\n"));
    CConfig reloaded(dir.path());
    QCOMPARE(reloaded.m_language, 3);
    reloaded.Reload(other.path());
    QCOMPARE(reloaded.m_appDir, other.path() + "/");
    QCOMPARE(reloaded.m_language, 0);
    QCOMPARE(reloaded.m_sysDriveRoot, withoutSlash.m_sysDriveRoot);
    // The program-wide object was built before the application object and still found
    // the directory of the test executable.
    QCOMPARE(g_config.m_appDir, QCoreApplication::applicationDirPath() + "/");
}

void TestConfig::filesOfAnInstalledProgram()
{
    // prefix/bin/ holds the program, prefix/share/orvik/ its language folder; the user's
    // settings are in their configuration folder.
    QTemporaryDir prefix, temporaryHome;
    const QString bin = prefix.filePath("bin");
    QVERIFY(QDir().mkpath(bin) && QDir().mkpath(prefix.filePath("share/orvik/language")));
#ifdef _WIN32
    const QDir home(TestUserFolder());
#else
    const QDir home(temporaryHome.path());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
#endif
    QVERIFY(TestFiles::write(home.filePath("orvik/config.ini"), "[config]\nm_language=1\nm_BackDir=./Rec\n"));
    CConfig installed(bin);
    QCOMPARE(installed.SettingsPath(), home.filePath("orvik/config.ini"));
    QCOMPARE(installed.m_language, 1);
    QCOMPARE(installed.LanguageFileName(), QStringLiteral("../share/orvik/language/Menu_English.xml"));
    QVERIFY(QFileInfo(bin + '/' + installed.LanguageFileName()).dir().exists());
    // "./Rec" is read below the folder of the settings file in use.
    QCOMPARE(CBackupArray(installed).BackupRoot(), home.filePath("orvik/Rec"));

    // Files beside the program come first: a portable folder inside an installation.
    QVERIFY(QDir().mkpath(bin + "/language"));
    QVERIFY(TestFiles::write(bin + "/config.ini", "[config]\nm_language=0\nm_BackDir=./Rec\n"));
    CConfig portable(bin);
    QCOMPARE(portable.SettingsPath(), bin + "/config.ini");
    QCOMPARE(portable.m_language, 0);
    QCOMPARE(portable.LanguageFileName(), QStringLiteral("language/Menu_Chinese.xml"));
    QCOMPARE(CBackupArray(portable).BackupRoot(), bin + "/Rec");

    // A folder put together on Windows: its names in any letter case.
    QVERIFY(QDir().rename(bin + "/language", bin + "/Language"));
    QVERIFY(TestFiles::write(bin + "/Language/MENU_CHINESE.XML", "<x/>"));
    QVERIFY(QFile::rename(bin + "/config.ini", bin + "/CONFIG.INI"));
    QVERIFY(TestFiles::write(bin + "/Sample.XLSX", "x"));
    CConfig windows(bin);
#ifdef _WIN32
    // The file system matches names without case itself there (and Wine may keep a name's
    // old case through a rename that changes only that).
    QCOMPARE(windows.SettingsPath().toLower(), QString(bin + "/CONFIG.INI").toLower());
    QCOMPARE(windows.LanguageFileName().toLower(), QStringLiteral("language/menu_chinese.xml"));
    QCOMPARE(FileLocations::TemplateBesideProgram(bin).toLower(), QString(bin + "/Sample.XLSX").toLower());
#else
    QCOMPARE(windows.SettingsPath(), bin + "/CONFIG.INI");
    QCOMPARE(windows.LanguageFileName(), QStringLiteral("Language/MENU_CHINESE.XML"));
    QCOMPARE(FileLocations::TemplateBesideProgram(bin), bin + "/Sample.XLSX");
#endif
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
