#include "backup/BackupArray.h"
#include "config/Config.h"

#include "TestPaths.h"
#include "common/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>

namespace {
const QString kRoot = QStringLiteral(ORVIK_SAMPLES_DIR "/Rec");

QStringList names(const CBackupArray &a)
{
    QStringList out;
    for (int i = 0; i < a.GetCount(); ++i)
        out << a.GetAt(i)->m_name;
    return out;
}

// A minimal backup: the two files that make one (the database need not be valid here).
void makeBackup(const QString &dir, const QByteArray &ini = "[base]\r\ndt_start=a\r\ndt_stop=b\r\n")
{
    QVERIFY(TestFiles::write(dir + "/config.ini", ini));
    QVERIFY(TestFiles::write(dir + "/dbR.mdb", "x"));
}
} // namespace

class TestBackupArray : public QObject
{
    Q_OBJECT

private slots:
    void scanOfSampleRoot();
    void trailingSeparatorMakesNoDifference();
    void directBackupIsNotScanned();
    void valuesFromConfigIni();
    void addingTwiceListsTwice();
    void listedByNameWhateverTheCase();
    void backupRootFromSettings_data();
    void backupRootFromSettings();
    void removeFreesOnlyHeldEntries();
};

void TestBackupArray::scanOfSampleRoot()
{
    QTemporaryDir app;
    const CConfig config(app.path());
    CBackupArray catalogue(config);
    catalogue.AddDirectory(kRoot);

    // By name, letter case aside, as Windows lists them.
    const QStringList expected{"2009-12", "2010-01", "odd-types"};
    QCOMPARE(expected.size(), 3);
    QCOMPARE(names(catalogue), expected);
    for (int i = 0; i < catalogue.GetCount(); ++i)
        QCOMPARE(catalogue.GetAt(i)->m_path, kRoot + "/" + expected.at(i) + "/");
    QVERIFY(!names(catalogue).contains("not-a-backup"));
    QVERIFY(!names(catalogue).contains("Notes.txt"));
    QVERIFY(!names(catalogue).contains("deep")); // two levels below the root
    QCOMPARE(catalogue.GetAt(3), nullptr);
    QCOMPARE(catalogue.GetAt(-1), nullptr);
}

void TestBackupArray::trailingSeparatorMakesNoDifference()
{
    const CConfig config{QString()};
    CBackupArray a(config), b(config);
    a.AddDirectory(kRoot);
    b.AddDirectory(kRoot + "/");
    QCOMPARE(names(a), names(b));
    for (int i = 0; i < a.GetCount(); ++i)
        QCOMPARE(a.GetAt(i)->m_path, b.GetAt(i)->m_path);

    CBackupArray c(config);
    c.AddDirectory(kRoot + "/2009-12");
    c.AddDirectory(kRoot + "/2009-12/");
    QCOMPARE(c.GetCount(), 2);
    QCOMPARE(c.GetAt(0)->m_path, c.GetAt(1)->m_path);
    QCOMPARE(c.GetAt(0)->m_name, QStringLiteral("2009-12"));
}

void TestBackupArray::directBackupIsNotScanned()
{
    QTemporaryDir tmp;
    makeBackup(tmp.path() + "/Root");
    makeBackup(tmp.path() + "/Root/Inner");
    QDir().mkpath(tmp.path() + "/Root/dbR-folder");
    // A folder named like a file counts as existing.
    makeBackup(tmp.path() + "/Other/One");
    QDir().mkpath(tmp.path() + "/Other/Two/dbR.mdb");
    QVERIFY(TestFiles::write(tmp.path() + "/Other/Two/config.ini", ""));
    QVERIFY(TestFiles::write(tmp.path() + "/Other/Three/config.ini", "")); // no database

    const CConfig config{QString()};
    CBackupArray catalogue(config);
    catalogue.AddDirectory(tmp.path() + "/Root");
    QCOMPARE(names(catalogue), QStringList{"Root"});
    catalogue.AddDirectory(tmp.path() + "/Other");
    QCOMPARE(catalogue.GetCount(), 3);
    QStringList found = names(catalogue).mid(1);
    found.sort();
    QCOMPARE(found, (QStringList{"One", "Two"}));
}

void TestBackupArray::valuesFromConfigIni()
{
    QTemporaryDir app;
    QVERIFY(TestFiles::write(app.filePath("config.ini"), "[config]\r\nm_language=0\r\n"));
    const CConfig chinese(app.path());
    CBackupArray catalogue(chinese);
    for (const char *b : {"2009-12", "2010-01", "odd-types"})
        catalogue.AddDirectory(kRoot + "/" + b);
    QCOMPARE(catalogue.GetAt(0)->m_dtStart, QStringLiteral("2009-12-01 00:00:00"));
    QCOMPARE(catalogue.GetAt(0)->m_dtStop, QStringLiteral("2009-12-31 23:59:59"));
    // GBK, read in the legacy code page of the Chinese UI.
    QCOMPARE(catalogue.GetAt(1)->m_dtStart, QStringLiteral("2010年01月01日 00:00:00"));
    QCOMPARE(catalogue.GetAt(1)->m_dtStop, QStringLiteral("2010年01月31日 23:59:59"));
    // [BASE], blanks around "=", no dt_stop.
    QCOMPARE(catalogue.GetAt(2)->m_dtStart, QStringLiteral("2009-11-20 00:00:00"));
    QCOMPARE(catalogue.GetAt(2)->m_dtStop, QString());

    QTemporaryDir tmp;
    makeBackup(tmp.path() + "/NoBase", "[device]\r\ndt_start=not here\r\n");
    catalogue.AddDirectory(tmp.path() + "/NoBase");
    QCOMPARE(catalogue.GetAt(3)->m_dtStart, QString());
    QCOMPARE(catalogue.GetAt(3)->m_dtStop, QString());
}

void TestBackupArray::addingTwiceListsTwice()
{
    const CConfig config{QString()};
    CBackupArray catalogue(config);
    catalogue.AddDirectory(kRoot);
    catalogue.AddDirectory(kRoot);
    QCOMPARE(catalogue.GetCount(), 6);
    QCOMPARE(names(catalogue).mid(0, 3), names(catalogue).mid(3));
    catalogue.AddDirectory(kRoot + "/not-a-backup");
    catalogue.AddDirectory(kRoot + "/no-such-folder");
    QCOMPARE(catalogue.GetCount(), 6);

    // Adding only what is new passes over a backup however its path is written, and over
    // the second of two links to one backup that a folder holds.
    CBackupArray once(config);
    QCOMPARE(once.AddNewBackups(kRoot), 3);
    QCOMPARE(once.AddNewBackups(kRoot + "/"), 3);
    QCOMPARE(once.AddNewBackups(kRoot + "/./2009-12/"), 1);
    QCOMPARE(once.AddNewBackups(QDir::current().relativeFilePath(kRoot + "/2010-01")), 1);
    QCOMPARE(once.GetCount(), 3);
#ifndef _WIN32
    QTemporaryDir links;
    QVERIFY(QFile::link(kRoot + "/2009-12", links.filePath("a")));
    QVERIFY(QFile::link(kRoot + "/2009-12", links.filePath("b")));
    QVERIFY(QFile::link(kRoot + "/odd-types", links.filePath("c")));
    CBackupArray linked(config);
    QCOMPARE(linked.AddNewBackups(links.path()), 3);
    QCOMPARE(linked.GetCount(), 2);
    QCOMPARE(once.AddNewBackups(links.path()), 3);
    QCOMPARE(once.GetCount(), 3);
#endif
}

void TestBackupArray::listedByNameWhateverTheCase()
{
    // Made in an order that neither the names nor a hash of them give; NTFS compares the
    // names in capitals, so "_" comes after the letters.
    QTemporaryDir root;
    const QStringList made{"beta", "Gamma", "alpha", "10", "2", "Delta", "_x", "epsilon"};
    for (const QString &name : made)
        makeBackup(root.filePath(name));
    QTemporaryDir app;
    const CConfig config(app.path());
    CBackupArray catalogue(config);
    catalogue.AddDirectory(root.path());
    QCOMPARE(names(catalogue), (QStringList{"10", "2", "alpha", "beta", "Delta", "epsilon", "Gamma", "_x"}));
}

void TestBackupArray::backupRootFromSettings_data()
{
    QTest::addColumn<QByteArray>("settings"); // empty: no config.ini at all
    QTest::addColumn<QString>("root");        // "@" stands for the program directory
    QTest::newRow("no settings file") << QByteArray() << "@";
    QTest::newRow("no key") << QByteArray("[config]\nm_language=1\n") << "@";
    QTest::newRow("empty value") << QByteArray("[config]\nm_BackDir=\n") << "@";
    QTest::newRow("absolute") << QByteArray("[config]\nm_BackDir=/srv/rec\n") << "/srv/rec";
    QTest::newRow("dot slash") << QByteArray("[config]\nm_BackDir=./Backup\n") << "@Backup";
    QTest::newRow("dot dot slash") << QByteArray("[config]\nm_BackDir=../Backup\n") << "@/Backup";
    // As written on Windows: "\\" separates folders here too.
    QTest::newRow("dot backslash") << QByteArray("[config]\nm_BackDir=.\\Backup\n") << "@Backup";
    QTest::newRow("dot dot backslash") << QByteArray("[config]\nm_BackDir=..\\Backup\n") << "@/Backup";
    QTest::newRow("backslashes inside") << QByteArray("[config]\nm_BackDir=.\\Rec\\2009\n") << "@Rec/2009";
}

void TestBackupArray::backupRootFromSettings()
{
    QFETCH(QByteArray, settings);
    QFETCH(QString, root);
    QTemporaryDir app;
    if (!settings.isEmpty())
        QVERIFY(TestFiles::write(app.filePath("config.ini"), settings));
    const CConfig config(app.path());
    const CBackupArray catalogue(config);
    QCOMPARE(catalogue.BackupRoot(), root.replace("@", app.path() + "/"));
}

void TestBackupArray::removeFreesOnlyHeldEntries()
{
    QTemporaryDir app;
    QVERIFY(TestFiles::write(app.filePath("config.ini"), "[config]\nm_BackDir=" + kRoot.toUtf8() + "\n"));
    const CConfig config(app.path());
    CBackupArray catalogue(config);
    catalogue.LoadFromSettings();
    QCOMPARE(catalogue.GetCount(), 3);
    const QStringList before = names(catalogue);

    BackupEntry stranger;
    catalogue.Remove(&stranger);
    catalogue.Remove(nullptr);
    QCOMPARE(catalogue.GetCount(), 3);

    BackupEntry *last = catalogue.GetAt(2);
    catalogue.Remove(catalogue.GetAt(1));
    QCOMPARE(names(catalogue), (QStringList{before.at(0), before.at(2)}));
    QCOMPARE(catalogue.GetAt(1), last); // later entries move up, the objects stay the same

    // A second load builds the catalogue anew from the settings instead of adding to it.
    catalogue.LoadFromSettings();
    QCOMPARE(names(catalogue), before);
}

QTEST_GUILESS_MAIN(TestBackupArray)
#include "tst_backuparray.moc"
